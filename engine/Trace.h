#pragma once
// The engine's process-wide trace sink. Closed in normal use: then trace
// calls cost one check and format nothing. A tool or a test may open it on a
// file to follow what the engine does.

namespace stdlib {
class StdioFileStream;
}

namespace trace {

// Opens the sink on path (appending); false when it cannot be opened.
bool Open(const char* path, const char* mode = "ab");
void Close();
bool IsOpen();

// Writes one formatted line (at most 1023 characters) when the sink is open.
void Printf(const char* format, ...)
#if defined(__GNUC__) && !defined(_WIN32)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

} // namespace trace

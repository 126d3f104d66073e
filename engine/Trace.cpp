#include "engine/Trace.h"

#include "engine/StdioFileStream.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace trace {

namespace {
std::mutex& SinkLock() {
    static std::mutex lock;
    return lock;
}
stdlib::StdioFileStream& Sink() {
    static stdlib::StdioFileStream sink;
    return sink;
}
std::atomic<bool> g_open{false};
} // namespace

bool Open(const char* path, const char* mode) {
    std::lock_guard<std::mutex> hold(SinkLock());
    bool ok = Sink().Open(path, mode);
    g_open = ok;
    return ok;
}

void Close() {
    std::lock_guard<std::mutex> hold(SinkLock());
    Sink().Close();
    g_open = false;
}

bool IsOpen() { return g_open; }

void Printf(const char* format, ...) {
    if (!g_open)
        return;
    char line[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n <= 0)
        return;
    std::lock_guard<std::mutex> hold(SinkLock());
    Sink().WriteString(line);
    Sink().Flush();
}

} // namespace trace

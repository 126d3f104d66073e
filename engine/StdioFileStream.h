#pragma once
// A Stream over a buffered runtime-library file, always opened shared.

#include "engine/Stream.h"

#include <cstdio>

namespace fileos {
struct FileStamp;
}

namespace stdlib {

class StdioFileStream : public Stream {
public:
    StdioFileStream() = default;
    StdioFileStream(const char* path, const char* mode) { Open(path, mode); }
    // A stream over a file that another owner opened and closes.
    enum Borrowed { kBorrowed };
    StdioFileStream(FILE* borrowed, Borrowed) : file(borrowed), owned(false) {}
    ~StdioFileStream() override { Close(); }

    bool OpenW(const wchar_t* path, const wchar_t* mode) override;
    bool Open(const char* path, const char* mode) override;
    bool Seek(int64_t offset, int origin) override;
    bool IsEof() override;
    bool IsClosed() override { return file == nullptr; }
    bool IsError() override;
    uint64_t Tell() override;
    bool SetPos(uint64_t position) override;
    uint64_t GetSize() override;
    bool SetSize(uint64_t size) override;
    int GetByte() override;
    uint16_t ReadU16() override { return uint16_t(readUnsigned(2)); }
    uint32_t ReadU32() override { return uint32_t(readUnsigned(4)); }
    uint64_t ReadU64() override { return readUnsigned(8); }
    float ReadFloat() override;
    double ReadDouble() override;
    size_t Read(void* buffer, size_t itemSize, size_t itemCount) override;
    char* ReadLine(char* buffer, int max) override;
    size_t PutByte(uint8_t value) override;
    size_t WriteU16(uint16_t value) override { return writeUnsigned(value, 2); }
    size_t WriteU32(uint32_t value) override { return writeUnsigned(value, 4); }
    size_t WriteU64(uint64_t value) override { return writeUnsigned(value, 8); }
    size_t WriteFloat(float value) override;
    size_t WriteDouble(double value) override;
    size_t Write(const void* buffer, size_t itemSize, size_t itemCount) override;
    size_t WriteString(const char* text) override;
    int Printf(const char* format, ...) override;
    void Flush() override;
    void Close() override;
    int64_t GetModifyTime() override;

    // Formatted write from a va_list (for the trace sink).
    int VPrintf(const char* format, va_list args);

    // Opens path in mode in place of the current file, which stays open and
    // unchanged when the new open fails. The position starts at 0.
    bool Reopen(const char* path, const char* mode);
    // Closes the current file and opens path for reading and writing, held
    // from every other writer (fileos::OpenForRewrite); false, and closed,
    // when it cannot be had.
    bool ReopenForRewrite(const char* path);
    // The open file's stamp (fileos::GetFileStamp).
    bool GetStamp(fileos::FileStamp& stamp) const;
    // Flushes and closes (a borrowed file is only flushed, and let go); false when buffered data could not be written or
    // the close failed (then the file may hold only part of the writes).
    bool Finish();

private:
    uint64_t readUnsigned(unsigned width);
    size_t writeUnsigned(uint64_t value, unsigned width);

    FILE* file = nullptr;
    bool owned = true; // Close and Finish close the file
};

} // namespace stdlib

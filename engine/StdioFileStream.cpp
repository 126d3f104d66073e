#include "engine/StdioFileStream.h"

#include "engine/ByteOrder.h"
#include "engine/FileOs.h"

#include <cstring>
#include <cwchar>

namespace stdlib {

bool StdioFileStream::OpenW(const wchar_t* path, const wchar_t* mode) {
    // The engine opens files by narrow path; a wide path is accepted when it
    // is plain ASCII, which is all any caller has needed.
    char narrowPath[4096], narrowMode[16];
    auto narrow = [](const wchar_t* in, char* out, size_t room) {
        size_t i = 0;
        for (; in[i]; ++i) {
            if (i + 1 >= room || in[i] > 0x7F)
                return false;
            out[i] = char(in[i]);
        }
        out[i] = 0;
        return true;
    };
    if (!path || !mode || !narrow(path, narrowPath, sizeof narrowPath) ||
        !narrow(mode, narrowMode, sizeof narrowMode))
        return false;
    return Open(narrowPath, narrowMode);
}

bool StdioFileStream::Open(const char* path, const char* mode) {
    Close();
    if (!path || !mode)
        return false;
    file = fileos::OpenShared(path, mode);
    return file != nullptr;
}

bool StdioFileStream::Reopen(const char* path, const char* mode) {
    FILE* fresh = path && mode ? fileos::OpenShared(path, mode) : nullptr;
    if (!fresh)
        return false;
    Close();
    file = fresh;
    return true;
}

bool StdioFileStream::ReopenForRewrite(const char* path) {
    // Let go first: between the reading and the rewrite the photo is its
    // writers' (a rename over a file that is open fails, even where the
    // opener shares deleting).
    Close();
    file = path ? fileos::OpenForRewrite(path) : nullptr;
    return file != nullptr;
}

bool StdioFileStream::GetStamp(fileos::FileStamp& stamp) const {
    return file && fileos::GetFileStamp(file, stamp);
}

bool StdioFileStream::Seek(int64_t offset, int origin) {
    return file && origin >= 0 && origin <= 2 && fileos::Seek64(file, offset, origin);
}

bool StdioFileStream::IsEof() { return !file || std::feof(file); }

bool StdioFileStream::IsError() { return file && std::ferror(file); }

uint64_t StdioFileStream::Tell() {
    if (!file)
        return 0;
    int64_t at = fileos::Tell64(file);
    return at < 0 ? 0 : uint64_t(at);
}

bool StdioFileStream::SetPos(uint64_t position) {
    return file && position <= uint64_t(INT64_MAX) && fileos::Seek64(file, int64_t(position), SEEK_SET);
}

uint64_t StdioFileStream::GetSize() {
    if (!file)
        return 0;
    int64_t at = fileos::Tell64(file);
    if (at < 0 || !fileos::Seek64(file, 0, SEEK_END))
        return 0;
    int64_t end = fileos::Tell64(file);
    fileos::Seek64(file, at, SEEK_SET);
    return end < 0 ? 0 : uint64_t(end);
}

bool StdioFileStream::SetSize(uint64_t size) {
    if (!file || std::fflush(file) != 0 || !SetPos(size))
        return false;
    return fileos::Truncate(file, size);
}

int StdioFileStream::GetByte() { return file ? std::fgetc(file) : -1; }

uint64_t StdioFileStream::readUnsigned(unsigned width) {
    uint8_t bytes[8];
    if (!file || std::fread(bytes, width, 1, file) != 1)
        return 0;
    return LoadUnsigned(bytes, width, bigEndian);
}

float StdioFileStream::ReadFloat() {
    uint32_t bits = ReadU32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

double StdioFileStream::ReadDouble() {
    uint64_t bits = ReadU64();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

size_t StdioFileStream::Read(void* buffer, size_t itemSize, size_t itemCount) {
    if (!file || !buffer || !itemSize)
        return 0;
    return std::fread(buffer, itemSize, itemCount, file);
}

char* StdioFileStream::ReadLine(char* buffer, int max) {
    if (!file || !buffer || max <= 0)
        return nullptr;
    return std::fgets(buffer, max, file);
}

size_t StdioFileStream::PutByte(uint8_t value) { return Write(&value, 1, 1); }

size_t StdioFileStream::writeUnsigned(uint64_t value, unsigned width) {
    uint8_t bytes[8];
    StoreUnsigned(bytes, value, width, bigEndian);
    return Write(bytes, width, 1);
}

size_t StdioFileStream::WriteFloat(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return WriteU32(bits);
}

size_t StdioFileStream::WriteDouble(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return WriteU64(bits);
}

size_t StdioFileStream::Write(const void* buffer, size_t itemSize, size_t itemCount) {
    if (!file || !buffer || !itemSize || itemCount > SIZE_MAX / itemSize)
        return 0;
    // Through the OS layer, where tests can make a write fail part-way.
    return fileos::WriteAll(file, buffer, itemSize * itemCount) ? itemCount : 0;
}

size_t StdioFileStream::WriteString(const char* text) {
    if (!file || !text)
        return 0;
    return std::fputs(text, file) >= 0 ? std::strlen(text) : 0;
}

int StdioFileStream::Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = VPrintf(format, args);
    va_end(args);
    return n;
}

int StdioFileStream::VPrintf(const char* format, va_list args) {
    if (!file || !format)
        return 0;
    return std::vfprintf(file, format, args);
}

void StdioFileStream::Flush() {
    if (file)
        std::fflush(file);
}

bool StdioFileStream::Finish() {
    if (!file)
        return false;
    bool flushed = std::fflush(file) == 0;
    bool closed = !owned || std::fclose(file) == 0;
    file = nullptr;
    owned = true;
    return flushed && closed;
}

void StdioFileStream::Close() {
    if (file && owned)
        std::fclose(file);
    file = nullptr;
    owned = true;
}

int64_t StdioFileStream::GetModifyTime() { return file ? fileos::ModifyTime(file) : 0; }

} // namespace stdlib

#pragma once
// The byte stream every part of the engine reads and writes photo data
// through. The byte-order flag is set from the data (TIFF "MM"/"II"; JPEG
// lengths are always big-endian) and every typed read and write honours it.

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace stdlib {

class Stream {
public:
    Stream() = default;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    virtual ~Stream() = default;

    virtual bool OpenW(const wchar_t* path, const wchar_t* mode);
    virtual bool Open(const char* path, const char* mode);
    // origin: 0 start, 1 current position, 2 end.
    virtual bool Seek(int64_t offset, int origin) = 0;
    virtual bool IsEof() = 0;
    virtual bool IsClosed() = 0;
    virtual bool IsError();
    virtual uint64_t Tell() = 0;
    virtual bool SetPos(uint64_t position) = 0;
    virtual uint64_t GetSize() = 0;
    virtual bool SetSize(uint64_t size) = 0;
    virtual int GetByte() = 0;
    virtual uint16_t ReadU16() = 0;
    virtual uint32_t ReadU32() = 0;
    virtual uint64_t ReadU64() = 0;
    virtual float ReadFloat() = 0;
    virtual double ReadDouble() = 0;
    // Returns the number of whole items read.
    virtual size_t Read(void* buffer, size_t itemSize, size_t itemCount) = 0;
    virtual char* ReadLine(char* buffer, int max) = 0;
    virtual size_t PutByte(uint8_t value) = 0;
    virtual size_t WriteU16(uint16_t value) = 0;
    virtual size_t WriteU32(uint32_t value) = 0;
    virtual size_t WriteU64(uint64_t value) = 0;
    virtual size_t WriteFloat(float value) = 0;
    virtual size_t WriteDouble(double value) = 0;
    // Returns the number of whole items written.
    virtual size_t Write(const void* buffer, size_t itemSize, size_t itemCount) = 0;
    virtual size_t WriteString(const char* text) = 0;
    virtual int Printf(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        = 0;
    virtual void Flush();
    virtual void Close();
    // Last modification, in seconds since 1970; 0 when not known.
    virtual int64_t GetModifyTime();

    bool bigEndian = false;
};

} // namespace stdlib

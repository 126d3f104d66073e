#pragma once
// A Stream over a growable block of memory.
//
// Invariant: position <= size <= capacity, and capacity is the usable length
// of block. Every size computation is checked: a request whose byte count
// cannot be represented is refused instead of wrapping into a small copy.
// Memory comes from the OS layer (fileos::AllocateBlock), which can run out:
// a write that needs more then fails and sets the error flag.

#include "engine/Stream.h"

namespace stdlib {

class MemStream : public Stream {
public:
    static constexpr uint64_t kDefaultGrowStep = 0xFFFF;

    MemStream();
    ~MemStream() override { Close(); }

    // Adopts block (from fileos::AllocateBlock, bytes long) as the stream's data:
    // size and capacity are bytes, position 0. The stream frees it.
    void Attach(void* block, uint64_t bytes);

    bool Seek(int64_t offset, int origin) override;
    bool IsEof() override { return endFlag; }
    bool IsClosed() override { return size == 0; }
    bool IsError() override { return errorFlag; }
    uint64_t Tell() override { return position; }
    bool SetPos(uint64_t at) override;
    uint64_t GetSize() override { return size; }
    bool SetSize(uint64_t newSize) override;
    int GetByte() override { return int(readUnsigned(1)); }
    uint16_t ReadU16() override { return uint16_t(readUnsigned(2)); }
    uint32_t ReadU32() override { return uint32_t(readUnsigned(4)); }
    uint64_t ReadU64() override { return readUnsigned(8); }
    float ReadFloat() override;
    double ReadDouble() override;
    size_t Read(void* buffer, size_t itemSize, size_t itemCount) override;
    char* ReadLine(char* buffer, int max) override;
    size_t PutByte(uint8_t value) override { return Write(&value, 1, 1); }
    size_t WriteU16(uint16_t value) override { return writeUnsigned(value, 2); }
    size_t WriteU32(uint32_t value) override { return writeUnsigned(value, 4); }
    size_t WriteU64(uint64_t value) override { return writeUnsigned(value, 8); }
    size_t WriteFloat(float value) override;
    size_t WriteDouble(double value) override;
    size_t Write(const void* buffer, size_t itemSize, size_t itemCount) override;
    size_t WriteString(const char* text) override;
    int Printf(const char* format, ...) override;
    void Close() override;

    // Direct access to the valid bytes [0, GetSize()).
    const uint8_t* Data() const { return block; }
    uint64_t GetCapacity() const { return capacity; }

private:
    uint64_t readUnsigned(unsigned width);
    size_t writeUnsigned(uint64_t value, unsigned width);
    uint8_t* obtain(uint64_t bytes);

    uint8_t* block = nullptr;
    uint64_t size = 0;
    uint64_t position = 0;
    uint64_t growStep = kDefaultGrowStep;
    uint64_t capacity = 0;
    bool endFlag = false;
    bool errorFlag = false;
};

// Run-time type test used by the rewrite to tell its two kinds of output apart.
inline MemStream* AsMemStream(Stream* s) { return dynamic_cast<MemStream*>(s); }

} // namespace stdlib

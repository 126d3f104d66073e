#include "engine/MemStream.h"

#include "engine/ByteOrder.h"
#include "engine/FileOs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace stdlib {

namespace {

bool MultiplyFits(size_t a, size_t b, uint64_t& product) {
    if (a && b > std::numeric_limits<uint64_t>::max() / a)
        return false;
    product = uint64_t(a) * uint64_t(b);
    return true;
}

} // namespace

MemStream::MemStream() {
    block = obtain(kDefaultGrowStep);
    if (block)
        capacity = kDefaultGrowStep;
    else
        errorFlag = true;
}

uint8_t* MemStream::obtain(uint64_t bytes) {
    if (bytes > std::numeric_limits<size_t>::max())
        return nullptr;
    return static_cast<uint8_t*>(fileos::AllocateBlock(size_t(bytes)));
}

void MemStream::Attach(void* newBlock, uint64_t bytes) {
    Close();
    block = static_cast<uint8_t*>(newBlock);
    size = capacity = block ? bytes : 0;
}

void MemStream::Close() {
    fileos::ReleaseBlock(block);
    block = nullptr;
    size = position = capacity = 0;
    endFlag = errorFlag = false;
}

bool MemStream::Seek(int64_t offset, int origin) {
    uint64_t base;
    switch (origin) {
    case 0: base = 0; break;
    case 1: base = position; break;
    case 2: base = size; break;
    default: return false;
    }
    // base <= size, so the target is in range exactly when -base <= offset <= size - base.
    if (offset < 0 ? uint64_t(-(offset + 1)) + 1 > base : uint64_t(offset) > size - base)
        return false;
    position = offset < 0 ? base - (uint64_t(-(offset + 1)) + 1) : base + uint64_t(offset);
    endFlag = false;
    return true;
}

bool MemStream::SetPos(uint64_t at) {
    if (at > size)
        return false;
    position = at;
    endFlag = false;
    return true;
}

bool MemStream::SetSize(uint64_t newSize) {
    if (newSize == 0)
        return false;
    if (newSize > capacity) {
        uint8_t* grown = obtain(newSize);
        if (!grown)
            return false;
        if (size)
            std::memcpy(grown, block, size_t(size));
        std::memset(grown + size, 0, size_t(newSize - size)); // never expose stale heap bytes
        fileos::ReleaseBlock(block);
        block = grown;
        capacity = newSize;
    } else if (newSize > size) {
        std::memset(block + size, 0, size_t(newSize - size));
    }
    size = newSize;
    if (position > size)
        position = 0;
    return true;
}

uint64_t MemStream::readUnsigned(unsigned width) {
    if (width > size - position) {
        endFlag = true;
        return 0;
    }
    uint64_t v = LoadUnsigned(block + position, width, bigEndian);
    position += width;
    return v;
}

float MemStream::ReadFloat() {
    uint32_t bits = ReadU32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

double MemStream::ReadDouble() {
    uint64_t bits = ReadU64();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

size_t MemStream::Read(void* buffer, size_t itemSize, size_t itemCount) {
    if (!buffer || !itemSize)
        return 0;
    uint64_t wanted;
    if (!MultiplyFits(itemSize, itemCount, wanted))
        wanted = std::numeric_limits<uint64_t>::max();
    uint64_t available = size - position;
    uint64_t n = wanted < available ? wanted : available;
    if (wanted > available)
        endFlag = true;
    if (n)
        std::memcpy(buffer, block + position, size_t(n));
    position += n;
    return size_t(n / itemSize);
}

char* MemStream::ReadLine(char* buffer, int max) {
    if (endFlag || !buffer || max <= 0)
        return nullptr;
    // Byte by byte, as a reader of single bytes would: running into the end
    // of the data sets the end flag.
    auto next = [this](uint8_t& c) {
        if (position >= size) {
            endFlag = true;
            return false;
        }
        c = block[position++];
        return true;
    };
    int stored = 0;
    uint8_t c;
    while (stored < max - 1 && next(c)) {
        buffer[stored++] = char(c);
        if (c == '\r' || c == '\n') {
            uint8_t after;
            if (!next(after))
                --stored; // a break at the very end of the data is dropped
            else if (after != '\r' && after != '\n')
                --position;
            break;
        }
    }
    buffer[stored] = 0;
    return stored ? buffer : nullptr;
}

size_t MemStream::writeUnsigned(uint64_t value, unsigned width) {
    uint8_t bytes[8];
    StoreUnsigned(bytes, value, width, bigEndian);
    return Write(bytes, width, 1);
}

size_t MemStream::WriteFloat(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return WriteU32(bits);
}

size_t MemStream::WriteDouble(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return WriteU64(bits);
}

size_t MemStream::Write(const void* buffer, size_t itemSize, size_t itemCount) {
    if (errorFlag || !itemSize || !itemCount || !buffer)
        return 0;
    uint64_t remaining;
    if (!MultiplyFits(itemSize, itemCount, remaining) ||
        remaining > std::numeric_limits<uint64_t>::max() - position)
        return 0; // no block could ever hold it: refuse before touching anything
    const uint8_t* from = static_cast<const uint8_t*>(buffer);
    uint64_t written = 0;

    if (position < capacity) {
        uint64_t part = capacity - position < remaining ? capacity - position : remaining;
        std::memmove(block + position, from, size_t(part));
        position += part;
        written += part;
        remaining -= part;
        if (position > size)
            size = position;
    }
    if (remaining) {
        uint64_t step = growStep > remaining ? growStep : remaining;
        uint8_t* grown = step > std::numeric_limits<uint64_t>::max() - capacity ? nullptr : obtain(capacity + step);
        if (!grown) {
            errorFlag = true;
            return 0;
        }
        if (size)
            std::memcpy(grown, block, size_t(size));
        // Copy the rest before the old block goes: buffer may point into it.
        std::memcpy(grown + position, from + written, size_t(remaining));
        fileos::ReleaseBlock(block);
        block = grown;
        capacity += step;
        position += remaining;
        written += remaining;
        size = position;
    }
    return size_t(written / itemSize);
}

size_t MemStream::WriteString(const char* text) { return text ? Write(text, 1, std::strlen(text)) : 0; }

int MemStream::Printf(const char* format, ...) {
    if (!format)
        return 0;
    char text[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n <= 0)
        return 0;
    if (n >= int(sizeof text))
        n = int(sizeof text) - 1; // the text was cut to the buffer
    Write(text, size_t(n), 1);
    return n;
}

} // namespace stdlib

#pragma once
// Reading the fields of a small structure held in memory (a box's or a
// chunk's body) from front to back. Every read is checked: past the end the
// cursor fails, stays failed and gives zeros, so a parser reads its fields
// in a row and asks ok() once before it trusts any of them.

#include "engine/ByteOrder.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace stdlib {

class ByteCursor {
public:
    ByteCursor(const uint8_t* data, size_t size, bool bigEndian = true)
        : data(data), size(size), bigEndian(bigEndian) {}

    bool ok() const { return !failed; }
    size_t position() const { return at; }
    size_t left() const { return failed ? 0 : size - at; }

    // An unsigned value of width bytes (0 to 8; 0 gives 0 and reads nothing).
    uint64_t Unsigned(unsigned width) {
        if (!Has(width))
            return 0;
        uint64_t v = LoadUnsigned(data + at, width, bigEndian);
        at += width;
        return v;
    }
    uint8_t U8() { return uint8_t(Unsigned(1)); }
    uint16_t U16() { return uint16_t(Unsigned(2)); }
    uint32_t U32() { return uint32_t(Unsigned(4)); }
    uint64_t U64() { return Unsigned(8); }

    bool Skip(size_t n) {
        if (!Has(n))
            return false;
        at += n;
        return true;
    }
    // A four-character code, as text.
    std::string FourCC() {
        if (!Has(4))
            return std::string();
        std::string code(reinterpret_cast<const char*>(data + at), 4);
        at += 4;
        return code;
    }
    // Text up to a 0 byte, which is passed over; text that reaches the end
    // without one is taken whole (some writers leave the last 0 out).
    std::string CString() {
        if (failed)
            return std::string();
        const void* end = std::memchr(data + at, 0, size - at);
        size_t n = end ? size_t(static_cast<const uint8_t*>(end) - (data + at)) : size - at;
        std::string text(reinterpret_cast<const char*>(data + at), n);
        at += end ? n + 1 : n;
        return text;
    }

private:
    bool Has(size_t n) {
        if (failed || n > size - at)
            failed = true;
        return !failed;
    }

    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool bigEndian;
    bool failed = false;
};

} // namespace stdlib

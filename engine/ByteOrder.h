#pragma once
// Conversions between a stream's byte order and host values. Values are
// assembled byte by byte, so the host's own order never matters.

#include <cstdint>

namespace stdlib {

inline uint64_t LoadUnsigned(const uint8_t* bytes, unsigned width, bool bigEndian) {
    uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i) {
        unsigned shift = bigEndian ? 8 * (width - 1 - i) : 8 * i;
        v |= uint64_t(bytes[i]) << shift;
    }
    return v;
}

inline void StoreUnsigned(uint8_t* bytes, uint64_t v, unsigned width, bool bigEndian) {
    for (unsigned i = 0; i < width; ++i) {
        unsigned shift = bigEndian ? 8 * (width - 1 - i) : 8 * i;
        bytes[i] = uint8_t(v >> shift);
    }
}

} // namespace stdlib

#pragma once
// CRC-32 (ISO-HDLC, zlib's) worked out bit by bit: a second opinion on the
// table-driven one that seals the record of known photos, for tests and
// the fuzzer that make files whose seal is right and whose content is not.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testing_support {

inline uint32_t BitwiseCrc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// Writes the CRC of all bytes before the last four into those four.
inline void Reseal(std::vector<uint8_t>& bytes) {
    if (bytes.size() < 4)
        return;
    uint32_t crc = BitwiseCrc32(bytes.data(), bytes.size() - 4);
    for (int i = 0; i < 4; ++i)
        bytes[bytes.size() - 4 + i] = uint8_t(crc >> (8 * i));
}

} // namespace testing_support

#pragma once
// CRC-32 of ISO 3309 (zlib's and PNG's), table-driven. It seals the record
// of known photos and PNG chunks. Incremental: pass the CRC of the bytes
// before as crc.

#include <cstddef>
#include <cstdint>

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

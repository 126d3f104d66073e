#pragma once
// MD5 (RFC 1321), for the one place a photo format asks for it: the GUID
// that joins an extended XMP packet to its main packet is the MD5 of the
// extended packet, written as 32 upper-case hex digits.

#include <cstddef>
#include <cstdint>
#include <string>

namespace md5 {

// The 32 upper-case hex digits of the MD5 of [data, data + size).
std::string HexDigest(const uint8_t* data, size_t size);

} // namespace md5

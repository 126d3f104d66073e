#pragma once
// The GPS record of a FLIR thermal camera's block, and clearing it in place.
//
// A FLIR block is an FFF file cut into APP1 segments: each payload begins
// "FLIR\0", a byte (0x01), its part number and the last part number, then
// its part; the parts joined in the order of their numbers make the file. The FFF header gives its own
// byte order (its version, 100 to 199, reads right in one order only), where
// its record directory lies and how many entries it has; each entry of 32
// bytes names a record's type, offset and length. Type 0x2B is the GPS record,
// which is little-endian whatever the header's order: latitude and longitude
// as doubles at 0x10 and 0x18, altitude as a float at 0x20 (exiftool's FLIR
// GPSInfo table). Those 20 bytes are the position; zero bytes read as 0 in
// every reader, so they are cleared to zero in the segments as they stand,
// and the block, its segments and the photo keep their lengths.
//
// A record that ends early holds fewer values (one of 0x20 bytes ends after
// the longitude, which readers still read): those it holds are cleared. A
// GPS record whose values are not where that layout puts them (a header of
// no known version, a record too short to hold even the latitude, or one
// reaching past the block) is not touched: it is reported as a location
// left, never as secure.

#include "engine/ExifGather.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace flir {

// True when an APP1 payload is a part of a FLIR block.
bool IsSegment(const uint8_t* payload, size_t size);

struct GpsRecords {
    bool recognised = false; // a GPS record with the known layout
    bool unrecognised = false; // a GPS record (of some length) without it
    bool nonZero = false;      // a value byte of a recognised record is not zero
};

GpsRecords FindGpsRecords(const std::vector<XmpSegment>& segments);

// Zeroes the values of every recognised GPS record; returns the segments
// that changed, as they are to be written, and appends to cleared the EXIF
// tag of the same kind of each value cleared (2, 4, 6).
std::vector<XmpSegment> ClearGpsRecords(const std::vector<XmpSegment>& segments, std::vector<uint16_t>& cleared);

} // namespace flir

#pragma once
// The XMP packets of a photo, as its APP1 segments hold them, and the
// positions in them.
//
// A standard packet lies in one segment. A packet too large for one segment
// continues as extended XMP: segments that each carry the GUID of the whole
// extended packet (the MD5 of its text, in 32 upper-case hex digits), its
// full length, the offset of their part, and the part. The main packet names
// the GUID (xmpNote:HasExtendedXMP), and readers join the parts by it. An
// extended packet is read only when its parts fit together exactly (one
// length, no gap, no overlap); when clearing changes it, the GUID is worked
// out again and written into each of its segments and in place of the old
// one in the main packet, so readers still join it. Everything keeps its
// length.

#include "engine/ExifGather.h"

#include <cstdint>
#include <vector>

namespace xmp {

// The EXIF tag numbers of the positions found, in order, and whether one of
// them is not zero.
struct Findings {
    std::vector<uint16_t> tags;
    bool nonZero = false;
};

Findings FindInSegments(const std::vector<XmpSegment>& segments);

// Clears every position; returns the segments that changed, as they are to
// be written, and lists in found the positions it cleared.
std::vector<XmpSegment> ClearInSegments(const std::vector<XmpSegment>& segments, Findings& found);

} // namespace xmp

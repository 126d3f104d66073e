#pragma once
// Decides whether a file is a JPEG photo whose EXIF data or XMP packet
// discloses a position. Returns one of the checkcode values
// (engine/ResultCodes.h). The file is only read.
int CheckGpsTags(const char* path);

#include <vector>

struct XmpSegment;

namespace stdlib {
class Stream;
class MemStream;
} // namespace stdlib

// The same check on a photo already open (from its current position), and
// on EXIF data alone (codes 0, 6, 7 and 8).
int CheckGpsTagsOf(stdlib::Stream& photo);
int CheckExifData(stdlib::MemStream& exif);

// The check on what a photo holds: its EXIF data (empty when it has none) and
// its XMP packets. A position that is not zero in either gives 0; positions
// that are all zero, wherever they are, give 8; else the EXIF data's code.
int CheckPhotoData(stdlib::MemStream& exif, const std::vector<XmpSegment>& xmp);

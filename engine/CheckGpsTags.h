#pragma once
// Decides whether a file is a JPEG photo whose EXIF data or XMP packet
// discloses a position. Returns one of the checkcode values
// (engine/ResultCodes.h). The file is only read.

#include <string>
#include <vector>

int CheckGpsTags(const char* path);
// The same, and on the same reading the locations the photo holds that
// Norvane does not clear (see OtherLocations.h). When there are some and no
// position Norvane clears is other than zero, the code is 9, never 6, 7 or 8.
int CheckGpsTags(const char* path, std::vector<std::string>* otherLocations);

struct XmpSegment;

namespace stdlib {
class Stream;
class MemStream;
} // namespace stdlib

// The same check on a photo already open (from its current position), and
// on EXIF data alone (codes 0, 6, 7 and 8).
int CheckGpsTagsOf(stdlib::Stream& photo, std::vector<std::string>* otherLocations = nullptr);
int CheckExifData(stdlib::Stream& exif, bool strict = true);

// The check on what a photo holds: its EXIF data (empty when it has none) and
// its XMP and FLIR segments. A position that is not zero in any of them gives
// 0; else a location that cannot be cleared gives 9; positions that are all
// zero, wherever they are, give 8; else the EXIF data's code.
int CheckPhotoData(stdlib::MemStream& exif, const std::vector<XmpSegment>& xmp);

#pragma once
// Decides whether a file is a JPEG photo whose EXIF data or XMP packet
// discloses a position. Returns one of the checkcode values
// (engine/ResultCodes.h). The file is only read.

#include <string>
#include <vector>

int CheckGpsTags(const char* path);
// The same, and on the same reading the locations the photo holds where they
// are not cleared (see OtherLocations.h).
int CheckGpsTags(const char* path, std::vector<std::string>* otherLocations);

struct XmpSegment;

namespace stdlib {
class Stream;
class MemStream;
} // namespace stdlib

// The same check on a photo already open (from its current position), and
// on EXIF data alone (codes 0, 6, 7 and 8).
int CheckGpsTagsOf(stdlib::Stream& photo, std::vector<std::string>* otherLocations = nullptr);
int CheckExifData(stdlib::MemStream& exif);

// The check on what a photo holds: its EXIF data (empty when it has none) and
// its XMP packets. A position that is not zero in either gives 0; positions
// that are all zero, wherever they are, give 8; else the EXIF data's code.
int CheckPhotoData(stdlib::MemStream& exif, const std::vector<XmpSegment>& xmp);

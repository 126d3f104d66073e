#pragma once
// Decides whether a file is a JPEG photo whose EXIF data or XMP packet
// discloses a position. Returns one of the checkcode values
// (engine/ResultCodes.h). The file is only read.
int CheckGpsTags(const char* path);

namespace stdlib {
class Stream;
class MemStream;
} // namespace stdlib

// The same check on a photo already open (from its current position), and
// on EXIF data alone (codes 0, 6, 7 and 8).
int CheckGpsTagsOf(stdlib::Stream& photo);
int CheckExifData(stdlib::MemStream& exif);

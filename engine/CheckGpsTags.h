#pragma once
// Decides whether a file is a JPEG photo whose EXIF data discloses a position.
//
// Result codes:
//   0  position values present and at least one is not zero: needs securing
//   1  no path given
//   2  not a usable JPEG codestream
//   4  the file cannot be opened for reading
//   6  no EXIF data, or no valid TIFF header or readable directory in it
//   7  EXIF data without any position tag
//   8  position tags present, every value zero: already secure
// The file is only read.
int CheckGpsTags(const char* path);

namespace stdlib {
class Stream;
class MemStream;
} // namespace stdlib

// The same check on a photo already open (from its current position), and
// on EXIF data alone (codes 0, 6, 7 and 8).
int CheckGpsTagsOf(stdlib::Stream& photo);
int CheckExifData(stdlib::MemStream& exif);

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

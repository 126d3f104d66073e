#pragma once
// Locations that a photo may hold where Norvane does not clear them, so that
// a user learns the photo still holds a position and it is never counted as
// secure: a FLIR block's GPS record whose layout is not the one known (see
// FlirRecords.h). Every other position Norvane reads it also clears: EXIF
// data (the GPS directories of IFD0, its SubIFDs and the Exif directory),
// XMP under the EXIF namespace and vendors' XMP properties, and FLIR GPS
// records of the known layout. Maker-note layouts are the makers' own and
// are not looked into.

#include "engine/ExifGather.h"

#include <string>
#include <vector>

// The kinds of location left in a photo's XMP and FLIR segments (as
// GatherExif gives them), each named in a few words; empty when there are
// none.
std::vector<std::string> FindOtherLocations(const std::vector<XmpSegment>& segments);

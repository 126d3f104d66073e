#pragma once
// Locations that a photo may hold where Norvane does not clear them: in
// blocks whose layout belongs to one vendor, and which a general rewrite
// cannot safely change. They are only reported, so that a user knows the
// photo still holds a position.
//
//  - a FLIR block (APP1 "FLIR" segments) with a GPS record;
//  - an XMP position property outside the EXIF namespace, such as a drone's
//    drone-dji:GpsLatitude, when its value holds a digit other than 0;
//  - a GPS directory that only the Exif directory points to (the Exif
//    directory is not read when positions are cleared).

#include "engine/CodestreamParser.h"
#include "engine/MemStream.h"

#include <string>
#include <vector>

// The kinds of location found in a mapped photo (file, its segment map and
// its EXIF data), each named in a few words; empty when there are none.
std::vector<std::string> FindOtherLocations(stdlib::Stream& file, const CodestreamParser& codestream,
                                            stdlib::MemStream& exif);

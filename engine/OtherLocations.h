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

#include <string>
#include <vector>

// The kinds of location found in the photo at path, each named in a few
// words; empty when there are none, or the file is no readable JPEG.
std::vector<std::string> FindOtherLocations(const char* path);

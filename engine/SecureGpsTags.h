#pragma once
// Clears the GPS position values of a photo and writes it anew.
//
// ClearGpsTags works on EXIF data in memory: it overwrites every value of
// the five position tags with zero bytes and lists what it cleared.
// SecureGpsTags works on files: the source's EXIF data, XMP packets and FLIR
// GPS records are gathered and cleared, and the photo is written again with
// every other byte kept.
//
// SecureGpsTags returns one of the securecode values (engine/ResultCodes.h):
// 6 when the photo was written with everything cleared that Norvane clears,
// but it still holds a location Norvane cannot clear (see OtherLocations.h).

#include "engine/GenArray.h"
#include "engine/MemStream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Vardle {

// One cleared tag: its number, and three values that are always 0. The log
// and norvane-cli list the values in the place where older versions wrote
// the position they removed; a privacy tool keeps no such copy, so only the
// format remains.
struct RemovedTag {
    uint32_t tag = 0;
    uint64_t values[3] = {0, 0, 0};
};

// A cleared position of an XMP packet is listed with this added to the number
// of the EXIF tag of the same name (GPSLatitude in XMP: 0x10002), and with
// the values 0: its old value is text, not rationals.
constexpr uint32_t kXmpTagMark = 0x10000;
// The same for vendors' XMP properties (drone-dji:GpsLatitude is listed as
// 0x10002, GpsLongitude and GpsLongtitude as 0x10004, AbsoluteAltitude as
// 0x10006). A FLIR GPS record's latitude, longitude and altitude are listed
// as the EXIF tags 2, 4 and 6 plus kFlirTagMark: 0x20002, 0x20004, 0x20006.
constexpr uint32_t kFlirTagMark = 0x20000;
// And for a movie's location (QuickTime ©xyz, Apple's location keys, 3GPP
// loci): latitude, longitude and altitude as 0x30002, 0x30004, 0x30006.
constexpr uint32_t kMovieTagMark = 0x30000;

// How an in-place rewrite reaches the disk. Every route gives the same bytes.
enum class Route {
    Fastest,       // patch the cleared bytes in place when that gives the same file
    InMemory,      // build the new photo in memory, then swap it in
    TemporaryFile, // stream the new photo into a file beside it, then swap it in
};

} // namespace Vardle

using RemovedTags = gen::array<Vardle::RemovedTag>;

// False when the EXIF data cannot be parsed; nothing is changed then. The
// data may be any stream that can be written in place (a payload of a photo
// container too); strict false reads a header whose version is a maker's own.
bool ClearGpsTags(stdlib::Stream& exif, RemovedTags& removedTags, bool strict = true);

int SecureGpsTags(const char* sourcePath, const char* destinationPath, RemovedTags& removedTags);
int SecureGpsTags(const char* sourcePath, const char* destinationPath, RemovedTags& removedTags,
                  Vardle::Route route);

// CheckGpsTags and, when it gives 0, SecureGpsTags in place, on one reading
// of the photo: the same codes and the same bytes as the two calls, in half
// the reading, and with no moment between them in which the photo could
// change. Returns the securing code, or -1 when the check's code (in
// checkCode) meant nothing was to be done. When left is given it receives
// the locations the photo still holds that Norvane cannot clear (named as
// CheckGpsTags names them): with check code 9, and with securing code 6.
int SecureGpsTagsIfNeeded(const char* path, int& checkCode, RemovedTags& removedTags,
                          std::vector<std::string>* left = nullptr);

// The cleared tags as the activity log lists them: "?%d;" with the number of
// records, then "%X(%I64X,%I64X,%I64X);" per record (upper-case hex).
std::string RemovedTagsText(const RemovedTags& removedTags);

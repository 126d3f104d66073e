#pragma once
// The GPS tags that disclose a position, and how the check and the removal
// find them: every directory of the parser, the GPS directories and the Exif
// directories (which may point to a GPS directory) included.

#include "engine/TiffParser.h"

#include <cstdint>

// A position value is a rational: RATIONAL as the EXIF standard has it, or
// SRATIONAL as some phones write it (negative degrees for south and west).
// Both hold 8 bytes a value, so they are found, read and cleared alike.
inline bool IsPositionTag(const IFDItem& item) {
    constexpr uint16_t kRational = 5, kSignedRational = 10;
    switch (item.tag) {
    case 2:  // GPSLatitude
    case 4:  // GPSLongitude
    case 6:  // GPSAltitude
    case 20: // GPSDestLatitude
    case 22: // GPSDestLongitude
        return item.type == kRational || item.type == kSignedRational;
    default:
        return false;
    }
}

// Reads every GPS directory that the directories read point to, through an
// Exif directory too.
inline void ReadGpsDirectory(Parser& parser) {
    parser.ReadGpsDirectories();
}

// Calls visit(item) for every position tag, directories in reading order and
// entries in slot order (the earlier entries of a repeated tag last).
template <class Visit> void ForEachPositionTag(const Parser& parser, Visit visit) {
    for (uint32_t d = 0; d < parser.ifds.GetCount(); ++d) {
        const IFD* ifd = parser.ifds[d];
        for (uint32_t i = 0; i < ifd->items.GetCount(); ++i) {
            const IFDItem* item = ifd->items[i];
            if (item && IsPositionTag(*item))
                visit(*item);
        }
    }
}

// True when some position tag holds a value that is not zero (a NaN is not
// zero); found tells whether there is any position tag at all. Values beyond
// the loaded bytes read as zero, so they need no visit.
inline bool HasPositionValue(const Parser& parser, bool* found = nullptr) {
    bool any = false, nonZero = false;
    ForEachPositionTag(parser, [&](const IFDItem& item) {
        any = true;
        uint64_t values = item.loaded / 8 < item.count ? item.loaded / 8 : item.count;
        for (uint64_t k = 0; k < values && !nonZero; ++k)
            nonZero = !(Parser::GetReal(item, k) == 0.0);
    });
    if (found)
        *found = any;
    return nonZero;
}

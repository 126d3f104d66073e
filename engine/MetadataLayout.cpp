#include "engine/MetadataLayout.h"

#include <cstring>

namespace layout {

namespace {

bool Starts(const uint8_t* head, size_t size, const char* magic, size_t n, size_t at = 0) {
    return size >= at + n && std::memcmp(head + at, magic, n) == 0;
}

} // namespace

Format SniffFormat(const uint8_t* head, size_t size) {
    if (!head)
        return Format::Unknown;
    if (Starts(head, size, "\xFF\xD8\xFF", 3))
        return Format::Jpeg;
    if (Starts(head, size, "\x89PNG\r\n\x1A\n", 8))
        return Format::Png;
    if (Starts(head, size, "RIFF", 4) && Starts(head, size, "WEBP", 4, 8))
        return Format::WebP;
    // A box file: ISO ones start with "ftyp", QuickTime movies of old with
    // their movie, data or a filler box.
    for (const char* type : {"ftyp", "moov", "mdat", "wide", "free", "skip", "pnot"})
        if (Starts(head, size, type, 4, 4))
            return Format::Isobmff;
    // TIFF and BigTIFF in both byte orders, and the raw files whose header
    // names the maker instead of the version: Olympus ORF, Panasonic RW2.
    static const char* const kTiffHeads[] = {"II*\0", "MM\0*", "II+\0", "MM\0+",
                                             "IIRO",  "IIRS",  "MMOR",  "IIU\0"};
    for (const char* magic : kTiffHeads)
        if (Starts(head, size, magic, 4))
            return Format::Tiff;
    return Format::Unknown;
}

uint64_t ExifPrefixLength(stdlib::Stream& file, uint64_t at, uint64_t n) {
    uint8_t front[6];
    return n >= 6 && file.SetPos(at) && file.Read(front, 1, 6) == 6 && std::memcmp(front, "Exif\0\0", 6) == 0
               ? 6
               : 0;
}

bool ReadLayout(stdlib::Stream& file, Layout& layout) {
    uint8_t head[16] = {};
    if (!file.SetPos(0))
        return false;
    size_t got = file.Read(head, 1, sizeof head);
    layout = Layout();
    switch (SniffFormat(head, got)) {
    case Format::Tiff:
        return ReadTiffLayout(file, layout);
    case Format::Isobmff:
        return ReadIsobmffLayout(file, layout);
    case Format::Png:
        return ReadPngLayout(file, layout);
    case Format::WebP:
        return ReadWebpLayout(file, layout);
    default:
        return false;
    }
}

} // namespace layout

#pragma once
// Where a photo that is not a JPEG keeps its metadata: the layout of its
// container, read without decoding anything.
//
// Every container Norvane reads keeps a position in one of two forms: TIFF
// data (the EXIF structure, from its "II"/"MM" header on: a HEIF Exif item,
// a PNG eXIf chunk, a WebP EXIF chunk, a CR3 CMT box, or a TIFF, DNG or raw
// file itself) or an XMP packet (a HEIF mime item, a PNG iTXt chunk, a WebP
// XMP chunk, a TIFF file's tag 700). A container reader names where those lie
// in the file as payloads; one clearer (ContainerSecuring.h) reads and clears
// them all alike, with the same TIFF reader and XMP rule as a JPEG's, and
// writes only the changed value bytes back in place. What a reader finds
// that may hold a location but cannot be cleared in place (data stored
// compressed or protected) is named in reported: such a photo is never
// called secure.
//
// The readers are bounded like the JPEG one: nesting, counts and sizes are
// limited, sizes that overflow 64 bits or reach past the file's end are not
// followed, references are never followed in a loop. A file whose structure
// cannot be read at all gives false (code 2, as an unusable JPEG).

#include "engine/Stream.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace layout {

enum class Format {
    Unknown,
    Jpeg,    // FF D8 FF: the JPEG engine's own
    Isobmff, // a box file: HEIC, HEIF, AVIF, CR3, and QuickTime and MP4 movies
    Png,
    WebP,
    Tiff, // TIFF, DNG and the TIFF-based raw files (CR2, NEF, ARW, ORF, RW2, PEF)
};

// The format by the file's first bytes (16 are enough; fewer may do),
// never by its name: a .jpg that holds a HEIC is a HEIC.
Format SniffFormat(const uint8_t* head, size_t size);

// Bytes of the file: [offset, offset + length).
struct Extent {
    uint64_t offset = 0;
    uint64_t length = 0;
};

enum class PayloadKind {
    Tiff,    // TIFF data: its first byte is the "II"/"MM" of its header
    Xmp,     // an XMP packet's text
    Iso6709, // a movie's location as ISO 6709 text ("+37.8850-122.6225+012.000/"): its digits become 0
    Zeroed,  // position values of a fixed layout (3GPP loci: fixed-point numbers): its bytes become 0
};

// One piece of metadata: its bytes are its extents joined in order (a HEIF
// item may lie in several). Every extent lies inside the file.
struct Payload {
    PayloadKind kind = PayloadKind::Tiff;
    std::vector<Extent> extents;
    // TIFF data whose header carries a maker's own version number instead of
    // 42 (Olympus ORF "RO"/"RS", Panasonic RW2 0x55): read as version 42.
    bool makerVersion = false;

    uint64_t Size() const {
        uint64_t n = 0;
        for (const Extent& e : extents)
            n += e.length;
        return n;
    }
};

// A checksum the container keeps over bytes a clearing may change: the
// CRC-32 (ISO 3309, as PNG uses it) of [from, from + length), stored
// big-endian in the four bytes at storedAt. It is worked out anew when a
// byte it covers changes, and only when it was right before.
struct Crc32Field {
    uint64_t from = 0;
    uint64_t length = 0;
    uint64_t storedAt = 0;
};

struct Layout {
    Format format = Format::Unknown;
    std::vector<Payload> payloads;
    std::vector<Crc32Field> crcs;
    // Metadata that may hold a location and is not cleared, each named in a
    // few words for the log and norvane-cli ("compressed Exif item").
    std::vector<std::string> reported;

    // Adds the payload [at, at + length) of the file; nothing when empty.
    void AddPayload(PayloadKind kind, uint64_t at, uint64_t length) {
        if (length == 0)
            return;
        Payload payload;
        payload.kind = kind;
        payload.extents.push_back({at, length});
        payloads.push_back(payload);
    }
};

// 6 when the n bytes at at of the file begin with "Exif\0\0" (which some
// writers put before the TIFF header of a PNG eXIf or WebP EXIF chunk),
// else 0.
uint64_t ExifPrefixLength(stdlib::Stream& file, uint64_t at, uint64_t n);

// Each reader reads from the start of the stream and fills layout; false
// when the file is not of its format or its structure cannot be read.
bool ReadIsobmffLayout(stdlib::Stream& file, Layout& layout); // HEIC, HEIF, AVIF, CR3, MOV, MP4
bool ReadPngLayout(stdlib::Stream& file, Layout& layout);
bool ReadWebpLayout(stdlib::Stream& file, Layout& layout);
bool ReadTiffLayout(stdlib::Stream& file, Layout& layout);

// Sniffs the format and calls its reader; false for a JPEG (which has its
// own engine), for an unknown format and when the reader gives false.
bool ReadLayout(stdlib::Stream& file, Layout& layout);

} // namespace layout

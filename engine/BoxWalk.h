#pragma once
// The box structure of the ISO base media file format (HEIF, AVIF, CR3, and
// the QuickTime and MP4 files it grew from): a box is a 32-bit big-endian
// size and a four-character type, the size 1 followed by a 64-bit size, the
// size 0 meaning "to the end of what holds it", the type "uuid" followed by
// a 16-byte extended type. Boxes follow each other inside the box that holds
// them, or the file.
//
// The walk is bounded: a header that does not fit ends the list, a size
// smaller than its header ends it, and so does a box that reaches past what
// holds it; that box is taken up to the end of its holder, since a file cut
// short still has its first boxes whole. No list yields more than
// kMaxBoxes boxes.

#include "engine/Stream.h"

#include <cstdint>
#include <string>
#include <vector>

namespace layout {

struct Box {
    char type[5] = {};     // the four characters, 0-terminated
    uint8_t uuid[16] = {}; // the extended type of a "uuid" box
    uint64_t start = 0;    // its first byte (of the header)
    uint64_t body = 0;     // the first byte after the header
    uint64_t end = 0;      // one past its last byte
    bool cut = false;      // it claimed to reach past its holder

    bool Is(const char* name) const;
    // A "uuid" box of XMP (BE7ACFCB-97A9-42E8-9C71-999491E3AFAC), as MP4,
    // HEIF and CR3 files keep their XMP packet.
    bool IsXmp() const;
    uint64_t BodySize() const { return end - body; }
};

constexpr uint32_t kMaxBoxes = 100000;

// True for a box that may open a box file: "ftyp", or what a QuickTime
// movie of old starts with ("moov", "mdat", "wide", "free", "skip", "pnot").
bool IsFirstBox(const Box& box);

// The boxes that lie in [from, to) of the file, in order.
std::vector<Box> ListBoxes(stdlib::Stream& file, uint64_t from, uint64_t to);

// The box's body, at most limit bytes of it (or all of it when smaller);
// false when it is larger than limit or cannot be read whole.
bool ReadBody(stdlib::Stream& file, const Box& box, uint64_t limit, std::vector<uint8_t>& body);

} // namespace layout

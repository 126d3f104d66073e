#pragma once
// Walks a JPEG file from marker to marker (ITU-T T.81 marker syntax) and
// records where each marker's payload lies: the segment map. Image data is
// never decoded; entropy-coded data after SOS is passed over byte by byte,
// stepping over stuffed zeros and restart markers, up to the next real marker.

#include "engine/GenArray.h"
#include "engine/Stream.h"

#include <cstdint>
#include <memory>

class CodestreamParser {
public:
    struct MapItem {
        uint64_t offset = 0; // first payload byte (after the length field, if any)
        uint16_t length = 0; // payload bytes: length field - 2; 0 without a length field
        uint8_t marker = 0;  // the byte after 0xFF
    };

    // A real photo has tens of markers (a progressive one a few hundred).
    // A file that makes more than this many is not a photo: the map stops and
    // the scan fails, so hostile input cannot make the map use unbounded memory.
    static constexpr uint32_t kMaxMapItems = 1u << 20;

    // Reads from the stream's current position; true when EOI was reached
    // (it is then the last item), or when the file ends inside the image data
    // after a whole scan header: a photo whose copy or download was cut short
    // still holds its EXIF data, and its position with it. The map then ends
    // with that SOS (what follows it is entropy-coded data as far as a rewrite
    // is concerned, copied to the end of the file) and cutShort is set. On
    // false, map holds the items found so far.
    bool BuildMap(stdlib::Stream& stream);

    // Usable JPEG codestream: the map reached EOI and begins with SOI.
    bool IsUsable(bool built) const { return built && map.GetCount() > 0 && map[0].marker == 0xD8; }

    static bool HasLengthField(uint8_t marker) { return marker != 0xD8 && marker != 0xD9 && marker != 0x01; }

    gen::array<MapItem> map;

    // What a rewrite from the map would not reproduce: bytes outside the
    // entropy-coded data that come before a marker (junk, fill bytes, bytes
    // before the first marker), and length fields below 2.
    uint64_t bytesSkippedOutsideScans = 0;
    uint32_t shortLengthFields = 0;

    // The file ended before EOI, after a whole scan header.
    bool cutShort = false;

private:
    bool refill();
    bool takeByte(uint8_t& byte);
    bool nextMarker();
    bool endsInImageData();

    stdlib::Stream* stream = nullptr;
    MapItem item;
    bool mapFull = false; // the map reached kMaxMapItems
    // The whole file passes through this buffer, so it is large: a few big
    // reads cost far less than many small ones. It lives on the heap, since
    // the parser is a local of threads with small stacks.
    static constexpr uint32_t kBufferSize = 256 * 1024;
    std::unique_ptr<uint8_t[]> buffer;
    uint64_t bufferStart = 0;
    uint64_t readPos =
        0; // stream position of the next refill, kept here: asking the stream costs a system call
    uint32_t current = 0; // next unread byte of buffer
    uint32_t end = 0;     // bytes held in buffer
};

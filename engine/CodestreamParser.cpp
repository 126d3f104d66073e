#include "engine/CodestreamParser.h"

#include <cstring>

bool CodestreamParser::refill() {
    bufferStart = stream->Tell();
    size_t n = stream->Read(buffer, 1, sizeof buffer);
    current = 0;
    end = uint32_t(n);
    return n != 0;
}

bool CodestreamParser::takeByte(uint8_t& byte) {
    if (current == end && !refill())
        return false;
    byte = buffer[current++];
    return true;
}

bool CodestreamParser::nextMarker() {
    const uint64_t start = current == end ? stream->Tell() : bufferStart + current;
    uint8_t b;
    for (;;) {
        // Entropy-coded data is most of a photo: find the next 0xFF a block at
        // a time instead of byte by byte.
        for (;;) {
            if (current == end && !refill())
                return false;
            const void* ff = std::memchr(buffer + current, 0xFF, end - current);
            if (ff) {
                current = uint32_t(static_cast<const uint8_t*>(ff) - buffer) + 1;
                break;
            }
            current = end;
        }
        do { // fill bytes before a marker
            if (!takeByte(b))
                return false;
        } while (b == 0xFF);
        bool stuffedOrRestart = b == 0x00 || (b >= 0xD0 && b <= 0xD7);
        if (!stuffedOrRestart)
            break;
    }
    const uint64_t markerAt = bufferStart + current - 2; // the 0xFF before b
    if (markerAt > start && (map.GetCount() == 0 || map[map.GetCount() - 1].marker != 0xDA))
        bytesSkippedOutsideScans += markerAt - start;
    item.marker = b;
    item.length = 0;
    if (HasLengthField(b)) {
        uint8_t hi, lo;
        if (!takeByte(hi) || !takeByte(lo))
            return false;
        uint16_t field = uint16_t(hi << 8 | lo);
        if (field < 2)
            ++shortLengthFields;
        item.length = field < 2 ? 0 : uint16_t(field - 2);
    }
    item.offset = bufferStart + current;
    if (map.GetCount() >= kMaxMapItems)
        return false;
    map.append(item);
    return true;
}

bool CodestreamParser::BuildMap(stdlib::Stream& source) {
    stream = &source;
    map.clear();
    bytesSkippedOutsideScans = 0;
    shortLengthFields = 0;
    current = end = 0;
    bufferStart = source.Tell();
    for (;;) {
        if (!nextMarker())
            return false;
        if (item.marker == 0xD9)
            return true;
        if (item.length <= end - current) {
            current += item.length;
        } else {
            if (!stream->SetPos(item.offset + item.length))
                return false;
            current = end = 0; // the next refill reads from there
        }
    }
}

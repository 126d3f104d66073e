#include "engine/CodestreamParser.h"

bool CodestreamParser::takeByte(uint8_t& byte) {
    if (current == end) {
        bufferStart = stream->Tell();
        size_t n = stream->Read(buffer, 1, sizeof buffer);
        current = 0;
        end = uint32_t(n);
        if (n == 0)
            return false;
    }
    byte = buffer[current++];
    return true;
}

bool CodestreamParser::nextMarker() {
    uint8_t b;
    for (;;) {
        do {
            if (!takeByte(b))
                return false;
        } while (b != 0xFF);
        do { // fill bytes before a marker
            if (!takeByte(b))
                return false;
        } while (b == 0xFF);
        bool stuffedOrRestart = b == 0x00 || (b >= 0xD0 && b <= 0xD7);
        if (!stuffedOrRestart)
            break;
    }
    item.marker = b;
    item.length = 0;
    if (HasLengthField(b)) {
        uint8_t hi, lo;
        if (!takeByte(hi) || !takeByte(lo))
            return false;
        uint16_t field = uint16_t(hi << 8 | lo);
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

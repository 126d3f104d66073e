#include "engine/CodestreamParser.h"

#include "engine/MarkerScan.h"

#include <cstring>

bool CodestreamParser::refill() {
    bufferStart = readPos;
    size_t n = stream->Read(buffer.get(), 1, kBufferSize);
    readPos += n;
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
    const uint64_t start = current == end ? readPos : bufferStart + current;
    uint8_t b;
    for (;;) {
        // Entropy-coded data is most of a photo: skip what cannot hold a
        // marker a block at a time, then take the candidate byte by byte.
        for (;;) {
            if (current == end && !refill())
                return false;
            current += uint32_t(ScanForMarker(buffer.get() + current, end - current));
            if (buffer[current++] == 0xFF)
                break;
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
    if (map.GetCount() >= kMaxMapItems) {
        mapFull = true;
        return false;
    }
    map.append(item);
    return true;
}

// A file that ends before EOI is kept when everything up to the image data
// is there: the map is cut back to its last SOS whose header lies whole in
// the file. Segments after that SOS (a cut table between two scans of a
// progressive photo, or whole ones) are then bytes of its image data, which
// a rewrite copies as they are.
bool CodestreamParser::endsInImageData() {
    if (mapFull)
        return false;
    const uint64_t size = stream->GetSize();
    for (uint32_t i = map.GetCount(); i-- > 0;) {
        const MapItem& scan = map[i];
        if (scan.marker != 0xDA || scan.offset > size || scan.length > size - scan.offset)
            continue;
        map.reserve(i + 1); // cuts the count down
        cutShort = true;
        return true;
    }
    return false;
}

bool CodestreamParser::BuildMap(stdlib::Stream& source) {
    stream = &source;
    map.clear();
    bytesSkippedOutsideScans = 0;
    shortLengthFields = 0;
    cutShort = mapFull = false;
    current = end = 0;
    if (!buffer)
        buffer.reset(new uint8_t[kBufferSize]);
    bufferStart = readPos = source.Tell();
    for (;;) {
        if (!nextMarker())
            return endsInImageData();
        if (item.marker == 0xD9)
            return true;
        if (item.length <= end - current) {
            current += item.length;
        } else {
            readPos = item.offset + item.length;
            if (!stream->SetPos(readPos))
                return endsInImageData();
            current = end = 0; // the next refill reads from there
        }
    }
}

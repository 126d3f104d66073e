#include "engine/FlirRecords.h"

#include <algorithm>
#include <cstring>

namespace flir {

namespace {

constexpr size_t kPartHeader = 8;
constexpr size_t kFileHeader = 0x40;
constexpr size_t kEntrySize = 0x20;
constexpr uint64_t kMaxEntries = 4096; // real blocks list a dozen
constexpr uint16_t kGpsRecord = 0x2B;
// Latitude (double) at 0x10, longitude (double) at 0x18, altitude (float) at 0x20.
constexpr uint32_t kValuesAt = 0x10, kLatitudeEnd = 0x18, kLongitudeEnd = 0x20, kValuesEnd = 0x24;

uint32_t Load(const std::vector<uint8_t>& d, uint64_t at, unsigned n, bool bigEndian) {
    uint32_t v = 0;
    for (unsigned i = 0; i < n; ++i)
        v |= uint32_t(d[at + i]) << (bigEndian ? 8 * (n - 1 - i) : 8 * i);
    return v;
}

// The block joined from its parts, and where each part came from.
struct Block {
    std::vector<uint8_t> fff;
    std::vector<size_t> segment; // index into the segments, per part
    std::vector<uint64_t> start; // offset of each part in fff
};

// Parts join in the order of their numbers, those of one number in file
// order, as exiftool joins them.
Block Join(const std::vector<XmpSegment>& segments) {
    Block block;
    for (size_t i = 0; i < segments.size(); ++i)
        if (IsSegment(segments[i].payload.data(), segments[i].payload.size()))
            block.segment.push_back(i);
    std::stable_sort(block.segment.begin(), block.segment.end(),
                     [&](size_t a, size_t b) { return segments[a].payload[6] < segments[b].payload[6]; });
    for (size_t i : block.segment) {
        const std::vector<uint8_t>& p = segments[i].payload;
        block.start.push_back(block.fff.size());
        block.fff.insert(block.fff.end(), p.begin() + kPartHeader, p.end());
    }
    return block;
}

struct Range {
    uint64_t begin, end;
};

// [begin, end) of the values of each GPS record in the block: as many of
// them as the record holds (a short record may end after its longitude,
// which readers still read). Records that hold none, or whose values are
// not where the layout puts them, only set unrecognised.
std::vector<Range> ValueRanges(const std::vector<uint8_t>& fff, GpsRecords& found) {
    std::vector<Range> ranges;
    const uint64_t size = fff.size();
    if (size < kFileHeader || (std::memcmp(fff.data(), "FFF\0", 4) != 0 && std::memcmp(fff.data(), "AFF\0", 4) != 0))
        return ranges;
    bool known = false, bigEndian = true;
    for (bool order : {true, false}) {
        uint32_t version = Load(fff, 0x14, 4, order);
        if (version >= 100 && version < 200) {
            known = true;
            bigEndian = order;
            break;
        }
    }
    // A header of no known version is looked at in both orders: a GPS record
    // found either way is reported.
    for (bool order : {true, false}) {
        if (known && order != bigEndian)
            continue;
        const uint64_t directory = Load(fff, 0x18, 4, order), entries = Load(fff, 0x1C, 4, order);
        for (uint64_t i = 0; i < entries && i < kMaxEntries; ++i) {
            uint64_t entry = directory + kEntrySize * i;
            if (entry > size || kEntrySize > size - entry)
                break;
            if (Load(fff, entry, 2, order) != kGpsRecord)
                continue;
            uint64_t offset = Load(fff, entry + 0x0C, 4, order), length = Load(fff, entry + 0x10, 4, order);
            if (length == 0)
                continue;
            if (!known || length < kLatitudeEnd || offset > size || length > size - offset) {
                found.unrecognised = true;
                continue;
            }
            found.recognised = true;
            Range r{offset + kValuesAt, offset + (length < kValuesEnd ? length : kValuesEnd)};
            for (uint64_t b = r.begin; b < r.end; ++b)
                found.nonZero = found.nonZero || fff[b] != 0;
            ranges.push_back(r);
        }
    }
    return ranges;
}

} // namespace

bool IsSegment(const uint8_t* payload, size_t size) {
    return size >= kPartHeader && std::memcmp(payload, "FLIR", 5) == 0;
}

GpsRecords FindGpsRecords(const std::vector<XmpSegment>& segments) {
    GpsRecords found;
    bool any = false;
    for (const XmpSegment& s : segments)
        any = any || IsSegment(s.payload.data(), s.payload.size());
    if (any)
        ValueRanges(Join(segments).fff, found);
    return found;
}

std::vector<XmpSegment> ClearGpsRecords(const std::vector<XmpSegment>& segments, std::vector<uint16_t>& cleared) {
    std::vector<XmpSegment> changed;
    bool any = false;
    for (const XmpSegment& s : segments)
        any = any || IsSegment(s.payload.data(), s.payload.size());
    if (!any)
        return changed;
    Block block = Join(segments);
    GpsRecords found;
    std::vector<Range> ranges = ValueRanges(block.fff, found);
    // Each value byte back into the part that holds it: a record may lie
    // across two segments.
    std::vector<XmpSegment> work;
    std::vector<bool> touched(block.segment.size(), false);
    for (size_t part = 0; part < block.segment.size(); ++part)
        work.push_back(segments[block.segment[part]]);
    for (const Range& r : ranges) {
        size_t part = 0;
        for (uint64_t b = r.begin; b < r.end; ++b) {
            while (part + 1 < block.start.size() && block.start[part + 1] <= b)
                ++part;
            uint8_t& byte = work[part].payload[kPartHeader + (b - block.start[part])];
            touched[part] = touched[part] || byte != 0;
            byte = 0;
        }
        uint64_t length = r.end - r.begin + kValuesAt;
        cleared.push_back(2);
        if (length >= kLongitudeEnd)
            cleared.push_back(4);
        if (length >= kValuesEnd)
            cleared.push_back(6);
    }
    for (size_t part = 0; part < work.size(); ++part)
        if (touched[part])
            changed.push_back(std::move(work[part]));
    return changed;
}

} // namespace flir

#include "engine/XmpPackets.h"

#include "engine/Md5.h"
#include "engine/XmpPositions.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

namespace xmp {

namespace {

// No real extended packet comes near this; it keeps crafted lengths from
// asking for memory.
constexpr uint32_t kMaxExtendedLength = 64u << 20;

uint32_t LoadBE32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// One extended packet: its segments (indexes into the photo's list) in the
// order of their parts, and its text joined.
struct Extended {
    std::string guid;
    std::vector<size_t> parts;
    std::vector<uint8_t> text;
};

// The extended packets whose parts fit together, in the order their first
// segment comes in the photo.
std::vector<Extended> JoinExtended(const std::vector<XmpSegment>& segments) {
    std::vector<Extended> packets;
    std::map<std::string, size_t> byGuid;
    for (size_t i = 0; i < segments.size(); ++i) {
        const std::vector<uint8_t>& p = segments[i].payload;
        if (!IsExtendedSegment(p.data(), p.size()))
            continue;
        std::string guid(reinterpret_cast<const char*>(p.data()) + kExtendedHeaderSize, kGuidSize);
        auto found = byGuid.find(guid);
        if (found == byGuid.end()) {
            found = byGuid.emplace(guid, packets.size()).first;
            packets.push_back(Extended{guid, {}, {}});
        }
        packets[found->second].parts.push_back(i);
    }
    std::vector<Extended> whole;
    for (Extended& packet : packets) {
        auto offsetOf = [&](size_t i) { return LoadBE32(segments[i].payload.data() + kExtendedHeaderSize + kGuidSize + 4); };
        std::stable_sort(packet.parts.begin(), packet.parts.end(),
                         [&](size_t a, size_t b) { return offsetOf(a) < offsetOf(b); });
        const uint32_t length = LoadBE32(segments[packet.parts[0]].payload.data() + kExtendedHeaderSize + kGuidSize);
        bool fits = length <= kMaxExtendedLength;
        uint64_t end = 0;
        for (size_t i : packet.parts) {
            const std::vector<uint8_t>& p = segments[i].payload;
            fits = fits && LoadBE32(p.data() + kExtendedHeaderSize + kGuidSize) == length && offsetOf(i) == end;
            end += p.size() - kExtendedPartAt;
        }
        if (!fits || end != length)
            continue;
        packet.text.reserve(length);
        for (size_t i : packet.parts)
            packet.text.insert(packet.text.end(), segments[i].payload.begin() + long(kExtendedPartAt),
                               segments[i].payload.end());
        whole.push_back(std::move(packet));
    }
    return whole;
}

void Note(const std::vector<Value>& values, Findings& found) {
    for (const Value& v : values) {
        found.tags.push_back(v.tag);
        found.nonZero = found.nonZero || v.nonZero;
    }
}

} // namespace

Findings FindInSegments(const std::vector<XmpSegment>& segments) {
    Findings found;
    for (const XmpSegment& s : segments)
        if (IsPacket(s.payload.data(), s.payload.size()))
            Note(FindPositionsInPacket(s.payload.data() + kPacketHeaderSize, s.payload.size() - kPacketHeaderSize), found);
    for (const Extended& packet : JoinExtended(segments))
        Note(FindPositionsInPacket(packet.text.data(), packet.text.size()), found);
    return found;
}

std::vector<XmpSegment> ClearInSegments(const std::vector<XmpSegment>& segments, Findings& found) {
    std::vector<XmpSegment> work = segments;
    std::vector<bool> changed(segments.size(), false);
    for (Extended& packet : JoinExtended(segments)) {
        std::vector<Value> values;
        bool cleared = ClearAllPositionsInPacket(packet.text.data(), packet.text.size(), values);
        Note(values, found);
        if (!cleared)
            continue;
        std::string guid = md5::HexDigest(packet.text.data(), packet.text.size());
        size_t at = 0;
        for (size_t i : packet.parts) {
            std::vector<uint8_t>& p = work[i].payload;
            std::memcpy(p.data() + kExtendedHeaderSize, guid.data(), kGuidSize);
            size_t n = p.size() - kExtendedPartAt;
            std::memcpy(p.data() + kExtendedPartAt, packet.text.data() + at, n);
            at += n;
            changed[i] = true;
        }
        // The main packets name the extended one by its GUID.
        for (size_t i = 0; i < work.size(); ++i) {
            std::vector<uint8_t>& p = work[i].payload;
            if (!IsPacket(p.data(), p.size()))
                continue;
            for (auto hit = std::search(p.begin(), p.end(), packet.guid.begin(), packet.guid.end()); hit != p.end();
                 hit = std::search(hit + long(kGuidSize), p.end(), packet.guid.begin(), packet.guid.end())) {
                std::copy(guid.begin(), guid.end(), hit);
                changed[i] = true;
            }
        }
    }
    // The main packets last: a GUID written into one could stand inside a
    // position value there, and is cleared with it.
    for (size_t i = 0; i < work.size(); ++i) {
        std::vector<uint8_t>& p = work[i].payload;
        if (!IsPacket(p.data(), p.size()))
            continue;
        std::vector<Value> values;
        if (ClearAllPositionsInPacket(p.data() + kPacketHeaderSize, p.size() - kPacketHeaderSize, values))
            changed[i] = true;
        Note(values, found);
    }
    std::vector<XmpSegment> out;
    for (size_t i = 0; i < work.size(); ++i)
        if (changed[i])
            out.push_back(std::move(work[i]));
    return out;
}

} // namespace xmp

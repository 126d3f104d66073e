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

// Writes the new GUID over every place where an old one stands in text, in
// one pass however many GUIDs changed: a rolling hash of each 32 bytes picks
// the places worth comparing, so a photo with many extended packets and
// large main packets costs time in proportion to its size.
bool RenameGuids(std::vector<uint8_t>& text, const std::map<std::string, std::string>& renamed) {
    constexpr uint64_t kBase = 1099511628211ull;
    auto hashOf = [](const uint8_t* p) {
        uint64_t h = 0;
        for (size_t k = 0; k < kGuidSize; ++k)
            h = h * kBase + p[k];
        return h;
    };
    std::vector<uint64_t> wanted;
    for (const auto& r : renamed)
        wanted.push_back(hashOf(reinterpret_cast<const uint8_t*>(r.first.data())));
    std::sort(wanted.begin(), wanted.end());
    uint64_t top = 1; // kBase to the power kGuidSize - 1: the weight of the byte that leaves
    for (size_t k = 1; k < kGuidSize; ++k)
        top *= kBase;

    bool changed = false;
    if (text.size() < kGuidSize)
        return false;
    uint64_t h = hashOf(text.data());
    for (size_t at = 0;;) {
        if (std::binary_search(wanted.begin(), wanted.end(), h)) {
            auto hit = renamed.find(std::string(reinterpret_cast<const char*>(text.data()) + at, kGuidSize));
            if (hit != renamed.end()) {
                std::memcpy(text.data() + at, hit->second.data(), kGuidSize);
                changed = true;
                at += kGuidSize;
                if (text.size() - at < kGuidSize)
                    break;
                h = hashOf(text.data() + at);
                continue;
            }
        }
        if (text.size() - at == kGuidSize)
            break;
        h = (h - text[at] * top) * kBase + text[at + kGuidSize];
        ++at;
    }
    return changed;
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
    std::map<std::string, std::string> renamed; // old GUID -> new
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
        renamed.emplace(packet.guid, guid);
    }
    // The main packets name the extended ones by their GUIDs, and last: a
    // GUID written into one could stand inside a position value there, and
    // is cleared with it.
    for (size_t i = 0; i < work.size(); ++i) {
        std::vector<uint8_t>& p = work[i].payload;
        if (!IsPacket(p.data(), p.size()))
            continue;
        if (!renamed.empty() && RenameGuids(p, renamed))
            changed[i] = true;
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

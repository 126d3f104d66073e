// Where a QuickTime or MP4 movie (MOV, MP4, M4V, 3GP, 3G2) keeps where it
// was filmed: all of it in the "moov" box, a few kilobytes however long the
// movie is, and all of it cleared in place to values of the same length:
//   - user data ("udta") of the movie and of every track: "©xyz", an
//     ISO 6709 text such as "+37.8850-122.6225+012.000/", whose digits
//     become 0 (signs and separators stay); "loci" (3GPP), whose fixed-point
//     longitude, latitude and altitude become 0; "XMP_", an XMP packet;
//   - metadata ("meta", in the movie, a track or user data): Apple's keys
//     ("keys" + "ilst": com.apple.quicktime.location.ISO6709, and any other
//     key naming a location whose value is ISO 6709 text) and iTunes-style
//     items ("ilst/©xyz");
//   - the XMP "uuid" box;
//   - and a CR3 photo's EXIF directories, in Canon's "uuid" box.
// A track of timed metadata (a GoPro "gpmd" track, "camm", Apple's "mebx"
// and the like) may carry a whole GPS trail in its samples: it is reported,
// not cleared. "free" and "skip" boxes are never read.

#include "engine/MovieLayout.h"
#include "engine/BoxWalk.h"
#include "engine/ByteCursor.h"

#include <cstring>
#include <string>
#include <vector>

namespace layout {

namespace {

constexpr uint64_t kMaxKeysBody = 1u << 20;

const uint8_t kCanonUuid[16] = {0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0,
                                0x81, 0x11, 0xf4, 0xce, 0x46, 0x2b, 0x6a, 0x48};

// A QuickTime "meta" box has no version and flags; an ISO one has: the
// body starts with a box (its handler) or with four bytes before it.
uint64_t MetaChildren(stdlib::Stream& file, const Box& meta) {
    uint8_t head[12];
    if (meta.BodySize() >= 12 && file.SetPos(meta.body) && file.Read(head, 1, 12) == 12 &&
        std::memcmp(head + 4, "hdlr", 4) == 0)
        return meta.body;
    return meta.body + 4;
}

// ©xyz in user data: a 16-bit text length, a 16-bit language, the text.
void ReadXyz(stdlib::Stream& file, const Box& box, Layout& layout) {
    uint8_t head[4];
    if (box.BodySize() < 4 || !file.SetPos(box.body) || file.Read(head, 1, 4) != 4)
        return;
    uint64_t length = uint64_t(head[0]) << 8 | head[1];
    if (length > box.BodySize() - 4)
        length = box.BodySize() - 4;
    layout.AddPayload(PayloadKind::Iso6709, box.body + 4, length);
}

// loci: version and flags, language, a name, a role byte, then longitude,
// latitude and altitude, 32-bit fixed-point each.
void ReadLoci(stdlib::Stream& file, const Box& box, Layout& layout) {
    std::vector<uint8_t> body;
    if (!ReadBody(file, box, kMaxKeysBody, body))
        return;
    stdlib::ByteCursor c(body.data(), body.size());
    c.Skip(6);
    // The name is UTF-8 ending in a 0, or UTF-16 after its byte order mark
    // ending in a 16-bit 0.
    if (c.left() >= 2 && body[6] == 0xFE && body[7] == 0xFF) {
        c.Skip(2);
        while (c.ok() && c.U16() != 0) {
        }
    } else {
        c.CString();
    }
    c.Skip(1);
    if (c.ok() && c.left() >= 12)
        layout.AddPayload(PayloadKind::Zeroed, box.body + c.position(), 12);
    else if (c.ok() && c.left() > 0)
        layout.AddPayload(PayloadKind::Zeroed, box.body + c.position(), c.left()); // cut short
}

// The value of a "data" box: a type indicator, a locale, the value.
bool DataValue(stdlib::Stream& file, const Box& item, uint64_t& at, uint64_t& length) {
    for (const Box& data : ListBoxes(file, item.body, item.end))
        if (data.Is("data") && data.BodySize() > 8) {
            at = data.body + 8;
            length = data.BodySize() - 8;
            return true;
        }
    return false;
}

// Text of the form of ISO 6709: a sign, then digits.
bool LooksLikeIso6709(stdlib::Stream& file, uint64_t at, uint64_t length) {
    uint8_t head[2];
    return length >= 2 && file.SetPos(at) && file.Read(head, 1, 2) == 2 &&
           (head[0] == '+' || head[0] == '-') && head[1] >= '0' && head[1] <= '9';
}

bool NamesLocation(const std::string& key) {
    std::string lower = key;
    for (char& ch : lower)
        if (ch >= 'A' && ch <= 'Z')
            ch = char(ch - 'A' + 'a');
    return lower.find("location") != std::string::npos || lower.find("iso6709") != std::string::npos;
}

void ReadMeta(stdlib::Stream& file, const Box& meta, Layout& layout) {
    std::vector<Box> children = ListBoxes(file, MetaChildren(file, meta), meta.end);
    std::vector<std::string> keys; // by index - 1
    for (const Box& box : children) {
        std::vector<uint8_t> body;
        if (!box.Is("keys") || !keys.empty() || !ReadBody(file, box, kMaxKeysBody, body))
            continue;
        stdlib::ByteCursor c(body.data(), body.size());
        c.Skip(4);
        const uint32_t count = c.U32();
        for (uint32_t k = 0; k < count && c.ok(); ++k) {
            const uint32_t size = c.U32();
            c.Skip(4); // namespace
            if (size < 8 || size - 8 > c.left())
                break;
            keys.push_back(std::string(reinterpret_cast<const char*>(body.data() + c.position()), size - 8));
            c.Skip(size - 8);
        }
    }
    for (const Box& box : children) {
        if (box.IsXmp())
            layout.AddPayload(PayloadKind::Xmp, box.body, box.BodySize());
        if (!box.Is("ilst"))
            continue;
        for (const Box& item : ListBoxes(file, box.body, box.end)) {
            uint64_t at = 0, length = 0;
            if (!DataValue(file, item, at, length))
                continue;
            const uint32_t index = uint32_t(uint8_t(item.type[0])) << 24 |
                                   uint32_t(uint8_t(item.type[1])) << 16 |
                                   uint32_t(uint8_t(item.type[2])) << 8 | uint8_t(item.type[3]);
            const bool keyed = index >= 1 && index <= keys.size() && NamesLocation(keys[index - 1]);
            if ((keyed || item.Is("\xA9xyz")) && LooksLikeIso6709(file, at, length))
                layout.AddPayload(PayloadKind::Iso6709, at, length);
        }
    }
}

void ReadUserData(stdlib::Stream& file, const Box& udta, Layout& layout) {
    for (const Box& box : ListBoxes(file, udta.body, udta.end)) {
        if (box.Is("\xA9xyz"))
            ReadXyz(file, box, layout);
        else if (box.Is("loci"))
            ReadLoci(file, box, layout);
        else if (box.Is("XMP_"))
            layout.AddPayload(PayloadKind::Xmp, box.body, box.BodySize());
        else if (box.Is("meta"))
            ReadMeta(file, box, layout);
    }
}

// The first sample entry's type of a track's sample descriptions, and its
// handler's type.
void ReadTrackKind(stdlib::Stream& file, const Box& mdia, std::string& handler, std::string& entry) {
    for (const Box& box : ListBoxes(file, mdia.body, mdia.end)) {
        if (box.Is("hdlr") && box.BodySize() >= 12 && file.SetPos(box.body + 8)) {
            char type[5] = {};
            if (file.Read(type, 1, 4) == 4)
                handler = type;
        }
        if (!box.Is("minf"))
            continue;
        for (const Box& stbl : ListBoxes(file, box.body, box.end)) {
            if (!stbl.Is("stbl"))
                continue;
            for (const Box& stsd : ListBoxes(file, stbl.body, stbl.end)) {
                if (!stsd.Is("stsd") || stsd.BodySize() < 8)
                    continue;
                std::vector<Box> entries = ListBoxes(file, stsd.body + 8, stsd.end);
                if (!entries.empty())
                    entry = entries[0].type;
            }
        }
    }
}

void ReadTrack(stdlib::Stream& file, const Box& trak, Layout& layout) {
    for (const Box& box : ListBoxes(file, trak.body, trak.end)) {
        if (box.Is("udta"))
            ReadUserData(file, box, layout);
        else if (box.Is("meta"))
            ReadMeta(file, box, layout);
        else if (box.Is("mdia")) {
            std::string handler, entry;
            ReadTrackKind(file, box, handler, entry);
            static const char* const kTimedGps[] = {"gpmd", "camm", "mebx", "mett", "rtmd"};
            bool gps = handler == "meta" || handler == "camm";
            for (const char* type : kTimedGps)
                gps |= entry == type;
            if (gps)
                layout.reported.push_back("timed metadata track (" + (entry.empty() ? handler : entry) + ")");
        }
    }
}

// CR3: Canon's box of CMT1 to CMT4, each TIFF data (CMT4 is the GPS
// directory, as the first directory of its own TIFF data).
void ReadCanonBox(stdlib::Stream& file, const Box& canon, Layout& layout) {
    for (const Box& box : ListBoxes(file, canon.body, canon.end))
        if (box.Is("CMT1") || box.Is("CMT2") || box.Is("CMT3") || box.Is("CMT4"))
            layout.AddPayload(PayloadKind::Tiff, box.body, box.BodySize());
}

} // namespace

void ReadMovieBox(stdlib::Stream& file, const Box& moov, Layout& layout) {
    for (const Box& box : ListBoxes(file, moov.body, moov.end)) {
        if (box.Is("udta"))
            ReadUserData(file, box, layout);
        else if (box.Is("meta"))
            ReadMeta(file, box, layout);
        else if (box.Is("trak"))
            ReadTrack(file, box, layout);
        else if (box.IsXmp())
            layout.AddPayload(PayloadKind::Xmp, box.body, box.BodySize());
        else if (box.Is("uuid") && std::memcmp(box.uuid, kCanonUuid, 16) == 0)
            ReadCanonBox(file, box, layout);
    }
}

} // namespace layout

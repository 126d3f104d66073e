// HEIC, HEIF, AVIF, CR3 and QuickTime/MP4 movies: files of boxes (BoxWalk.h).
//
// A HEIF file keeps its metadata as items of its top-level "meta" box:
// "iinf" names each item (its type: "Exif", or "mime" with the content type
// of XMP), "iloc" says where its bytes lie, in one extent or several, joined
// in order: in the file (construction method 0) or in the "idat" box
// (method 1). Every such item is read, not only the primary image's: a
// thumbnail or a gain map links its own Exif item. An Exif item's bytes
// begin with a 4-byte offset to its TIFF header (some writers put
// "Exif\0\0" before the header, with or without counting it in that
// offset); the payload is the TIFF data from the header on.
//
// A CR3 file keeps its EXIF directories in its "moov" box (MovieLayout.cpp)
// and its XMP in the XMP "uuid" box.

#include "engine/BoxWalk.h"
#include "engine/ByteCursor.h"
#include "engine/MetadataLayout.h"
#include "engine/MovieLayout.h"

#include <cstring>
#include <map>

namespace layout {

namespace {

// Larger "iinf" and "iloc" bodies are not read: real ones take a few
// kilobytes, a grid image of hundreds of tiles some tens.
constexpr uint64_t kMaxTableBody = 16u << 20;
constexpr uint32_t kMaxItems = 1u << 20;

struct ItemInfo {
    bool exif = false;
    bool xmp = false;
    bool encoded = false;
    bool isProtected = false;
};

struct ItemPlace {
    int method = 0;
    uint16_t dataReference = 0;
    std::vector<Extent> extents; // relative to the file or to idat, as method says
};

// "infe" boxes of an "iinf" body, into items by id.
bool ReadItemInfos(const std::vector<uint8_t>& iinf, std::map<uint32_t, ItemInfo>& items) {
    stdlib::ByteCursor head(iinf.data(), iinf.size());
    const uint8_t version = head.U8();
    head.Skip(3);
    const uint32_t count = version == 0 ? head.U16() : head.U32();
    if (!head.ok())
        return false;
    size_t at = head.position();
    for (uint32_t n = 0; n < count && n < kMaxItems && iinf.size() - at >= 8; ++n) {
        stdlib::ByteCursor box(iinf.data() + at, iinf.size() - at);
        const uint64_t size = box.U32();
        const std::string type = box.FourCC();
        if (size < 8 || size > iinf.size() - at)
            return false;
        const uint8_t* body = iinf.data() + at + 8;
        at += size_t(size);
        if (type != "infe")
            continue;
        stdlib::ByteCursor infe(body, size_t(size) - 8);
        const uint8_t v = infe.U8();
        infe.Skip(3);
        ItemInfo info;
        uint32_t id;
        if (v < 2) {
            id = infe.U16();
            info.isProtected = infe.U16() != 0;
            infe.CString(); // name
            info.xmp = infe.CString() == "application/rdf+xml";
            info.encoded = !infe.CString().empty();
        } else {
            id = v == 2 ? infe.U16() : infe.U32();
            info.isProtected = infe.U16() != 0;
            const std::string itemType = infe.FourCC();
            infe.CString(); // name
            info.exif = itemType == "Exif";
            if (itemType == "mime") {
                info.xmp = infe.CString() == "application/rdf+xml";
                info.encoded = !infe.CString().empty();
            }
        }
        if (infe.ok() && items.find(id) == items.end())
            items[id] = info;
    }
    return true;
}

// The "iloc" body, into places by item id.
bool ReadItemPlaces(const std::vector<uint8_t>& iloc, std::map<uint32_t, ItemPlace>& places) {
    stdlib::ByteCursor c(iloc.data(), iloc.size());
    const uint8_t version = c.U8();
    c.Skip(3);
    const uint8_t sizes = c.U8(), sizes2 = c.U8();
    const unsigned offsetSize = sizes >> 4, lengthSize = sizes & 15, baseSize = sizes2 >> 4;
    const unsigned indexSize = (version == 1 || version == 2) ? sizes2 & 15 : 0;
    auto valid = [](unsigned width) { return width == 0 || width == 4 || width == 8; };
    if (version > 2 || !valid(offsetSize) || !valid(lengthSize) || !valid(baseSize) || !valid(indexSize))
        return false;
    const uint32_t count = version < 2 ? c.U16() : c.U32();
    for (uint32_t n = 0; n < count && n < kMaxItems && c.ok(); ++n) {
        const uint32_t id = version < 2 ? c.U16() : c.U32();
        ItemPlace place;
        if (version == 1 || version == 2)
            place.method = c.U16() & 15;
        place.dataReference = c.U16();
        const uint64_t base = c.Unsigned(baseSize);
        const uint16_t extents = c.U16();
        for (uint16_t e = 0; e < extents && c.ok(); ++e) {
            c.Unsigned(indexSize);
            const uint64_t offset = c.Unsigned(offsetSize), length = c.Unsigned(lengthSize);
            if (offset > UINT64_MAX - base)
                return false;
            place.extents.push_back({base + offset, length});
        }
        if (c.ok() && places.find(id) == places.end())
            places[id] = place;
    }
    return c.ok();
}

// The extents of an item as bytes of the file, cut at the end of where they
// lie (the file, or idat from idatFrom to idatTo). An extent of length 0
// reaches to that end. Extents outside are dropped.
std::vector<Extent> PlaceInFile(const ItemPlace& place, uint64_t from, uint64_t to) {
    std::vector<Extent> out;
    for (const Extent& e : place.extents) {
        if (e.offset >= to - from)
            continue;
        const uint64_t at = from + e.offset;
        const uint64_t room = to - at;
        out.push_back({at, e.length == 0 || e.length > room ? room : e.length});
    }
    return out;
}

// Reads up to n of the first bytes of the joined extents.
size_t ReadFront(stdlib::Stream& file, const std::vector<Extent>& extents, uint8_t* out, size_t n) {
    size_t got = 0;
    for (const Extent& e : extents) {
        if (got == n)
            break;
        size_t want = e.length < n - got ? size_t(e.length) : n - got;
        if (!file.SetPos(e.offset) || file.Read(out + got, 1, want) != want)
            break;
        got += want;
    }
    return got;
}

// Drops the first n bytes of the joined extents.
void DropFront(std::vector<Extent>& extents, uint64_t n) {
    size_t drop = 0;
    for (; drop < extents.size() && n >= extents[drop].length; ++drop)
        n -= extents[drop].length;
    extents.erase(extents.begin(), extents.begin() + long(drop));
    if (!extents.empty()) {
        extents[0].offset += n;
        extents[0].length -= n;
    }
}

bool IsTiffHeader(const uint8_t* p) {
    return std::memcmp(p, "II*\0", 4) == 0 || std::memcmp(p, "MM\0*", 4) == 0;
}

// Where an Exif item's TIFF header lies: after the offset field and the
// bytes it counts, past an "Exif\0\0" the count left out; or, for writers
// that got the count wrong, right after the field or after "Exif\0\0".
// False when there is no TIFF header at any of these places.
bool FindTiffHeader(stdlib::Stream& file, const std::vector<Extent>& extents, uint64_t& skip) {
    uint8_t front[14] = {};
    const size_t got = ReadFront(file, extents, front, sizeof front);
    if (got < 4)
        return false;
    const uint64_t counted = stdlib::LoadUnsigned(front, 4, true);
    if (counted <= 0xFFFF) {
        uint8_t at[10] = {};
        std::vector<Extent> rest = extents;
        DropFront(rest, 4 + counted);
        const size_t n = ReadFront(file, rest, at, sizeof at);
        if (n >= 4 && IsTiffHeader(at)) {
            skip = 4 + counted;
            return true;
        }
        if (n >= 10 && std::memcmp(at, "Exif\0\0", 6) == 0 && IsTiffHeader(at + 6)) {
            skip = 4 + counted + 6;
            return true;
        }
    }
    if (got >= 8 && IsTiffHeader(front + 4)) {
        skip = 4;
        return true;
    }
    if (got >= 14 && std::memcmp(front + 4, "Exif\0\0", 6) == 0 && IsTiffHeader(front + 10)) {
        skip = 10;
        return true;
    }
    return false;
}

bool ReadHeifMeta(stdlib::Stream& file, const Box& meta, Layout& layout) {
    if (meta.BodySize() < 4)
        return false;
    std::vector<uint8_t> iinf, iloc;
    const Box* idat = nullptr;
    std::vector<Box> children = ListBoxes(file, meta.body + 4, meta.end);
    for (const Box& box : children) {
        if (box.Is("iinf") && iinf.empty() && !ReadBody(file, box, kMaxTableBody, iinf))
            return false;
        if (box.Is("iloc") && iloc.empty() && !ReadBody(file, box, kMaxTableBody, iloc))
            return false;
        if (box.Is("idat") && !idat)
            idat = &box;
    }
    if (iinf.empty())
        return true; // no items: nothing of metadata
    std::map<uint32_t, ItemInfo> items;
    std::map<uint32_t, ItemPlace> places;
    if (!ReadItemInfos(iinf, items) || (!iloc.empty() && !ReadItemPlaces(iloc, places)))
        return false;
    for (const auto& [id, info] : items) {
        if (!info.exif && !info.xmp)
            continue;
        const char* what = info.exif ? "Exif item" : "XMP item";
        auto place = places.find(id);
        if (place == places.end() || place->second.dataReference != 0)
            continue; // no bytes in this file
        if (info.isProtected || info.encoded) {
            layout.reported.push_back(std::string(info.isProtected ? "protected " : "compressed ") + what);
            continue;
        }
        Payload payload;
        payload.kind = info.exif ? PayloadKind::Tiff : PayloadKind::Xmp;
        switch (place->second.method) {
        case 0:
            payload.extents = PlaceInFile(place->second, 0, file.GetSize());
            break;
        case 1:
            if (idat)
                payload.extents = PlaceInFile(place->second, idat->body, idat->end);
            break;
        default:
            layout.reported.push_back(std::string(what) + " built from another item");
            continue;
        }
        if (info.exif) {
            uint64_t skip = 0;
            if (!FindTiffHeader(file, payload.extents, skip))
                continue; // no TIFF data that any reader would read
            DropFront(payload.extents, skip);
        }
        if (payload.Size() > 0)
            layout.payloads.push_back(payload);
    }
    return true;
}

} // namespace

bool IsFirstBox(const Box& box) {
    // ISO files start with "ftyp"; QuickTime movies of old with any of these.
    for (const char* type : {"ftyp", "moov", "mdat", "wide", "free", "skip", "pnot"})
        if (box.Is(type))
            return true;
    return false;
}

bool ReadIsobmffLayout(stdlib::Stream& file, Layout& layout) {
    layout.format = Format::Isobmff;
    std::vector<Box> top = ListBoxes(file, 0, file.GetSize());
    if (top.empty() || !IsFirstBox(top[0]))
        return false;
    bool metaRead = false;
    for (const Box& box : top) {
        if (box.Is("meta") && !metaRead) {
            metaRead = true;
            if (!ReadHeifMeta(file, box, layout))
                return false;
        } else if (box.IsXmp()) {
            layout.AddPayload(PayloadKind::Xmp, box.body, box.BodySize());
        } else if (box.Is("gps ")) {
            layout.reported.push_back("dashcam GPS box"); // an index of GPS records in the movie's data
        } else if (box.Is("moov")) {
            ReadMovieBox(file, box, layout);
        }
    }
    return true;
}

} // namespace layout

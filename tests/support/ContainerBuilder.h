#pragma once
// Photo containers built byte by byte, for the shapes no tool writes: HEIF
// files whose Exif and XMP items lie where iloc may put them (several
// extents out of order, idat, every iloc version and field width), PNG and
// WebP files of given chunks. The pictures hold no decodable image.

#include "engine/ByteOrder.h"
#include "tests/engine/Crc32.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<uint8_t>;

inline void PutBE(Bytes& b, uint64_t v, unsigned width) {
    for (unsigned i = 0; i < width; ++i)
        b.push_back(uint8_t(v >> (8 * (width - 1 - i))));
}
inline void PutText(Bytes& b, const std::string& s, bool zero = true) {
    b.insert(b.end(), s.begin(), s.end());
    if (zero)
        b.push_back(0);
}
inline Bytes IsoBox(const char* type, const Bytes& body) {
    Bytes b;
    PutBE(b, body.size() + 8, 4);
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}
inline Bytes FullBoxBody(uint8_t version, const Bytes& rest) {
    Bytes b = {version, 0, 0, 0};
    b.insert(b.end(), rest.begin(), rest.end());
    return b;
}

// The bytes of an Exif item: the 4-byte offset to the TIFF header, then
// (as the prefix says) "Exif\0\0", counted in that offset or not.
enum class ExifPrefix { None, Counted, Uncounted };
inline Bytes ExifItem(const Bytes& tiff, ExifPrefix prefix) {
    Bytes b;
    PutBE(b, prefix == ExifPrefix::Counted ? 6 : 0, 4);
    if (prefix != ExifPrefix::None)
        PutText(b, std::string("Exif\0", 5));
    b.insert(b.end(), tiff.begin(), tiff.end());
    return b;
}

struct HeifItem {
    uint32_t id = 1;
    std::string type = "Exif"; // or "mime", "hvc1"...
    std::string contentType;   // of a mime item
    std::string encoding;      // content encoding of a mime item
    uint16_t protection = 0;
    int method = 0; // 0: in the file (mdat), 1: in idat
    Bytes content;
    size_t pieces = 1; // extents it is split into
};

struct HeifShape {
    int ilocVersion = 1;
    int infeVersion = 2;
    unsigned offsetSize = 4, lengthSize = 4, baseSize = 0, indexSize = 0;
};

// ftyp, meta (hdlr, pitm, iinf, iloc, idat) and mdat. In mdat an item's
// extents lie in reverse order, apart: a reader must join them by iloc.
inline Bytes BuildHeif(const std::vector<HeifItem>& items, const HeifShape& shape = {}) {
    auto build = [&](uint64_t mdatBody) {
        Bytes iinf = FullBoxBody(0, {});
        PutBE(iinf, items.size(), 2);
        for (const HeifItem& item : items) {
            Bytes infe = {uint8_t(shape.infeVersion), 0, 0, 0};
            PutBE(infe, item.id, shape.infeVersion == 3 ? 4 : 2);
            PutBE(infe, item.protection, 2);
            if (shape.infeVersion >= 2) {
                infe.insert(infe.end(), item.type.begin(), item.type.end());
                PutText(infe, "");
                if (item.type == "mime") {
                    PutText(infe, item.contentType);
                    PutText(infe, item.encoding);
                }
            } else {
                PutText(infe, "");
                PutText(infe, item.contentType);
                PutText(infe, item.encoding);
            }
            Bytes box = IsoBox("infe", infe);
            iinf.insert(iinf.end(), box.begin(), box.end());
        }
        Bytes mdat, idat;
        Bytes iloc = {uint8_t(shape.ilocVersion),
                      0,
                      0,
                      0,
                      uint8_t(shape.offsetSize << 4 | shape.lengthSize),
                      uint8_t(shape.baseSize << 4 | shape.indexSize)};
        PutBE(iloc, items.size(), shape.ilocVersion < 2 ? 2 : 4);
        for (const HeifItem& item : items) {
            PutBE(iloc, item.id, shape.ilocVersion < 2 ? 2 : 4);
            if (shape.ilocVersion >= 1)
                PutBE(iloc, uint64_t(item.method), 2);
            PutBE(iloc, 0, 2); // data reference: this file
            Bytes& data = item.method == 1 ? idat : mdat;
            // idat offsets count from its body's start.
            const uint64_t dataAt = item.method == 1 ? 0 : mdatBody;
            // Pieces laid out last first, 7 bytes apart.
            std::vector<uint64_t> at(item.pieces);
            const size_t each = (item.content.size() + item.pieces - 1) / item.pieces;
            auto piece = [&](size_t p) {
                const size_t from = std::min(p * each, item.content.size());
                return std::make_pair(from, std::min(from + each, item.content.size()));
            };
            for (size_t p = item.pieces; p-- > 0;) {
                data.insert(data.end(), 7, 0xEE);
                at[p] = dataAt + data.size();
                data.insert(data.end(), item.content.begin() + long(piece(p).first),
                            item.content.begin() + long(piece(p).second));
            }
            // Without offset fields the base offset alone places the one extent.
            const uint64_t base = shape.offsetSize == 0 ? at[0] : shape.baseSize ? dataAt : 0;
            PutBE(iloc, base, shape.baseSize);
            PutBE(iloc, item.pieces, 2);
            for (size_t p = 0; p < item.pieces; ++p) {
                PutBE(iloc, p + 1, shape.ilocVersion >= 1 ? shape.indexSize : 0);
                PutBE(iloc, at[p] - base, shape.offsetSize);
                PutBE(iloc, piece(p).second - piece(p).first, shape.lengthSize);
            }
        }
        Bytes ftyp = {'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1', 'h', 'e', 'i', 'c'};
        Bytes hdlr = FullBoxBody(0, {0, 0, 0, 0, 'p', 'i', 'c', 't', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        Bytes pitm = FullBoxBody(0, {0, 1});
        Bytes meta = FullBoxBody(0, {});
        for (const Bytes& box : {IsoBox("hdlr", hdlr), IsoBox("pitm", pitm), IsoBox("iinf", iinf),
                                 IsoBox("iloc", iloc), IsoBox("idat", idat)})
            meta.insert(meta.end(), box.begin(), box.end());
        Bytes file = IsoBox("ftyp", ftyp);
        Bytes metaBox = IsoBox("meta", meta);
        file.insert(file.end(), metaBox.begin(), metaBox.end());
        Bytes mdatBox = IsoBox("mdat", mdat);
        file.insert(file.end(), mdatBox.begin(), mdatBox.end());
        return file;
    };
    // Field widths do not depend on the values: lay out once, then place.
    Bytes first = build(0);
    const size_t metaSize =
        size_t(first[24]) << 24 | size_t(first[25]) << 16 | size_t(first[26]) << 8 | first[27];
    return build(24 + metaSize + 8);
}

// A PNG of the given chunks between IHDR and IEND, each with its CRC.
inline Bytes PngChunk(const char* type, const Bytes& data) {
    Bytes b;
    PutBE(b, data.size(), 4);
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), data.begin(), data.end());
    PutBE(b, BitwiseCrc32(b.data() + 4, b.size() - 4), 4);
    return b;
}
inline Bytes BuildPng(const std::vector<Bytes>& chunks) {
    Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<Bytes> all = {PngChunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 0, 0, 0})};
    all.insert(all.end(), chunks.begin(), chunks.end());
    all.push_back(PngChunk("IDAT", {0x78, 0x9C, 0x63, 0, 0, 0, 1, 0, 1}));
    all.push_back(PngChunk("IEND", {}));
    for (const Bytes& c : all)
        b.insert(b.end(), c.begin(), c.end());
    return b;
}
// An iTXt chunk's data: keyword, compression flag and method, language,
// translated keyword, text.
inline Bytes ITxt(const std::string& keyword, const std::string& text, bool compressed = false) {
    Bytes b;
    PutText(b, keyword);
    b.push_back(compressed ? 1 : 0);
    b.push_back(0);
    PutText(b, "");
    PutText(b, "");
    PutText(b, text, false);
    return b;
}

// A WebP of a VP8 chunk and the given chunks (fourcc, data), padded to even.
inline Bytes BuildWebp(const std::vector<std::pair<std::string, Bytes>>& chunks) {
    Bytes body = {'W', 'E', 'B', 'P'};
    std::vector<std::pair<std::string, Bytes>> all = {{"VP8X", Bytes(10, 0)}};
    all.insert(all.end(), chunks.begin(), chunks.end());
    all.push_back({"VP8 ", Bytes(11, 0x55)});
    for (const auto& [code, data] : all) {
        body.insert(body.end(), code.begin(), code.end());
        uint8_t size[4];
        stdlib::StoreUnsigned(size, data.size(), 4, false);
        body.insert(body.end(), size, size + 4);
        body.insert(body.end(), data.begin(), data.end());
        if (data.size() & 1)
            body.push_back(0);
    }
    Bytes b = {'R', 'I', 'F', 'F'};
    uint8_t size[4];
    stdlib::StoreUnsigned(size, body.size(), 4, false);
    b.insert(b.end(), size, size + 4);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

// Movies: a box of the 64-bit size form, QuickTime user data and the 3GPP
// location, and a track of the given handler and sample entry.
inline Bytes IsoBox64(const char* type, const Bytes& body) {
    Bytes b;
    PutBE(b, 1, 4);
    b.insert(b.end(), type, type + 4);
    PutBE(b, body.size() + 16, 8);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}
inline Bytes Join(const std::vector<Bytes>& boxes) {
    Bytes b;
    for (const Bytes& box : boxes)
        b.insert(b.end(), box.begin(), box.end());
    return b;
}
inline Bytes Xyz(const std::string& iso6709) {
    Bytes body;
    PutBE(body, iso6709.size(), 2);
    PutBE(body, 0x15C7, 2); // "eng"
    PutText(body, iso6709, false);
    return IsoBox("\xA9xyz", body);
}
// loci with its name in UTF-8 or, after a byte order mark, UTF-16; the
// coordinates as 16.16 fixed-point numbers.
inline Bytes Loci(const std::string& name, bool utf16, double longitude, double latitude, double altitude) {
    Bytes body = {0, 0, 0, 0, 0x15, 0xC7};
    if (utf16) {
        PutBE(body, 0xFEFF, 2);
        for (char c : name)
            PutBE(body, uint8_t(c), 2);
        PutBE(body, 0, 2);
    } else {
        PutText(body, name);
    }
    body.push_back(0); // role
    for (double v : {longitude, latitude, altitude})
        PutBE(body, uint32_t(int32_t(v * 65536)), 4);
    PutText(body, "earth");
    PutText(body, "");
    return IsoBox("loci", body);
}
inline Bytes Track(const char* handler, const char* entry, const Bytes& more = {}) {
    Bytes hdlr = {0, 0, 0, 0, 0, 0, 0, 0};
    hdlr.insert(hdlr.end(), handler, handler + 4);
    hdlr.insert(hdlr.end(), 13, 0);
    Bytes stsd = {0, 0, 0, 0, 0, 0, 0, 1};
    const Bytes sample = IsoBox(entry, Bytes(8, 0));
    stsd.insert(stsd.end(), sample.begin(), sample.end());
    const Bytes mdia = Join({IsoBox("hdlr", hdlr), IsoBox("minf", IsoBox("stbl", IsoBox("stsd", stsd)))});
    return IsoBox("trak", Join({IsoBox("tkhd", Bytes(84, 0)), IsoBox("mdia", mdia), more}));
}
inline Bytes BuildMovie(const Bytes& moovBody, bool quickTimeOfOld = false) {
    const Bytes head = quickTimeOfOld ? IsoBox("wide", {})
                                      : IsoBox("ftyp", {'q', 't', ' ', ' ', 0, 0, 0, 0, 'q', 't', ' ', ' '});
    return Join({head, IsoBox("mdat", Bytes(500, 0x11)), IsoBox("moov", moovBody)});
}

} // namespace testing_support

#pragma once
// A second, deliberately plain finder of GPS positions, for the fuzzers to
// judge the engine by. It shares no code with the engine's directory reader
// or XMP scanner: it walks the TIFF bytes itself (every directory that the
// chain of next offsets, SubIFD pointers and GPS and Exif pointers of any
// directory reaches, every entry, a repeated tag's too), searches XMP text
// with plain string searches, and reads a FLIR block's GPS record from its
// joined parts. Only the segment map (where each APP1 payload lies) comes
// from the engine's codestream parser.
//
// What counts as reachable follows the reader's documented rules (a bad entry
// type ends a directory, values outside the data are not there, the main
// chain and SubIFD chains follow next offsets, a GPS or Exif directory's next
// offset leads nowhere). Where the answer would depend on the order in which
// the reader meets directories or on its work limits (a directory reached in
// two roles: chain, GPS, Exif; pointers of rational type, more than a
// thousand directories, SubIFDs nested deep), the finder says it cannot
// judge, and the fuzzer asserts nothing about that input. A FLIR GPS record
// it cannot read (the reader reports those as left) is no position here.

#include "engine/CodestreamParser.h"
#include "engine/MemStream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace oracle {

struct Verdict {
    bool judged = true;    // false: the input is beyond what this finder can judge
    bool position = false; // some position tag or XMP position holds a value that is not zero
    bool anyTag = false;   // some position tag or XMP position is there at all
};

namespace detail {

inline uint64_t Load(const std::vector<uint8_t>& d, uint64_t at, unsigned width, bool be) {
    uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i)
        v |= uint64_t(d[at + i]) << (be ? 8 * (width - 1 - i) : 8 * i);
    return v;
}

inline unsigned TypeSize(uint64_t type) {
    static const unsigned sizes[19] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 2, 0, 8, 8, 8};
    return type < 19 ? sizes[type] : 0;
}

inline void Exif(const std::vector<uint8_t>& d, Verdict& v) {
    const uint64_t size = d.size();
    if (size < 8)
        return;
    bool be;
    if (d[0] == 'M' && d[1] == 'M')
        be = true;
    else if (d[0] == 'I' && d[1] == 'I')
        be = false;
    else
        return;
    bool big;
    uint64_t first, headerSize;
    if (Load(d, 2, 2, be) == 42) {
        big = false, headerSize = 8, first = Load(d, 4, 4, be);
    } else if (Load(d, 2, 2, be) == 43 && Load(d, 4, 2, be) == 8 && Load(d, 6, 2, be) == 0 && size >= 16) {
        big = true, headerSize = 16, first = Load(d, 8, 8, be);
    } else {
        return;
    }
    const unsigned field = big ? 8 : 4, entrySize = big ? 20 : 12;

    enum Role { kChain = 1, kGps = 2, kExif = 4 };
    std::map<uint64_t, int> roles; // directory offset -> the roles it was reached in
    std::set<uint64_t> read;
    std::deque<std::pair<uint64_t, Role>> queue;
    if (first != 0 && first >= headerSize && first < size)
        queue.push_back({first, kChain});
    uint64_t entries = 0, loaded = 0;
    int withSubIfds = 0;
    while (!queue.empty()) {
        auto [at, role] = queue.front();
        queue.pop_front();
        int r = (roles[at] |= role);
        if (r != kChain && r != kGps && r != kExif) {
            v.judged = false; // which role the reader gives it depends on its order
            return;
        }
        if (!read.insert(at).second)
            continue;
        if (read.size() > 1000) {
            v.judged = false;
            return;
        }
        if (at + (big ? 8 : 2) > size)
            continue;
        uint64_t n = big ? (Load(d, at, 8, be) & 0xFFFFFFFFu) : Load(d, at, 2, be);
        if (n > 1024 || (entries += n) > 100000) {
            v.judged = false;
            return;
        }
        uint64_t p = at + (big ? 8 : 2);
        bool whole = true, hasSubIfds = false;
        for (uint64_t i = 0; i < n; ++i, p += entrySize) {
            if (p + entrySize > size) {
                whole = false;
                break;
            }
            uint64_t tag = Load(d, p, 2, be), type = Load(d, p + 2, 2, be);
            uint64_t count = Load(d, p + 4, big ? 8 : 4, be);
            uint64_t fieldAt = p + (big ? 12 : 8);
            if (type > 18) {
                whole = false;
                break;
            }
            unsigned es = TypeSize(type);
            bool inlineValue = es == 0 || count <= field / es;
            uint64_t valuesAt = inlineValue ? fieldAt : Load(d, fieldAt, field, be);
            if (!inlineValue && valuesAt > size)
                continue; // its values are not there
            uint64_t room = inlineValue ? field : size - valuesAt;
            uint64_t values = es == 0 ? 0 : (count < room / es ? count : room / es);
            if (!inlineValue && (loaded += values * es) > (16u << 20)) {
                v.judged = false; // past the reader's budget for values
                return;
            }

            bool positionTag = tag == 2 || tag == 4 || tag == 6 || tag == 20 || tag == 22;
            if (positionTag && (type == 5 || type == 10)) {
                v.anyTag = true;
                for (uint64_t k = 0; k < values; ++k)
                    if (Load(d, valuesAt + 8 * k, 4, be) != 0)
                        v.position = true;
            }
            bool integer = type == 1 || type == 3 || type == 4 || type == 6 || type == 8 || type == 9 ||
                           type == 13 || type == 16 || type == 17 || type == 18;
            if (tag == 330) {
                hasSubIfds = true;
                if (values > 0 && !integer && type != 2 && type != 7) {
                    v.judged = false;
                    return;
                }
                for (uint64_t k = 0; k < values; ++k) {
                    uint64_t o = Load(d, valuesAt + es * k, es, be);
                    if (o >= headerSize && o < size)
                        queue.push_back({o, kChain});
                }
            }
            if ((tag == 34853 || tag == 34665) && count > 0) {
                if (type == 5 || type == 10 || type == 11 || type == 12) {
                    v.judged = false;
                    return;
                }
                if (integer && values > 0) {
                    uint64_t o = uint32_t(Load(d, valuesAt, es, be));
                    if (o != 0)
                        queue.push_back({o, tag == 34853 ? kGps : kExif});
                }
            }
        }
        if (hasSubIfds && ++withSubIfds >= 16) {
            v.judged = false;
            return;
        }
        if (whole && role == kChain && p + field <= size) {
            uint64_t next = Load(d, p, field, be);
            if (next >= headerSize && next < size)
                queue.push_back({next, kChain});
        }
    }
}

inline bool EndsName(char c) {
    return std::strchr(" \t\r\n=></<\"':", c) != nullptr && c != 0;
}

inline void Xmp(const std::string& t, Verdict& v) {
    const std::string uri = "http://ns.adobe.com/exif/1.0/";
    std::set<std::string> prefixes;
    for (size_t at = t.find("xmlns:"); at != std::string::npos; at = t.find("xmlns:", at + 1)) {
        size_t end = at + 6;
        while (end < t.size() && !EndsName(t[end]))
            ++end;
        std::string prefix = t.substr(at + 6, end - at - 6);
        size_t p = t.find_first_not_of(" \t\r\n", end);
        if (prefix.empty() || prefix.size() > 100 || p == std::string::npos || t[p] != '=')
            continue;
        p = t.find_first_not_of(" \t\r\n", p + 1);
        if (p == std::string::npos || (t[p] != '"' && t[p] != '\''))
            continue;
        if (t.compare(p + 1, uri.size(), uri) == 0 && p + 1 + uri.size() < t.size() &&
            t[p + 1 + uri.size()] == t[p])
            prefixes.insert(prefix);
    }
    if (prefixes.size() > 32) {
        v.judged = false;
        return;
    }
    // Every qualified name that is a position: the five under a prefix bound
    // to the EXIF namespace, the vendors' names and GPSLatitude and
    // GPSLongitude under any prefix but xmlns.
    std::vector<std::string> qualifiedNames;
    for (const std::string& prefix : prefixes)
        for (const char* name :
             {"GPSLatitude", "GPSLongitude", "GPSAltitude", "GPSDestLatitude", "GPSDestLongitude"})
            qualifiedNames.push_back(prefix + ":" + name);
    for (const char* name : {"GPSLatitude", "GPSLongitude", "GpsLatitude", "GpsLongitude", "GpsLongtitude",
                             "AbsoluteAltitude"}) {
        std::string local = std::string(":") + name;
        for (size_t colon = t.find(local); colon != std::string::npos; colon = t.find(local, colon + 1)) {
            size_t begin = colon;
            while (begin > 0 && colon - begin <= 100 && !EndsName(t[begin - 1]))
                --begin;
            std::string prefix = t.substr(begin, colon - begin);
            if (prefix.empty() || prefix.size() > 100 || prefix == "xmlns")
                continue;
            if (qualifiedNames.size() > 256) {
                v.judged = false;
                return;
            }
            if (std::find(qualifiedNames.begin(), qualifiedNames.end(), prefix + local) ==
                qualifiedNames.end())
                qualifiedNames.push_back(prefix + local);
        }
    }
    int hits = 0;
    for (const std::string& qualified : qualifiedNames) {
        {
            for (size_t at = t.find(qualified); at != std::string::npos; at = t.find(qualified, at + 1)) {
                size_t after = at + qualified.size();
                if (at == 0 || after >= t.size() || !EndsName(t[after]) || t[after] == ':')
                    continue;
                char before = t[at - 1];
                size_t begin, end;
                if (before == '<') {
                    size_t close = t.find('>', after);
                    if (close == std::string::npos || t[close - 1] == '/')
                        continue;
                    begin = close + 1;
                    end = t.find('<', begin);
                } else if (before == ' ' || before == '\t' || before == '\r' || before == '\n') {
                    size_t p = t.find_first_not_of(" \t\r\n", after);
                    if (p == std::string::npos || t[p] != '=')
                        continue;
                    p = t.find_first_not_of(" \t\r\n", p + 1);
                    if (p == std::string::npos || (t[p] != '"' && t[p] != '\''))
                        continue;
                    begin = p + 1;
                    end = t.find(t[p], begin);
                } else {
                    continue;
                }
                if (++hits > 2000) {
                    v.judged = false;
                    return;
                }
                if (end == std::string::npos)
                    end = t.size();
                v.anyTag = true;
                // A digit other than 0 makes it a position, unless it is in a
                // denominator (digits right after '/').
                bool denominator = false;
                for (size_t i = begin; i < end; ++i) {
                    char c = t[i];
                    if (c == '/')
                        denominator = true;
                    else if (c < '0' || c > '9')
                        denominator = false;
                    else if (c != '0' && !denominator)
                        v.position = true;
                }
            }
        }
    }
}

// A packet that may be stored in UTF-16 or UTF-32: read as it is, and when
// it begins with a byte-order mark or its first character has zero bytes
// beside it, read once more with one character per code unit (other than
// ASCII: a byte no markup uses).
inline void XmpAnyEncoding(const std::string& t, Verdict& v) {
    Xmp(t, v);
    auto b = [&](size_t i) { return i < t.size() ? uint8_t(t[i]) : 0x100; };
    size_t width = 0;
    bool big = false;
    if (b(0) == 0xFF && b(1) == 0xFE && b(2) == 0 && b(3) == 0)
        width = 4;
    else if (b(0) == 0 && b(1) == 0 && b(2) == 0xFE && b(3) == 0xFF)
        width = 4, big = true;
    else if (b(0) == 0xFF && b(1) == 0xFE)
        width = 2;
    else if (b(0) == 0xFE && b(1) == 0xFF)
        width = 2, big = true;
    else if (t.size() >= 4 && b(0) && !b(1) && !b(2) && !b(3))
        width = 4;
    else if (t.size() >= 4 && !b(0) && !b(1) && !b(2) && b(3))
        width = 4, big = true;
    else if (t.size() >= 2 && b(0) && !b(1))
        width = 2;
    else if (t.size() >= 2 && !b(0) && b(1))
        width = 2, big = true;
    if (!width)
        return;
    std::string narrow;
    for (size_t at = 0; at + width <= t.size(); at += width) {
        std::string unit = t.substr(at, width);
        if (big)
            std::reverse(unit.begin(), unit.end());
        bool ascii = uint8_t(unit[0]) < 0x80 && unit.find_first_not_of('\0', 1) == std::string::npos;
        narrow += ascii ? unit[0] : '\x80';
    }
    Xmp(narrow, v);
}

// A FLIR block: the parts (part number, bytes after the 8-byte part header)
// joined by number; a GPS record (type 0x2B) of a header of known version,
// inside the block and long enough for the latitude, holds its position
// values from 0x10 up to 0x24 or its end.
inline void Flir(std::vector<std::pair<uint8_t, std::string>> parts, Verdict& v) {
    std::stable_sort(parts.begin(), parts.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<uint8_t> f;
    for (const auto& part : parts)
        f.insert(f.end(), part.second.begin(), part.second.end());
    if (f.size() < 0x40 || (std::memcmp(f.data(), "FFF", 4) != 0 && std::memcmp(f.data(), "AFF", 4) != 0))
        return;
    bool be;
    if (Load(f, 0x14, 4, true) >= 100 && Load(f, 0x14, 4, true) < 200)
        be = true;
    else if (Load(f, 0x14, 4, false) >= 100 && Load(f, 0x14, 4, false) < 200)
        be = false;
    else
        return;
    uint64_t dir = Load(f, 0x18, 4, be), n = Load(f, 0x1C, 4, be);
    for (uint64_t i = 0; i < n && i < 4096; ++i) {
        uint64_t e = dir + 32 * i;
        if (e + 32 > f.size())
            break;
        uint64_t offset = Load(f, e + 12, 4, be), length = Load(f, e + 16, 4, be);
        if (Load(f, e, 2, be) != 0x2B || length < 0x18 || offset + length > f.size())
            continue;
        v.anyTag = true;
        for (uint64_t b = offset + 0x10; b < offset + std::min<uint64_t>(length, 0x24); ++b)
            v.position = v.position || f[b] != 0;
    }
}

} // namespace detail

// EXIF data alone.
inline Verdict JudgeExif(const std::vector<uint8_t>& exif) {
    Verdict v;
    detail::Exif(exif, v);
    return v;
}

namespace detail {

// The metadata of the other containers, found by plain walks of their
// chunks and boxes: TIFF blocks and XMP texts. Only the plain shapes are
// judged: a chunk or box cut short, sizes of the special forms (0, 64-bit),
// unusual item tables, maker headers, CR3, a movie's metadata boxes (Apple's
// keys) and anything the engine reports instead of clearing make the finder
// say it cannot judge.
struct Parts {
    std::vector<std::vector<uint8_t>> tiffs;
    std::vector<std::string> xmps;
    bool judged = true;
};

inline uint64_t BE(const uint8_t* p, unsigned width) {
    uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i)
        v = v << 8 | p[i];
    return v;
}

inline std::vector<uint8_t> Slice(const uint8_t* data, uint64_t from, uint64_t n) {
    return std::vector<uint8_t>(data + from, data + from + n);
}

inline std::vector<uint8_t> WithoutExifPrefix(std::vector<uint8_t> t) {
    if (t.size() >= 6 && std::memcmp(t.data(), "Exif\0\0", 6) == 0)
        t.erase(t.begin(), t.begin() + 6);
    return t;
}

inline void PngParts(const uint8_t* data, size_t size, Parts& parts) {
    for (size_t at = 8; size - at >= 12;) {
        const uint64_t length = BE(data + at, 4);
        if (length > size - at - 12) {
            parts.judged = false;
            return;
        }
        const uint8_t* body = data + at + 8;
        const std::string type(reinterpret_cast<const char*>(data + at + 4), 4);
        if (type == "eXIf")
            parts.tiffs.push_back(WithoutExifPrefix(Slice(body, 0, length)));
        if (type == "zxIf")
            parts.judged = false;
        if (type == "tEXt" || type == "iTXt" || type == "zTXt") {
            std::string text(reinterpret_cast<const char*>(body), size_t(length));
            const std::string keyword = text.substr(0, text.find('\0'));
            if (keyword.rfind("Raw profile type", 0) == 0 ||
                (keyword == "XML:com.adobe.xmp" && type == "zTXt"))
                parts.judged = false;
            if (keyword == "XML:com.adobe.xmp" && type == "tEXt" && keyword.size() < text.size())
                parts.xmps.push_back(text.substr(keyword.size() + 1));
            if (keyword == "XML:com.adobe.xmp" && type == "iTXt") {
                size_t p = keyword.size() + 1;
                if (p + 2 > text.size() || text[p] != 0) {
                    parts.judged = false;
                    return;
                }
                p = text.find('\0', p + 2);
                p = p == std::string::npos ? p : text.find('\0', p + 1);
                if (p == std::string::npos) {
                    parts.judged = false;
                    return;
                }
                if (p + 1 > 65536)
                    parts.judged = false; // past what the reader reads of a chunk's head
                parts.xmps.push_back(text.substr(p + 1));
            }
        }
        if (type == "IEND")
            return;
        at += 12 + size_t(length);
    }
}

inline void WebpParts(const uint8_t* data, size_t size, Parts& parts) {
    uint64_t end =
        8 + (uint64_t(data[4]) | uint64_t(data[5]) << 8 | uint64_t(data[6]) << 16 | uint64_t(data[7]) << 24);
    end = end < size ? end : size;
    for (uint64_t at = 12; at + 8 <= end;) {
        const uint8_t* p = data + at;
        const uint64_t length =
            uint64_t(p[4]) | uint64_t(p[5]) << 8 | uint64_t(p[6]) << 16 | uint64_t(p[7]) << 24;
        if (length > end - at - 8) {
            parts.judged = false;
            return;
        }
        if (std::memcmp(p, "EXIF", 4) == 0)
            parts.tiffs.push_back(WithoutExifPrefix(Slice(p, 8, length)));
        if (std::memcmp(p, "XMP ", 4) == 0)
            parts.xmps.push_back(std::string(reinterpret_cast<const char*>(p + 8), size_t(length)));
        at += 8 + length + (length & 1);
    }
}

struct SimpleBox {
    std::string type;
    uint64_t body, end;
};

// Boxes of [from, to) of the plain form: 32-bit sizes of at least 8, none
// reaching past to, no uuid boxes.
inline std::vector<SimpleBox> SimpleBoxes(const uint8_t* data, uint64_t from, uint64_t to, Parts& parts) {
    std::vector<SimpleBox> out;
    for (uint64_t at = from; at < to;) {
        if (to - at < 8) {
            parts.judged = false;
            break;
        }
        const uint64_t size = BE(data + at, 4);
        const std::string type(reinterpret_cast<const char*>(data + at + 4), 4);
        if (size < 8 || size > to - at || type == "uuid") {
            parts.judged = false;
            break;
        }
        out.push_back({type, at + 8, at + size});
        at += size;
    }
    return out;
}

// ISO 6709 text: judged up to 4096 bytes, a position when a digit is not 0.
inline void Iso6709Text(const uint8_t* p, uint64_t length, Parts& parts, Verdict& v) {
    if (length > 4096) {
        parts.judged = false;
        return;
    }
    v.anyTag |= length > 0;
    for (uint64_t i = 0; i < length; ++i)
        v.position |= p[i] >= '1' && p[i] <= '9';
}

// A metadata box of iTunes-style items: ©xyz whose first data box holds
// ISO 6709 text. One with keys (Apple's) is not judged.
inline void ItemListParts(const uint8_t* data, const SimpleBox& meta, Parts& parts, Verdict& v) {
    const bool quickTime = meta.end - meta.body >= 12 && std::memcmp(data + meta.body + 4, "hdlr", 4) == 0;
    if (!quickTime && meta.end - meta.body < 4) {
        parts.judged = false;
        return;
    }
    for (const SimpleBox& box : SimpleBoxes(data, meta.body + (quickTime ? 0 : 4), meta.end, parts)) {
        if (box.type == "keys")
            parts.judged = false;
        if (box.type != "ilst")
            continue;
        for (const SimpleBox& item : SimpleBoxes(data, box.body, box.end, parts)) {
            if (item.type != "\xA9xyz")
                continue;
            for (const SimpleBox& value : SimpleBoxes(data, item.body, item.end, parts))
                if (value.type == "data" && value.end - value.body > 8) {
                    const uint8_t* p = data + value.body + 8;
                    const uint64_t n = value.end - value.body - 8;
                    if (n >= 2 && (p[0] == '+' || p[0] == '-') && p[1] >= '0' && p[1] <= '9')
                        Iso6709Text(p, n, parts, v);
                    break;
                }
        }
    }
}

// A movie's user data: ©xyz text, the plain loci (a UTF-8 name), XMP_ and
// iTunes-style items.
inline void UserDataParts(const uint8_t* data, const SimpleBox& udta, Parts& parts, Verdict& v) {
    for (const SimpleBox& box : SimpleBoxes(data, udta.body, udta.end, parts)) {
        const uint8_t* p = data + box.body;
        const uint64_t n = box.end - box.body;
        if (box.type == "\xA9xyz" && n >= 4) {
            const uint64_t length = BE(p, 2);
            Iso6709Text(p + 4, length < n - 4 ? length : n - 4, parts, v);
        } else if (box.type == "loci") {
            const uint8_t* zero = n > 8 && !(p[6] == 0xFE && p[7] == 0xFF)
                                      ? static_cast<const uint8_t*>(std::memchr(p + 6, 0, size_t(n - 6)))
                                      : nullptr;
            if (!zero || uint64_t(p + n - zero) < 1 + 1 + 12) {
                parts.judged = false;
                continue;
            }
            v.anyTag = true;
            for (int i = 0; i < 12; ++i)
                v.position |= zero[2 + i] != 0;
        } else if (box.type == "XMP_") {
            parts.xmps.push_back(std::string(reinterpret_cast<const char*>(p), size_t(n)));
        } else if (box.type == "meta") {
            ItemListParts(data, box, parts, v);
        }
    }
}

inline void MovieParts(const uint8_t* data, const SimpleBox& moov, Parts& parts, Verdict& v) {
    for (const SimpleBox& box : SimpleBoxes(data, moov.body, moov.end, parts)) {
        if (box.type == "udta")
            UserDataParts(data, box, parts, v);
        if (box.type == "meta")
            parts.judged = false;
        if (box.type != "trak")
            continue;
        for (const SimpleBox& inner : SimpleBoxes(data, box.body, box.end, parts)) {
            if (inner.type == "udta")
                UserDataParts(data, inner, parts, v);
            if (inner.type == "meta")
                parts.judged = false;
        }
    }
}

inline void BoxParts(const uint8_t* data, size_t size, Parts& parts, Verdict& v) {
    std::vector<SimpleBox> top = SimpleBoxes(data, 0, size, parts);
    const SimpleBox* meta = nullptr;
    for (const SimpleBox& box : top) {
        if (box.type == "moov")
            MovieParts(data, box, parts, v);
        if (box.type == "meta" && meta)
            parts.judged = false;
        if (box.type == "meta")
            meta = &box;
    }
    if (!meta || !parts.judged)
        return;
    if (meta->end - meta->body < 4) {
        parts.judged = false;
        return;
    }
    const SimpleBox *iinf = nullptr, *iloc = nullptr, *idat = nullptr;
    const std::vector<SimpleBox> children = SimpleBoxes(data, meta->body + 4, meta->end, parts);
    for (const SimpleBox& box : children) {
        const SimpleBox** slot = box.type == "iinf"   ? &iinf
                                 : box.type == "iloc" ? &iloc
                                 : box.type == "idat" ? &idat
                                                      : nullptr;
        if (slot && *slot)
            parts.judged = false;
        if (slot)
            *slot = &box;
    }
    if (!iinf || !parts.judged)
        return;
    // Items: id -> 1 Exif, 2 XMP. Only infe version 2 and 3 are judged.
    std::map<uint32_t, int> kinds;
    const uint8_t* p = data + iinf->body;
    uint64_t n = iinf->end - iinf->body;
    if (n < 6 || p[0] != 0) {
        parts.judged = false;
        return;
    }
    uint64_t count = BE(p + 4, 2);
    std::vector<SimpleBox> infes = SimpleBoxes(data, iinf->body + 6, iinf->end, parts);
    if (infes.size() != count)
        parts.judged = false;
    for (const SimpleBox& infe : infes) {
        const uint8_t* q = data + infe.body;
        const uint64_t m = infe.end - infe.body;
        if (infe.type != "infe" || m < 12 || (q[0] != 2 && q[0] != 3)) {
            parts.judged = false;
            continue;
        }
        const unsigned idSize = q[0] == 2 ? 2 : 4;
        if (m < 4 + idSize + 2 + 4) {
            parts.judged = false;
            continue;
        }
        const uint32_t id = uint32_t(BE(q + 4, idSize));
        const bool locked = BE(q + 4 + idSize, 2) != 0;
        const std::string type(reinterpret_cast<const char*>(q + 4 + idSize + 2), 4);
        std::string rest(reinterpret_cast<const char*>(q + 4 + idSize + 6), size_t(m - (4 + idSize + 6)));
        int kind = 0;
        if (type == "Exif")
            kind = 1;
        if (type == "mime") {
            const size_t name = rest.find('\0');
            const size_t content = name == std::string::npos ? name : rest.find('\0', name + 1);
            if (content == std::string::npos) {
                parts.judged = false;
                continue;
            }
            if (rest.substr(name + 1, content - name - 1) == "application/rdf+xml")
                kind = 2;
            if (kind && content + 1 < rest.size() && rest[content + 1] != 0)
                parts.judged = false; // encoded
        }
        if (kind && locked)
            parts.judged = false;
        if (kinds.count(id))
            parts.judged = false;
        kinds[id] = kind;
    }
    if (!parts.judged || !iloc)
        return;
    p = data + iloc->body;
    n = iloc->end - iloc->body;
    if (n < 8 || p[0] > 2) {
        parts.judged = false;
        return;
    }
    const unsigned version = p[0], offsetSize = p[4] >> 4, lengthSize = p[4] & 15, baseSize = p[5] >> 4;
    const unsigned indexSize = version ? p[5] & 15 : 0;
    for (unsigned w : {offsetSize, lengthSize, baseSize, indexSize})
        if (w != 0 && w != 4 && w != 8)
            parts.judged = false;
    uint64_t at = 6;
    auto take = [&](unsigned width) -> uint64_t {
        if (width > n - at || !parts.judged) {
            parts.judged = false;
            return 0;
        }
        at += width;
        return BE(p + at - width, width);
    };
    const uint64_t items = take(version < 2 ? 2 : 4);
    std::set<uint64_t> seen;
    for (uint64_t i = 0; i < items && parts.judged; ++i) {
        const uint64_t id = take(version < 2 ? 2 : 4);
        const uint64_t method = version ? take(2) & 15 : 0;
        const uint64_t reference = take(2);
        const uint64_t base = take(baseSize);
        const uint64_t extents = take(2);
        std::vector<uint8_t> joined;
        for (uint64_t e = 0; e < extents && parts.judged; ++e) {
            take(indexSize);
            const uint64_t offset = take(offsetSize), length = take(lengthSize);
            const uint64_t from = method == 1 && idat ? idat->body : 0,
                           to = method == 1 && idat ? idat->end : size;
            if (method > 1 || (method == 1 && !idat) || reference != 0 || length == 0 || base > to - from ||
                offset > to - from - base || length > to - from - base - offset) {
                parts.judged = false;
                break;
            }
            const std::vector<uint8_t> piece = Slice(data, from + base + offset, length);
            joined.insert(joined.end(), piece.begin(), piece.end());
        }
        if (!seen.insert(id).second)
            parts.judged = false;
        auto kind = kinds.find(uint32_t(id));
        if (!parts.judged || kind == kinds.end() || kind->second == 0)
            continue;
        if (kind->second == 2) {
            parts.xmps.push_back(std::string(joined.begin(), joined.end()));
            continue;
        }
        // The plain Exif item only: the offset field, then the TIFF header
        // where it says.
        const uint64_t counted = joined.size() >= 4 ? BE(joined.data(), 4) : UINT64_MAX;
        const uint64_t skip = counted <= 0xFFFF ? 4 + counted : UINT64_MAX;
        if (skip > joined.size() || joined.size() - skip < 4 ||
            !(std::memcmp(&joined[size_t(skip)], "II*\0", 4) == 0 ||
              std::memcmp(&joined[size_t(skip)], "MM\0*", 4) == 0)) {
            parts.judged = false;
            continue;
        }
        parts.tiffs.push_back(std::vector<uint8_t>(joined.begin() + long(skip), joined.end()));
    }
}

// A photo of another container than JPEG, judged by its parts; false when
// it is no such container.
inline bool JudgeContainer(const uint8_t* data, size_t size, Verdict& v) {
    Parts parts;
    auto starts = [&](const char* magic, size_t n, size_t at = 0) {
        return size >= at + n && std::memcmp(data + at, magic, n) == 0;
    };
    if (starts("\x89PNG\r\n\x1A\n", 8))
        PngParts(data, size, parts);
    else if (starts("RIFF", 4) && starts("WEBP", 4, 8))
        WebpParts(data, size, parts);
    else if (starts("ftyp", 4, 4) || starts("moov", 4, 4) || starts("mdat", 4, 4) || starts("wide", 4, 4) ||
             starts("free", 4, 4) || starts("skip", 4, 4) || starts("pnot", 4, 4))
        BoxParts(data, size, parts, v);
    else if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4)) {
        // The whole file is the TIFF data; its XMP (tag 700) is not looked
        // for: a file with XMP positions anywhere is not judged.
        Verdict anyXmp;
        XmpAnyEncoding(std::string(reinterpret_cast<const char*>(data), size), anyXmp);
        parts.judged = !anyXmp.anyTag;
        parts.tiffs.push_back(std::vector<uint8_t>(data, data + size));
    } else if (starts("IIRO", 4) || starts("IIRS", 4) || starts("MMOR", 4) || starts("IIU\0", 4)) {
        parts.judged = false;
    } else {
        return false;
    }
    v.judged = parts.judged;
    for (const std::string& text : parts.xmps)
        XmpAnyEncoding(text, v);
    for (const std::vector<uint8_t>& tiff : parts.tiffs)
        Exif(tiff, v);
    return true;
}

} // namespace detail

// A whole photo: its EXIF data (the APP1 "Exif" payloads joined) and its XMP
// packets, an extended packet joined from its parts.
inline Verdict JudgePhoto(const uint8_t* data, size_t size) {
    Verdict v;
    if (detail::JudgeContainer(data, size, v))
        return v;
    stdlib::MemStream photo;
    if (size)
        photo.Write(data, 1, size);
    photo.Seek(0, 0);
    CodestreamParser codestream;
    if (!codestream.IsUsable(codestream.BuildMap(photo)))
        return v;
    std::vector<uint8_t> exif;
    static const char kXmp[] = "http://ns.adobe.com/xap/1.0/";
    static const char kExtended[] = "http://ns.adobe.com/xmp/extension/";
    // Extended XMP: GUID -> (offset, full length, part) of each segment.
    std::map<std::string, std::vector<std::tuple<uint32_t, uint32_t, std::string>>> extended;
    std::vector<std::pair<uint8_t, std::string>> flir;
    for (uint32_t i = 0; i < codestream.map.GetCount(); ++i) {
        const auto& item = codestream.map[i];
        if (item.marker != 0xE1 || item.length < 7 || item.offset + item.length > size)
            continue;
        const uint8_t* p = data + item.offset;
        if (std::memcmp(p, "Exif", 4) == 0 && p[4] == 0)
            exif.insert(exif.end(), p + 6, p + item.length);
        else if (item.length >= 8 && std::memcmp(p, "FLIR", 5) == 0)
            flir.push_back({p[6], std::string(reinterpret_cast<const char*>(p) + 8, item.length - 8)});
        else if (item.length >= sizeof kXmp && std::memcmp(p, kXmp, sizeof kXmp) == 0)
            detail::XmpAnyEncoding(
                std::string(reinterpret_cast<const char*>(p) + sizeof kXmp, item.length - sizeof kXmp), v);
        else if (item.length >= sizeof kExtended + 40 && std::memcmp(p, kExtended, sizeof kExtended) == 0) {
            const uint8_t* q = p + sizeof kExtended + 32;
            uint32_t length = uint32_t(q[0]) << 24 | q[1] << 16 | q[2] << 8 | q[3];
            uint32_t offset = uint32_t(q[4]) << 24 | q[5] << 16 | q[6] << 8 | q[7];
            extended[std::string(reinterpret_cast<const char*>(p) + sizeof kExtended, 32)].push_back(
                {offset, length, std::string(reinterpret_cast<const char*>(q) + 8, p + item.length - q - 8)});
        }
    }
    // A packet whose parts, in the order of their offsets, make exactly its
    // full length.
    for (auto& [guid, parts] : extended) {
        std::stable_sort(parts.begin(), parts.end(),
                         [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
        std::string text;
        bool fits = std::get<1>(parts[0]) <= (64u << 20);
        for (const auto& [offset, length, part] : parts) {
            fits = fits && offset == text.size() && length == std::get<1>(parts[0]);
            if (fits)
                text += part;
        }
        if (fits && text.size() == std::get<1>(parts[0]))
            detail::XmpAnyEncoding(text, v);
    }
    detail::Flir(flir, v);
    Verdict e = JudgeExif(exif);
    v.judged = v.judged && e.judged;
    v.position = v.position || e.position;
    v.anyTag = v.anyTag || e.anyTag;
    return v;
}

} // namespace oracle

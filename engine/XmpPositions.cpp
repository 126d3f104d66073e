#include "engine/XmpPositions.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace xmp {

namespace {

constexpr size_t kMaxPrefix = 100; // longer names are no prefix we take
constexpr size_t kMaxPrefixes = 32;

struct Property {
    const char* name;
    uint16_t tag;
    bool anyPrefix; // a position under whatever namespace: vendors name their own
};
constexpr Property kProperties[] = {
    {"GPSLatitude", 2, true},
    {"GPSLongitude", 4, true},
    {"GPSAltitude", 6, false},
    {"GPSDestLatitude", 20, false},
    {"GPSDestLongitude", 22, false},
    // A DJI drone's drone-dji: properties, and the misspelt name some of its
    // firmware writes (and exiftool reads).
    {"GpsLatitude", 2, true},
    {"GpsLongitude", 4, true},
    {"GpsLongtitude", 4, true},
    {"AbsoluteAltitude", 6, true},
};

bool IsSpace(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Bytes that end a qualified name's prefix or local part.
bool EndsName(uint8_t c) {
    return IsSpace(c) || c == '=' || c == '>' || c == '/' || c == '<' || c == '"' || c == '\'' || c == ':';
}

// Finds bytes from a position onwards. Its questions come in rising order,
// so an answer stays good for every later question up to it: each byte is
// searched once however many questions there are.
class NextOf {
public:
    NextOf(const uint8_t* text, size_t size, bool (*match)(uint8_t)) : text(text), size(size), match(match) {}
    size_t From(size_t at) {
        if (at >= size)
            return size;
        if (at < asked || at > found) {
            found = at;
            while (found < size && !match(text[found]))
                ++found;
        }
        asked = at;
        return found;
    }

private:
    const uint8_t* text;
    size_t size;
    bool (*match)(uint8_t);
    size_t asked = 1, found = 0; // asked > found: nothing known yet
};

bool IsDoubleQuote(uint8_t c) {
    return c == '"';
}
bool IsSingleQuote(uint8_t c) {
    return c == '\'';
}
bool IsTagOpen(uint8_t c) {
    return c == '<';
}
bool IsTagClose(uint8_t c) {
    return c == '>';
}
bool IsColon(uint8_t c) {
    return c == ':';
}
bool IsSet(uint8_t c) {
    return c != 0;
}
bool IsDigit(uint8_t c) {
    return c >= '0' && c <= '9';
}

// Flags the digits that make a value other than zero: every digit but 0,
// except those of a denominator (a run of digits right after '/').
std::vector<uint8_t> SignificantDigits(const uint8_t* text, size_t size) {
    std::vector<uint8_t> flags(size);
    bool denominator = false;
    for (size_t at = 0; at < size; ++at) {
        uint8_t c = text[at];
        if (c == '/')
            denominator = true;
        else if (!IsDigit(c))
            denominator = false;
        else
            flags[at] = !denominator && c != '0';
    }
    return flags;
}

size_t Find(const uint8_t* text, size_t size, size_t from, const char* what) {
    size_t n = std::strlen(what);
    const uint8_t* end = text + size;
    const uint8_t* at = std::search(text + std::min(from, size), end, what, what + n);
    return size_t(at - text);
}

size_t SkipSpace(const uint8_t* text, size_t size, size_t at) {
    while (at < size && IsSpace(text[at]))
        ++at;
    return at;
}

// The prefixes that name the EXIF namespace: xmlns:P="http://ns.adobe.com/exif/1.0/".
std::vector<std::string> ExifPrefixes(const uint8_t* text, size_t size) {
    std::vector<std::string> prefixes;
    const size_t uriSize = std::strlen(kExifNamespace);
    for (size_t at = Find(text, size, 0, "xmlns:"); at < size; at = Find(text, size, at + 1, "xmlns:")) {
        size_t begin = at + 6, end = begin;
        while (end < size && end - begin <= kMaxPrefix && !EndsName(text[end]))
            ++end;
        if (end == begin || end - begin > kMaxPrefix)
            continue;
        size_t p = SkipSpace(text, size, end);
        if (p >= size || text[p] != '=')
            continue;
        p = SkipSpace(text, size, p + 1);
        if (p >= size || (text[p] != '"' && text[p] != '\''))
            continue;
        uint8_t quote = text[p++];
        if (size - p < uriSize + 1 || std::memcmp(text + p, kExifNamespace, uriSize) != 0 ||
            text[p + uriSize] != quote)
            continue;
        std::string prefix(reinterpret_cast<const char*>(text + begin), end - begin);
        if (std::find(prefixes.begin(), prefixes.end(), prefix) == prefixes.end() &&
            prefixes.size() < kMaxPrefixes)
            prefixes.push_back(prefix);
    }
    return prefixes;
}

// How the packet's text is stored: bytes per code unit and their order.
struct Encoding {
    size_t width = 1;
    bool bigEndian = false;
};

// Told by a byte-order mark or, without one, by the zero bytes around the
// first character, which in any packet is '<' (or a blank before it).
Encoding EncodingOf(const uint8_t* t, size_t size) {
    if (size >= 4 && t[0] == 0xFF && t[1] == 0xFE && t[2] == 0 && t[3] == 0)
        return {4, false};
    if (size >= 4 && t[0] == 0 && t[1] == 0 && t[2] == 0xFE && t[3] == 0xFF)
        return {4, true};
    if (size >= 2 && t[0] == 0xFF && t[1] == 0xFE)
        return {2, false};
    if (size >= 2 && t[0] == 0xFE && t[1] == 0xFF)
        return {2, true};
    if (size >= 4 && t[0] && !t[1] && !t[2] && !t[3])
        return {4, false};
    if (size >= 4 && !t[0] && !t[1] && !t[2] && t[3])
        return {4, true};
    if (size >= 2 && t[0] && !t[1])
        return {2, false};
    if (size >= 2 && !t[0] && t[1])
        return {2, true};
    return {};
}

// One byte per code unit: ASCII as it is, anything else 0x80.
std::vector<uint8_t> Narrow(const uint8_t* text, size_t size, Encoding e) {
    std::vector<uint8_t> out(size / e.width);
    for (size_t i = 0; i < out.size(); ++i) {
        const uint8_t* unit = text + i * e.width;
        uint32_t c = 0;
        for (size_t b = 0; b < e.width; ++b)
            c |= uint32_t(unit[e.bigEndian ? e.width - 1 - b : b]) << (8 * b);
        out[i] = c < 0x80 ? uint8_t(c) : 0x80;
    }
    return out;
}

} // namespace

bool IsPacket(const uint8_t* payload, size_t size) {
    return size >= kPacketHeaderSize && std::memcmp(payload, kPacketHeader, kPacketHeaderSize) == 0;
}

bool IsExtendedSegment(const uint8_t* payload, size_t size) {
    return size >= kExtendedPartAt && std::memcmp(payload, kExtendedHeader, kExtendedHeaderSize) == 0;
}

std::vector<Value> FindPositions(const uint8_t* text, size_t size) {
    std::vector<Value> values;
    std::vector<std::string> prefixes = ExifPrefixes(text, size);
    NextOf doubleQuote(text, size, IsDoubleQuote), singleQuote(text, size, IsSingleQuote),
        tagOpen(text, size, IsTagOpen), tagClose(text, size, IsTagClose);
    std::vector<uint8_t> significant = SignificantDigits(text, size);
    NextOf nonZero(significant.data(), size, IsSet);

    NextOf nextColon(text, size, IsColon);
    for (size_t colon = nextColon.From(0); colon < size; colon = nextColon.From(colon + 1)) {
        // The local name, whole.
        const Property* property = nullptr;
        size_t after = 0;
        if (size - colon < 2 || (text[colon + 1] != 'G' && text[colon + 1] != 'A'))
            continue;
        for (const Property& p : kProperties) {
            size_t n = std::strlen(p.name);
            if (size - colon - 1 > n && std::memcmp(text + colon + 1, p.name, n) == 0 &&
                EndsName(text[colon + 1 + n]) && text[colon + 1 + n] != ':') {
                property = &p;
                after = colon + 1 + n;
                break;
            }
        }
        if (!property)
            continue;
        // The prefix, whole, and what stands before it: '<' opens an
        // element, a blank begins an attribute.
        size_t begin = colon;
        while (begin > 0 && colon - begin <= kMaxPrefix && !EndsName(text[begin - 1]))
            --begin;
        if (begin == 0 || begin == colon || colon - begin > kMaxPrefix)
            continue;
        std::string prefix(reinterpret_cast<const char*>(text + begin), colon - begin);
        bool exifPrefix = std::find(prefixes.begin(), prefixes.end(), prefix) != prefixes.end();
        if (!exifPrefix && (!property->anyPrefix || prefix == "xmlns"))
            continue;
        uint8_t before = text[begin - 1];

        Value value;
        value.tag = property->tag;
        if (before == '<') {
            size_t close = tagClose.From(after);
            if (close >= size || text[close - 1] == '/')
                continue; // an empty element, or a start tag that never ends
            value.begin = close + 1;
            value.end = tagOpen.From(value.begin);
        } else if (IsSpace(before)) {
            size_t p = SkipSpace(text, size, after);
            if (p >= size || text[p] != '=')
                continue;
            p = SkipSpace(text, size, p + 1);
            if (p >= size || (text[p] != '"' && text[p] != '\''))
                continue;
            value.begin = p + 1;
            value.end = text[p] == '"' ? doubleQuote.From(value.begin) : singleQuote.From(value.begin);
        } else {
            continue;
        }
        value.nonZero = nonZero.From(value.begin) < value.end;
        values.push_back(value);
    }
    return values;
}

bool ClearPositions(uint8_t* text, const std::vector<Value>& values) {
    // Values can overlap (a quote inside another value): each byte is
    // looked at once. A value begins after a quote or '>' and ends at one,
    // so no run of digits crosses where one value's clearing starts.
    bool changed = false;
    size_t done = 0;
    auto set = [&](size_t at, uint8_t c) {
        changed = changed || text[at] != c;
        text[at] = c;
    };
    for (const Value& v : values) {
        bool denominator = false;
        size_t lastDigit = 0;
        for (size_t at = std::max(v.begin, done); at <= v.end; ++at) {
            bool digit = at < v.end && IsDigit(text[at]);
            if (denominator && !digit && lastDigit) {
                set(lastDigit, '1'); // 0/1: zero, where 0/0 would read as infinite
                lastDigit = 0;
            }
            if (at == v.end)
                break;
            if (digit) {
                set(at, '0');
                if (denominator)
                    lastDigit = at;
            } else {
                denominator = text[at] == '/';
            }
        }
        done = std::max(done, v.end);
    }
    return changed;
}

bool ClearAllPositions(uint8_t* text, size_t size, std::vector<Value>& found) {
    constexpr int kMaxPasses = 8;
    found = FindPositions(text, size);
    bool changed = ClearPositions(text, found);
    for (int pass = 1; changed; ++pass) {
        std::vector<Value> again = FindPositions(text, size);
        bool left = false;
        for (const Value& v : again)
            left = left || v.nonZero;
        if (!left)
            break;
        if (pass == kMaxPasses) {
            // Only text made to defeat the reading gets here: no digit stays.
            ClearPositions(text, {Value{0, 0, size, true}});
            break;
        }
        ClearPositions(text, again);
    }
    return changed;
}

} // namespace xmp

namespace xmp {

std::vector<Value> FindPositionsInPacket(const uint8_t* text, size_t size) {
    std::vector<Value> values = FindPositions(text, size);
    Encoding e = EncodingOf(text, size);
    if (e.width > 1) {
        std::vector<uint8_t> narrow = Narrow(text, size, e);
        std::vector<Value> wide = FindPositions(narrow.data(), narrow.size());
        values.insert(values.end(), wide.begin(), wide.end());
    }
    return values;
}

namespace {

// Clears the positions of the wide reading; true when a byte changed. Only
// ASCII digits change, so each changed unit is one ASCII character: its low
// byte takes the new digit, the others stay zero.
bool ClearWide(uint8_t* text, size_t size, Encoding e, std::vector<Value>& found) {
    const std::vector<uint8_t> before = Narrow(text, size, e);
    std::vector<uint8_t> narrow = before;
    if (!ClearAllPositions(narrow.data(), narrow.size(), found))
        return false;
    for (size_t i = 0; i < narrow.size(); ++i)
        if (narrow[i] != before[i])
            text[i * e.width + (e.bigEndian ? e.width - 1 : 0)] = narrow[i];
    return true;
}

bool AnyNonZero(const std::vector<Value>& values) {
    for (const Value& v : values)
        if (v.nonZero)
            return true;
    return false;
}

} // namespace

bool ClearAllPositionsInPacket(uint8_t* text, size_t size, std::vector<Value>& found) {
    // Text that looks wide is read both ways: a guess from its first bytes
    // must never hide the positions of a packet that is UTF-8 after all.
    bool changed = ClearAllPositions(text, size, found);
    Encoding e = EncodingOf(text, size);
    if (e.width == 1)
        return changed;
    constexpr int kMaxRounds = 4;
    for (int round = 0;; ++round) {
        std::vector<Value> wide, again;
        bool wideChanged = ClearWide(text, size, e, wide);
        if (round == 0)
            found.insert(found.end(), wide.begin(), wide.end());
        if (!wideChanged)
            break;
        changed = true;
        // A digit cleared in one reading can stand where the other reads a
        // denominator (0...1): the two could undo each other's last digit.
        ClearAllPositions(text, size, again);
        if (round + 1 == kMaxRounds) {
            std::vector<uint8_t> narrow = Narrow(text, size, e);
            if (AnyNonZero(FindPositions(text, size)) ||
                AnyNonZero(FindPositions(narrow.data(), narrow.size()))) {
                // Only text made to defeat the reading gets here: no digit but 0 stays.
                for (size_t i = 0; i < size; ++i)
                    if (IsDigit(text[i]))
                        text[i] = '0';
            }
            break;
        }
    }
    return changed;
}

} // namespace xmp

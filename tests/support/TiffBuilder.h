#pragma once
// Builds TIFF data (the inside of EXIF) byte by byte for tests: either byte
// order, classic or 64-bit-offset form, directories with any entries, and
// hostile shapes (loops, bad types, offsets anywhere).

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

struct TiffEntry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint64_t count = 0;
    std::vector<uint8_t> values; // encoded in the data's byte order
    bool hasField = false;       // use field as the value field as is
    uint64_t field = 0;
};

class TiffBuilder {
public:
    explicit TiffBuilder(bool bigEndian, bool bigTiff = false) : be(bigEndian), big(bigTiff) {
        bytes.push_back(be ? 'M' : 'I');
        bytes.push_back(be ? 'M' : 'I');
        Put(big ? 43 : 42, 2);
        if (big) {
            Put(8, 2);
            Put(0, 2);
            firstOffsetPos = Size();
            Put(0, 8);
        } else {
            firstOffsetPos = Size();
            Put(0, 4);
        }
    }

    // Encoders of values in this data's byte order.
    std::vector<uint8_t> Encode(uint64_t v, unsigned width) const {
        std::vector<uint8_t> out(width);
        for (unsigned i = 0; i < width; ++i)
            out[i] = uint8_t(v >> (be ? 8 * (width - 1 - i) : 8 * i));
        return out;
    }
    TiffEntry Rationals(uint16_t tag, const std::vector<std::pair<uint32_t, uint32_t>>& values, uint16_t type = 5) const {
        TiffEntry e{tag, type, values.size(), {}, false, 0};
        for (auto [num, den] : values) {
            Append(e.values, Encode(num, 4));
            Append(e.values, Encode(den, 4));
        }
        return e;
    }
    TiffEntry Shorts(uint16_t tag, const std::vector<uint16_t>& values) const {
        TiffEntry e{tag, 3, values.size(), {}, false, 0};
        for (uint16_t v : values)
            Append(e.values, Encode(v, 2));
        return e;
    }
    TiffEntry Longs(uint16_t tag, const std::vector<uint32_t>& values, uint16_t type = 4) const {
        TiffEntry e{tag, type, values.size(), {}, false, 0};
        for (uint32_t v : values)
            Append(e.values, Encode(v, 4));
        return e;
    }
    TiffEntry Ascii(uint16_t tag, const std::string& text) const {
        TiffEntry e{tag, 2, text.size() + 1, {}, false, 0};
        e.values.assign(text.begin(), text.end());
        e.values.push_back(0);
        return e;
    }
    // An entry with the given count and value field and no values written.
    static TiffEntry Raw(uint16_t tag, uint16_t type, uint64_t count, uint64_t field) {
        return TiffEntry{tag, type, count, {}, true, field};
    }

    // Writes a directory at the end of the data (values that do not fit the
    // field follow it). Returns its offset; nextPos receives the position of
    // its next-directory field.
    uint64_t AddIFD(const std::vector<TiffEntry>& entries, uint64_t next = 0, uint64_t* nextPos = nullptr) {
        if (Size() % 2)
            bytes.push_back(0);
        uint64_t at = Size();
        unsigned fieldWidth = big ? 8 : 4;
        uint64_t entryBytes = big ? 20 : 12;
        uint64_t valuesAt = at + (big ? 8 : 2) + entries.size() * entryBytes + fieldWidth;
        Put(entries.size(), big ? 8 : 2);
        std::vector<uint8_t> outOfLine;
        for (const TiffEntry& e : entries) {
            Put(e.tag, 2);
            Put(e.type, 2);
            Put(e.count, big ? 8 : 4);
            if (e.hasField) {
                Put(e.field, fieldWidth);
            } else if (e.values.size() <= fieldWidth) {
                std::vector<uint8_t> field = e.values;
                field.resize(fieldWidth, 0);
                Append(bytes, field);
            } else {
                Put(valuesAt + outOfLine.size(), fieldWidth);
                Append(outOfLine, e.values);
                if (outOfLine.size() % 2)
                    outOfLine.push_back(0);
            }
        }
        if (nextPos)
            *nextPos = Size();
        Put(next, fieldWidth);
        Append(bytes, outOfLine);
        return at;
    }

    void SetFirstIFD(uint64_t offset) { PutAt(firstOffsetPos, offset, big ? 8 : 4); }
    void PutAt(uint64_t pos, uint64_t v, unsigned width) {
        std::vector<uint8_t> e = Encode(v, width);
        std::memcpy(bytes.data() + pos, e.data(), width);
    }
    void Put(uint64_t v, unsigned width) { Append(bytes, Encode(v, width)); }
    uint64_t Size() const { return bytes.size(); }

    std::vector<uint8_t> bytes;

private:
    static void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& from) {
        to.insert(to.end(), from.begin(), from.end());
    }
    bool be;
    bool big;
    uint64_t firstOffsetPos = 0;
};

// EXIF data with a first directory holding a GPS pointer and a GPS directory
// of the given entries; make is an extra tag of the first directory.
inline std::vector<uint8_t> ExifWithGps(bool bigEndian, const std::vector<TiffEntry>& gps) {
    TiffBuilder t(bigEndian);
    uint64_t gpsAt = t.AddIFD(gps);
    uint64_t first = t.AddIFD({t.Ascii(271, "Camera"), TiffBuilder::Raw(34853, 4, 1, gpsAt)});
    t.SetFirstIFD(first);
    return t.bytes;
}

} // namespace testing_support

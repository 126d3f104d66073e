// Zeroes the position values inside EXIF data held in memory. Only bytes that
// lie inside the data are touched: a count that claims more values than the
// data holds clears what is there and never grows the data.

#include "engine/PositionTags.h"
#include "engine/SecureGpsTags.h"
#include "engine/TiffParser.h"

#include <cstring>

namespace {

constexpr uint64_t kRationalBytes = 8;

// Zeroes [from, to) of the stream, which must lie inside it.
void ZeroBytes(stdlib::Stream& exif, uint64_t from, uint64_t to) {
    static const uint8_t zeros[4096] = {};
    if (!exif.SetPos(from))
        return;
    while (from < to) {
        uint64_t n = to - from < sizeof zeros ? to - from : sizeof zeros;
        exif.Write(zeros, 1, size_t(n));
        from += n;
    }
}

// One pass: parses the data and clears every position tag found. False
// when the data cannot be parsed.
bool ClearPass(stdlib::Stream& exif, bool strict, RemovedTags& removedTags, bool& clearedAny) {
    exif.Seek(0, 0);
    Parser parser(exif, 0, strict);
    if (!parser.Parse())
        return false;
    ReadGpsDirectory(parser);

    const uint64_t size = exif.GetSize();
    ForEachPositionTag(parser, [&](const IFDItem& item) {
        Vardle::RemovedTag record;
        record.tag = item.tag;
        // A single rational fits the 8-byte value field of the 64-bit form;
        // everywhere else the field holds the values' offset.
        uint64_t start = item.IsInline(parser.inlineSize) ? item.fieldPos : item.value;
        uint64_t room = start < size ? size - start : 0;
        uint64_t bytes = item.count > room / kRationalBytes ? room : item.count * kRationalBytes;
        ZeroBytes(exif, start, start + bytes);
        removedTags.append(record);
        clearedAny = clearedAny || bytes > 0;
    });
    return true;
}

// True when a fresh reading of the data still finds a position value.
bool PositionRemains(stdlib::Stream& exif, bool strict) {
    exif.Seek(0, 0);
    Parser parser(exif, 0, strict);
    if (!parser.Parse())
        return false;
    ReadGpsDirectory(parser);
    return HasPositionValue(parser);
}

} // namespace

// In a real photo one pass clears everything. In crafted data the values of
// one tag can overlap the directories, and zeroing them can turn a bad
// directory into a readable one with further position tags; so the data is
// read again after a pass that changed it, and cleared again while a
// position value remains. Every pass zeroes new bytes, so this ends; past
// kMaxPasses, which only hostile data reaches, the whole data is zeroed: no
// position survives, and such data holds nothing of a real photo.
bool ClearGpsTags(stdlib::Stream& exif, RemovedTags& removedTags, bool strict) {
    constexpr int kMaxPasses = 8;
    bool changed = false;
    if (!ClearPass(exif, strict, removedTags, changed))
        return false;
    for (int pass = 1; changed && PositionRemains(exif, strict); ++pass) {
        if (pass == kMaxPasses) {
            ZeroBytes(exif, 0, exif.GetSize());
            break;
        }
        changed = false;
        ClearPass(exif, strict, removedTags, changed);
    }
    return true;
}

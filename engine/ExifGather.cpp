#include "engine/ExifGather.h"

#include "engine/FlirRecords.h"
#include "engine/Trace.h"
#include "engine/XmpPositions.h"

#include <cstring>
#include <memory>

void GatherExif(stdlib::Stream& file, const CodestreamParser& parser, stdlib::MemStream& exif,
                gen::array<bool>* keep, std::vector<XmpSegment>* xmp) {
    std::unique_ptr<uint8_t[]> segment(new uint8_t[65536]);
    const auto& map = parser.map;
    for (uint32_t i = 0; i < map.GetCount(); ++i) {
        const CodestreamParser::MapItem& item = map[i];
        bool kept = false;
        if (IsExifCandidate(item)) {
            // Only what was actually read counts: the file may have been cut
            // since it was mapped.
            size_t got = file.SetPos(item.offset) ? file.Read(segment.get(), 1, item.length) : 0;
            bool isExif = got >= 6 && std::memcmp(segment.get(), "Exif", 4) == 0 && segment[4] == 0;
            if (isExif)
                exif.Write(segment.get() + 6, 1, got - 6);
            else
                kept = true;
            if (kept && xmp &&
                (xmp::IsPacket(segment.get(), got) || xmp::IsExtendedSegment(segment.get(), got) ||
                 flir::IsSegment(segment.get(), got)))
                xmp->push_back(XmpSegment{i, std::vector<uint8_t>(segment.get(), segment.get() + got)});
        }
        if (keep)
            keep->append(kept);
    }
}

bool MapAndGather(stdlib::Stream& file, CodestreamParser& codestream, stdlib::MemStream& exif,
                  gen::array<bool>* keep, std::vector<XmpSegment>* xmp) {
    if (!codestream.BuildMap(file)) {
        trace::Printf("It isn't JPEG! (maybe bad jpeg)[%d]\n", int(codestream.map.GetCount()));
        return false;
    }
    if (codestream.map[0].marker != 0xD8) {
        trace::Printf("Bad JPEG codestream\n");
        return false;
    }
    GatherExif(file, codestream, exif, keep, xmp);
    // Part of the EXIF data would be judged as the whole, and a rewrite would
    // put the part back in place of the whole.
    if (exif.IsError()) {
        trace::Printf("No memory for the EXIF data\n");
        return false;
    }
    return true;
}

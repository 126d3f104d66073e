// A TIFF file, a DNG or a TIFF-based raw file (CR2, NEF, ARW, ORF, RW2,
// PEF...) is TIFF data from its first byte: the whole file is the payload,
// read through the same directory reader as a JPEG's EXIF data, which
// touches only the directories and their values, never the image data. Its
// XMP packet lies in tag 700 of a directory.

#include "engine/MetadataLayout.h"
#include "engine/TiffParser.h"

#include <cstring>

namespace layout {

namespace {

constexpr uint16_t kXmpTag = 700;

bool IsMakerVersion(const uint8_t* head) {
    return std::memcmp(head, "IIRO", 4) == 0 || std::memcmp(head, "IIRS", 4) == 0 ||
           std::memcmp(head, "MMOR", 4) == 0 || std::memcmp(head, "IIU\0", 4) == 0;
}

} // namespace

bool ReadTiffLayout(stdlib::Stream& file, Layout& layout) {
    uint8_t head[4];
    const uint64_t size = file.GetSize();
    if (!file.SetPos(0) || file.Read(head, 1, 4) != 4)
        return false;
    layout.format = Format::Tiff;
    Payload tiff;
    tiff.extents.push_back({0, size});
    tiff.makerVersion = IsMakerVersion(head);

    Parser parser(file, 0, !tiff.makerVersion);
    if (!parser.Parse())
        return false;
    for (uint32_t d = 0; d < parser.ifds.GetCount(); ++d) {
        const IFD* ifd = parser.ifds[d];
        for (uint32_t i = 0; i < ifd->items.GetCount(); ++i) {
            const IFDItem* item = ifd->items[i];
            if (!item || item->tag != kXmpTag || item->elemSize != 1 || item->count == 0)
                continue;
            Payload xmp;
            xmp.kind = PayloadKind::Xmp;
            uint64_t at = item->IsInline(parser.inlineSize) ? item->fieldPos : item->value;
            if (at >= size)
                continue;
            xmp.extents.push_back({at, item->count < size - at ? item->count : size - at});
            layout.payloads.push_back(xmp);
        }
    }
    layout.payloads.insert(layout.payloads.begin(), tiff);
    return true;
}

} // namespace layout

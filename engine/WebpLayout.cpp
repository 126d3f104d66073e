// WebP: a RIFF file, "RIFF", a 4-byte little-endian size, "WEBP", then
// chunks of a four-character code, a 4-byte little-endian size, the data
// and a pad byte when the size is odd. EXIF data lies in "EXIF" (TIFF data,
// after "Exif\0\0" with some writers), XMP in "XMP ". RIFF keeps no
// checksums.

#include "engine/ByteOrder.h"
#include "engine/MetadataLayout.h"

#include <cstring>

namespace layout {

namespace {

constexpr uint64_t kHeader = 12;
constexpr uint32_t kMaxChunks = 1u << 20;

} // namespace

bool ReadWebpLayout(stdlib::Stream& file, Layout& layout) {
    layout.format = Format::WebP;
    uint8_t head[kHeader];
    if (!file.SetPos(0) || file.Read(head, 1, kHeader) != kHeader)
        return false;
    // The RIFF size counts from byte 8; the file may be longer (bytes after
    // it are not WebP) or, cut short, shorter.
    uint64_t end = 8 + stdlib::LoadUnsigned(head + 4, 4, false);
    if (end > file.GetSize())
        end = file.GetSize();
    for (uint64_t at = kHeader, n = 0; n < kMaxChunks && at <= end && end - at >= 8; ++n) {
        uint8_t chunk[8];
        if (!file.SetPos(at) || file.Read(chunk, 1, 8) != 8)
            return false;
        const uint64_t data = at + 8;
        uint64_t length = stdlib::LoadUnsigned(chunk + 4, 4, false);
        const bool whole = length <= end - data;
        if (!whole)
            length = end - data;
        const bool exif = std::memcmp(chunk, "EXIF", 4) == 0, xmp = std::memcmp(chunk, "XMP ", 4) == 0;
        if (exif || xmp) {
            const uint64_t skip = exif ? ExifPrefixLength(file, data, length) : 0;
            layout.AddPayload(exif ? PayloadKind::Tiff : PayloadKind::Xmp, data + skip, length - skip);
        }
        if (!whole)
            break;
        at = data + length + (length & 1);
    }
    return true;
}

} // namespace layout

// PNG: an 8-byte signature, then chunks: a 4-byte big-endian length, a
// 4-byte type, the data, and a CRC-32 of the type and data. The EXIF data
// lies in "eXIf" (TIFF data; a few writers put "Exif\0\0" before it); XMP
// in an "iTXt" chunk of keyword "XML:com.adobe.xmp" (some old writers use
// "tEXt"). Every changed chunk gets its CRC worked out anew.
//
// What is stored compressed cannot be cleared in place and is reported:
// compressed XMP ("zTXt", an "iTXt" with its compression flag set), the
// "zxIf" chunk of compressed EXIF data, and the hex "Raw profile type"
// chunks (exif, xmp, APP1) that ImageMagick writes.

#include "engine/ByteOrder.h"
#include "engine/MetadataLayout.h"

#include <cstring>
#include <string>
#include <vector>

namespace layout {

namespace {

constexpr uint64_t kSignature = 8;
constexpr uint32_t kMaxChunks = 1u << 20;
// A text chunk's keyword and the fields after it (an iTXt's language tag
// and translated keyword may be long) are looked for here.
constexpr size_t kTextHead = 65536;
const char kXmpKeyword[] = "XML:com.adobe.xmp";

bool IsRawProfile(const std::string& keyword) {
    return keyword == "Raw profile type exif" || keyword == "Raw profile type xmp" ||
           keyword == "Raw profile type APP1" || keyword == "Raw profile type iptc";
}

// A text chunk (tEXt, zTXt, iTXt) of data [at, at + length).
void ReadTextChunk(stdlib::Stream& file, const char* type, uint64_t at, uint64_t length, Layout& layout) {
    const size_t n = size_t(length < kTextHead ? length : kTextHead);
    std::vector<uint8_t> bytes(n);
    const uint8_t* head = bytes.data();
    if (n == 0 || !file.SetPos(at) || file.Read(bytes.data(), 1, n) != n)
        return;
    const uint8_t* end = static_cast<const uint8_t*>(std::memchr(head, 0, n));
    if (!end)
        return;
    const std::string keyword(reinterpret_cast<const char*>(head), size_t(end - head));
    const bool xmp = keyword == kXmpKeyword;
    if (IsRawProfile(keyword)) {
        if (keyword != "Raw profile type iptc")
            layout.reported.push_back("\"" + keyword + "\" chunk");
        return;
    }
    if (!xmp)
        return;
    if (std::strcmp(type, "zTXt") == 0) {
        layout.reported.push_back("compressed XMP chunk");
        return;
    }
    size_t text = size_t(end - head) + 1;
    if (std::strcmp(type, "iTXt") == 0) {
        // compression flag, method, language tag\0, translated keyword\0
        if (n < text + 2)
            return;
        if (head[text] != 0) {
            layout.reported.push_back("compressed XMP chunk");
            return;
        }
        text += 2;
        for (int field = 0; field < 2; ++field) {
            const void* zero = text < n ? std::memchr(head + text, 0, n - text) : nullptr;
            if (!zero)
                return;
            text = size_t(static_cast<const uint8_t*>(zero) - head) + 1;
        }
    }
    layout.AddPayload(PayloadKind::Xmp, at + text, length - text);
}

} // namespace

bool ReadPngLayout(stdlib::Stream& file, Layout& layout) {
    layout.format = Format::Png;
    const uint64_t size = file.GetSize();
    for (uint64_t at = kSignature, n = 0; n < kMaxChunks && at <= size && size - at >= 12; ++n) {
        uint8_t head[8];
        if (!file.SetPos(at) || file.Read(head, 1, 8) != 8)
            return false;
        const uint64_t length = stdlib::LoadUnsigned(head, 4, true);
        if (length > 0x7FFFFFFFu)
            return n > 0; // no chunk is that long: the rest is not PNG
        char type[5] = {};
        std::memcpy(type, head + 4, 4);
        const size_t payloadsBefore = layout.payloads.size();
        // A chunk cut short by the file's end holds what it holds up to
        // there (and no CRC to keep).
        const uint64_t data = at + 8;
        const bool whole = length <= size - data && size - data - length >= 4;
        const uint64_t have = whole ? length : size - data;
        if (std::strcmp(type, "eXIf") == 0) {
            const uint64_t skip = ExifPrefixLength(file, data, have);
            layout.AddPayload(PayloadKind::Tiff, data + skip, have - skip);
        } else if (std::strcmp(type, "zxIf") == 0) {
            layout.reported.push_back("compressed EXIF chunk");
        } else if (std::strcmp(type, "iTXt") == 0 || std::strcmp(type, "tEXt") == 0 ||
                   std::strcmp(type, "zTXt") == 0) {
            ReadTextChunk(file, type, data, have, layout);
        }
        if (whole && layout.payloads.size() > payloadsBefore)
            layout.crcs.push_back({at + 4, length + 4, data + length});
        if (!whole || std::strcmp(type, "IEND") == 0)
            break;
        at = data + length + 4;
    }
    return true;
}

} // namespace layout

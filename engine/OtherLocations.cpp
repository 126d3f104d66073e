#include "engine/OtherLocations.h"

#include "engine/TiffParser.h"
#include "engine/XmpPositions.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

uint32_t LoadBE(const uint8_t* p, unsigned n) {
    uint32_t v = 0;
    for (unsigned i = 0; i < n; ++i)
        v = v << 8 | p[i];
    return v;
}

// A FLIR block is an FFF file cut into APP1 segments ("FLIR\0", 0x01, part
// number, last part number, then the part). Its record directory lists
// records by type; type 0x2B is the GPS record.
bool FlirHasGpsRecord(const std::vector<uint8_t>& fff) {
    if (fff.size() < 32 || std::memcmp(fff.data(), "FFF", 3) != 0)
        return false;
    uint32_t directory = LoadBE(&fff[24], 4), entries = LoadBE(&fff[28], 4);
    for (uint64_t i = 0; i < entries && i < 4096; ++i) {
        uint64_t at = uint64_t(directory) + 32 * i;
        if (at + 32 > fff.size())
            break;
        if (LoadBE(&fff[at], 2) == 0x2B && LoadBE(&fff[at + 16], 4) > 0)
            return true;
    }
    return false;
}

bool IsNameEnd(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '=' || c == '>' || c == '/' || c == '<' ||
           c == '"' || c == '\'' || c == ':';
}

// prefix:GpsLatitude and the like under a prefix that is not the EXIF
// namespace's, with a digit other than 0 in the text that follows.
std::string VendorXmpPosition(const uint8_t* text, size_t size) {
    const std::string bound = "='" + std::string(xmp::kExifNamespace) + "'";
    for (const char* name : {":GpsLatitude", ":GpsLongitude", ":GPSLatitude", ":GPSLongitude"}) {
        size_t n = std::strlen(name);
        for (const uint8_t* at = std::search(text, text + size, name, name + n); at != text + size;
             at = std::search(at + 1, text + size, name, name + n)) {
            const uint8_t* begin = at;
            while (begin > text && at - begin < 64 && !IsNameEnd(begin[-1]))
                --begin;
            std::string prefix(reinterpret_cast<const char*>(begin), size_t(at - begin));
            if (prefix.empty() || prefix == "exif")
                continue;
            // Bound to the EXIF namespace after all: those are cleared.
            std::string binding = "xmlns:" + prefix + "=";
            const uint8_t* b = std::search(text, text + size, binding.begin(), binding.end());
            if (b != text + size && size_t(text + size - b) > binding.size() + 1 &&
                std::memcmp(b + binding.size() + 1, xmp::kExifNamespace, std::strlen(xmp::kExifNamespace)) == 0)
                continue;
            // The value: up to the next quote or tag, at most 40 bytes on.
            const uint8_t* v = at + n;
            while (v < text + size && v - at < 48 && (*v == '=' || *v == '"' || *v == '\'' || *v == '>' || *v == ' '))
                ++v;
            for (; v < text + size && v - at < 96 && *v != '"' && *v != '\'' && *v != '<'; ++v)
                if (*v >= '1' && *v <= '9')
                    return "XMP " + prefix + name;
        }
    }
    return std::string();
}

} // namespace

std::vector<std::string> FindOtherLocations(stdlib::Stream& file, const CodestreamParser& codestream,
                                            stdlib::MemStream& exif) {
    std::vector<std::string> found;
    std::unique_ptr<uint8_t[]> segment(new uint8_t[65536]);
    std::vector<uint8_t> fff;
    std::string vendorXmp;
    for (uint32_t i = 0; i < codestream.map.GetCount(); ++i) {
        const CodestreamParser::MapItem& item = codestream.map[i];
        if (item.marker != 0xE1 || item.length < 8 || !file.SetPos(item.offset))
            continue;
        size_t got = file.Read(segment.get(), 1, item.length);
        if (got >= 8 && std::memcmp(segment.get(), "FLIR\0\x01", 6) == 0)
            fff.insert(fff.end(), segment.get() + 8, segment.get() + got);
        else if (vendorXmp.empty() && xmp::IsPacket(segment.get(), got))
            vendorXmp = VendorXmpPosition(segment.get() + xmp::kPacketHeaderSize, got - xmp::kPacketHeaderSize);
    }
    if (FlirHasGpsRecord(fff))
        found.push_back("FLIR GPS record");
    if (!vendorXmp.empty())
        found.push_back(vendorXmp);

    // A GPS pointer in the Exif directory.
    exif.Seek(0, 0);
    Parser parser(exif, 0, true);
    if (exif.GetSize() > 0 && parser.Parse()) {
        uint32_t exifIfd = 0;
        IFDItem* pointer = parser.FindItem(-1, 34665);
        if (pointer && Parser::PointerValue(*pointer, exifIfd) && parser.FindIFD(exifIfd, 0) == -1) {
            int before = int(parser.ifds.GetCount());
            parser.ReadIFD(exifIfd);
            if (int(parser.ifds.GetCount()) > before && parser.FindItem(before, 34853))
                found.push_back("GPS directory of the Exif directory");
        }
    }
    return found;
}

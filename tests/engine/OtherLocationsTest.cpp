// Positions outside the five EXIF tags of the GPS directory, through check
// and secure: vendors' XMP properties, a GPS directory that only the Exif
// directory points to, FLIR GPS records. What Norvane clears is cleared in
// place (only value bytes change, the file keeps its length); what it
// recognises and cannot clear makes the photo never count as secure.

#include "engine/CheckGpsTags.h"
#include "engine/ResultCodes.h"
#include "engine/SecureGpsTags.h"
#include "support/ExiftoolOracle.h"
#include "support/JpegBuilder.h"
#include "support/TempDir.h"
#include "support/TiffBuilder.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testing_support;

namespace {

const char kDroneNs[] = "http://www.dji.com/drone-dji/1.0/";

std::string DronePacket(const std::string& body, const std::string& prefix = "drone-dji") {
    return "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
           "<rdf:Description rdf:about='' xmlns:" +
           prefix + "='" + kDroneNs + "' xmlns:exif='http://ns.adobe.com/exif/1.0/'" + body +
           "</rdf:Description></rdf:RDF></x:xmpmeta>";
}

void PutLE(std::vector<uint8_t>& b, size_t at, uint64_t v, unsigned n) {
    for (unsigned i = 0; i < n; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}
void PutBE(std::vector<uint8_t>& b, size_t at, uint64_t v, unsigned n) {
    for (unsigned i = 0; i < n; ++i)
        b[at + i] = uint8_t(v >> (8 * (n - 1 - i)));
}
uint64_t DoubleBits(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    return bits;
}

// An FFF file (header in the given byte order and version) with a GPS
// record of recordLength bytes (valid, 35.6 N 139.7 E at 120 m; the record
// itself little-endian), cut into APP1 payloads of at most part bytes.
std::vector<std::vector<uint8_t>> FlirBlock(bool bigEndian, uint32_t recordLength, size_t part = 65000,
                                            uint32_t version = 100) {
    auto put = bigEndian ? PutBE : PutLE;
    std::vector<uint8_t> fff(0x60 + 0x68, 0);
    std::memcpy(fff.data(), "FFF\0CAMCTRL", 11);
    put(fff, 0x14, version, 4);
    put(fff, 0x18, 0x40, 4); // record directory
    put(fff, 0x1C, 1, 4);    // one entry
    put(fff, 0x40, 0x2B, 2);
    put(fff, 0x42, 1, 2);
    put(fff, 0x44, 0x64, 4);
    put(fff, 0x4C, 0x60, 4);
    put(fff, 0x50, recordLength, 4);
    PutLE(fff, 0x60, 1, 4); // GPSValid
    fff[0x68] = 'N', fff[0x6A] = 'E';
    PutLE(fff, 0x70, DoubleBits(35.6), 8);
    PutLE(fff, 0x78, DoubleBits(139.7), 8);
    float altitude = 120.0f;
    uint32_t bits;
    std::memcpy(&bits, &altitude, 4);
    PutLE(fff, 0x80, bits, 4);
    std::vector<std::vector<uint8_t>> parts;
    size_t count = (fff.size() + part - 1) / part;
    for (size_t i = 0; i < count; ++i) {
        std::vector<uint8_t> payload = {'F', 'L', 'I', 'R', 0, 1, uint8_t(i), uint8_t(count - 1)};
        payload.insert(payload.end(), fff.begin() + long(i * part), fff.begin() + long(std::min(fff.size(), i * part + part)));
        parts.push_back(payload);
    }
    return parts;
}

struct Case {
    const char* name;
    Bytes photo;
    int checkBefore;
    int secured; // SecureGpsTagsIfNeeded's code (-1: nothing to do)
    int checkAfter;
    std::string removed;
    std::vector<std::string> left;
};

Bytes Photo(const Bytes* exif, const std::string& xmp, const std::vector<std::vector<uint8_t>>& app1 = {}) {
    JpegBuilder b;
    b.Jfif();
    if (exif)
        b.Exif(*exif);
    if (!xmp.empty())
        b.Xmp(xmp);
    for (const auto& payload : app1)
        b.Segment(0xE1, payload);
    return b.Tables().Scan(800).End().bytes;
}

// IFD0 -> Exif directory -> GPS directory, and no GPS pointer in IFD0.
Bytes ExifPointsToGps(bool be) {
    TiffBuilder t(be);
    uint64_t gps = t.AddIFD({t.Rationals(2, {{35, 1}, {40, 1}, {15, 1}}), t.Rationals(4, {{139, 1}, {44, 1}, {2, 1}})});
    uint64_t exifIfd = t.AddIFD({t.Rationals(33434, {{1, 125}}), TiffBuilder::Raw(34853, 4, 1, gps)});
    t.SetFirstIFD(t.AddIFD({t.Ascii(271, "Cam"), TiffBuilder::Raw(34665, 4, 1, exifIfd)}));
    return t.bytes;
}

} // namespace

TEST(OtherLocations, VendorPositionsAreClearedAndWhatIsLeftIsNeverSecure) {
    TiffBuilder plain(true);
    Bytes gps = ExifWithGps(true, {plain.Rationals(2, {{35, 1}, {40, 1}, {15, 1}})});
    Bytes viaExifII = ExifPointsToGps(false), viaExifMM = ExifPointsToGps(true);
    const std::string flirLeft = "FLIR GPS record";
    std::vector<Case> cases = {
        {"drone XMP attributes", Photo(nullptr, DronePacket(" drone-dji:GpsLatitude='+35.6' drone-dji:GpsLongitude="
                                                           "\"+139.70\" drone-dji:AbsoluteAltitude='+120.35'>")),
         0, 0, 8, "?3;10002(0,0,0);10004(0,0,0);10006(0,0,0);", {}},
        {"drone XMP elements, misspelt longitude, another prefix",
         Photo(nullptr, DronePacket("><dji:GpsLatitude>35.6</dji:GpsLatitude><dji:GpsLongtitude>139.7"
                                    "</dji:GpsLongtitude><dji:AbsoluteAltitude>+120.35</dji:AbsoluteAltitude>",
                                    "dji")),
         0, 0, 8, "?3;10002(0,0,0);10004(0,0,0);10006(0,0,0);", {}},
        {"drone and EXIF namespaces beside EXIF data",
         Photo(&gps, DronePacket(" exif:GPSLongitude='139,42.0E' drone-dji:GpsLatitude='+35.6'>")), 0, 0, 8,
         "?3;2(0,0,0);10004(0,0,0);10002(0,0,0);", {}},
        {"GPS directory of the Exif directory, II", Photo(&viaExifII, ""), 0, 0, 8, "?2;2(0,0,0);4(0,0,0);", {}},
        {"GPS directory of the Exif directory, MM", Photo(&viaExifMM, ""), 0, 0, 8, "?2;2(0,0,0);4(0,0,0);", {}},
        {"FLIR record, big-endian header", Photo(nullptr, "", FlirBlock(true, 0x68)), 0, 0, 8,
         "?3;20002(0,0,0);20004(0,0,0);20006(0,0,0);", {}},
        {"FLIR record across two parts, little-endian header", Photo(nullptr, "", FlirBlock(false, 0x68, 0x78)), 0, 0,
         8, "?3;20002(0,0,0);20004(0,0,0);20006(0,0,0);", {}},
        {"FLIR record that ends after its longitude", Photo(nullptr, "", FlirBlock(true, 0x20)), 0, 0, 8,
         "?2;20002(0,0,0);20004(0,0,0);", {}},
        {"FLIR record reaching past its block, beside EXIF data", Photo(&gps, "", FlirBlock(true, 0x400)), 0,
         securecode::kLocationLeft, 9, "?1;2(0,0,0);", {flirLeft}},
        {"FLIR record of an unknown version, alone", Photo(nullptr, "", FlirBlock(false, 0x68, 65000, 300)), 9, -1,
         9, "?0;", {flirLeft}},
    };
    TempDir dir;
    std::vector<std::string> before, after;
    for (size_t n = 0; n < cases.size(); ++n) {
        const Case& c = cases[n];
        SCOPED_TRACE(c.name);
        std::string path = dir.file("case-" + std::to_string(n) + ".jpg");
        WriteFile(path, c.photo);
        std::vector<std::string> others;
        EXPECT_EQ(CheckGpsTags(path.c_str(), &others), c.checkBefore);
        EXPECT_EQ(others, c.left);
        if (c.checkBefore == 0) {
            std::string copy = dir.file("before-" + std::to_string(n) + ".jpg");
            WriteFile(copy, c.photo);
            before.push_back(copy);
        }
        int check = -1;
        RemovedTags removed;
        std::vector<std::string> left = {"stale"};
        EXPECT_EQ(SecureGpsTagsIfNeeded(path.c_str(), check, removed, &left), c.secured);
        EXPECT_EQ(check, c.checkBefore);
        EXPECT_EQ(RemovedTagsText(removed), c.removed);
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(CheckGpsTags(path.c_str(), &others), c.checkAfter);
        EXPECT_EQ(others, c.left);

        // Only value bytes changed: EXIF and FLIR ones to zero, XMP digits
        // to 0 (or 1 ending a denominator). The length stays.
        Bytes secured = ReadFile(path);
        ASSERT_EQ(secured.size(), c.photo.size());
        size_t changed = 0;
        for (size_t i = 0; i < secured.size(); ++i) {
            if (secured[i] == c.photo[i])
                continue;
            ++changed;
            bool digit = c.photo[i] >= '0' && c.photo[i] <= '9' && (secured[i] == '0' || secured[i] == '1');
            EXPECT_TRUE(secured[i] == 0 || digit) << "byte " << i;
        }
        EXPECT_EQ(changed > 0, c.secured >= 0);

        // Securing to a new file gives the same bytes and code.
        std::string copy = dir.file("copy-" + std::to_string(n) + ".jpg"), source = copy + ".src.jpg";
        WriteFile(source, c.photo);
        RemovedTags again;
        EXPECT_EQ(SecureGpsTags(source.c_str(), copy.c_str(), again),
                  c.left.empty() ? securecode::kSecured : securecode::kLocationLeft);
        if (c.secured >= 0) {
            EXPECT_TRUE(ReadFile(copy) == secured);
        }
        if (c.left.empty())
            after.push_back(path);
    }
    if (!ExiftoolOracle::Available())
        return;
    for (auto& [path, read] : ExiftoolOracle::Positions(before))
        EXPECT_FALSE(read.empty()) << path << ": exiftool reads no position before";
    for (auto& [path, read] : ExiftoolOracle::Positions(after))
        EXPECT_TRUE(read.empty()) << path << " still discloses " << read.begin()->first << "=" << read.begin()->second;
}

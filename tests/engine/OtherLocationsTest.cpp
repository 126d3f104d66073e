// Locations that are reported but not cleared: a FLIR block's GPS record, a
// vendor's XMP position, a GPS directory of the Exif directory.

#include "engine/CheckGpsTags.h"
#include "engine/OtherLocations.h"
#include "support/JpegBuilder.h"
#include "support/TempDir.h"
#include "support/TiffBuilder.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testing_support;

namespace {

// An FFF file with one record of the given type, as the first part of a
// FLIR block.
std::vector<uint8_t> FlirSegment(uint16_t recordType) {
    std::vector<uint8_t> fff(64 + 32, 0);
    std::memcpy(fff.data(), "FFF\0", 4);
    fff[27] = 64; // record directory at 64
    fff[31] = 1;  // one record
    fff[64] = uint8_t(recordType >> 8);
    fff[65] = uint8_t(recordType);
    fff[64 + 19] = 40; // 40 bytes long
    const uint8_t header[8] = {'F', 'L', 'I', 'R', 0, 1, 0, 0};
    fff.insert(fff.begin(), header, header + 8);
    return fff;
}

std::vector<std::string> Others(TempDir& dir, const std::vector<uint8_t>& photo) {
    std::string path = dir.file("photo.jpg");
    WriteFile(path, photo);
    std::vector<std::string> found;
    CheckGpsTags(path.c_str(), &found);
    return found;
}

} // namespace

TEST(OtherLocations, VendorBlocksAndUnreadDirectoriesAreReported) {
    TempDir dir;
    auto photo = [](const std::vector<uint8_t>& app1, const std::vector<uint8_t>* tiff = nullptr) {
        JpegBuilder b;
        b.Jfif();
        if (tiff)
            b.Exif(*tiff);
        if (!app1.empty())
            b.Segment(0xE1, app1);
        return b.Tables().Scan(500).End().bytes;
    };
    EXPECT_EQ(Others(dir, photo(FlirSegment(0x2B))), std::vector<std::string>{"FLIR GPS record"});
    EXPECT_TRUE(Others(dir, photo(FlirSegment(0x01))).empty()); // a raw image record, no GPS

    auto xmpPhoto = [&](const std::string& packet) {
        std::string text = std::string("http://ns.adobe.com/xap/1.0/") + '\0' + packet;
        return photo(std::vector<uint8_t>(text.begin(), text.end()));
    };
    std::string dji = "<rdf:Description xmlns:drone-dji='http://www.dji.com/drone-dji/1.0/' "
                      "drone-dji:GpsLatitude='+22.5433' drone-dji:GpsLongitude='+113.9528'/>";
    EXPECT_EQ(Others(dir, xmpPhoto(dji)), std::vector<std::string>{"XMP drone-dji:GpsLatitude"});
    EXPECT_TRUE(Others(dir, xmpPhoto("<a xmlns:drone-dji='x' drone-dji:GpsLatitude='+0.0000'/>")).empty());
    // Under the EXIF namespace it is cleared, so it is not reported.
    EXPECT_TRUE(Others(dir, xmpPhoto("<a xmlns:e='http://ns.adobe.com/exif/1.0/' e:GPSLatitude='35,1N'/>")).empty());

    TiffBuilder t(true);
    uint64_t gps = t.AddIFD({t.Rationals(2, {{35, 1}, {40, 1}, {15, 1}})});
    uint64_t exifIfd = t.AddIFD({t.Rationals(33434, {{1, 125}}), TiffBuilder::Raw(34853, 4, 1, gps)});
    uint64_t ifd0 = t.AddIFD({t.Ascii(271, "Cam"), TiffBuilder::Raw(34665, 4, 1, exifIfd)});
    t.SetFirstIFD(ifd0);
    EXPECT_EQ(Others(dir, photo({}, &t.bytes)), std::vector<std::string>{"GPS directory of the Exif directory"});
    TiffBuilder plain(true);
    std::vector<uint8_t> usual = ExifWithGps(true, {plain.Rationals(2, {{35, 1}, {40, 1}, {15, 1}})});
    EXPECT_TRUE(Others(dir, photo({}, &usual)).empty());
}

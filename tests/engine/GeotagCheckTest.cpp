// The geotag check on photos built byte by byte: every result code, what
// counts as a position tag, and the trace lines it leaves.

#include "engine/CheckGpsTags.h"
#include "engine/Trace.h"
#include "support/JpegBuilder.h"
#include "support/TempDir.h"
#include "support/TiffBuilder.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class GeotagCheck : public ::testing::Test {
protected:
    int Check(const std::vector<uint8_t>& bytes) {
        std::string path = dir.file("photo-" + std::to_string(n++) + ".jpg");
        WriteFile(path, bytes);
        return CheckGpsTags(path.c_str());
    }
    int CheckGps(bool be, const std::vector<TiffEntry>& gps) {
        return Check(JpegBuilder::Photo(ExifWithGps(be, gps)));
    }
    TempDir dir;
    int n = 0;
};

} // namespace

TEST_F(GeotagCheck, PositionValuesDecideBetweenNeedsSecuringAndSecure) {
    for (bool be : {false, true}) {
        TiffBuilder t(be);
        EXPECT_EQ(CheckGps(be, {t.Rationals(2, {{35, 1}, {40, 1}, {0, 1}})}), 0);
        EXPECT_EQ(CheckGps(be, {t.Rationals(2, {{0, 1}, {0, 1}, {0, 1}}), t.Rationals(6, {{0, 1}})}), 8);
        EXPECT_EQ(CheckGps(be, {t.Rationals(2, {{0, 0}, {0, 0}, {0, 0}}),
                                t.Rationals(4, {{0, 0}, {0, 0}, {0, 0}})}),
                  8);
        EXPECT_EQ(CheckGps(be, {t.Rationals(22, {{0, 1}, {0, 1}, {1, 100}})}), 0);
        EXPECT_EQ(CheckGps(be, {TiffBuilder::Raw(20, 5, 0, 0)}), 8); // present with no values
    }
}

TEST_F(GeotagCheck, OnlyRationalPositionValuesCountSignedOrNot) {
    TiffBuilder t(false);
    EXPECT_EQ(CheckGps(false, {t.Ascii(1, "N"), t.Rationals(7, {{12, 1}, {0, 1}, {0, 1}}), t.Shorts(0, {2})}),
              7);
    EXPECT_EQ(CheckGps(false, {t.Longs(4, {139})}), 7);
    EXPECT_EQ(CheckGps(false, {t.Ascii(2, "35 40 15"), t.Shorts(6, {40})}), 7);

    // Phones write the position as signed rationals: the same 8 bytes a
    // value, and a negative value is a position as much as a positive one.
    constexpr uint16_t kSigned = 10;
    for (bool be : {false, true}) {
        TiffBuilder s(be);
        EXPECT_EQ(CheckGps(be, {s.Rationals(2, {{35, 1}}, kSigned)}), 0) << be;
        EXPECT_EQ(CheckGps(be, {s.Rationals(4, {{uint32_t(-35), 1}, {0, 1}, {0, 1}}, kSigned)}), 0) << be;
        EXPECT_EQ(CheckGps(be, {s.Rationals(20, {{0, 1}, {0, 1}, {0, 1}}, kSigned),
                                s.Rationals(22, {{0, 1}, {0, 1}, {7, uint32_t(-100)}}, kSigned)}),
                  0)
            << be;
        EXPECT_EQ(CheckGps(be, {s.Rationals(2, {{0, 1}, {0, 1}, {0, 1}}, kSigned),
                                s.Rationals(6, {{0, 0}}, kSigned), s.Rationals(4, {{0, 1}})}),
                  8)
            << be;
    }

    // Position tag numbers outside the GPS directory count too.
    TiffBuilder ifd0(true);
    ifd0.SetFirstIFD(ifd0.AddIFD({ifd0.Ascii(271, "Cam"), ifd0.Rationals(4, {{139, 1}})}));
    EXPECT_EQ(Check(JpegBuilder::Photo(ifd0.bytes)), 0);

    // A GPS pointer at a directory of the main chain reads it once.
    TiffBuilder same(false);
    uint64_t first = same.AddIFD({same.Rationals(2, {{1, 1}}), TiffBuilder::Raw(34853, 4, 1, 8)});
    same.SetFirstIFD(first);
    EXPECT_EQ(first, 8u);
    EXPECT_EQ(Check(JpegBuilder::Photo(same.bytes)), 0);
}

TEST_F(GeotagCheck, WhatIsNotAPhotoWithExifData) {
    EXPECT_EQ(CheckGpsTags(nullptr), 1);
    EXPECT_EQ(CheckGpsTags(dir.file("missing.jpg").c_str()), 4);
    EXPECT_EQ(Check(std::vector<uint8_t>(1000, 'a')), 2);                     // no 0xFF at all
    EXPECT_EQ(Check(JpegBuilder().Jfif().Tables().bytes), 2);                 // no scan, no EOI
    EXPECT_EQ(Check({0x00, 0xFF, 0xC0, 0x00, 0x02, 0xFF, 0xD9}), 2);          // first marker not SOI
    EXPECT_EQ(Check(JpegBuilder().Jfif().Tables().Scan(100).End().bytes), 6); // no APP1
    EXPECT_EQ(Check(JpegBuilder().Xmp("<x:xmpmeta/>").Tables().Scan(100).End().bytes), 6);
    std::vector<uint8_t> badHeader = {'M', 'M', 0, 0x2B, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16};
    EXPECT_EQ(Check(JpegBuilder::Photo(badHeader)), 6);
}

TEST_F(GeotagCheck, TraceLinesTellWhatWasFound) {
    std::string log = dir.file("trace.txt");
    ASSERT_TRUE(trace::Open(log.c_str(), "wb"));
    TiffBuilder t(false);
    std::string photo = dir.file("gps.jpg");
    WriteFile(photo, JpegBuilder::Photo(ExifWithGps(false, {t.Rationals(2, {{1, 1}})})));
    EXPECT_EQ(CheckGpsTags(photo.c_str()), 0);
    std::string plain = dir.file("plain.jpg");
    WriteFile(plain, JpegBuilder().Jfif().Tables().Scan(10).End().bytes);
    EXPECT_EQ(CheckGpsTags(plain.c_str()), 6);
    std::string cut = dir.file("cut.jpg");
    WriteFile(cut, JpegBuilder().Jfif().Tables().bytes);
    EXPECT_EQ(CheckGpsTags(cut.c_str()), 2);
    EXPECT_EQ(CheckGpsTags(nullptr), 1);
    trace::Close();
    Bytes text = ReadFile(log);
    EXPECT_EQ(std::string(text.begin(), text.end()),
              "\n\nCheckGpsTags: '" + photo + "'\nOk\n" + "\n\nCheckGpsTags: '" + plain +
                  "'\nExif is empty\n" + "\n\nCheckGpsTags: '" + cut +
                  "'\nIt isn't JPEG! (maybe bad jpeg)[5]\n" + "\n\nCheckGpsTags: '(null)'\n");
}

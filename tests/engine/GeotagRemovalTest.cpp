// Clearing position values and rewriting photos: the records, what changes
// in the file (and what never does), the three ways an in-place rewrite can
// reach the disk, and photos that must survive every failure.

#include "engine/CheckGpsTags.h"
#include "engine/CodestreamParser.h"
#include "engine/FileOs.h"
#include "engine/FileOsFaults.h"
#include "engine/SecureGpsTags.h"
#include "engine/Trace.h"
#include "support/ExiftoolOracle.h"
#include "support/JpegBuilder.h"
#include "support/TempDir.h"
#include "support/TiffBuilder.h"
#include "support/WriteBlock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#ifdef _WIN32
#include <windows.h>
#endif

using namespace testing_support;
namespace fs = std::filesystem;
using Vardle::Route;

namespace {

constexpr Route kRoutes[] = {Route::Fastest, Route::InMemory, Route::TemporaryFile};

struct Outcome {
    int code = -1;
    std::string removed;
    Bytes bytes;
};

class GeotagRemoval : public ::testing::Test {
protected:
    Outcome Secure(const Bytes& photo, Route route = Route::Fastest) {
        std::string path = dir.file("photo-" + std::to_string(n++) + ".jpg");
        WriteFile(path, photo);
        RemovedTags removed;
        Outcome out;
        out.code = SecureGpsTags(path.c_str(), path.c_str(), removed, route);
        out.removed = RemovedTagsText(removed);
        out.bytes = ReadFile(path);
        return out;
    }
    // Every route must give the same result; returns it.
    Outcome SecureAllRoutes(const Bytes& photo) {
        Outcome first = Secure(photo, kRoutes[0]);
        for (Route route : {Route::InMemory, Route::TemporaryFile}) {
            Outcome other = Secure(photo, route);
            EXPECT_EQ(other.code, first.code) << int(route);
            EXPECT_EQ(other.removed, first.removed) << int(route);
            EXPECT_TRUE(other.bytes == first.bytes) << "route " << int(route) << " wrote other bytes";
        }
        EXPECT_EQ(FilesIn(), size_t(n)) << "a temporary file was left behind";
        return first;
    }
    size_t FilesIn() const {
        return size_t(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
    }
    int CheckBytes(const Bytes& bytes) {
        std::string path = dir.file("check.jpg");
        WriteFile(path, bytes);
        int code = CheckGpsTags(path.c_str());
        fs::remove(path);
        return code;
    }
    static size_t Differences(const Bytes& a, const Bytes& b) {
        size_t d = 0;
        for (size_t i = 0; i < a.size() && i < b.size(); ++i)
            d += a[i] != b[i];
        return d;
    }
    TempDir dir;
    int n = 0;
};

std::vector<TiffEntry> FullGps(const TiffBuilder& t) {
    return {t.Ascii(1, "N"),
            t.Rationals(2, {{35, 1}, {40, 1}, {15, 1}}),
            t.Ascii(3, "E"),
            t.Rationals(4, {{139, 1}, {41, 1}, {30, 1}}),
            t.Rationals(6, {{40, 1}}),
            t.Rationals(20, {{1, 1}, {2, 1}, {3, 1}}),
            t.Rationals(22, {{4, 1}, {5, 1}, {6, 1}})};
}

// The five position tags with values of the given type; negative numbers
// as a phone writes them for the southern and western hemispheres.
std::vector<TiffEntry> PositionGps(const TiffBuilder& t, uint16_t type) {
    const uint32_t minus35 = uint32_t(-35), minus58 = uint32_t(-58);
    return {t.Ascii(1, "S"),
            t.Rationals(2, {{minus35, 1}, {40, 1}, {1507, 100}}, type),
            t.Ascii(3, "W"),
            t.Rationals(4, {{minus58, 1}, {22, 1}, {3, 1}}, type),
            t.Rationals(6, {{uint32_t(-12), 10}}, type),
            t.Rationals(20, {{0, 1}, {0, 1}, {0, 0}}, type),
            t.Rationals(22, {{1, 1}, {2, 1}, {3, 1}}, type)};
}

} // namespace

TEST_F(GeotagRemoval, SignedRationalPositionsAreClearedLikeUnsignedOnes) {
    constexpr uint16_t kRational = 5, kSigned = 10;
    for (bool be : {false, true}) {
        SCOPED_TRACE(be ? "MM" : "II");
        TiffBuilder t(be);
        // One layout, two types: the photos differ only in the type fields.
        Bytes unsignedPhoto = JpegBuilder::Photo(ExifWithGps(be, PositionGps(t, kRational)));
        Bytes signedPhoto = JpegBuilder::Photo(ExifWithGps(be, PositionGps(t, kSigned)));
        ASSERT_EQ(signedPhoto.size(), unsignedPhoto.size());
        ASSERT_EQ(Differences(signedPhoto, unsignedPhoto), 5u);
        EXPECT_EQ(CheckBytes(signedPhoto), 0);

        Outcome u = SecureAllRoutes(unsignedPhoto);
        Outcome s = SecureAllRoutes(signedPhoto);
        ASSERT_EQ(u.code, 0);
        EXPECT_EQ(s.code, 0);
        EXPECT_EQ(s.removed, u.removed);
        EXPECT_EQ(s.removed.substr(0, 3), "?5;");
        // Zeroed where the unsigned photo was zeroed, and nowhere else.
        Bytes expected = signedPhoto;
        for (size_t i = 0; i < expected.size() && i < u.bytes.size(); ++i)
            if (u.bytes[i] != unsignedPhoto[i])
                expected[i] = 0;
        EXPECT_GT(Differences(expected, signedPhoto), 0u);
        EXPECT_TRUE(s.bytes == expected);
        EXPECT_EQ(CheckBytes(s.bytes), 8);

        std::string once = dir.file(std::string("once-") + (be ? "mm" : "ii") + ".jpg");
        WriteFile(once, signedPhoto);
        int checkCode = -1;
        RemovedTags onceTags;
        EXPECT_EQ(SecureGpsTagsIfNeeded(once.c_str(), checkCode, onceTags), 0);
        EXPECT_EQ(checkCode, 0);
        EXPECT_EQ(RemovedTagsText(onceTags), u.removed);
        EXPECT_TRUE(ReadFile(once) == expected);
        fs::remove(once);
    }
    // The record of a negative value is its bytes, as for any value.
    TiffBuilder le(false);
    Outcome o = SecureAllRoutes(
        JpegBuilder::Photo(ExifWithGps(false, {le.Rationals(2, {{uint32_t(-35), 1}}, kSigned)})));
    EXPECT_EQ(o.removed, "?1;2(0,0,0);");
}

TEST_F(GeotagRemoval, RecordsHoldTheOldValuesInTheDataByteOrder) {
    TiffBuilder le(false);
    Bytes photo = JpegBuilder::Photo(ExifWithGps(false, {le.Rationals(2, {{35, 1}, {40, 1}, {15, 1}})}));
    Outcome o = SecureAllRoutes(photo);
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.removed, "?1;2(0,0,0);");
    EXPECT_EQ(o.bytes.size(), photo.size());
    EXPECT_EQ(Differences(o.bytes, photo), 6u); // 35, 40, 15 and three denominators of 1
    EXPECT_EQ(CheckBytes(o.bytes), 8);

    TiffBuilder be(true);
    photo = JpegBuilder::Photo(
        ExifWithGps(true, {be.Rationals(2, {{35, 1}, {40, 1}, {15, 1}}), be.Rationals(6, {{7, 2}})}));
    o = SecureAllRoutes(photo);
    EXPECT_EQ(o.removed, "?2;2(0,0,0);6(0,0,0);");
    EXPECT_EQ(CheckBytes(o.bytes), 8);

    TiffBuilder t(true);
    o = SecureAllRoutes(JpegBuilder::Photo(ExifWithGps(true, FullGps(t))));
    EXPECT_EQ(o.removed.substr(0, 3), "?5;");
    EXPECT_EQ(CheckBytes(o.bytes), 8);
}

TEST_F(GeotagRemoval, PhotoWithoutGpsStaysAsItWas) {
    TiffBuilder t(false);
    t.SetFirstIFD(t.AddIFD({t.Ascii(271, "Cam")}));
    Bytes photo = JpegBuilder::Photo(t.bytes);
    Outcome o = SecureAllRoutes(photo);
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.removed, "?0;");
    EXPECT_TRUE(o.bytes == photo);
}

TEST_F(GeotagRemoval, SplitExifDataIsJoinedAtThePlaceOfTheFirstSegment) {
    TiffBuilder t(false);
    uint64_t gps = t.AddIFD({t.Rationals(2, {{35, 1}, {40, 1}, {15, 1}})});
    uint64_t first = t.AddIFD({t.Ascii(271, "Cam"), TiffBuilder::Raw(34853, 4, 1, gps)});
    t.SetFirstIFD(first);
    t.bytes.resize(70000, 0x5A); // unreferenced bytes after the directories
    Bytes photo = JpegBuilder().Jfif().Exif(t.bytes, 40000).Xmp("<x/>").Tables().Scan(3000).End().bytes;
    Outcome o = SecureAllRoutes(photo);
    ASSERT_EQ(o.code, 0);
    // SOI, APP0 (18 bytes), then FF E1 FF FF "Exif\0\0" + 65527 bytes and
    // FF E1 11 81 "Exif\0\0" + 4473 bytes; then the XMP segment as it was.
    const Bytes& b = o.bytes;
    size_t at = 2 + 18;
    ASSERT_GT(b.size(), at + 4 + 65533 + 4);
    EXPECT_EQ(b[at + 1], 0xE1);
    EXPECT_EQ(b[at + 2], 0xFF);
    EXPECT_EQ(b[at + 3], 0xFF);
    at += 2 + 65535;
    EXPECT_EQ(b[at + 1], 0xE1);
    EXPECT_EQ(b[at + 2], 0x11);
    EXPECT_EQ(b[at + 3], 0x81);
    EXPECT_EQ(b[at + 4], 'E');
    at += 2 + 0x1181;
    EXPECT_EQ(b[at + 1], 0xE1);
    EXPECT_EQ(b[at + 4], 'h');             // the XMP namespace
    EXPECT_EQ(b.size(), photo.size() + 0); // two segments became two segments
    EXPECT_EQ(CheckBytes(b), 8);
}

TEST_F(GeotagRemoval, EverythingOutsideTheValuesIsCopied) {
    TiffBuilder t(true);
    Bytes exif = ExifWithGps(true, FullGps(t));
    Bytes tail = JpegBuilder().Jfif().Tables().Scan(500, 7).End().bytes; // a second image after EOI
    // Progressive: several scans with tables between them.
    Bytes photo = JpegBuilder()
                      .Jfif()
                      .Exif(exif)
                      .Xmp("<x:xmpmeta>GPS 35 139</x:xmpmeta>")
                      .Tables()
                      .Scan(4000, 1)
                      .Tables()
                      .Scan(3000, 2)
                      .Segment(0xC4, Bytes(20, 3))
                      .Scan(2000, 3)
                      .End()
                      .Raw(tail)
                      .bytes;
    Outcome o = SecureAllRoutes(photo);
    ASSERT_EQ(o.code, 0);
    ASSERT_EQ(o.bytes.size(), photo.size());
    size_t changed = Differences(o.bytes, photo);
    EXPECT_GT(changed, 0u);
    EXPECT_LE(changed, 13u * 8);
    for (size_t i = 0; i < photo.size(); ++i)
        if (o.bytes[i] != photo[i]) {
            ASSERT_EQ(o.bytes[i], 0) << "byte " << i << " changed to something other than a cleared value";
        }
}

TEST_F(GeotagRemoval, ShapesTheRewriteMendsComeOutTheSameOnEveryRoute) {
    TiffBuilder t(false);
    Bytes exif = ExifWithGps(false, {t.Rationals(4, {{139, 1}, {41, 1}, {30, 1}})});
    Bytes junkBefore = JpegBuilder::Photo(exif);
    junkBefore.insert(junkBefore.begin(), {0x00, 0x11});
    Bytes fill = JpegBuilder().Jfif().Raw({0xFF, 0xFF}).Exif(exif).Tables().Scan(100).End().bytes;
    Bytes shortLength =
        JpegBuilder().Jfif().Raw({0xFF, 0xEC, 0x00, 0x01}).Exif(exif).Tables().Scan(100).End().bytes;
    Bytes shortApp1 = JpegBuilder().Jfif().Segment(0xE1, {1, 2, 3}).Exif(exif).Tables().Scan(100).End().bytes;
    Bytes notZeroSixth = JpegBuilder::Photo(exif);
    notZeroSixth[2 + 18 + 4 + 5] = 'x'; // "Exif\0x"
    for (const Bytes& photo : {junkBefore, fill, shortLength, shortApp1, notZeroSixth}) {
        Outcome o = SecureAllRoutes(photo);
        EXPECT_EQ(o.code, 0);
        EXPECT_EQ(o.removed, "?1;4(0,0,0);");
        EXPECT_EQ(CheckBytes(o.bytes), 8);
        EXPECT_FALSE(o.bytes == photo);
    }
    // The bytes before the first marker are gone; the short APP1 too.
    EXPECT_EQ(Secure(junkBefore, Route::InMemory).bytes.size(), junkBefore.size() - 2);
    EXPECT_EQ(Secure(shortApp1, Route::InMemory).bytes.size(), shortApp1.size() - 7);
}

TEST_F(GeotagRemoval, BytesAfterEndOfImageSurviveEvenWhenNothingElseIsRead) {
    // Mapping reads this photo to its end, and no segment is read again.
    Bytes photo = {0xFF, 0xD8, 0xFF, 0xD9, 0x00, 0xFF, 0xD9};
    Outcome o = SecureAllRoutes(photo);
    EXPECT_EQ(o.code, 0);
    EXPECT_TRUE(o.bytes == photo);
}

TEST_F(GeotagRemoval, CraftedCountsNeverGrowTheDataNorLeaveAPosition) {
    // A latitude claiming 2^28 values whose first lies near the end of the data.
    TiffBuilder t(true);
    uint64_t gps = t.AddIFD({TiffBuilder::Raw(2, 5, 1u << 28, 0)});
    uint64_t first = t.AddIFD({TiffBuilder::Raw(34853, 4, 1, gps)});
    t.SetFirstIFD(first);
    uint64_t values = t.Size();
    t.Put(35, 4);
    t.Put(1, 4);
    t.Put(40, 4);
    t.Put(1, 4);
    t.Put(7, 2);                     // a partial value at the very end
    t.PutAt(gps + 2 + 8, values, 4); // the entry's value field
    Bytes photo = JpegBuilder::Photo(t.bytes);
    EXPECT_EQ(CheckBytes(photo), 0);
    Outcome o = SecureAllRoutes(photo);
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.removed, "?1;2(0,0,0);");
    EXPECT_EQ(o.bytes.size(), photo.size());
    EXPECT_EQ(CheckBytes(o.bytes), 8);

    // A single rational inside the 8-byte value field of the 64-bit form.
    TiffBuilder big(false, true);
    uint64_t bigGps = big.AddIFD({big.Rationals(6, {{123, 1}})});
    big.SetFirstIFD(big.AddIFD({TiffBuilder::Raw(34853, 16, 1, bigGps)}));
    Bytes bigPhoto = JpegBuilder::Photo(big.bytes);
    EXPECT_EQ(CheckBytes(bigPhoto), 0);
    o = SecureAllRoutes(bigPhoto);
    EXPECT_EQ(o.removed, "?1;6(0,0,0);");
    EXPECT_EQ(Differences(o.bytes, bigPhoto), 2u);
    EXPECT_EQ(CheckBytes(o.bytes), 8);
}

TEST_F(GeotagRemoval, ABadPhotoIsLeftAloneAndADistinctDestinationIsNew) {
    Bytes cut = JpegBuilder().Jfif().Tables().bytes; // cut before its image data
    std::string src = dir.file("cut.jpg"), dst = dir.file("out.jpg");
    WriteFile(src, cut);
    RemovedTags removed;
    EXPECT_EQ(SecureGpsTags(src.c_str(), src.c_str(), removed), 2);
    EXPECT_TRUE(ReadFile(src) == cut);
    EXPECT_EQ(SecureGpsTags(src.c_str(), dst.c_str(), removed), 2);
    EXPECT_TRUE(fs::exists(dst));
    EXPECT_EQ(fs::file_size(dst), 0u);
    EXPECT_EQ(SecureGpsTags(nullptr, dst.c_str(), removed), 1);
    EXPECT_EQ(SecureGpsTags(dir.file("none.jpg").c_str(), dst.c_str(), removed), 4);
    EXPECT_EQ(SecureGpsTags(src.c_str(), (dir.file("no folder") + "/x.jpg").c_str(), removed), 5);

    TiffBuilder t(false);
    Bytes photo = JpegBuilder::Photo(ExifWithGps(false, {t.Rationals(2, {{35, 1}})}));
    WriteFile(src, photo);
    EXPECT_EQ(SecureGpsTags(src.c_str(), dst.c_str(), removed), 0);
    EXPECT_TRUE(ReadFile(src) == photo);
    EXPECT_EQ(CheckGpsTags(dst.c_str()), 8);
}

TEST_F(GeotagRemoval, TwoSpellingsOfOnePhotoRewriteItInPlace) {
    TiffBuilder t(false);
    Bytes photo = JpegBuilder()
                      .Jfif()
                      .Exif(ExifWithGps(false, {t.Rationals(2, {{35, 1}})}), 30)
                      .Tables()
                      .Scan(100)
                      .End()
                      .bytes;
    fs::create_directory(dir.path() / "sub");
    std::string path = dir.file("sub/a.jpg");
    std::string other = (dir.path() / "sub" / "." / "a.jpg").string();
    WriteFile(path, photo);
    RemovedTags removed;
    ASSERT_EQ(SecureGpsTags(path.c_str(), other.c_str(), removed), 0);
    EXPECT_EQ(CheckGpsTags(path.c_str()), 8);
    EXPECT_EQ(ReadFile(path).size(), Secure(photo, Route::InMemory).bytes.size());
}

TEST_F(GeotagRemoval, AWriteFailingPartWayLeavesThePhotoByteIdentical) {
    TiffBuilder t(true);
    // Split EXIF data, so no route can patch in place.
    Bytes photo =
        JpegBuilder().Jfif().Exif(ExifWithGps(true, FullGps(t)), 100).Tables().Scan(200000).End().bytes;
    const int64_t newSize = int64_t(Secure(photo, Route::InMemory).bytes.size());
    fs::remove_all(dir.path());
    fs::create_directory(dir.path());
    std::string path = dir.file("photo.jpg");
    struct Guard {
        ~Guard() { fileos::WriteFaultForTests(-1); }
    } guard;
    for (Route route : kRoutes) {
        for (int64_t budget :
             {int64_t(0), int64_t(1), int64_t(100), int64_t(65536), int64_t(150000), newSize - 1}) {
            WriteFile(path, photo);
            fileos::WriteFaultForTests(budget);
            RemovedTags removed;
            EXPECT_EQ(SecureGpsTags(path.c_str(), path.c_str(), removed, route), 3)
                << int(route) << " " << budget;
            fileos::WriteFaultForTests(-1);
            EXPECT_TRUE(ReadFile(path) == photo) << "route " << int(route) << " budget " << budget;
            EXPECT_EQ(FilesIn(), 1u);
        }
    }
}

TEST_F(GeotagRemoval, MemoryRunningOutGivesTheSamePhotoOrLeavesItAsItWas) {
    // Split EXIF data larger than one block of the memory stream, so the
    // data needs memory to grow and no route can patch in place.
    TiffBuilder t(false);
    Bytes tiff = ExifWithGps(false, FullGps(t));
    tiff.resize(tiff.size() + 150000, 0x11);
    Bytes photo = JpegBuilder().Jfif().Exif(tiff, 60000).Tables().Scan(50000).End().bytes;
    const Outcome whole = Secure(photo, Route::InMemory);
    ASSERT_EQ(whole.code, 0);
    std::string path = dir.file("photo.jpg");
    struct Guard {
        ~Guard() { fileos::AllocationFaultForTests(-1); }
    } guard;
    int secured = 0, refused = 0;
    for (Route route : {Route::InMemory, Route::Fastest}) {
        for (int64_t budget = 0; budget < 12; ++budget) {
            fs::remove_all(dir.path());
            fs::create_directory(dir.path());
            WriteFile(path, photo);
            fileos::AllocationFaultForTests(budget);
            RemovedTags removed;
            int code = SecureGpsTags(path.c_str(), path.c_str(), removed, route);
            int check = CheckGpsTags(path.c_str());
            fileos::AllocationFaultForTests(-1);
            // Either the photo secured as with memory enough (the rewrite
            // streamed through a file beside it when the photo's block was
            // refused), or nothing written: never EXIF data cut short.
            if (code == 0) {
                ++secured;
                EXPECT_TRUE(ReadFile(path) == whole.bytes) << int(route) << " " << budget;
            } else {
                ++refused;
                EXPECT_EQ(code, 2) << int(route) << " " << budget;
                EXPECT_EQ(check, 2) << int(route) << " " << budget;
                EXPECT_TRUE(ReadFile(path) == photo) << int(route) << " " << budget;
            }
            EXPECT_EQ(FilesIn(), 1u);
        }
    }
    EXPECT_GT(secured, 0);
    EXPECT_GT(refused, 0);
}

TEST_F(GeotagRemoval, AWriteFailingDuringThePatchTouchesNothingButTheValues) {
    TiffBuilder t(false);
    Bytes photo = JpegBuilder::Photo(ExifWithGps(false, FullGps(t)));
    const Bytes secured = Secure(photo, Route::Fastest).bytes;
    ASSERT_EQ(secured.size(), photo.size());
    const size_t patched = Differences(secured, photo);
    std::string path = dir.file("photo.jpg");
    struct Guard {
        ~Guard() { fileos::WriteFaultForTests(-1); }
    } guard;
    for (int64_t budget : {int64_t(0), int64_t(1), int64_t(patched / 2)}) {
        for (bool once : {false, true}) {
            WriteFile(path, photo);
            fileos::WriteFaultForTests(budget);
            RemovedTags removed;
            int checkCode = 0;
            int code = once ? SecureGpsTagsIfNeeded(path.c_str(), checkCode, removed)
                            : SecureGpsTags(path.c_str(), path.c_str(), removed, Route::Fastest);
            fileos::WriteFaultForTests(-1);
            EXPECT_EQ(code, 3) << budget << " " << once;
            EXPECT_EQ(checkCode, 0);
            // Each byte is the photo's own or the cleared value the full
            // patch would have put there.
            Bytes now = ReadFile(path);
            ASSERT_EQ(now.size(), photo.size());
            size_t changed = 0;
            for (size_t i = 0; i < now.size(); ++i) {
                changed += now[i] != photo[i];
                if (now[i] != photo[i] && now[i] != secured[i])
                    ADD_FAILURE() << "byte " << i << " became " << int(now[i]);
            }
            EXPECT_LE(changed, budget == 0 ? 0u : patched - 1);
        }
    }
}

TEST_F(GeotagRemoval, APhotoThatCannotBeOpenedForWritingIsLeftUntouched) {
    TiffBuilder t(true);
    Bytes photo = JpegBuilder::Photo(ExifWithGps(true, FullGps(t)));
    Bytes split =
        JpegBuilder().Jfif().Exif(ExifWithGps(true, FullGps(t)), 100).Tables().Scan(300).End().bytes;
    std::string path = dir.file("locked.jpg");
    for (const Bytes& bytes : {photo, split}) {
        WriteFile(path, bytes);
        WriteBlock block(path);
        if (!block.Holds())
            GTEST_SKIP() << "this user may write files marked read-only";
        for (Route route : kRoutes) {
            RemovedTags removed;
            EXPECT_EQ(SecureGpsTags(path.c_str(), path.c_str(), removed, route), 5) << int(route);
            EXPECT_TRUE(ReadFile(path) == bytes) << int(route);
        }
        int checkCode = -1;
        RemovedTags removed;
        EXPECT_EQ(SecureGpsTagsIfNeeded(path.c_str(), checkCode, removed), 5);
        EXPECT_EQ(checkCode, 0);
        EXPECT_TRUE(ReadFile(path) == bytes);
        EXPECT_EQ(CheckGpsTags(path.c_str()), 0); // the check only reads
        EXPECT_EQ(FilesIn(), size_t(n) + 1) << "a temporary file was left behind";
    }
    // What is no photo says so before writing is considered.
    WriteFile(path, JpegBuilder().Jfif().Tables().bytes);
    WriteBlock block(path);
    RemovedTags removed;
    EXPECT_EQ(SecureGpsTags(path.c_str(), path.c_str(), removed), 2);
}

TEST_F(GeotagRemoval, PatchInPlaceKeepsTheFileItself) {
    TiffBuilder t(false);
    Bytes photo = JpegBuilder::Photo(ExifWithGps(false, FullGps(t)));
    std::string path = dir.file("photo.jpg");
    std::string link = dir.file("link.jpg");
    WriteFile(path, photo);
    std::error_code ec;
    fs::create_hard_link(path, link, ec);
    if (ec)
        GTEST_SKIP() << "no hard links here";
    RemovedTags removed;
    ASSERT_EQ(SecureGpsTags(path.c_str(), path.c_str(), removed), 0);
    EXPECT_TRUE(fileos::SameFile(path.c_str(), link.c_str()));
    EXPECT_EQ(CheckGpsTags(link.c_str()), 8);
}

TEST_F(GeotagRemoval, TraceLinesFollowTheRewrite) {
    TiffBuilder t(false);
    Bytes photo = JpegBuilder::Photo(ExifWithGps(false, {t.Rationals(2, {{35, 1}})}));
    std::string path = dir.file("photo.jpg"), log = dir.file("trace.txt");
    WriteFile(path, photo);
    ASSERT_TRUE(trace::Open(log.c_str(), "wb"));
    RemovedTags removed;
    EXPECT_EQ(SecureGpsTags(path.c_str(), path.c_str(), removed, Route::InMemory), 0);
    trace::Close();
    Bytes text = ReadFile(log);
    EXPECT_EQ(std::string(text.begin(), text.end()), "\n\nVardle: '" + path + "' -> '" + path +
                                                         "'\nrewrite\nStart scan '" + path +
                                                         "' file\nTail\nOk\n");
    fs::remove(log);
}

TEST_F(GeotagRemoval, CheckAndSecureInOneReadingMatchesTheTwoCalls) {
    TiffBuilder t(true), le(false);
    Bytes split =
        JpegBuilder().Jfif().Exif(ExifWithGps(true, FullGps(t)), 100).Tables().Scan(3000).End().bytes;
    Bytes secure =
        Secure(JpegBuilder::Photo(ExifWithGps(false, {le.Rationals(2, {{35, 1}})})), Route::InMemory).bytes;
    std::vector<Bytes> photos = {JpegBuilder::Photo(ExifWithGps(true, FullGps(t))),
                                 split,
                                 secure,
                                 JpegBuilder().Jfif().Tables().Scan(100).End().bytes,
                                 JpegBuilder().Jfif().bytes,
                                 JpegBuilder::Photo(ExifWithGps(false, {le.Ascii(1, "N")}))};
    std::vector<int> expectedChecks = {0, 0, 8, 6, 2, 7};
    for (size_t i = 0; i < photos.size(); ++i) {
        std::string one = dir.file("one.jpg"), two = dir.file("two.jpg");
        WriteFile(one, photos[i]);
        WriteFile(two, photos[i]);
        RemovedTags viaTwo, viaOne;
        int check = CheckGpsTags(two.c_str());
        int secured = check == 0 ? SecureGpsTags(two.c_str(), two.c_str(), viaTwo) : -1;
        int checkCode = -5;
        EXPECT_EQ(SecureGpsTagsIfNeeded(one.c_str(), checkCode, viaOne), secured) << i;
        EXPECT_EQ(checkCode, check) << i;
        EXPECT_EQ(check, expectedChecks[i]) << i;
        EXPECT_EQ(RemovedTagsText(viaOne), RemovedTagsText(viaTwo)) << i;
        EXPECT_TRUE(ReadFile(one) == ReadFile(two)) << i;
    }
    int checkCode = -5;
    RemovedTags none;
    EXPECT_EQ(SecureGpsTagsIfNeeded(nullptr, checkCode, none), -1);
    EXPECT_EQ(checkCode, 1);
    EXPECT_EQ(SecureGpsTagsIfNeeded(dir.file("missing.jpg").c_str(), checkCode, none), -1);
    EXPECT_EQ(checkCode, 4);
}

TEST_F(GeotagRemoval, APhotoAnotherProgramChangesMeanwhileIsLeftAsItWroteIt) {
    enum Writer { kPositionEdited, kSegmentAddedInPlace, kSavedByRename };
    enum Way { kOnceFastest, kFastest, kInMemory, kTemporaryFile };
    struct Case {
        fileos::WriterMoment moment;
        Writer writer;
    };
    // Before the swap only writers that change the length or the file
    // itself: there the confirmation goes by the photo's stamp, and a write
    // of the same length may keep the last-write time on a coarse clock.
    const Case cases[] = {
        {fileos::WriterMoment::kBeforeTaking, kPositionEdited},
        {fileos::WriterMoment::kBeforeTaking, kSegmentAddedInPlace},
        {fileos::WriterMoment::kBeforeTaking, kSavedByRename},
        {fileos::WriterMoment::kBeforeSwap, kSegmentAddedInPlace},
        {fileos::WriterMoment::kBeforeSwap, kSavedByRename},
    };
    struct Off {
        ~Off() { fileos::PlayWriterForTests(nullptr); }
    } off;
    int swapsPlayed = 0;
    for (bool be : {false, true}) {
        TiffBuilder t(be);
        const Bytes photo = JpegBuilder::Photo(ExifWithGps(be, FullGps(t)));
        std::vector<TiffEntry> other = FullGps(t);
        other[1] = t.Rationals(2, {{51, 1}, {30, 1}, {26, 1}}); // the same layout, another latitude
        const Bytes edited = JpegBuilder::Photo(ExifWithGps(be, other));
        ASSERT_EQ(edited.size(), photo.size());
        // A comment before the EXIF segment moves every byte after it.
        Bytes longer = photo;
        const Bytes comment = {0xFF, 0xFE, 0x00, 0x07, 'e', 'd', 'i', 't', 'o'};
        longer.insert(longer.begin() + 2, comment.begin(), comment.end());
        const Bytes renamed =
            JpegBuilder().Exif(ExifWithGps(be, other)).Jfif().Tables().Scan(7000, 5).End().bytes;
        for (const Case& c : cases) {
            const Bytes& theirs = c.writer == kPositionEdited        ? edited
                                  : c.writer == kSegmentAddedInPlace ? longer
                                                                     : renamed;
            const Bytes theirsSecured = Secure(theirs, Route::InMemory).bytes;
            for (Way way : {kOnceFastest, kFastest, kInMemory, kTemporaryFile}) {
                SCOPED_TRACE(testing::Message() << (be ? "MM" : "II") << " moment " << int(c.moment)
                                                << " writer " << int(c.writer) << " way " << int(way));
                fs::path folder = dir.path() / ("case-" + std::to_string(n++));
                fs::create_directory(folder);
                const std::string path = (folder / "photo.jpg").string();
                WriteFile(path, photo);
                bool played = false, written = false;
                fileos::PlayWriterForTests([&](fileos::WriterMoment moment, const char* at) {
                    if (played || moment != c.moment || path != at)
                        return;
                    played = true;
                    if (c.writer == kSavedByRename) {
                        WriteFile(path + ".new", theirs);
                        std::error_code ec;
                        fs::rename(path + ".new", path, ec);
                        written = !ec;
                    } else if (FILE* f = std::fopen(path.c_str(), "r+b")) {
                        written = std::fwrite(theirs.data(), 1, theirs.size(), f) == theirs.size();
                        written = std::fclose(f) == 0 && written;
                    }
                });
                RemovedTags removed;
                int checkCode = -1;
                int code = way == kOnceFastest ? SecureGpsTagsIfNeeded(path.c_str(), checkCode, removed)
                                               : SecureGpsTags(path.c_str(), path.c_str(), removed,
                                                               way == kFastest    ? Route::Fastest
                                                               : way == kInMemory ? Route::InMemory
                                                                                  : Route::TemporaryFile);
                fileos::PlayWriterForTests(nullptr);
                // The patch never swaps: a writer before the swap has no moment there.
                bool patches = way == kOnceFastest || way == kFastest;
                if (c.moment == fileos::WriterMoment::kBeforeSwap && patches) {
                    EXPECT_FALSE(played);
                    EXPECT_EQ(code, 0);
                    continue;
                }
                swapsPlayed += c.moment == fileos::WriterMoment::kBeforeSwap;
                ASSERT_TRUE(played);
                EXPECT_TRUE(written) << "the other program's save failed";
                Bytes now = ReadFile(path);
                if (now == theirs)
                    EXPECT_EQ(code, 7) << "left to its writer, so not secured";
                else if (now == theirsSecured)
                    EXPECT_EQ(code, 0);
                else
                    ADD_FAILURE() << "the photo is neither the other program's nor that secured (code "
                                  << code << ")";
                EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1)
                    << "a temporary file was left behind";
            }
        }
    }
    EXPECT_EQ(swapsPlayed, 8);
}

TEST_F(GeotagRemoval, EveryStepOfTheSwapFailingLeavesThePhotoWholeUnderItsName) {
    TiffBuilder t(false);
    // Split EXIF data: every route rewrites.
    const Bytes photo =
        JpegBuilder().Jfif().Exif(ExifWithGps(false, FullGps(t)), 100).Tables().Scan(70000).End().bytes;
    const Bytes secured = Secure(photo, Route::InMemory).bytes;
    fs::path folder = dir.path() / "swap";
    fs::create_directory(folder);
    const std::string path = (folder / "photo.jpg").string();
    struct Off {
        ~Off() { fileos::SwapFaultForTests(fileos::SwapStep::kCount); }
    } off;
    for (Route route : kRoutes) {
        for (int step = 0; step <= int(fileos::SwapStep::kCount); ++step) {
            SCOPED_TRACE(testing::Message() << "route " << int(route) << " step " << step);
            WriteFile(path, photo);
#ifndef _WIN32
            fs::permissions(path, fs::perms(0640));
#endif
            fileos::SwapFaultForTests(fileos::SwapStep(step));
            RemovedTags removed;
            int code = SecureGpsTags(path.c_str(), path.c_str(), removed, route);
            fileos::SwapFaultForTests(fileos::SwapStep::kCount);
            EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1)
                << "a temporary file was left behind";
            if (step < int(fileos::SwapStep::kCount)) {
                EXPECT_EQ(code, 3);
                EXPECT_TRUE(ReadFile(path) == photo);
                continue;
            }
            ASSERT_EQ(code, 0);
            EXPECT_TRUE(ReadFile(path) == secured);
            // What the photo was given is its own, not the temporary file's.
#ifdef _WIN32
            EXPECT_FALSE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
#else
            EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
#endif
        }
    }
}

// A copy or download cut short: wherever the cut falls after the first scan
// header (in either scan of a two-scan photo, in the table between them,
// just before EOI), the photo checks and is secured in place like the whole
// one, on every route, and its cut tail stays; before it (in the EXIF data,
// at any boundary up to the scan header) it is no usable photo and stays
// untouched. exiftool reads the position before and none after.
TEST_F(GeotagRemoval, APhotoCutShortInItsImageDataIsSecuredInPlace) {
    for (bool be : {false, true}) {
        TiffBuilder t(be);
        Bytes exif = ExifWithGps(be, {t.Rationals(2, {{35, 1}, {40, 1}, {1523, 100}}),
                                      t.Rationals(4, {{139, 1}, {44, 1}, {2, 1}}), t.Rationals(6, {{3776, 1}})});
        std::vector<uint8_t> dht(29, 0);
        dht[0] = 0x10;
        Bytes photo = JpegBuilder()
                          .Jfif()
                          .Exif(exif)
                          .Xmp("<x xmlns:exif='http://ns.adobe.com/exif/1.0/' exif:GPSLatitude='35,40.25N'/>")
                          .Tables()
                          .Scan(3000)
                          .Segment(0xC4, dht)
                          .Scan(2000, 7)
                          .End()
                          .bytes;
        Bytes whole = Secure(photo).bytes;
        ASSERT_EQ(whole.size(), photo.size());

        // Cut points: both ends of every marker segment, inside the EXIF
        // data, inside each scan's data, half the file, 1 and 2 bytes short.
        stdlib::MemStream stream;
        stream.Write(photo.data(), 1, photo.size());
        stream.Seek(0, 0);
        CodestreamParser map;
        ASSERT_TRUE(map.BuildMap(stream));
        std::set<size_t> cuts = {photo.size() / 2, photo.size() - 2, photo.size() - 1};
        size_t imageData = 0;
        for (uint32_t i = 0; i < map.map.GetCount(); ++i) {
            const auto& item = map.map[i];
            size_t end = size_t(item.offset + item.length);
            cuts.insert(size_t(item.offset) - (CodestreamParser::HasLengthField(item.marker) ? 4 : 2));
            cuts.insert(end);
            if (item.marker == 0xE1)
                cuts.insert(size_t(item.offset) + 20);
            if (item.marker == 0xDA) {
                cuts.insert(end + 1000);
                imageData = imageData ? imageData : end;
            }
        }
        std::vector<std::string> before, after;
        for (size_t cut : cuts) {
            if (cut >= photo.size())
                continue;
            SCOPED_TRACE((be ? "MM cut at " : "II cut at ") + std::to_string(cut));
            Bytes shortPhoto(photo.begin(), photo.begin() + long(cut));
            Bytes expected = cut >= imageData ? Bytes(whole.begin(), whole.begin() + long(cut)) : shortPhoto;
            int code = cut >= imageData ? 0 : 2;
            EXPECT_EQ(CheckBytes(shortPhoto), code);
            for (Route route : kRoutes) {
                Outcome out = Secure(shortPhoto, route);
                EXPECT_EQ(out.code, code) << int(route);
                EXPECT_TRUE(out.bytes == expected) << "route " << int(route) << " changed bytes outside the values";
            }
            std::string path = dir.file((be ? "mm-" : "ii-") + std::to_string(cut) + ".jpg");
            WriteFile(path, shortPhoto);
            RemovedTags removed;
            std::string copy = path + ".new.jpg";
            EXPECT_EQ(SecureGpsTags(path.c_str(), copy.c_str(), removed), code);
            if (code == 0) {
                EXPECT_TRUE(ReadFile(copy) == expected) << "a new file is not the photo cut as it was";
                EXPECT_EQ(CheckBytes(expected), 8);
                before.push_back(path);
                after.push_back(copy);
            }
        }
        ASSERT_GT(before.size(), 8u);
        if (!ExiftoolOracle::Available())
            continue;
        auto read = ExiftoolOracle::Positions(before);
        auto readAfter = ExiftoolOracle::Positions(after);
        for (size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(read[before[i]].count("GPS:GPSLatitude"), 1u) << before[i];
            EXPECT_TRUE(readAfter[after[i]].empty()) << after[i] << " still discloses " << readAfter[after[i]].begin()->first;
        }
    }
}

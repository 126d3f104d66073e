// Photo containers built byte by byte, one table of cases over HEIF item
// placements (iloc versions and field widths, several extents, idat, the
// Exif item's prefixes), PNG and WebP chunks and bare TIFF, in both byte
// orders. Each case is checked, secured on every route and checked again:
// every route writes the same bytes, the file keeps its length, only bytes
// of the metadata change (EXIF values to zero), a PNG's CRCs stay right, and
// what cannot be cleared is reported, never called secure. Every case cut
// short at many lengths is read without harm.

#include "engine/CheckGpsTags.h"
#include "engine/SecureGpsTags.h"
#include "fuzz/SimplePositionFinder.h"
#include "support/ContainerBuilder.h"
#include "support/TempDir.h"
#include "support/TiffBuilder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testing_support;
using Vardle::Route;

namespace {

Bytes GpsTiff(bool be) {
    TiffBuilder t(be);
    return ExifWithGps(be, {TiffEntry{0, 1, 4, {2, 3, 0, 0}, false, 0}, t.Ascii(1, "N"),
                            t.Rationals(2, {{35, 1}, {40, 1}, {1512, 100}}), t.Ascii(3, "E"),
                            t.Rationals(4, {{139, 1}, {42, 1}, {3, 1}}), t.Rationals(6, {{405, 10}})});
}

const std::string kXmpGps = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                            "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
                            "xmlns:exif='http://ns.adobe.com/exif/1.0/' exif:GPSLatitude='35,40.272N' "
                            "exif:GPSLongitude='139,42.05E'/></rdf:RDF></x:xmpmeta>";
Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

HeifItem Exif(uint32_t id, const Bytes& tiff, ExifPrefix prefix, size_t pieces = 1, int method = 0) {
    HeifItem item;
    item.id = id;
    item.content = ExifItem(tiff, prefix);
    item.pieces = pieces;
    item.method = method;
    return item;
}
HeifItem Xmp(uint32_t id, size_t pieces = 1, const std::string& encoding = "") {
    HeifItem item;
    item.id = id;
    item.type = "mime";
    item.contentType = "application/rdf+xml";
    item.encoding = encoding;
    item.content = Text(kXmpGps);
    item.pieces = pieces;
    return item;
}
HeifItem Picture(uint32_t id) {
    HeifItem item;
    item.id = id;
    item.type = "hvc1";
    item.content = Bytes(300, 0x42);
    return item;
}

struct Case {
    std::string name;
    Bytes file;
    int checkBefore = 0; // the check's code before securing
    int secured = 0;     // securing's code
    int checkAfter = 8;  // and the check's after it
};

std::vector<Case> Cases() {
    std::vector<Case> cases;
    for (bool be : {false, true}) {
        const Bytes tiff = GpsTiff(be);
        const std::string order = be ? " MM" : " II";
        auto add = [&](const std::string& name, Bytes file, int before = 0, int secured = 0, int after = 8) {
            cases.push_back({name + order, std::move(file), before, secured, after});
        };
        HeifShape v0{0, 2, 4, 4, 0, 0};
        add("heif iloc 0, plain Exif item", BuildHeif({Picture(1), Exif(2, tiff, ExifPrefix::None)}, v0));
        add("heif iloc 1, three extents, counted prefix",
            BuildHeif({Picture(1), Exif(2, tiff, ExifPrefix::Counted, 3)}, HeifShape{1, 2, 4, 4, 0, 0}));
        add("heif iloc 2, 32-bit ids, 8-byte fields, base and index",
            BuildHeif({Picture(70000), Exif(70001, tiff, ExifPrefix::Uncounted, 2)},
                      HeifShape{2, 3, 8, 8, 8, 4}));
        add("heif iloc 1, no offset field, base only",
            BuildHeif({Picture(1), Exif(2, tiff, ExifPrefix::None)}, HeifShape{1, 2, 0, 4, 4, 0}));
        add("heif Exif item in idat, two extents",
            BuildHeif({Picture(1), Exif(2, tiff, ExifPrefix::Counted, 2, 1)}));
        add("heif two Exif items and an XMP item in pieces",
            BuildHeif({Picture(1), Exif(2, tiff, ExifPrefix::None), Exif(3, tiff, ExifPrefix::None, 1, 1),
                       Xmp(4, 3)}));
        add("heif infe 1 XMP item alone", BuildHeif({Picture(1), Xmp(2)}, HeifShape{1, 1, 4, 4, 0, 0}));
        HeifItem locked = Exif(3, tiff, ExifPrefix::None);
        locked.protection = 1;
        add("heif compressed XMP and protected Exif beside a clear one",
            BuildHeif({Picture(1), Exif(2, tiff, ExifPrefix::None), locked, Xmp(4, 1, "deflate")}), 0, 6, 9);
        add("heif compressed XMP alone", BuildHeif({Picture(1), Xmp(2, 1, "deflate")}), 9, 6, 9);
        Bytes cut = BuildHeif({Exif(2, tiff, ExifPrefix::None), Picture(1)});
        cut.resize(cut.size() - 100); // the picture's bytes cut short
        add("heif cut short in mdat", cut);

        // CR3: Canon's uuid box in moov holds CMT1 (the first directory)
        // and CMT4 (the GPS directory as its own TIFF data's first); XMP
        // in its uuid box at the top.
        TiffBuilder cmt4(be);
        cmt4.SetFirstIFD(cmt4.AddIFD({cmt4.Ascii(1, "S"), cmt4.Rationals(2, {{33, 1}, {52, 1}, {4, 1}}),
                                      cmt4.Rationals(6, {{12, 1}})}));
        TiffBuilder cmt1(be);
        cmt1.SetFirstIFD(cmt1.AddIFD({cmt1.Ascii(271, "Canon")}));
        const Bytes canon = {0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0,
                             0x81, 0x11, 0xf4, 0xce, 0x46, 0x2b, 0x6a, 0x48};
        const Bytes xmpUuid = {0xbe, 0x7a, 0xcf, 0xcb, 0x97, 0xa9, 0x42, 0xe8,
                               0x9c, 0x71, 0x99, 0x94, 0x91, 0xe3, 0xaf, 0xac};
        Bytes canonBody = canon;
        for (const Bytes& box : {IsoBox("CMT1", cmt1.bytes), IsoBox("CMT4", cmt4.bytes)})
            canonBody.insert(canonBody.end(), box.begin(), box.end());
        Bytes xmpBody = xmpUuid;
        xmpBody.insert(xmpBody.end(), kXmpGps.begin(), kXmpGps.end());
        Bytes cr3 = IsoBox("ftyp", {'c', 'r', 'x', ' ', 0, 0, 0, 1, 'c', 'r', 'x', ' ', 'i', 's', 'o', 'm'});
        for (const Bytes& box : {IsoBox("moov", IsoBox("uuid", canonBody)), IsoBox("uuid", xmpBody),
                                 IsoBox("mdat", Bytes(200, 0x33))})
            cr3.insert(cr3.end(), box.begin(), box.end());
        add("cr3 CMT4 and XMP", cr3);

        // Movies: the location in user data of the movie and of its tracks,
        // in its XMP; a timed metadata track is reported; a free box is not
        // read; old QuickTime files and 64-bit box sizes.
        const Bytes mvhd = IsoBox("mvhd", Bytes(100, 0));
        const Bytes video = Track("vide", "mp4v");
        add("movie loci, UTF-8 name",
            BuildMovie(Join({mvhd, video, IsoBox("udta", Loci("Home", false, -122.6225, 37.885, 12))})));
        add("movie loci, UTF-16 name, in a track",
            BuildMovie(
                Join({mvhd, Track("vide", "avc1", IsoBox("udta", Loci("Home", true, 2.5, -48.9, 0)))})));
        add("movie xyz in a track, XMP_ in the movie",
            BuildMovie(Join({mvhd, Track("soun", "mp4a", IsoBox("udta", Xyz("+37.8850-122.6225+012.000/"))),
                             IsoBox("udta", IsoBox("XMP_", Text(kXmpGps)))})));
        add("movie gpmd track beside xyz",
            BuildMovie(Join({mvhd, video, Track("meta", "gpmd"), IsoBox("udta", Xyz("+37.8850-122.6225/"))})),
            0, 6, 9);
        add("movie gpmd track alone", BuildMovie(Join({mvhd, video, Track("meta", "gpmd")})), 9, 6, 9);
        add("movie xyz only in a free box",
            BuildMovie(Join({mvhd, IsoBox("free", Xyz("+37.8850-122.6225/"))})), 6, 0, 6);
        add("quicktime of old, 64-bit box sizes",
            BuildMovie(Join({mvhd, IsoBox64("udta", Xyz("-33.8688+151.2093/"))}), true));

        add("png eXIf", BuildPng({PngChunk("eXIf", tiff)}));
        Bytes prefixed = Text(std::string("Exif\0\0", 6));
        prefixed.insert(prefixed.end(), tiff.begin(), tiff.end());
        add("png eXIf with Exif prefix and iTXt XMP",
            BuildPng({PngChunk("eXIf", prefixed), PngChunk("iTXt", ITxt("XML:com.adobe.xmp", kXmpGps))}));
        add("png compressed iTXt XMP beside eXIf",
            BuildPng({PngChunk("iTXt", ITxt("XML:com.adobe.xmp", "x\x9c", true)), PngChunk("eXIf", tiff)}), 0,
            6, 9);
        Bytes raw = Text("Raw profile type exif");
        raw.push_back(0);
        add("png raw profile text alone", BuildPng({PngChunk("tEXt", raw)}), 9, 6, 9);

        add("webp EXIF chunk of odd size", BuildWebp({{"EXIF", Bytes(tiff.begin(), tiff.end() - 1)}}));
        add("webp EXIF with Exif prefix and XMP", BuildWebp({{"EXIF", prefixed}, {"XMP ", Text(kXmpGps)}}));

        add("tiff file", tiff);
        Bytes orf = tiff;
        orf[2] = be ? 'O' : 'R', orf[3] = be ? 'R' : 'O';
        if (!be)
            add("orf file", orf);
    }
    return cases;
}

// The CRC of every whole chunk of a PNG is right.
bool PngCrcsRight(const Bytes& png) {
    for (size_t at = 8; at + 12 <= png.size();) {
        const size_t length = size_t(stdlib::LoadUnsigned(&png[at], 4, true));
        if (length > png.size() - at - 12)
            return true;
        if (BitwiseCrc32(&png[at + 4], length + 4) !=
            uint32_t(stdlib::LoadUnsigned(&png[at + 8 + length], 4, true)))
            return false;
        at += 12 + length;
    }
    return true;
}

} // namespace

TEST(ContainerLayout, EveryPlacementIsSecuredExactlyOnEveryRoute) {
    TempDir dir;
    int judged = 0;
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        // The fuzzers' independent finder agrees, where it judges.
        const oracle::Verdict before = oracle::JudgePhoto(c.file.data(), c.file.size());
        judged += before.judged;
        if (before.judged) {
            EXPECT_EQ(before.position, c.checkBefore == 0);
        }
        std::string first = dir.file("first");
        Bytes firstBytes;
        for (Route route : {Route::Fastest, Route::InMemory, Route::TemporaryFile}) {
            std::string path = dir.file("photo-" + std::to_string(int(route)));
            WriteFile(path, c.file);
            EXPECT_EQ(CheckGpsTags(path.c_str()), c.checkBefore);
            RemovedTags tags;
            EXPECT_EQ(SecureGpsTags(path.c_str(), path.c_str(), tags, route), c.secured);
            EXPECT_EQ(CheckGpsTags(path.c_str()), c.checkAfter);
            Bytes now = ReadFile(path);
            if (route == Route::Fastest)
                firstBytes = now;
            EXPECT_TRUE(now == firstBytes) << "route " << int(route) << " wrote other bytes";
        }
        std::string once = dir.file("once");
        WriteFile(once, c.file);
        int checkCode = -1;
        RemovedTags tags;
        const int code = SecureGpsTagsIfNeeded(once.c_str(), checkCode, tags);
        EXPECT_EQ(checkCode, c.checkBefore);
        EXPECT_EQ(code, c.checkBefore == 0 ? c.secured : -1);
        if (c.checkBefore == 0) {
            EXPECT_TRUE(ReadFile(once) == firstBytes);
        }

        ASSERT_EQ(firstBytes.size(), c.file.size());
        size_t changed = 0;
        for (size_t i = 0; i < c.file.size(); ++i)
            if (c.file[i] != firstBytes[i]) {
                ++changed;
                // EXIF values become zero, XMP digits "0", CRC bytes anything.
                const bool png = c.file[0] == 0x89;
                EXPECT_TRUE(firstBytes[i] == 0 || firstBytes[i] == '0' || png) << "byte " << i;
            }
        EXPECT_EQ(changed > 0, c.checkBefore == 0);
        if (c.file[0] == 0x89) {
            EXPECT_TRUE(PngCrcsRight(firstBytes));
        }
        const oracle::Verdict after = oracle::JudgePhoto(firstBytes.data(), firstBytes.size());
        EXPECT_FALSE(after.judged && after.position);
    }
    EXPECT_GE(judged, 20);
}

TEST(ContainerLayout, PhotosCutShortAreReadWithoutHarm) {
    TempDir dir;
    std::string path = dir.file("cut");
    for (const Case& c : Cases())
        for (size_t length = 0; length < c.file.size(); length += 1 + length / 8) {
            SCOPED_TRACE(c.name + " cut to " + std::to_string(length));
            Bytes cut(c.file.begin(), c.file.begin() + long(length));
            WriteFile(path, cut);
            const int before = CheckGpsTags(path.c_str());
            RemovedTags tags;
            const int code = SecureGpsTags(path.c_str(), path.c_str(), tags, Route::Fastest);
            EXPECT_EQ(ReadFile(path).size(), length);
            if (code == 0) {
                EXPECT_NE(CheckGpsTags(path.c_str()), 0);
            }
            if (before != 0) {
                EXPECT_TRUE(ReadFile(path) == cut) << "a photo needing nothing was changed";
            }
        }
}

TEST(ContainerLayout, WrongPngCrcStaysAsItWas) {
    // No reader trusted the chunk: it is cleared, and its CRC left as found.
    Bytes png = BuildPng({PngChunk("eXIf", GpsTiff(false))});
    png[33 + 8 + GpsTiff(false).size()] ^= 0xFF;
    TempDir dir;
    std::string path = dir.file("a.png");
    WriteFile(path, png);
    RemovedTags tags;
    ASSERT_EQ(SecureGpsTags(path.c_str(), path.c_str(), tags, Route::Fastest), 0);
    Bytes now = ReadFile(path);
    const size_t crcAt = 33 + 8 + GpsTiff(false).size();
    EXPECT_TRUE(Bytes(now.begin() + long(crcAt), now.begin() + long(crcAt) + 4) ==
                Bytes(png.begin() + long(crcAt), png.begin() + long(crcAt) + 4));
    EXPECT_EQ(CheckGpsTags(path.c_str()), 8);
}

// Real photos, real oracles. The test photos are made with ImageMagick and
// exiftool (both byte orders, position tags outside the GPS directory, XMP,
// thumbnails, bytes after EOI, progressive and restart-interval encodings,
// split EXIF data); the sample camera photos join when they are there. Each
// photo is secured on every route; then exiftool must read every position
// value as zero and every other tag as before, ImageMagick must find the
// pixels identical, and the file must be byte-identical outside the cleared
// values. Skips when the tools are missing (they are installed with the
// other test packages).

#include "engine/ByteOrder.h"
#include "engine/CheckGpsTags.h"
#include "engine/Md5.h"
#include "engine/MemStream.h"
#include "engine/MetadataLayout.h"
#include "engine/SecureGpsTags.h"
#include "support/ContainerBuilder.h"
#include "support/JpegBuilder.h"
#include "support/TempDir.h"
#include "support/TiffBuilder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>

using namespace testing_support;
namespace fs = std::filesystem;
using Vardle::Route;

namespace {

std::string RunCommand(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.append(buffer.data(), n);
    int rc = pclose(pipe);
    if (status)
        *status = rc;
    return out;
}

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

std::string SourceDir() {
    const char* src = std::getenv("NORVANE_SOURCE_DIR");
    return src ? src : ".";
}

// exiftool's reading of every tag, as "Group:Tag" -> value.
// A movie's are read with the embedded ones (-ee): timed metadata too.
std::map<std::string, std::string> Tags(const std::string& path, const std::string& more = "") {
    std::string config = SourceDir() + "/tests/engine/position-tags-in-ifd0.config";
    std::istringstream lines(RunCommand("exiftool -config " + Quote(config) + " -args -G1 -a -n " + more +
                                        " " + Quote(path) + " 2>/dev/null"));
    std::map<std::string, std::string> tags;
    std::string line;
    while (std::getline(lines, line)) {
        size_t eq = line.find('=');
        if (line.size() > 1 && line[0] == '-' && eq != std::string::npos)
            tags[line.substr(1, eq - 1)] = line.substr(eq + 1);
    }
    return tags;
}

// Tags whose values are positions, by name as exiftool gives them.
bool IsPositionTagName(const std::string& key) {
    static const std::set<std::string> names = {"GPS:GPSLatitude",
                                                "GPS:GPSLongitude",
                                                "GPS:GPSAltitude",
                                                "GPS:GPSDestLatitude",
                                                "GPS:GPSDestLongitude",
                                                "IFD0:PositionLikeLatitude",
                                                "IFD0:PositionLikeLongitude",
                                                "IFD0:PositionLikeAltitude",
                                                "XMP-exif:GPSLatitude",
                                                "XMP-exif:GPSLongitude",
                                                "XMP-exif:GPSAltitude",
                                                "XMP-exif:GPSDestLatitude",
                                                "XMP-exif:GPSDestLongitude",
                                                "UserData:GPSCoordinates",
                                                "Keys:GPSCoordinates",
                                                "ItemList:GPSCoordinates"};
    return names.count(key) > 0;
}

bool IgnoredGroup(const std::string& key) {
    for (const char* group : {"System:", "Composite:", "ExifTool:", "File:"})
        if (key.rfind(group, 0) == 0)
            return true;
    return key == "SourceFile";
}

bool ReadsAsZero(const std::string& value) {
    std::istringstream words(value);
    std::string w;
    while (words >> w)
        if (w != "0" && w != "undef")
            return false;
    return true;
}

// Every position tag of before reads as zero in after, every other tag as
// before, and after has no new tags. Returns the number of position tags.
int ExpectOnlyPositionsZeroed(const std::map<std::string, std::string>& before,
                              std::map<std::string, std::string> after) {
    int positions = 0;
    for (const auto& [key, value] : before) {
        if (IgnoredGroup(key))
            continue;
        if (IsPositionTagName(key)) {
            ++positions;
            EXPECT_TRUE(ReadsAsZero(after[key])) << key << " reads " << after[key];
            continue;
        }
        EXPECT_EQ(after.count(key), 1u) << key << " is gone";
        EXPECT_EQ(after[key], value) << key;
    }
    for (const auto& [key, value] : after)
        if (!IgnoredGroup(key) && !IsPositionTagName(key)) {
            EXPECT_EQ(before.count(key), 1u) << key << " is new";
        }
    return positions;
}

// Offsets [begin, end) of the payloads of the photo's EXIF APP1 segments,
// found by walking the segments before the first scan.
std::vector<std::pair<size_t, size_t>> ExifPayloads(const Bytes& b) {
    std::vector<std::pair<size_t, size_t>> out;
    size_t at = 2;
    while (at + 4 <= b.size() && b[at] == 0xFF && b[at + 1] != 0xDA) {
        size_t length = size_t(b[at + 2]) << 8 | b[at + 3];
        if (b[at + 1] == 0xE1 && length >= 8 &&
            std::equal(b.begin() + long(at + 4), b.begin() + long(at + 9), "Exif"))
            out.push_back({at + 4 + 6, at + 2 + length});
        at += 2 + length;
    }
    return out;
}

Bytes Concat(const Bytes& b, const std::vector<std::pair<size_t, size_t>>& parts) {
    Bytes out;
    for (auto [from, to] : parts)
        out.insert(out.end(), b.begin() + long(from), b.begin() + long(to));
    return out;
}

class PhotoOracle : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        int a = -1, b = -1;
        RunCommand("exiftool -ver", &a);
        RunCommand("convert -version", &b);
        toolsThere = a == 0 && b == 0;
        if (!toolsThere)
            return;
        // Made once per build tree (or, run by hand, once per machine).
        const char* bin = std::getenv("NORVANE_BINARY_DIR");
        photos =
            ((bin ? fs::path(bin) : fs::temp_directory_path() / "norvane-test") / "test-photos").string();
        int made = -1;
        std::string log =
            RunCommand(SourceDir() + "/tests/engine/make-photos " + Quote(photos) + " 2>&1", &made);
        if (made != 0)
            photos.clear(), makeLog = log;
    }
    void SetUp() override {
        if (!toolsThere)
            GTEST_SKIP() << "exiftool or ImageMagick is not installed";
        ASSERT_FALSE(photos.empty()) << "making the test photos failed:\n" << makeLog;
    }

    // Secures a copy of the photo on every route and holds the result to the
    // oracles. Returns the number of position tags cleared. Photos built byte
    // by byte hold no decodable picture, so their pixels are not compared.
    int Verify(const std::string& photo, bool splitExif = false, bool pixels = true) {
        SCOPED_TRACE(photo);
        Bytes original = ReadFile(photo);
        std::string name = fs::path(photo).filename().string();
        Bytes first;
        std::string removed;
        for (Route route : {Route::Fastest, Route::InMemory, Route::TemporaryFile}) {
            std::string copy = dir.file(std::to_string(int(route)) + "-" + name);
            WriteFile(copy, original);
            EXPECT_EQ(CheckGpsTags(copy.c_str()), 0);
            RemovedTags tags;
            EXPECT_EQ(SecureGpsTags(copy.c_str(), copy.c_str(), tags, route), 0);
            Bytes secured = ReadFile(copy);
            if (route == Route::Fastest) {
                first = secured;
                removed = RemovedTagsText(tags);
            } else {
                EXPECT_EQ(RemovedTagsText(tags), removed);
                EXPECT_TRUE(secured == first) << "route " << int(route) << " wrote different bytes";
            }
            EXPECT_EQ(CheckGpsTags(copy.c_str()), 8);
        }
        std::string secured = dir.file("0-" + name);
        std::string once = dir.file("once-" + name);
        WriteFile(once, original);
        int checkCode = -1;
        RemovedTags onceTags;
        EXPECT_EQ(SecureGpsTagsIfNeeded(once.c_str(), checkCode, onceTags), 0);
        EXPECT_EQ(checkCode, 0);
        EXPECT_EQ(RemovedTagsText(onceTags), removed);
        EXPECT_TRUE(ReadFile(once) == first) << "checking and securing in one reading wrote different bytes";

        // Bytes: inside the EXIF data only bytes that became zero.
        int records = std::stoi(removed.substr(1));
        auto before = ExifPayloads(original), after = ExifPayloads(first);
        Bytes exifBefore = Concat(original, before), exifAfter = Concat(first, after);
        EXPECT_EQ(exifBefore.size(), exifAfter.size());
        size_t changed = 0;
        for (size_t i = 0; i < exifBefore.size() && i < exifAfter.size(); ++i)
            if (exifBefore[i] != exifAfter[i]) {
                ++changed;
                EXPECT_EQ(exifAfter[i], 0) << "EXIF byte " << i;
            }

        if (!splitExif) {
            // Outside the EXIF data only digits of XMP values change, to 0
            // (or 1, the last digit of a denominator).
            EXPECT_EQ(first.size(), original.size());
            for (size_t i = 0; i < original.size() && i < first.size(); ++i) {
                if (original[i] == first[i] ||
                    (!before.empty() && i >= before[0].first && i < before[0].second))
                    continue;
                if (original[i] >= '0' && original[i] <= '9' && (first[i] == '0' || first[i] == '1'))
                    ++changed;
                else
                    ADD_FAILURE() << "byte " << i << " outside the EXIF data changed";
            }
        } else {
            Bytes restBefore(original.begin() + long(before.back().second), original.end());
            Bytes restAfter(first.begin() + long(after.back().second), first.end());
            EXPECT_TRUE(restBefore == restAfter) << "the segments after the EXIF data changed";
        }
        // A few dozen bytes per cleared tag: EXIF value bytes, XMP digits.
        EXPECT_GT(changed, 0u);
        EXPECT_LE(changed, size_t(records) * 3 * 8 + (splitExif ? 0 : 64 * size_t(records)));

        // Tags: position values read as zero; everything else as before.
        auto tagsBefore = Tags(photo);
        EXPECT_GT(tagsBefore.size(), 10u);
        const int positions = ExpectOnlyPositionsZeroed(tagsBefore, Tags(secured));

        // Pixels.
        if (!pixels)
            return positions;
        int status = -1;
        std::string metric =
            RunCommand("compare -metric AE " + Quote(photo) + " " + Quote(secured) + " null: 2>&1", &status);
        EXPECT_EQ(status, 0) << metric;
        EXPECT_EQ(metric, "0");
        return positions;
    }

    // Secures copies of the photo named name on every route: each checks as
    // needing securing before and as secure after, and every route writes
    // the same bytes, which are returned (the fastest route's copy is
    // "0-" + name).
    Bytes SecureOnEveryRoute(const Bytes& original, const std::string& name) {
        Bytes first;
        for (Route route : {Route::Fastest, Route::InMemory, Route::TemporaryFile}) {
            const std::string copy = dir.file(std::to_string(int(route)) + "-" + name);
            WriteFile(copy, original);
            EXPECT_EQ(CheckGpsTags(copy.c_str()), 0);
            RemovedTags tags;
            EXPECT_EQ(SecureGpsTags(copy.c_str(), copy.c_str(), tags, route), 0);
            EXPECT_EQ(CheckGpsTags(copy.c_str()), 8);
            const Bytes secured = ReadFile(copy);
            if (route == Route::Fastest)
                first = secured;
            EXPECT_TRUE(secured == first) << "route " << int(route) << " wrote other bytes";
        }
        return first;
    }

    static bool toolsThere;
    static std::string photos, makeLog;
    TempDir dir;
};

bool PhotoOracle::toolsThere = false;
std::string PhotoOracle::photos, PhotoOracle::makeLog;

} // namespace

TEST_F(PhotoOracle, MadePhotosAreSecuredExactly) {
    for (const char* name : {"le.jpg", "be.jpg", "elsewhere.jpg", "elsewhere-le.jpg", "xmp.jpg", "thumb.jpg",
                             "tail.jpg", "progressive.jpg", "restart.jpg"})
        EXPECT_GT(Verify(photos + "/" + name), 0) << name;
    std::printf("made photos checked: 9 and a split one\n");
    // Positions in XMP: beside EXIF, alone, as attributes, under another prefix.
    for (const char* name : {"xmp-gps.jpg", "xmp-only.jpg", "xmp-attr.jpg", "xmp-prefix.jpg"}) {
        std::string path = photos + "/" + name;
        int positions = 0;
        for (const auto& [key, value] : Tags(path))
            if (key.rfind("XMP-exif:GPS", 0) == 0 && IsPositionTagName(key) && !ReadsAsZero(value))
                ++positions;
        EXPECT_GE(positions, 3) << name << ": exiftool reads no XMP position";
        EXPECT_GT(Verify(path), 0) << name;
    }
    EXPECT_EQ(CheckGpsTags((photos + "/secured.jpg").c_str()), 8);
    EXPECT_EQ(CheckGpsTags((photos + "/nogps.jpg").c_str()), 7);
}

TEST_F(PhotoOracle, ExifDataOfMoreThanOneSegmentIsSecured) {
    // le.jpg's EXIF data grown past what one segment holds and split in two.
    Bytes photo = ReadFile(photos + "/le.jpg");
    auto parts = ExifPayloads(photo);
    ASSERT_EQ(parts.size(), 1u);
    Bytes tiff(photo.begin() + long(parts[0].first), photo.begin() + long(parts[0].second));
    tiff.resize(70000, 0);
    Bytes split(photo.begin(), photo.begin() + long(parts[0].first) - 10);
    for (size_t at = 0; at < tiff.size(); at += 40000) {
        size_t n = std::min<size_t>(40000, tiff.size() - at);
        Bytes segment = {0xFF, 0xE1, uint8_t((n + 8) >> 8), uint8_t(n + 8), 'E', 'x', 'i', 'f', 0, 0};
        segment.insert(segment.end(), tiff.begin() + long(at), tiff.begin() + long(at + n));
        split.insert(split.end(), segment.begin(), segment.end());
    }
    split.insert(split.end(), photo.begin() + long(parts[0].second), photo.end());
    std::string path = dir.file("split.jpg");
    WriteFile(path, split);
    EXPECT_GT(Verify(path, true), 0);
    Bytes secured = ReadFile(dir.file("0-split.jpg"));
    auto joined = ExifPayloads(secured);
    ASSERT_EQ(joined.size(), 2u);
    EXPECT_EQ(joined[0].second - joined[0].first, 65527u);
    EXPECT_EQ(joined[1].second - joined[1].first, 70000u - 65527u);
}

TEST_F(PhotoOracle, SampleCameraPhotosWithGpsAreSecuredExactly) {
    std::string corpus = CorpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "the sample photos are not there";
    int withGps = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        std::string path = entry.path().string();
        if (entry.path().extension() != ".jpg" || CheckGpsTags(path.c_str()) != 0)
            continue;
        ++withGps;
        Verify(path);
    }
    EXPECT_GE(withGps, 1);
    std::printf("sample photos with GPS checked: %d\n", withGps);
}

TEST_F(PhotoOracle, SignedRationalPositionsAreSecuredExactly) {
    // The position as phones write it: signed rationals, south and west as
    // negative degrees, next to tags that must stay as they are.
    constexpr uint16_t kSigned = 10;
    for (bool be : {false, true}) {
        TiffBuilder t(be);
        uint64_t gps =
            t.AddIFD({TiffEntry{0, 1, 4, {2, 3, 0, 0}, false, 0}, t.Ascii(1, "S"),
                      t.Rationals(2, {{uint32_t(-33), 1}, {52, 1}, {1234, 100}}, kSigned), t.Ascii(3, "W"),
                      t.Rationals(4, {{uint32_t(-151), 1}, {12, 1}, {3, 1}}, kSigned),
                      t.Rationals(6, {{5843, 100}}, kSigned), t.Rationals(7, {{12, 1}, {34, 1}, {56, 1}}),
                      t.Ascii(18, "WGS-84"), t.Rationals(20, {{uint32_t(-34), 1}, {1, 1}, {0, 1}}, kSigned),
                      t.Rationals(22, {{150, 1}, {uint32_t(-59), 1}, {0, 1}}, kSigned)});
        uint64_t first = t.AddIFD({t.Ascii(271, "Norvane"), t.Ascii(272, "Phone"),
                                   t.Ascii(305, "Firmware 1.0"), TiffBuilder::Raw(34853, 4, 1, gps)});
        t.SetFirstIFD(first);
        std::string path = dir.file(be ? "signed-mm.jpg" : "signed-ii.jpg");
        WriteFile(path, JpegBuilder::Photo(t.bytes));

        // exiftool sums degrees, minutes and seconds as they are signed and
        // gives the magnitude; the hemisphere is the reference tag's.
        auto before = Tags(path);
        EXPECT_EQ(before["GPS:GPSLatitude"], "32.1299055555556") << path;
        EXPECT_EQ(before["GPS:GPSDestLongitude"], "149.016666666667") << path;
        EXPECT_EQ(before["GPS:GPSTimeStamp"], "12:34:56") << path;
        EXPECT_EQ(Verify(path, false, false), 5) << path;
    }
}

namespace {

// exiftool's own reading of the GPS group, every entry of a repeated tag and
// of every GPS directory included: (tag, value) in the order it gives them.
std::vector<std::pair<std::string, std::string>> GpsReading(const std::string& path) {
    std::istringstream lines(RunCommand("exiftool -a -n -args -GPS:all " + Quote(path) + " 2>/dev/null"));
    std::vector<std::pair<std::string, std::string>> out;
    std::string line;
    while (std::getline(lines, line)) {
        size_t eq = line.find('=');
        if (line.size() > 1 && line[0] == '-' && eq != std::string::npos)
            out.push_back({line.substr(1, eq - 1), line.substr(eq + 1)});
    }
    return out;
}

bool IsPositionName(const std::string& tag) {
    for (const char* name :
         {"GPSLatitude", "GPSLongitude", "GPSAltitude", "GPSDestLatitude", "GPSDestLongitude"})
        if (tag == name)
            return true;
    return false;
}

// The values of the position tags that exiftool reads as something else than zero.
std::vector<std::string> NonZeroPositions(const std::string& path) {
    std::vector<std::string> out;
    for (const auto& [tag, value] : GpsReading(path))
        if (IsPositionName(tag) && !ReadsAsZero(value))
            out.push_back(tag + "=" + value);
    return out;
}

} // namespace

TEST_F(PhotoOracle, EveryEntryAndEveryGpsDirectoryIsSecured) {
    for (bool be : {false, true}) {
        // GPSLatitude twice in one GPS directory: a position, then zeros.
        TiffBuilder twice(be);
        uint64_t gps = twice.AddIFD({TiffEntry{0, 1, 4, {2, 3, 0, 0}, false, 0}, twice.Ascii(1, "N"),
                                     twice.Rationals(2, {{35, 1}, {40, 1}, {15, 1}}),
                                     twice.Rationals(2, {{0, 1}, {0, 1}, {0, 1}}), twice.Ascii(3, "E"),
                                     twice.Rationals(7, {{12, 1}, {34, 1}, {56, 1}})});
        uint64_t first = twice.AddIFD(
            {twice.Ascii(271, "Norvane"), twice.Ascii(272, "Twice"), TiffBuilder::Raw(34853, 4, 1, gps)});
        twice.SetFirstIFD(first);

        // The first directory points to a zeroed GPS directory, the second
        // directory to one with a position.
        TiffBuilder two(be);
        uint64_t zeroed = two.AddIFD({TiffEntry{0, 1, 4, {2, 3, 0, 0}, false, 0}, two.Ascii(1, "N"),
                                      two.Rationals(2, {{0, 1}, {0, 1}, {0, 1}})});
        uint64_t placed = two.AddIFD({TiffEntry{0, 1, 4, {2, 3, 0, 0}, false, 0}, two.Ascii(1, "S"),
                                      two.Rationals(2, {{33, 1}, {52, 1}, {4, 1}}), two.Ascii(3, "E"),
                                      two.Rationals(4, {{151, 1}, {12, 1}, {30, 1}})});
        uint64_t second = two.AddIFD({two.Shorts(259, {6}), TiffBuilder::Raw(34853, 4, 1, placed)});
        uint64_t ifd0 = two.AddIFD({two.Ascii(271, "Norvane"), two.Ascii(272, "Two pointers"),
                                    TiffBuilder::Raw(34853, 4, 1, zeroed)},
                                   second);
        two.SetFirstIFD(ifd0);

        for (auto [name, tiff] : {std::pair<const char*, Bytes>{"twice", twice.bytes}, {"two", two.bytes}}) {
            std::string path = dir.file(std::string(name) + (be ? "-mm.jpg" : "-ii.jpg"));
            WriteFile(path, JpegBuilder::Photo(tiff));
            SCOPED_TRACE(path);
            // exiftool sees the position that a reader of one entry per tag
            // and one GPS directory would miss.
            auto before = NonZeroPositions(path);
            ASSERT_FALSE(before.empty());
            EXPECT_EQ(before[0].substr(0, 14),
                      std::string(name) == std::string("twice") ? "GPSLatitude=35" : "GPSLatitude=33");
            Verify(path, false, false);
            auto after = NonZeroPositions(dir.file("0-" + fs::path(path).filename().string()));
            EXPECT_TRUE(after.empty()) << after[0];
        }
    }
}

TEST_F(PhotoOracle, ExtendedXmpPositionIsSecuredAndStillJoined) {
    // An extended packet, in two parts, holds the position; the main packet
    // names it by its GUID. exiftool joins the parts only by that GUID.
    std::string ns = "xmlns:exif='http://ns.adobe.com/exif/1.0/' xmlns:dc='http://purl.org/dc/elements/1.1/'";
    std::string extended =
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
        "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description rdf:about='' " +
        ns + "><dc:description>" + std::string(70000, 'w') +
        "</dc:description><exif:GPSLatitude>35,40.272N</exif:GPSLatitude>"
        "<exif:GPSAltitude>81/2</exif:GPSAltitude></rdf:Description></rdf:RDF></x:xmpmeta>";
    std::string guid = md5::HexDigest(reinterpret_cast<const uint8_t*>(extended.data()), extended.size());
    std::string main =
        "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
        "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
        "rdf:about='' xmlns:xmpNote='http://ns.adobe.com/xmp/note/' xmlns:xmp='http://ns.adobe.com/xap/1.0/' "
        "xmpNote:HasExtendedXMP='" +
        guid + "' xmp:Rating='3'/></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
    Bytes photo = ReadFile(photos + "/nogps.jpg");
    Bytes segments;
    auto add = [&](const std::string& header, const std::string& body) {
        size_t n = header.size() + body.size() + 2;
        Bytes s = {0xFF, 0xE1, uint8_t(n >> 8), uint8_t(n)};
        s.insert(s.end(), header.begin(), header.end());
        s.insert(s.end(), body.begin(), body.end());
        segments.insert(segments.end(), s.begin(), s.end());
    };
    add(std::string("http://ns.adobe.com/xap/1.0/") + '\0', main);
    const size_t part = 65000;
    for (size_t at = 0; at < extended.size(); at += part) {
        std::string header = std::string("http://ns.adobe.com/xmp/extension/") + '\0' + guid;
        for (uint32_t v : {uint32_t(extended.size()), uint32_t(at)})
            for (int shift : {24, 16, 8, 0})
                header += char(uint8_t(v >> shift));
        add(header, extended.substr(at, part));
    }
    photo.insert(photo.begin() + 2, segments.begin(), segments.end());
    std::string path = dir.file("extended.jpg");
    WriteFile(path, photo);

    auto before = Tags(path);
    ASSERT_EQ(before["XMP-exif:GPSLatitude"], "35.6712") << "exiftool does not join the extended packet";
    EXPECT_EQ(before["XMP-exif:GPSAltitude"], "40.5");
    for (Route route : {Route::Fastest, Route::InMemory, Route::TemporaryFile}) {
        std::string copy = dir.file(std::to_string(int(route)) + "-extended.jpg");
        WriteFile(copy, photo);
        EXPECT_EQ(CheckGpsTags(copy.c_str()), 0);
        RemovedTags tags;
        EXPECT_EQ(SecureGpsTags(copy.c_str(), copy.c_str(), tags, route), 0);
        EXPECT_EQ(CheckGpsTags(copy.c_str()), 8);
        auto after = Tags(copy);
        EXPECT_EQ(after["XMP-exif:GPSLatitude"], "0") << "route " << int(route);
        EXPECT_EQ(after["XMP-exif:GPSAltitude"], "0");
        for (const auto& [key, value] : before) {
            if (!IgnoredGroup(key) && !IsPositionTagName(key) && key != "XMP-xmpNote:HasExtendedXMP") {
                EXPECT_EQ(after[key], value) << key;
            }
        }
        EXPECT_EQ(after["XMP-dc:Description"].size(), 70000u);
        int status = -1;
        std::string metric =
            RunCommand("compare -metric AE " + Quote(path) + " " + Quote(copy) + " null: 2>&1", &status);
        EXPECT_EQ(metric, "0");
    }
}

TEST_F(PhotoOracle, EveryContainerFormatIsSecuredExactly) {
    // Made by heif-enc, cwebp and ImageMagick, tagged by exiftool: the
    // position in EXIF and XMP. On every route: the same bytes; only bytes
    // inside the metadata the layout names change (EXIF values to zero, XMP
    // digits) or a PNG chunk's CRC; exiftool reads every position as zero
    // and every other tag as before; the picture decodes the same.
    int formats = 0;
    for (const auto& entry : fs::directory_iterator(photos + "/formats")) {
        const std::string photo = entry.path().string(), name = entry.path().filename().string();
        SCOPED_TRACE(name);
        ++formats;
        const Bytes original = ReadFile(photo);
        const Bytes first = SecureOnEveryRoute(original, name);
        const std::string secured = dir.file("0-" + name);

        stdlib::MemStream stream;
        stream.Write(original.data(), 1, original.size());
        layout::Layout metadata;
        ASSERT_TRUE(layout::ReadLayout(stream, metadata));
        // The innermost payload: a TIFF file's XMP lies inside its TIFF data.
        auto inside = [&](size_t at, layout::PayloadKind* kind) {
            bool found = false;
            for (const layout::Payload& p : metadata.payloads)
                for (const layout::Extent& e : p.extents)
                    if (at >= e.offset && at - e.offset < e.length &&
                        !(found && *kind == layout::PayloadKind::Xmp)) {
                        *kind = p.kind;
                        found = true;
                    }
            return found;
        };
        auto inCrc = [&](size_t at) {
            for (const layout::Crc32Field& f : metadata.crcs)
                if (at >= f.storedAt && at < f.storedAt + 4)
                    return true;
            return false;
        };
        ASSERT_EQ(first.size(), original.size());
        size_t changed = 0;
        for (size_t i = 0; i < original.size(); ++i) {
            if (original[i] == first[i] || inCrc(i))
                continue;
            ++changed;
            layout::PayloadKind kind = layout::PayloadKind::Tiff;
            if (!inside(i, &kind))
                ADD_FAILURE() << "byte " << i << " outside the metadata changed";
            else if (kind == layout::PayloadKind::Tiff)
                EXPECT_EQ(first[i], 0) << "byte " << i;
            else
                EXPECT_TRUE(original[i] >= '0' && original[i] <= '9' && (first[i] == '0' || first[i] == '1'))
                    << "byte " << i;
        }
        EXPECT_GT(changed, 0u);
        EXPECT_LE(changed, 10u * 3 * 8 + 10u * 24);

        const int positions = ExpectOnlyPositionsZeroed(Tags(photo), Tags(secured));
        EXPECT_EQ(positions, 10) << "five in EXIF, five in XMP";

        // ImageMagick reads a DNG through a raw converter; this one holds TIFF strips.
        const std::string as = name.size() > 4 && name.substr(name.size() - 4) == ".dng" ? "tiff:" : "";
        const std::string metric = RunCommand("compare -quiet -metric AE " + Quote(as + photo) + " " +
                                              Quote(as + secured) + " null: 2>&1");
        EXPECT_EQ(metric, "0");
    }
    EXPECT_EQ(formats, 7);
    std::printf("container formats checked: %d\n", formats);
}

TEST_F(PhotoOracle, HeifItemsPlacedAsNoToolWritesThemAreSecured) {
    // exiftool reads these hand-built files' positions (it reads no Exif
    // item in idat, which the engine's own tests cover): none is left.
    TiffBuilder t(true);
    const Bytes tiff = ExifWithGps(true, {TiffEntry{0, 1, 4, {2, 3, 0, 0}, false, 0}, t.Ascii(1, "N"),
                                          t.Rationals(2, {{35, 1}, {40, 1}, {1512, 100}}), t.Ascii(3, "W"),
                                          t.Rationals(4, {{139, 1}, {42, 1}, {3, 1}})});
    HeifItem picture;
    picture.type = "hvc1";
    picture.content = Bytes(300, 0x42);
    HeifItem exif;
    exif.id = 2;
    exif.content = ExifItem(tiff, ExifPrefix::Counted);
    HeifItem split = exif;
    split.pieces = 3;
    HeifItem thumbnail = exif;
    thumbnail.id = 3;
    const std::vector<std::pair<const char*, Bytes>> files = {
        {"three-extents.heic", BuildHeif({picture, split})},
        {"iloc-2-wide.heic", BuildHeif({picture, exif}, HeifShape{2, 3, 8, 8, 8, 4})},
        {"iloc-0.heic", BuildHeif({picture, split}, HeifShape{0, 2, 4, 4, 0, 0})},
        {"two-exif-items.heic", BuildHeif({picture, exif, thumbnail})},
    };
    for (const auto& [name, bytes] : files) {
        const std::string path = dir.file(name);
        SCOPED_TRACE(name);
        WriteFile(path, bytes);
        ASSERT_GE(NonZeroPositions(path).size(), 2u) << "exiftool reads no position";
        const size_t gpsTags = GpsReading(path).size();
        RemovedTags tags;
        EXPECT_EQ(SecureGpsTags(path.c_str(), path.c_str(), tags, Route::Fastest), 0);
        const auto left = NonZeroPositions(path);
        EXPECT_TRUE(left.empty()) << left[0];
        EXPECT_EQ(GpsReading(path).size(), gpsTags) << "the GPS tags are all there";
    }
}

namespace {

// What ffprobe reads of a movie's streams and container, without its name
// and its location tags.
std::string Probe(const std::string& path) {
    std::istringstream lines(
        RunCommand("ffprobe -v error -show_streams -show_format " + Quote(path) + " 2>&1"));
    std::string out, line;
    while (std::getline(lines, line))
        if (line.find("filename=") == std::string::npos && line.find("location") == std::string::npos &&
            line.find("ISO6709") == std::string::npos)
            out += line + "\n";
    return out;
}

} // namespace

TEST_F(PhotoOracle, VideosAreSecuredExactly) {
    // MP4, MOV and 3GP made by ffmpeg, their location written by exiftool:
    // on every route the same bytes, only digits of the location become 0,
    // exiftool reads no position and every other tag as before, ffprobe
    // reads the same streams.
    int videos = 0;
    for (const auto& entry : fs::directory_iterator(photos + "/videos")) {
        const std::string video = entry.path().string(), name = entry.path().filename().string();
        SCOPED_TRACE(name);
        ++videos;
        const Bytes original = ReadFile(video);
        const Bytes first = SecureOnEveryRoute(original, name);
        const std::string secured = dir.file("0-" + name);
        ASSERT_EQ(first.size(), original.size());
        size_t changed = 0;
        for (size_t i = 0; i < original.size(); ++i)
            if (original[i] != first[i]) {
                ++changed;
                EXPECT_TRUE(original[i] >= '1' && original[i] <= '9' && first[i] == '0') << "byte " << i;
            }
        EXPECT_GT(changed, 0u);
        EXPECT_GE(ExpectOnlyPositionsZeroed(Tags(video, "-ee"), Tags(secured, "-ee")), 1);
        EXPECT_EQ(Probe(video), Probe(secured));
    }
    EXPECT_EQ(videos, 3);
}

TEST_F(PhotoOracle, VideoOverFourGigabytesIsSecuredInPlace) {
    // clip.mov's boxes around a sparse 5 GB "mdat" of 64-bit size: the
    // location in the "moov" after it is found and cleared, and nothing
    // else of the file is touched.
    const Bytes clip = ReadFile(photos + "/videos/clip.mov");
    Bytes ftyp, moov;
    for (size_t at = 0; at + 8 <= clip.size();) {
        const size_t size = size_t(stdlib::LoadUnsigned(&clip[at], 4, true));
        if (size < 8 || size > clip.size() - at)
            break;
        const std::string type(clip.begin() + long(at) + 4, clip.begin() + long(at) + 8);
        if (type == "ftyp")
            ftyp.assign(clip.begin() + long(at), clip.begin() + long(at + size));
        if (type == "moov")
            moov.assign(clip.begin() + long(at), clip.begin() + long(at + size));
        at += size;
    }
    ASSERT_FALSE(ftyp.empty() || moov.empty());
    const uint64_t data = 5ull << 30;
    Bytes head = ftyp;
    for (uint8_t b : Bytes{0, 0, 0, 1, 'm', 'd', 'a', 't'})
        head.push_back(b);
    uint8_t large[8];
    stdlib::StoreUnsigned(large, 16 + data, 8, true);
    head.insert(head.end(), large, large + 8);
    const std::string path = dir.file("long.mov");
    {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_TRUE(f);
        std::fwrite(head.data(), 1, head.size(), f);
        ASSERT_EQ(fseeko(f, off_t(head.size() + data), SEEK_SET), 0);
        std::fwrite(moov.data(), 1, moov.size(), f);
        std::fclose(f);
    }
    const uint64_t size = fs::file_size(path);
    ASSERT_EQ(size, head.size() + data + moov.size());
    ASSERT_EQ(CheckGpsTags(path.c_str()), 0);
    EXPECT_EQ(Tags(path, "-api largefilesupport=1")["Keys:GPSCoordinates"], "37.885 -122.6225 12");
    RemovedTags tags;
    EXPECT_EQ(SecureGpsTags(path.c_str(), path.c_str(), tags, Route::Fastest), 0);
    EXPECT_EQ(CheckGpsTags(path.c_str()), 8);
    EXPECT_EQ(fs::file_size(path), size);
    EXPECT_TRUE(ReadsAsZero(Tags(path, "-api largefilesupport=1")["Keys:GPSCoordinates"]));
    // The head and the movie box are all that was read; outside the
    // location's digits they are as they were.
    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_TRUE(f);
    Bytes now(moov.size());
    ASSERT_EQ(fseeko(f, off_t(head.size() + data), SEEK_SET), 0);
    ASSERT_EQ(std::fread(now.data(), 1, now.size(), f), now.size());
    std::fclose(f);
    size_t changed = 0;
    for (size_t i = 0; i < moov.size(); ++i)
        changed += moov[i] != now[i];
    EXPECT_GT(changed, 0u);
    EXPECT_LE(changed, 20u);
}

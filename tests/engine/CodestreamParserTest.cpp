// The JPEG segment map and EXIF gathering, on hand-made codestreams and on
// hostile bytes.
#include "engine/CodestreamParser.h"
#include "engine/MarkerScan.h"
#include "engine/ExifGather.h"
#include "engine/MemStream.h"
#include "engine/StdioFileStream.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <random>

using stdlib::MemStream;
using testing_support::Bytes;

namespace {

struct Mapped {
    bool built;
    CodestreamParser parser;
};

// Maps bytes held in memory.
std::unique_ptr<Mapped> Map(const Bytes& bytes) {
    auto out = std::make_unique<Mapped>();
    MemStream m;
    if (!bytes.empty())
        m.Write(bytes.data(), 1, bytes.size());
    m.SetPos(0);
    out->built = out->parser.BuildMap(m);
    return out;
}

Bytes Segment(uint8_t marker, const Bytes& payload) {
    Bytes s{0xFF, marker, uint8_t((payload.size() + 2) >> 8), uint8_t(payload.size() + 2)};
    s.insert(s.end(), payload.begin(), payload.end());
    return s;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes ExifPayload(const Bytes& tiff, uint8_t sixth = 0) {
    Bytes p{'E', 'x', 'i', 'f', 0, sixth};
    p.insert(p.end(), tiff.begin(), tiff.end());
    return p;
}

const Bytes SOI{0xFF, 0xD8}, EOI{0xFF, 0xD9};

TEST(SegmentMap, SmallestCodestream) {
    auto m = Map(Cat({SOI, EOI}));
    ASSERT_TRUE(m->built);
    ASSERT_EQ(m->parser.map.GetCount(), 2u);
    EXPECT_EQ(m->parser.map[0].marker, 0xD8);
    EXPECT_EQ(m->parser.map[0].offset, 2u);
    EXPECT_EQ(m->parser.map[1].marker, 0xD9);
    EXPECT_EQ(m->parser.map[1].offset, 4u);
    EXPECT_EQ(m->parser.map[1].length, 0u);
    EXPECT_TRUE(m->parser.IsUsable(m->built));
}

TEST(SegmentMap, SegmentOffsetAndLength) {
    auto m = Map(Cat({SOI, Segment(0xE1, Bytes(14, 0x41)), EOI}));
    ASSERT_TRUE(m->built);
    ASSERT_EQ(m->parser.map.GetCount(), 3u);
    EXPECT_EQ(m->parser.map[1].marker, 0xE1);
    EXPECT_EQ(m->parser.map[1].offset, 6u);
    EXPECT_EQ(m->parser.map[1].length, 14u);
}

TEST(SegmentMap, FillBytesAndJunkBeforeTheFirstMarker) {
    auto fill = Map(Cat({{0xFF, 0xFF}, SOI, EOI}));
    ASSERT_TRUE(fill->built);
    EXPECT_EQ(fill->parser.map[0].marker, 0xD8);
    EXPECT_EQ(fill->parser.map.GetCount(), 2u);
    auto junk = Map(Cat({{0x00, 0x11}, SOI, {0x12, 0x34}, EOI}));
    ASSERT_TRUE(junk->built);
    EXPECT_EQ(junk->parser.map[0].marker, 0xD8);
    EXPECT_EQ(junk->parser.map[0].offset, 4u);
    auto notSoi = Map(Cat({Segment(0xE0, {1, 2}), EOI}));
    EXPECT_TRUE(notSoi->built);
    EXPECT_FALSE(notSoi->parser.IsUsable(notSoi->built));
}

TEST(SegmentMap, EntropyCodedDataHidesStuffedZerosAndRestarts) {
    Bytes sos = Segment(0xDA, {1, 1, 0, 0, 0x3F, 0});
    Bytes scan{0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD3, 0x56, 0xFF, 0xFF, 0xD7, 0x00};
    auto m = Map(Cat({SOI, sos, scan, EOI}));
    ASSERT_TRUE(m->built);
    ASSERT_EQ(m->parser.map.GetCount(), 3u);
    EXPECT_EQ(m->parser.map[1].marker, 0xDA);
    EXPECT_EQ(m->parser.map[2].marker, 0xD9);
    EXPECT_EQ(m->parser.map[2].offset, 2u + sos.size() + scan.size() + 2);
}

TEST(SegmentMap, LengthFieldBelowTwoIsAnEmptySegment) {
    for (uint8_t low : {0, 1}) {
        auto m = Map(Cat({SOI, {0xFF, 0xE5, 0x00, low}, EOI}));
        ASSERT_TRUE(m->built);
        ASSERT_EQ(m->parser.map.GetCount(), 3u);
        EXPECT_EQ(m->parser.map[1].length, 0u);
        EXPECT_EQ(m->parser.map[1].offset, 6u); // scanning goes on right after the field
    }
}

TEST(SegmentMap, TemHasNoLengthField) {
    auto m = Map(Cat({SOI, {0xFF, 0x01}, EOI}));
    ASSERT_TRUE(m->built);
    ASSERT_EQ(m->parser.map.GetCount(), 3u);
    EXPECT_EQ(m->parser.map[1].marker, 0x01);
    EXPECT_EQ(m->parser.map[1].length, 0u);
}

TEST(SegmentMap, StopsAtTheFirstEoi) {
    Bytes second = Cat({SOI, Segment(0xE1, Bytes(20, 1)), EOI});
    auto m = Map(Cat({SOI, EOI, second, {0xAB, 0xCD}}));
    ASSERT_TRUE(m->built);
    EXPECT_EQ(m->parser.map.GetCount(), 2u);
}

TEST(SegmentMap, PayloadsLongerThanTheBufferAreSkippedBySeeking) {
    Bytes big(60000, 0xFF); // a payload of 0xFF bytes must not be scanned for markers
    Bytes photo = Cat({SOI, Segment(0xE2, big), Segment(0xE2, big), EOI});
    testing_support::TempDir dir;
    std::string path = dir.file("big.jpg");
    testing_support::WriteFile(path, photo);
    stdlib::StdioFileStream file(path.c_str(), "rb");
    CodestreamParser p;
    ASSERT_TRUE(p.BuildMap(file));
    ASSERT_EQ(p.map.GetCount(), 4u);
    EXPECT_EQ(p.map[2].offset, 2u + 4 + 60000 + 4);
    EXPECT_EQ(p.map[3].offset, photo.size());
}

TEST(SegmentMapHostile, EndsWithAResultOnAnyCut) {
    Bytes photo = Cat({SOI, Segment(0xE1, ExifPayload(Bytes(40, 3))), Segment(0xDB, Bytes(65, 2)),
                       Segment(0xDA, {1, 1, 0, 0, 0x3F, 0}), {0x11, 0xFF, 0x00, 0x22}, EOI});
    const size_t imageData = photo.size() - 6; // after the scan header
    for (size_t cut = 0; cut < photo.size(); ++cut) {
        auto m = Map(Bytes(photo.begin(), photo.begin() + long(cut)));
        // Cut in the image data: kept, its map ending with the scan.
        EXPECT_EQ(m->built, cut >= imageData) << "cut at " << cut;
        EXPECT_EQ(m->parser.cutShort, cut >= imageData) << "cut at " << cut;
        if (m->built) {
            EXPECT_EQ(m->parser.map[m->parser.map.GetCount() - 1].marker, 0xDA);
        }
        EXPECT_LE(m->parser.map.GetCount(), 5u);
    }
}

TEST(SegmentMapHostile, LengthPointingPastTheEnd) {
    auto m = Map(Cat({SOI, {0xFF, 0xE1, 0xFF, 0xFF, 'E', 'x'}}));
    EXPECT_FALSE(m->built);
    EXPECT_EQ(m->parser.map.GetCount(), 2u); // reported count: the markers found
}

TEST(SegmentMapHostile, EmptyAllFfAndTextFiles) {
    EXPECT_FALSE(Map({})->built);
    EXPECT_EQ(Map({})->parser.map.GetCount(), 0u);
    auto ff = Map(Bytes(100000, 0xFF));
    EXPECT_FALSE(ff->built);
    EXPECT_EQ(ff->parser.map.GetCount(), 0u);
    std::string text = "plain text without any marker byte\n";
    auto t = Map(Bytes(text.begin(), text.end()));
    EXPECT_FALSE(t->built);
}

TEST(SegmentMapHostile, MillionsOfMarkersAreCutOff) {
    // FF 01 pairs: each is a marker without payload. Far more than any photo.
    Bytes many;
    many.reserve(2 * (CodestreamParser::kMaxMapItems + 10) + 4);
    many.insert(many.end(), SOI.begin(), SOI.end());
    for (uint32_t i = 0; i < CodestreamParser::kMaxMapItems + 10; ++i) {
        many.push_back(0xFF);
        many.push_back(0x01);
    }
    many.insert(many.end(), EOI.begin(), EOI.end());
    auto m = Map(many);
    EXPECT_FALSE(m->built);
    EXPECT_EQ(m->parser.map.GetCount(), CodestreamParser::kMaxMapItems);
}

TEST(SegmentMapHostile, RandomBytesNeverCrash) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        Bytes b(rng() % 3000);
        for (auto& x : b) {
            uint32_t r = rng();
            x = (r & 3) == 0 ? 0xFF : uint8_t(r >> 8); // plenty of marker starts
        }
        auto m = Map(b);
        uint32_t n = m->parser.map.GetCount();
        for (uint32_t i = 0; i < n; ++i)
            ASSERT_LE(m->parser.map[i].offset, b.size());
        if (m->built) {
            EXPECT_EQ(m->parser.map[n - 1].marker, 0xD9);
        }
    }
}

// EXIF gathering ----------------------------------------------------------

struct Gathered {
    Bytes exif;
    std::vector<bool> keep;
};

Gathered Gather(const Bytes& photo) {
    MemStream file;
    file.Write(photo.data(), 1, photo.size());
    file.SetPos(0);
    CodestreamParser p;
    EXPECT_TRUE(p.BuildMap(file));
    MemStream exif;
    exif.Close();
    gen::array<bool> keep;
    GatherExif(file, p, exif, &keep);
    Gathered g;
    g.exif.assign(exif.Data(), exif.Data() + exif.GetSize());
    for (uint32_t i = 0; i < keep.GetCount(); ++i)
        g.keep.push_back(keep[i]);
    return g;
}

TEST(ExifGather, JoinsExifSegmentsInFileOrder) {
    Bytes photo = Cat({SOI, Segment(0xE1, ExifPayload({1, 2, 3})), Segment(0xE0, ExifPayload({9})),
                       Segment(0xE1, ExifPayload({4, 5}, 0x55)), EOI});
    Gathered g = Gather(photo);
    EXPECT_EQ(g.exif, (Bytes{1, 2, 3, 4, 5})); // the sixth header byte is not examined
    EXPECT_EQ(g.keep, (std::vector<bool>{false, false, false, false, false}));
}

TEST(ExifGather, ShortAndForeignApp1AreNotExif) {
    std::string xmp = "http://ns.adobe.com/xap/1.0/";
    Bytes photo = Cat({SOI, Segment(0xE1, {'E', 'x', 'i', 'f', 0, 0}), Segment(0xE1, Bytes(xmp.begin(), xmp.end())),
                       Segment(0xE1, {'E', 'x', 'i', 'f', 1, 0, 7}), EOI});
    Gathered g = Gather(photo);
    EXPECT_TRUE(g.exif.empty());
    EXPECT_EQ(g.keep, (std::vector<bool>{false, false, true, true, false}));
}

TEST(ExifGather, FileCutAfterMappingGathersOnlyWhatIsThere) {
    Bytes photo = Cat({SOI, Segment(0xE1, ExifPayload(Bytes(100, 8))), EOI});
    MemStream file;
    file.Write(photo.data(), 1, photo.size());
    file.SetPos(0);
    CodestreamParser p;
    ASSERT_TRUE(p.BuildMap(file));
    MemStream cut; // the same file, now shorter than its map says
    cut.Close();
    cut.Write(photo.data(), 1, 50);
    MemStream exif;
    exif.Close();
    GatherExif(cut, p, exif);
    EXPECT_EQ(exif.GetSize(), 50u - 6 - 6);
}

} // namespace

// The block-at-a-time marker search against the plain byte-by-byte rule, on
// data dense with 0xFF, stuffed zeros, restart codes and fill bytes.
TEST(MarkerScan, FindsWhatTheByteRuleFinds) {
    uint32_t x = 12345;
    const uint8_t palette[] = {0xFF, 0xFF, 0x00, 0xD0, 0xD7, 0xD8, 0xC4, 0xFE, 0x12, 0xCF, 0xD9, 0x01};
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> data(1 + round % 200);
        for (uint8_t& b : data) {
            x = x * 1103515245u + 12345u;
            b = (x >> 24) % (round % 2 ? 3 : 90) ? uint8_t(x >> 9) % 0xF0 : palette[(x >> 16) % sizeof palette];
        }
        for (size_t from = 0; from <= data.size(); ++from) {
            size_t n = data.size() - from;
            size_t expected = n ? n - 1 : 0;
            for (size_t i = 0; i + 1 < n; ++i)
                if (data[from + i] == 0xFF && EndsEntropyData(data[from + i + 1])) {
                    expected = i;
                    break;
                }
            ASSERT_EQ(ScanForMarker(data.data() + from, n), expected) << "round " << round << " from " << from;
        }
    }
}

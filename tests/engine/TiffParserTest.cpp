// The TIFF directory reader on data built byte by byte: header forms, the
// directory graph (chains, loops, SubIFDs), entry values in both byte orders,
// and hostile shapes that must stay cheap and inside the data.

#include "engine/MemStream.h"
#include "engine/TiffParser.h"
#include "support/TiffBuilder.h"

#include <gtest/gtest.h>

using testing_support::TiffBuilder;
using testing_support::TiffEntry;

namespace {

struct Parsed {
    explicit Parsed(const std::vector<uint8_t>& data, bool strict = true) {
        stream.Write(data.data(), 1, data.size());
        stream.Seek(0, 0);
        parser = std::make_unique<Parser>(stream, 0, strict);
        ok = parser->Parse();
    }
    stdlib::MemStream stream;
    std::unique_ptr<Parser> parser;
    bool ok = false;
};

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
    std::vector<uint8_t> out;
    for (int b : list)
        out.push_back(uint8_t(b));
    return out;
}

} // namespace

TEST(TiffHeader, ClassicAndBigFormsAndRefusedHeaders) {
    // "II" 42, first directory at 8: one entry, next 0.
    Parsed classic(Bytes({'I', 'I', 0x2A, 0, 8, 0, 0, 0, 1, 0, 0x0F, 1, 2, 0, 2, 0, 0, 0, 'A', 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(classic.ok);
    EXPECT_EQ(classic.parser->ifds.GetCount(), 1u);
    EXPECT_EQ(classic.parser->ifdsRead, 1u);
    EXPECT_FALSE(classic.parser->bigTiff);

    // "MM" with the first directory inside the header.
    Parsed inside(Bytes({'M', 'M', 0, 0x2A, 0, 0, 0, 4, 0, 0, 0, 0}));
    EXPECT_FALSE(inside.ok);

    // Version 43 reads 20-byte entries with 8-byte fields.
    TiffBuilder big(false, true);
    big.SetFirstIFD(big.AddIFD({big.Longs(256, {640}), big.Rationals(282, {{72, 1}})}));
    Parsed b(big.bytes);
    ASSERT_TRUE(b.ok);
    EXPECT_TRUE(b.parser->bigTiff);
    EXPECT_EQ(b.parser->headerSize, 16u);
    IFDItem* width = b.parser->FindItem(0, 256);
    ASSERT_NE(width, nullptr);
    EXPECT_EQ(Parser::GetInt(*width, 0), 640u);
    IFDItem* res = b.parser->FindItem(0, 282);
    ASSERT_NE(res, nullptr);
    EXPECT_DOUBLE_EQ(Parser::GetReal(*res, 0), 72.0); // a single rational inside the 8-byte field

    // Version 43 with a wrong offset size; an unknown byte order; a short header.
    EXPECT_FALSE(Parsed(Bytes({'M', 'M', 0, 0x2B, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16})).ok);
    EXPECT_FALSE(Parsed(Bytes({'X', 'X', 0x2A, 0, 8, 0, 0, 0, 0, 0})).ok);
    EXPECT_FALSE(Parsed(Bytes({'I', 'I', 0x2A})).ok);

    // Version 41: refused when strict, read as classic otherwise.
    std::vector<uint8_t> v41 = Bytes({'I', 'I', 41, 0, 8, 0, 0, 0, 1, 0, 0x0F, 1, 2, 0, 2, 0, 0, 0, 'A', 0, 0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(Parsed(v41, true).ok);
    EXPECT_TRUE(Parsed(v41, false).ok);
}

TEST(TiffDirectoryGraph, LoopsAreReadOnceAndChainsEndOutsideTheData) {
    TiffBuilder t(true);
    uint64_t nextPos = 0;
    uint64_t first = t.AddIFD({t.Shorts(274, {1})}, 0, &nextPos);
    t.PutAt(nextPos, first, 4); // points at itself
    t.SetFirstIFD(first);
    Parsed self(t.bytes);
    ASSERT_TRUE(self.ok);
    EXPECT_EQ(self.parser->ifds.GetCount(), 1u);

    TiffBuilder two(false);
    uint64_t aNext = 0, bNext = 0;
    uint64_t a = two.AddIFD({two.Shorts(274, {1})}, 0, &aNext);
    uint64_t b = two.AddIFD({two.Shorts(274, {2})}, 0, &bNext);
    two.PutAt(aNext, b, 4);
    two.PutAt(bNext, a, 4);
    two.SetFirstIFD(a);
    Parsed pair(two.bytes);
    ASSERT_TRUE(pair.ok);
    EXPECT_EQ(pair.parser->ifds.GetCount(), 2u);
    EXPECT_EQ(pair.parser->FindIFD(b, 0), 1);
    EXPECT_EQ(pair.parser->FindIFD(12345, 0), -1);

    TiffBuilder past(false);
    past.SetFirstIFD(past.AddIFD({past.Shorts(274, {1})}, 1u << 30));
    Parsed p(past.bytes);
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.parser->ifds.GetCount(), 1u);
}

TEST(TiffDirectoryGraph, SubIfdsAreFollowedAndNestingIsBounded) {
    TiffBuilder t(false);
    uint64_t leaf = t.AddIFD({t.Shorts(1, {7})});
    uint64_t sub = t.AddIFD({t.Shorts(2, {8})});
    uint64_t first = t.AddIFD({t.Longs(330, {uint32_t(sub), uint32_t(leaf)})});
    t.SetFirstIFD(first);
    Parsed p(t.bytes);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.parser->ifds.GetCount(), 3u);
    EXPECT_EQ(p.parser->ifds[1]->parent, 0u);

    // A chain of SubIFDs each pointing at the next, far deeper than allowed:
    // no stack overflow, reading stops at the bound.
    TiffBuilder deep(true);
    uint64_t below = deep.AddIFD({deep.Shorts(1, {0})});
    for (int i = 0; i < 5000; ++i)
        below = deep.AddIFD({deep.Longs(330, {uint32_t(below)})});
    deep.SetFirstIFD(below);
    Parsed d(deep.bytes);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.parser->ifds.GetCount(), Parser::kMaxSubIfdDepth + 1);
}

TEST(TiffDirectoryGraph, HostileDataStaysWithinItsBudgets) {
    // Thousands of directories, each listing every other one as SubIFDs: the
    // directory count and the entry budget end the work.
    TiffBuilder t(false);
    std::vector<uint32_t> all;
    for (int i = 0; i < 3000; ++i)
        all.push_back(uint32_t(8 + i * 2)); // overlapping directories at every even offset
    uint64_t first = t.AddIFD({t.Longs(330, all)});
    t.SetFirstIFD(first);
    Parsed p(t.bytes);
    EXPECT_TRUE(p.ok);
    EXPECT_LE(p.parser->ifds.GetCount(), Parser::kMaxIfds);

    // A rational claiming 2^32 - 1 values at an offset near the end: only the
    // values that exist are loaded; the rest read as 0.
    TiffBuilder c(true);
    uint64_t nextPos = 0;
    uint64_t ifd = c.AddIFD({TiffBuilder::Raw(2, 5, 0xFFFFFFFFu, 0)}, 0, &nextPos);
    c.SetFirstIFD(ifd);
    uint64_t valuesAt = c.Size();
    c.Put(35, 4);
    c.Put(1, 4);
    c.PutAt(ifd + 2 + 8, valuesAt, 4);
    Parsed huge(c.bytes);
    ASSERT_TRUE(huge.ok);
    IFDItem* item = huge.parser->FindItem(0, 2);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->count, 0xFFFFFFFFu);
    EXPECT_EQ(item->loaded, 8u);
    EXPECT_DOUBLE_EQ(Parser::GetReal(*item, 0), 35.0);
    EXPECT_EQ(Parser::GetReal(*item, 1), 0.0);
    EXPECT_EQ(Parser::GetInt(*item, 1000000), 0u);
}

TEST(TiffDirectoryBounds, BadTypesAndDisorderEndADirectory) {
    TiffBuilder t(false);
    std::vector<TiffEntry> entries;
    for (uint16_t tag = 1; tag <= 1100; ++tag)
        entries.push_back(t.Shorts(tag == 600 ? 10 : tag, {tag}));
    t.SetFirstIFD(t.AddIFD(entries, 8));
    Parsed p(t.bytes);
    ASSERT_TRUE(p.ok);
    ASSERT_EQ(p.parser->ifds.GetCount(), 1u);
    EXPECT_EQ(p.parser->ifds[0]->next, 0u);
    EXPECT_NE(p.parser->FindItem(0, 599), nullptr);
    EXPECT_EQ(p.parser->FindItem(0, 601), nullptr);

    TiffBuilder first(false);
    first.SetFirstIFD(first.AddIFD({TiffBuilder::Raw(1, 19, 1, 0), first.Shorts(2, {1})}));
    Parsed removed(first.bytes);
    EXPECT_FALSE(removed.ok);
    EXPECT_EQ(removed.parser->ifds.GetCount(), 0u);

    TiffBuilder later(false);
    later.SetFirstIFD(later.AddIFD({later.Shorts(1, {1}), TiffBuilder::Raw(2, 19, 1, 0), later.Shorts(3, {1})}, 8));
    Parsed kept(later.bytes);
    ASSERT_TRUE(kept.ok);
    EXPECT_NE(kept.parser->FindItem(0, 1), nullptr);
    EXPECT_EQ(kept.parser->FindItem(0, 3), nullptr);
    EXPECT_EQ(kept.parser->ifds[0]->next, 0u);
}

TEST(TiffValues, InlineAndOutOfLineValuesInBothByteOrders) {
    for (bool be : {false, true}) {
        TiffBuilder t(be);
        t.SetFirstIFD(t.AddIFD({t.Longs(256, {123456}), t.Shorts(258, {8, 16}),
                                t.Rationals(2, {{35, 1}, {40, 1}, {15, 2}}), t.Rationals(5, {{0xFFFFFFFFu, 2}}, 10),
                                t.Shorts(259, {1}), t.Shorts(259, {6}), t.Ascii(700, "late tag")}));
        Parsed p(t.bytes);
        ASSERT_TRUE(p.ok) << be;
        EXPECT_EQ(p.parser->bigEndian, be);
        EXPECT_EQ(Parser::GetInt(*p.parser->FindItem(0, 256), 0), 123456u);
        IFDItem* bits = p.parser->FindItem(0, 258);
        EXPECT_EQ(Parser::GetInt(*bits, 0), 8u);
        EXPECT_EQ(Parser::GetInt(*bits, 1), 16u);
        EXPECT_EQ(Parser::GetInt(*bits, 2), 0u);
        IFDItem* lat = p.parser->FindItem(0, 2);
        EXPECT_EQ(lat->loaded, 24u);
        EXPECT_DOUBLE_EQ(Parser::GetReal(*lat, 1), 40.0);
        EXPECT_DOUBLE_EQ(Parser::GetReal(*lat, 2), 7.5);
        EXPECT_EQ(Parser::GetInt(*lat, 0), uint64_t(1) << 32 | 35u); // numerator low
        EXPECT_DOUBLE_EQ(Parser::GetReal(*p.parser->FindItem(0, 5), 0), -0.5);
        EXPECT_EQ(Parser::GetInt(*p.parser->FindItem(0, 259), 0), 6u); // a repeated tag keeps its last
        EXPECT_NE(p.parser->FindItem(-1, 700), nullptr);
    }
}

TEST(TiffValues, GpsPointerByType) {
    auto offsetOf = [](const TiffEntry& pointer, uint32_t& out) {
        TiffBuilder t(false);
        TiffEntry e = pointer;
        t.SetFirstIFD(t.AddIFD({t.Shorts(1, {1}), e}));
        Parsed p(t.bytes);
        return p.ok && p.parser->GetGpsIfdOffset(out);
    };
    TiffBuilder t(false);
    uint32_t out = 0;
    EXPECT_TRUE(offsetOf(t.Longs(34853, {4242}), out));
    EXPECT_EQ(out, 4242u);
    EXPECT_TRUE(offsetOf(t.Rationals(34853, {{99, 2}}), out));
    EXPECT_EQ(out, 49u);
    EXPECT_FALSE(offsetOf(t.Ascii(34853, "x"), out));
    EXPECT_FALSE(offsetOf(TiffBuilder::Raw(34853, 4, 0, 0), out));
    // A float that no 32-bit number can hold is no offset (and no undefined
    // conversion).
    EXPECT_FALSE(offsetOf(TiffBuilder::Raw(34853, 11, 1, 0x7F800000u /* inf */), out));
    EXPECT_FALSE(offsetOf(TiffBuilder::Raw(34853, 11, 1, 0x7FC00000u /* NaN */), out));
}

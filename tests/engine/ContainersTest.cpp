// The in-house arrays and string: bounds, growth and ownership.
#include "engine/GenArray.h"
#include "engine/GenString.h"

#include <gtest/gtest.h>

namespace {

struct Counted {
    static int alive;
    Counted() { ++alive; }
    ~Counted() { --alive; }
};
int Counted::alive = 0;

TEST(GenArray, IndexAtCountThrowsWithIndexAndCount) {
    gen::array<int> a;
    for (int i = 0; i < 5; ++i)
        a.append(i * 10);
    EXPECT_EQ(a[4], 40);
    try {
        (void)a[5];
        FAIL() << "no exception";
    } catch (const gen::genlib_out_of_range& e) {
        EXPECT_EQ(e.index, 5u);
        EXPECT_EQ(e.count, 5u);
    }
    const gen::array<int>& ca = a;
    EXPECT_THROW((void)ca[1000000], gen::genlib_out_of_range);
}

TEST(GenArray, GrowsFrom64By32ThenByHalf) {
    gen::array<uint64_t> a;
    EXPECT_EQ(a.GetCapacity(), 64u);
    for (uint64_t i = 0; i < 64; ++i)
        a.append(i);
    EXPECT_EQ(a.GetCapacity(), 64u);
    a.append(64);
    EXPECT_EQ(a.GetCapacity(), 96u);
    for (uint64_t i = 65; i < 100000; ++i)
        a.append(i);
    for (uint64_t i = 0; i < 100000; ++i)
        ASSERT_EQ(a[uint32_t(i)], i);
    // Growth by half keeps a long list from costing a copy every 32 appends.
    EXPECT_LT(a.GetCapacity(), 200000u);
}

TEST(GenArray, ReserveBelowCountCutsTheCount) {
    gen::array<int> a;
    for (int i = 0; i < 10; ++i)
        a.append(i);
    a.reserve(4);
    EXPECT_EQ(a.GetCount(), 4u);
    EXPECT_EQ(a.GetCapacity(), 64u);
}

TEST(GenArray, ReserveWhoseByteSizeOverflowsIsOutOfMemory) {
    gen::array<uint64_t> a;
    EXPECT_THROW(a.reserve(0x40000000u), gen::genlib_out_of_memory);
    EXPECT_EQ(a.GetCapacity(), 64u);
}

TEST(GenArray, AppendOfOwnElementSurvivesGrowth) {
    gen::array<int> a;
    for (int i = 0; i < 64; ++i)
        a.append(i + 1);
    a.append(a[0]); // the reference points into the block that moves
    EXPECT_EQ(a[64], 1);
}

TEST(GenArray, FindReturnsFirstMatchOrMinusOne) {
    gen::array<int> a;
    for (int v : {5, 7, 7, 9})
        a.append(v);
    auto cmp = [](const int* e, const int& k) { return *e - k; };
    EXPECT_EQ(a.find(7, cmp), 1);
    EXPECT_EQ(a.find(8, cmp), -1);
}

TEST(GenArrayPtr, DeletesOwnedObjectsAndSkipsNullSlots) {
    {
        gen::array_ptr<Counted> a;
        a.append(new Counted);
        a.append(nullptr);
        a.append(new Counted);
        a.append(nullptr);
        EXPECT_EQ(Counted::alive, 2);
        a.replace(0, new Counted);
        EXPECT_EQ(Counted::alive, 2);
        a.remove_at(1);
        EXPECT_EQ(a.GetCount(), 3u);
        EXPECT_NE(a[1], nullptr);
        EXPECT_EQ(a[2], nullptr);
        EXPECT_THROW((void)a[3], gen::genlib_out_of_range);
    }
    EXPECT_EQ(Counted::alive, 0);
}

TEST(GenArrayPtr, EraseClampsToCount) {
    gen::array_ptr<Counted> a;
    for (int i = 0; i < 4; ++i)
        a.append(new Counted);
    a.erase(100, 2);
    EXPECT_EQ(Counted::alive, 2);
    EXPECT_EQ(a[2], nullptr);
    a.clear();
    EXPECT_EQ(Counted::alive, 0);
}

TEST(GenString, CountIncludesTheTerminator) {
    gen::string never;
    EXPECT_EQ(never.GetCount(), 0u);
    EXPECT_EQ(never.length(), 0u);
    EXPECT_STREQ(never.c_str(), "");

    gen::string s("abc");
    EXPECT_EQ(s.GetCount(), 4u);
    EXPECT_EQ(s.length(), 3u);
    s = "";
    EXPECT_EQ(s.GetCount(), 1u);
    EXPECT_EQ(s.length(), 0u);

    s = "C:\\Temp\\";
    s.append("exif1.tmp");
    EXPECT_STREQ(s.c_str(), "C:\\Temp\\exif1.tmp");
    s.assign(s.c_str() + 3, 4); // from its own block
    EXPECT_STREQ(s.c_str(), "Temp");
    s = static_cast<const char*>(nullptr);
    EXPECT_STREQ(s.c_str(), "");

    gen::wstring w(L"\x5317\x4eac");
    EXPECT_EQ(w.length(), 2u);
}

} // namespace

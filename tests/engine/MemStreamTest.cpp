// MemStream: positions, typed reads and writes, growth, and sizes that would
// overflow.
#include "engine/FileOs.h"
#include "engine/FileOsFaults.h"
#include "engine/MemStream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

using stdlib::MemStream;

namespace {

// Memory runs out from now until the end of the scope.
struct NoMoreMemory {
    NoMoreMemory() { fileos::AllocationFaultForTests(0); }
    ~NoMoreMemory() { fileos::AllocationFaultForTests(-1); }
};

void Fill(MemStream& m, size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = uint8_t(i);
    ASSERT_EQ(m.Write(bytes.data(), 1, n), n);
}

// A block from the OS layer, as Attach expects.
void* NewBlock(size_t n, uint8_t fill) {
    void* p = fileos::AllocateBlock(n);
    std::memset(p, fill, n);
    return p;
}

TEST(MemStreamSeek, ToSizeSucceedsOneFurtherFails) {
    MemStream m;
    Fill(m, 10);
    EXPECT_TRUE(m.Seek(10, 0));
    EXPECT_EQ(m.Tell(), 10u);
    EXPECT_FALSE(m.Seek(11, 0));
    EXPECT_EQ(m.Tell(), 10u);
    EXPECT_TRUE(m.Seek(-10, 1));
    EXPECT_EQ(m.Tell(), 0u);
    EXPECT_FALSE(m.Seek(-1, 1));
    EXPECT_TRUE(m.Seek(-3, 2));
    EXPECT_EQ(m.Tell(), 7u);
    EXPECT_FALSE(m.Seek(0, 3));
    EXPECT_FALSE(m.Seek(std::numeric_limits<int64_t>::min(), 2));
    EXPECT_FALSE(m.Seek(std::numeric_limits<int64_t>::max(), 1));
    EXPECT_EQ(m.Tell(), 7u);
}

TEST(MemStreamRead, ShortTypedReadSetsEndAndKeepsPosition) {
    MemStream m;
    Fill(m, 7);
    m.SetPos(4);
    EXPECT_EQ(m.ReadU32(), 0u);
    EXPECT_TRUE(m.IsEof());
    EXPECT_EQ(m.Tell(), 4u);
    EXPECT_TRUE(m.Seek(0, 1));
    EXPECT_FALSE(m.IsEof());
    EXPECT_EQ(m.ReadU16(), 0x0504u); // little-endian by default
    EXPECT_EQ(m.GetByte(), 6);
    EXPECT_EQ(m.GetByte(), 0);
    EXPECT_TRUE(m.IsEof());
}

TEST(MemStreamRead, BlockReadsCountWholeItems) {
    MemStream m;
    Fill(m, 10);
    uint8_t buf[16] = {};
    m.SetPos(6);
    EXPECT_EQ(m.Read(buf, 1, 10), 4u);
    EXPECT_TRUE(m.IsEof());
    EXPECT_EQ(buf[0], 6);
    EXPECT_EQ(buf[3], 9);

    m.SetPos(4);
    EXPECT_EQ(m.Read(buf, 4, 2), 1u); // 6 bytes copied, one whole item
    EXPECT_EQ(m.Tell(), 10u);
    EXPECT_EQ(buf[5], 9);

    m.SetPos(0);
    EXPECT_EQ(m.Read(buf, size_t(1) << 40, size_t(1) << 40), 0u); // product overflows: serves what there is
    EXPECT_EQ(m.Tell(), 10u);
}

TEST(MemStreamByteOrder, FlagDecidesTheOrderOfEveryTypedValue) {
    MemStream m;
    m.bigEndian = true;
    m.WriteU16(0x1234);
    m.WriteU32(0xA1B2C3D4);
    m.SetPos(0);
    uint8_t raw[6];
    m.Read(raw, 1, 6);
    const uint8_t expect[6] = {0x12, 0x34, 0xA1, 0xB2, 0xC3, 0xD4};
    EXPECT_EQ(0, std::memcmp(raw, expect, 6));

    MemStream e;
    const uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    e.Write(eight, 1, 8);
    e.bigEndian = true;
    e.SetPos(0);
    EXPECT_EQ(e.ReadU64() >> 56, 1u);
    e.bigEndian = false;
    e.SetPos(0);
    EXPECT_EQ(e.ReadU64() >> 56, 8u);

    MemStream f;
    f.bigEndian = true;
    f.WriteDouble(-2.5);
    f.WriteFloat(0.75f);
    f.SetPos(0);
    EXPECT_EQ(f.ReadDouble(), -2.5);
    EXPECT_EQ(f.ReadFloat(), 0.75f);
}

TEST(MemStreamWrite, AttachedBlockKeepsItsSizeUntilAWritePassesIt) {
    MemStream m;
    m.Attach(NewBlock(100, 0xAA), 100);
    EXPECT_EQ(m.GetSize(), 100u);
    EXPECT_FALSE(m.IsClosed());
    std::vector<uint8_t> bytes(150, 0x11);
    EXPECT_EQ(m.Write(bytes.data(), 1, 30), 30u);
    EXPECT_EQ(m.GetSize(), 100u);
    EXPECT_EQ(m.Data()[30], 0xAA);
    m.SetPos(0);
    EXPECT_EQ(m.Write(bytes.data(), 1, 150), 150u);
    EXPECT_EQ(m.GetSize(), 150u);
    EXPECT_EQ(m.GetCapacity(), 100u + 65535u);
    EXPECT_EQ(m.Data()[149], 0x11);
}

TEST(MemStreamWrite, WriteFromItsOwnBlockAcrossGrowth) {
    MemStream m;
    Fill(m, 65535);
    // Append the stream's own first 1000 bytes at its end: the source moves
    // while the block grows.
    EXPECT_EQ(m.Write(m.Data(), 1, 1000), 1000u);
    ASSERT_EQ(m.GetSize(), 66535u);
    EXPECT_EQ(0, std::memcmp(m.Data(), m.Data() + 65535, 1000));
}

TEST(MemStreamWrite, SizesThatCannotBeRepresentedAreRefused) {
    MemStream m;
    Fill(m, 16);
    uint8_t b[4] = {};
    EXPECT_EQ(m.Write(b, size_t(1) << 33, size_t(1) << 33), 0u); // product wraps to 0
    EXPECT_EQ(m.Write(b, std::numeric_limits<size_t>::max(), 2), 0u);
    EXPECT_EQ(m.GetSize(), 16u);
    EXPECT_FALSE(m.IsError());
    // Not refused, but no block that large exists: the allocation fails
    // cleanly and the stream keeps its data. (At the end of a full block, so
    // nothing is copied from the small buffer before growing.)
    MemStream full;
    Fill(full, 65535);
    EXPECT_EQ(full.Write(b, 1, std::numeric_limits<size_t>::max() / 2), 0u);
    EXPECT_TRUE(full.IsError());
    EXPECT_EQ(full.GetSize(), 65535u);
    full.SetPos(0);
    EXPECT_EQ(full.ReadU32(), 0x03020100u);
    EXPECT_EQ(full.Write(b, 1, 1), 0u); // stays failed
    EXPECT_EQ(m.Write(nullptr, 1, 1), 0u);
}

TEST(MemStreamWrite, FailedGrowthKeepsWhatWasWritten) {
    MemStream m;
    NoMoreMemory noMore;
    std::vector<uint8_t> bytes(70000, 0x5A);
    EXPECT_EQ(m.Write(bytes.data(), 1, bytes.size()), 0u);
    EXPECT_TRUE(m.IsError());
    EXPECT_EQ(m.GetSize(), 65535u); // the first part of the call landed
    EXPECT_EQ(m.Data()[65534], 0x5A);
}

TEST(MemStreamSize, SetSizeRulesAndPositionReset) {
    MemStream m;
    Fill(m, 100);
    EXPECT_FALSE(m.SetSize(0));
    EXPECT_TRUE(m.SetSize(100));
    m.SetPos(80);
    EXPECT_TRUE(m.SetSize(50));
    EXPECT_EQ(m.GetSize(), 50u);
    EXPECT_EQ(m.Tell(), 0u);
    EXPECT_TRUE(m.SetSize(70000));
    EXPECT_EQ(m.GetCapacity(), 70000u);
    EXPECT_EQ(m.Data()[49], 49);
    EXPECT_EQ(m.Data()[69999], 0); // grown bytes read as zero
    EXPECT_FALSE(m.SetSize(std::numeric_limits<uint64_t>::max()));
    EXPECT_EQ(m.GetSize(), 70000u);
}

TEST(MemStreamLifecycle, FreshStreamIsClosedAndCloseResets) {
    MemStream m;
    EXPECT_TRUE(m.IsClosed());
    EXPECT_EQ(m.GetCapacity(), 65535u);
    Fill(m, 3);
    EXPECT_FALSE(m.IsClosed());
    m.Close();
    EXPECT_TRUE(m.IsClosed());
    EXPECT_EQ(m.GetCapacity(), 0u);
    EXPECT_EQ(m.Write("abc", 1, 3), 3u); // grows a fresh block
    EXPECT_EQ(m.GetSize(), 3u);
}

TEST(MemStreamText, ReadLineBreaksAndPrintf) {
    MemStream m;
    m.WriteString("one\r\ntwo\nthree\n");
    EXPECT_EQ(m.Printf("%s=%d", "n", 42), 4);
    m.SetPos(0);
    char line[64];
    ASSERT_NE(m.ReadLine(line, sizeof line), nullptr);
    EXPECT_STREQ(line, "one\r");
    ASSERT_NE(m.ReadLine(line, sizeof line), nullptr);
    EXPECT_STREQ(line, "two\n");
    ASSERT_NE(m.ReadLine(line, sizeof line), nullptr);
    EXPECT_STREQ(line, "three\n");
    ASSERT_NE(m.ReadLine(line, sizeof line), nullptr);
    EXPECT_STREQ(line, "n=42");
    EXPECT_EQ(m.ReadLine(line, sizeof line), nullptr);

    MemStream cut;
    cut.WriteString("abcdefgh\n");
    cut.SetPos(0);
    ASSERT_NE(cut.ReadLine(line, 4), nullptr);
    EXPECT_STREQ(line, "abc");
    MemStream lastBreak;
    lastBreak.WriteString("z\n");
    lastBreak.SetPos(0);
    ASSERT_NE(lastBreak.ReadLine(line, sizeof line), nullptr);
    EXPECT_STREQ(line, "z"); // a break at the very end is dropped

    MemStream big;
    std::string longText(3000, 'x');
    EXPECT_EQ(big.Printf("%s", longText.c_str()), 1023);
    EXPECT_EQ(big.GetSize(), 1023u);
}

} // namespace

// StdioFileStream over real files: byte order, 64-bit positions, cutting the
// file through its OS handle, sharing with another open.
#include "engine/StdioFileStream.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

using stdlib::StdioFileStream;
using testing_support::Bytes;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

TEST(StdioFileStream, MissingFileStaysClosed) {
    TempDir dir;
    StdioFileStream s(dir.file("absent.jpg").c_str(), "rb");
    EXPECT_TRUE(s.IsClosed());
    EXPECT_EQ(s.GetByte(), -1);
    EXPECT_EQ(s.ReadU32(), 0u);
    EXPECT_EQ(s.GetSize(), 0u);
    StdioFileStream none;
    EXPECT_FALSE(none.Open(nullptr, "rb"));
}

TEST(StdioFileStream, TypedWritesAndReadsInBothOrders) {
    TempDir dir;
    std::string path = dir.file("t.bin");
    {
        StdioFileStream out(path.c_str(), "wb");
        ASSERT_FALSE(out.IsClosed());
        out.bigEndian = true;
        EXPECT_EQ(out.WriteU16(0x1234), 1u);
        EXPECT_EQ(out.WriteU32(0x01020304), 1u);
        out.bigEndian = false;
        EXPECT_EQ(out.WriteU16(0x1234), 1u);
        EXPECT_EQ(out.WriteU64(0x1122334455667788ull), 1u);
        EXPECT_EQ(out.Write(nullptr, 1, 4), 0u);
    }
    EXPECT_EQ(ReadFile(path), (Bytes{0x12, 0x34, 1, 2, 3, 4, 0x34, 0x12, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33,
                                     0x22, 0x11}));
    StdioFileStream in(path.c_str(), "rb");
    in.bigEndian = true;
    EXPECT_EQ(in.ReadU16(), 0x1234u);
    EXPECT_EQ(in.ReadU32(), 0x01020304u);
    in.bigEndian = false;
    EXPECT_EQ(in.ReadU16(), 0x1234u);
    EXPECT_EQ(in.GetSize(), 16u);
    EXPECT_EQ(in.Tell(), 8u); // GetSize restores the position
    EXPECT_EQ(in.ReadU64(), 0x1122334455667788ull);
    EXPECT_EQ(in.ReadU16(), 0u);
    EXPECT_TRUE(in.IsEof());
    EXPECT_TRUE(in.Seek(-2, 2));
    EXPECT_EQ(in.GetByte(), 0x22);
}

TEST(StdioFileStream, SetSizeCutsAndExtendsTheFile) {
    TempDir dir;
    std::string path = dir.file("cut.bin");
    WriteFile(path, Bytes(1000, 7));
    {
        StdioFileStream s(path.c_str(), "r+b");
        ASSERT_FALSE(s.IsClosed());
        EXPECT_TRUE(s.SetSize(10));
        EXPECT_EQ(s.GetSize(), 10u);
        EXPECT_TRUE(s.SetSize(20));
    }
    Bytes expect(10, 7);
    expect.resize(20, 0);
    EXPECT_EQ(ReadFile(path), expect);
}

TEST(StdioFileStream, OpenIsSharedWithOtherReadersAndWriters) {
    TempDir dir;
    std::string path = dir.file("shared.bin");
    WriteFile(path, Bytes{1, 2, 3});
    StdioFileStream writer(path.c_str(), "r+b");
    ASSERT_FALSE(writer.IsClosed());
    StdioFileStream reader(path.c_str(), "rb");
    ASSERT_FALSE(reader.IsClosed());
    EXPECT_EQ(reader.GetByte(), 1);
    EXPECT_GT(reader.GetModifyTime(), 1000000000);
}

TEST(StdioFileStream, ReopenTakesTheNewOpenOrKeepsTheOldOne) {
    TempDir dir;
    std::string path = dir.file("photo.jpg");
    WriteFile(path, Bytes{1, 2, 3});
    StdioFileStream s(path.c_str(), "rb");
    EXPECT_EQ(s.GetByte(), 1);
    EXPECT_FALSE(s.Reopen(dir.file("absent.jpg").c_str(), "rb"));
    EXPECT_EQ(s.GetByte(), 2); // the same handle, where it was
    ASSERT_TRUE(s.Reopen(path.c_str(), "r+b"));
    EXPECT_EQ(s.GetByte(), 1);
    ASSERT_TRUE(s.SetPos(2));
    EXPECT_EQ(s.PutByte(9), 1u);
    EXPECT_TRUE(s.Finish());
    EXPECT_TRUE(s.IsClosed());
    EXPECT_FALSE(s.Finish());
    EXPECT_EQ(ReadFile(path), (Bytes{1, 2, 9}));
}

TEST(StdioFileStream, PositionsBeyondFourGigabytes) {
    TempDir dir;
    std::string path = dir.file("big.bin");
    StdioFileStream s(path.c_str(), "w+b");
    ASSERT_FALSE(s.IsClosed());
    const uint64_t far = (uint64_t(1) << 32) + 5; // sparse where the file system allows
    ASSERT_TRUE(s.SetPos(far));
    EXPECT_EQ(s.PutByte(0x42), 1u);
    EXPECT_EQ(s.GetSize(), far + 1);
    ASSERT_TRUE(s.SetPos(far));
    EXPECT_EQ(s.GetByte(), 0x42);
    EXPECT_EQ(s.Tell(), far + 1);
}

TEST(StdioFileStream, TextLinesAndPrintf) {
    TempDir dir;
    std::string path = dir.file("text.txt");
    {
        StdioFileStream s(path.c_str(), "wb");
        EXPECT_EQ(s.Printf("Bad open for '%s'\n", "x.jpg"), 21);
        EXPECT_EQ(s.WriteString("second"), 6u);
    }
    StdioFileStream s(path.c_str(), "rb");
    char line[64];
    ASSERT_NE(s.ReadLine(line, sizeof line), nullptr);
    EXPECT_STREQ(line, "Bad open for 'x.jpg'\n");
    ASSERT_NE(s.ReadLine(line, sizeof line), nullptr);
    EXPECT_STREQ(line, "second");
    EXPECT_EQ(s.ReadLine(line, sizeof line), nullptr);
}

} // namespace

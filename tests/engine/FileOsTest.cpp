// Safe replacement of a file through the small OS layer: the old content
// survives every failure, and no temporary file is left behind.

#include "engine/FileOs.h"
#include "engine/FileOsFaults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

size_t FilesIn(const TempDir& dir) {
    return size_t(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
}

Bytes Pattern(size_t size, uint8_t seed) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(seed + i * 7);
    return bytes;
}

struct WriteFaultGuard {
    ~WriteFaultGuard() { fileos::WriteFaultForTests(-1); }
};

} // namespace

TEST(SafeReplace, NewContentReplacesOldAndNoSiblingRemains) {
    TempDir dir;
    std::string photo = dir.file("photo.jpg");
    WriteFile(photo, Pattern(5000, 1));
    Bytes fresh = Pattern(3000, 9);
    ASSERT_TRUE(fileos::WriteWholeFileSafely(photo.c_str(), fresh.data(), fresh.size()));
    EXPECT_EQ(ReadFile(photo), fresh);
    EXPECT_EQ(FilesIn(dir), 1u);
}

TEST(SafeReplace, WriteFailingPartWayLeavesTheOldFileByteIdentical) {
    TempDir dir;
    std::string photo = dir.file("photo.jpg");
    Bytes old = Pattern(100000, 3);
    WriteFile(photo, old);
    Bytes fresh = Pattern(100000, 5);
    WriteFaultGuard guard;
    for (int64_t budget : {0, 1, 4095, 65536, 99999}) {
        fileos::WriteFaultForTests(budget);
        EXPECT_FALSE(fileos::WriteWholeFileSafely(photo.c_str(), fresh.data(), fresh.size())) << budget;
        EXPECT_EQ(ReadFile(photo), old) << budget;
        EXPECT_EQ(FilesIn(dir), 1u) << budget;
    }
    fileos::WriteFaultForTests(100000);
    EXPECT_TRUE(fileos::WriteWholeFileSafely(photo.c_str(), fresh.data(), fresh.size()));
    EXPECT_EQ(ReadFile(photo), fresh);
}

TEST(SafeReplace, FolderThatCannotTakeAFileFailsCleanly) {
    TempDir dir;
    std::string missing = dir.file("no such folder") + "/photo.jpg";
    Bytes fresh = Pattern(10, 1);
    EXPECT_FALSE(fileos::WriteWholeFileSafely(missing.c_str(), fresh.data(), fresh.size()));
    EXPECT_EQ(FilesIn(dir), 0u);
}

TEST(SafeReplace, AFolderIsNeverReplaced) {
    TempDir dir;
    fs::create_directory(dir.path() / "photo.jpg");
    Bytes fresh = Pattern(10, 1);
    EXPECT_FALSE(fileos::WriteWholeFileSafely(dir.file("photo.jpg").c_str(), fresh.data(), fresh.size()));
    EXPECT_TRUE(fs::is_directory(dir.path() / "photo.jpg"));
    EXPECT_EQ(FilesIn(dir), 1u);
}

TEST(SafeReplace, SiblingIsNamedAfterItsTargetAndTakesOverALeftover) {
    TempDir dir;
    std::string photo = dir.file("photo.jpg");
    WriteFile(photo, Pattern(10, 1));
    // What a program ended mid-rewrite left: a sibling nobody has open.
    WriteFile(photo + ".norvane-tmp", Pattern(7, 3));
    std::string sibling;
    FILE* file = fileos::CreateSibling(photo.c_str(), sibling);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(sibling, photo + ".norvane-tmp");
    std::fclose(file);
    EXPECT_EQ(fs::file_size(sibling), 0u) << "the leftover's bytes were kept";
#ifdef _WIN32
    // One that is open is another writer's: never taken.
    file = fileos::CreateSibling(photo.c_str(), sibling);
    ASSERT_NE(file, nullptr);
    std::string second;
    EXPECT_EQ(fileos::CreateSibling(photo.c_str(), second), nullptr);
    std::fclose(file);
#endif
}

TEST(FileIdentity, TwoSpellingsOfOneFileAreTheSameFile) {
    TempDir dir;
    fs::create_directory(dir.path() / "sub");
    std::string photo = dir.file("sub/a.jpg");
    WriteFile(photo, Bytes{1, 2, 3});
    WriteFile(dir.file("sub/b.jpg"), Bytes{1, 2, 3});
    std::string dotted = (dir.path() / "sub" / "." / ".." / "sub" / "a.jpg").string();
    EXPECT_TRUE(fileos::SameFile(photo.c_str(), photo.c_str()));
    EXPECT_TRUE(fileos::SameFile(photo.c_str(), dotted.c_str()));
    EXPECT_FALSE(fileos::SameFile(photo.c_str(), dir.file("sub/b.jpg").c_str()));
    EXPECT_FALSE(fileos::SameFile(photo.c_str(), dir.file("sub/none.jpg").c_str()));
#ifdef _WIN32
    std::string upper = dir.file("SUB/A.JPG");
    EXPECT_TRUE(fileos::SameFile(photo.c_str(), upper.c_str()));
#else
    fs::create_hard_link(photo, dir.file("link.jpg"));
    EXPECT_TRUE(fileos::SameFile(photo.c_str(), dir.file("link.jpg").c_str()));
#endif
}

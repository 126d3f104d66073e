// Keys of files through the real file system: an edit that hides behind a
// restored size and last-write time still changes the key, and a folder's
// listing tells the same keys as a look at each file.

#include "engine/FileOs.h"
#include "engine/FileOsFaults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

fileos::FileKey KeyOf(const std::string& path) {
    fileos::FileKey key;
    EXPECT_TRUE(fileos::GetFileKey(path.c_str(), key)) << path;
    return key;
}

// Puts a file's last-write time back, as exiftool -P does after an edit.
void SetWriteTime(const std::string& path, int64_t writeTime) {
#ifdef _WIN32
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME time{DWORD(uint64_t(writeTime)), DWORD(uint64_t(writeTime) >> 32)};
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &time));
    CloseHandle(h);
#else
    struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(writeTime / 1000000000), long(writeTime % 1000000000)}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
#endif
}

void OverwriteInPlace(const std::string& path, const Bytes& bytes) {
    FILE* file = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

} // namespace

TEST(FileKey, EveryKindOfEditChangesTheKey) {
    const Bytes original(4096, 0x11), edited(4096, 0x22);
    struct Case {
        const char* edit;
        void (*apply)(const std::string& path, const Bytes& edited);
        bool sameFile;
    } cases[] = {
        {"rewritten in place", [](const std::string& p, const Bytes& b) { OverwriteInPlace(p, b); }, true},
        {"one byte longer",
         [](const std::string& p, const Bytes& b) {
             Bytes longer = b;
             longer.push_back(0);
             OverwriteInPlace(p, longer);
         },
         true},
        {"replaced by rename",
         [](const std::string& p, const Bytes& b) {
             WriteFile(p + ".new", b);
             fs::rename(p + ".new", p);
         },
         false},
    };
    TempDir dir;
    for (const Case& c : cases) {
        std::string photo = dir.file("photo.jpg");
        WriteFile(photo, original);
        fileos::FileKey before = KeyOf(photo);
        EXPECT_EQ(KeyOf(photo), before) << c.edit << ": a second look";
        EXPECT_EQ(before.size, original.size());
        // Past the change time's tick (a jiffy on Linux, Wine's the same).
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        c.apply(photo, edited);
        SetWriteTime(photo, before.writeTime);
        fileos::FileKey after = KeyOf(photo);
        EXPECT_EQ(after.writeTime, before.writeTime) << c.edit;
        EXPECT_NE(after.changeTime, before.changeTime) << c.edit;
        EXPECT_NE(after, before) << c.edit;
        EXPECT_EQ(after.SameFile(before), c.sameFile) << c.edit;
        fs::remove(photo);
    }
    fileos::FileKey none;
    EXPECT_FALSE(fileos::GetFileKey(dir.file("none.jpg").c_str(), none));
}

TEST(FolderListing, GivesEveryEntryWithTheKeyALookGives) {
    TempDir dir;
    std::map<std::string, size_t> files = {
        {"a.jpg", 0}, {"b.JPG", 1}, {"Z\xC3\xBCrich.jpg", 300}, {"photo.jpg.norvane-tmp", 7}, {".hidden", 2}};
    // Paths joined as text: std::filesystem under mingw-w64 turns a narrow
    // name into UTF-8 whatever the process code page, the file functions do not.
    std::string folder = dir.path().string();
    std::string in = folder + "/";
    for (const auto& file : files)
        WriteFile(in + file.first, Bytes(file.second, 1));
    fs::create_directory(dir.path() / "sub");
    fs::create_directory(dir.path() / ".git");

    std::vector<fileos::FolderEntry> entries;
    fileos::FileKey folderKey;
    for (std::string spelt : {folder, folder + "/"}) {
        ASSERT_TRUE(fileos::ListFolder(spelt.c_str(), entries, &folderKey)) << spelt;
        EXPECT_EQ(folderKey, KeyOf(folder));
        EXPECT_EQ(entries.size(), files.size() + 2);
        for (const fileos::FolderEntry& entry : entries) {
            bool isFolder = entry.name == "sub" || entry.name == ".git";
            EXPECT_TRUE(isFolder || files.count(entry.name)) << entry.name;
            EXPECT_EQ(entry.folder, isFolder) << entry.name;
            EXPECT_EQ((entry.attributes & fileos::kAttributeFolder) != 0, isFolder) << entry.name;
            fileos::FileKey looked = KeyOf(in + entry.name);
            EXPECT_TRUE(entry.key.SameFile(looked)) << entry.name;
            if (!isFolder) {
                EXPECT_EQ(entry.key, looked) << entry.name;
                EXPECT_EQ(entry.key.size, files[entry.name]) << entry.name;
            }
        }
    }
    for (std::string bad : {dir.file("none"), dir.file("a.jpg")}) {
        EXPECT_FALSE(fileos::ListFolder(bad.c_str(), entries, &folderKey)) << bad;
        EXPECT_TRUE(entries.empty()) << bad;
    }
}

#ifdef _WIN32
// A drive's root, as a user picks it for a scan ("E:\\"), is listed as the
// root, also when the separator is missing: "E:" alone names the drive's
// current folder, here the test's own.
TEST(FolderListing, ADriveRootIsTheRoot) {
    char cwd[MAX_PATH] = "";
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, cwd), 3u);
    const std::string drive(cwd, 2), root = drive + "\\";
    ASSERT_NE(KeyOf(cwd), KeyOf(root)) << "the test runs in a folder below the root";
    for (const std::string& spelt : {root, drive}) {
        std::vector<fileos::FolderEntry> entries;
        fileos::FileKey key;
        ASSERT_TRUE(fileos::ListFolder(spelt.c_str(), entries, &key)) << spelt;
        EXPECT_EQ(key, KeyOf(root)) << spelt;
    }
}
#endif

TEST(FolderListing, CloudOnlyEntriesAreToldAndNeverOpened) {
    for (uint32_t bit : {fileos::kAttributeOffline, fileos::kAttributeRecallOnOpen,
                         fileos::kAttributeRecallOnDataAccess})
        EXPECT_TRUE(fileos::IsCloudOnly(bit | 0x20)) << bit;
    EXPECT_FALSE(fileos::IsCloudOnly(0x20 | 0x10 | 0x02 | 0x01));

    TempDir dir;
    WriteFile(dir.file("cloud.jpg"), Bytes(10, 1));
    WriteFile(dir.file("here.jpg"), Bytes(10, 1));
    struct Off {
        ~Off() { fileos::CloudOnlyForTests(nullptr); }
    } off;
    fileos::CloudOnlyForTests([](const std::string& name) { return name == "cloud.jpg"; });
    std::vector<fileos::FolderEntry> entries;
    ASSERT_TRUE(fileos::ListFolder(dir.path().string().c_str(), entries));
    ASSERT_EQ(entries.size(), 2u);
    for (const fileos::FolderEntry& entry : entries)
        EXPECT_EQ(fileos::IsCloudOnly(entry.attributes), entry.name == "cloud.jpg") << entry.name;
    fileos::FileKey key;
    uint32_t attributes = 0;
    ASSERT_TRUE(fileos::GetFileKey(dir.file("cloud.jpg").c_str(), key, &attributes));
    EXPECT_TRUE(fileos::IsCloudOnly(attributes));

    fileos::CloudOnlyForTests(nullptr);
    ASSERT_TRUE(fileos::GetFileKey(dir.file("cloud.jpg").c_str(), key, &attributes));
    EXPECT_FALSE(fileos::IsCloudOnly(attributes));
}

// The data folder from the prefix's shell folders, folder creation, and
// unique backup names, on the real registry and file system.
#include "core/Paths.h"

#include "support/ShellFolderValue.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <io.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

using testing_support::TempDir;

namespace {

bool IsFolder(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string Env(const char* name) {
    char value[4096] = {};
    DWORD n = ::GetEnvironmentVariableA(name, value, sizeof value);
    return n && n < sizeof value ? value : "";
}

TEST(ShellFolders, FreshPrefixGivesTheDataFolderBelowLocalAppData) {
    // The prefix as Wine made it: "Local AppData" = %USERPROFILE%\AppData\Local.
    ShellFolderValue localSettings("Local Settings");
    localSettings.Remove();
    std::string profile = Env("USERPROFILE");
    ASSERT_FALSE(profile.empty());
    std::string expected = profile + "\\AppData\\Local";
    EXPECT_STREQ(ReadShellFolder("Local AppData"), expected.c_str());
    EXPECT_STREQ(GetSpecialFolder(SPECIAL_FOLDER_LOCAL_APPDATA), expected.c_str());

    CString data = GetDataFolder();
    EXPECT_STREQ(data, (expected + "\\Norvane").c_str());
    EXPECT_TRUE(IsFolder(data.GetString()));
}

TEST(ShellFolders, LocalSettingsWinsAndItsVariableIsExpanded) {
    ShellFolderValue localSettings("Local Settings");
    localSettings.Set("%USERPROFILE%\\Local Settings");
    std::string expected = Env("USERPROFILE") + "\\Local Settings";
    EXPECT_STREQ(ReadShellFolder("Local Settings"), expected.c_str());
    EXPECT_STREQ(GetSpecialFolder(SPECIAL_FOLDER_LOCAL_APPDATA), expected.c_str());
    EXPECT_TRUE(IsFolder(expected)); // its last level is made when missing
    ::RemoveDirectoryA(expected.c_str());

    EXPECT_STREQ(ReadShellFolder("No Such Folder Value"), "");
}

TEST(ShellFolders, DataFolderIsCreatedBelowTheShellFolderOnEveryCall) {
    TempDir dir;
    std::string base = dir.file("local");
    DataFolderAt redirect(base);
    CString data = GetDataFolder();
    EXPECT_STREQ(data, (base + "\\Norvane").c_str());
    EXPECT_TRUE(IsFolder(base + "\\Norvane"));
    ::RemoveDirectoryA(data);
    EXPECT_FALSE(IsFolder(data.GetString()));
    GetDataFolder();
    EXPECT_TRUE(IsFolder(data.GetString()));
}

TEST(ShellFolders, ValuesAndExpansionsBeyondOneKilobyteAreReadWhole) {
    // A fixed 1024-byte buffer would cut these, or lose the expansion.
    TempDir dir;
    std::string deep = dir.path().string();
    while (deep.size() < 1500)
        deep += "\\level-of-a-very-long-path";
    ShellFolderValue localSettings("Local Settings");
    localSettings.Set(deep, REG_SZ);
    EXPECT_STREQ(ReadShellFolder("Local Settings"), deep.c_str());

    std::string longValue(1200, 'x');
    ::SetEnvironmentVariableA("NORVANE_LONG_FOLDER", ("C:\\" + longValue).c_str());
    localSettings.Set("%NORVANE_LONG_FOLDER%\\Data");
    EXPECT_STREQ(ReadShellFolder("Local Settings"), ("C:\\" + longValue + "\\Data").c_str());
    ::SetEnvironmentVariableA("NORVANE_LONG_FOLDER", nullptr);
}

TEST(SpecialFolders, TempFolderHasNoTrailingBackslashAndOtherKindsAreEmpty) {
    char temp[MAX_PATH + 1] = {};
    ::GetTempPathA(sizeof temp, temp);
    std::string expected(temp);
    while (!expected.empty() && expected.back() == '\\')
        expected.pop_back();
    EXPECT_STREQ(GetSpecialFolder(SPECIAL_FOLDER_TEMP), expected.c_str());
    EXPECT_STREQ(GetSpecialFolder(5), "");
}

TEST(CreateDirectories, MakesEveryMissingLevel) {
    TempDir dir;
    std::string three = dir.file("one\\two\\three");
    EXPECT_TRUE(CreateDirectories(three.c_str()));
    EXPECT_TRUE(IsFolder(dir.file("one")));
    EXPECT_TRUE(IsFolder(dir.file("one\\two")));
    EXPECT_TRUE(IsFolder(three));
    EXPECT_TRUE(CreateDirectories(three.c_str())); // existing: still true

    // Trailing backslashes and blanks are not part of the name.
    std::string trailing = dir.file("four\\five");
    EXPECT_TRUE(CreateDirectories((trailing + "\\ \\ ").c_str()));
    EXPECT_TRUE(IsFolder(trailing));
    // The lookup functions ignore a trailing blank; the listing shows the name.
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA(dir.file("four\\f*").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    ::FindClose(find);
    EXPECT_STREQ(data.cFileName, "five");
}

TEST(CreateDirectories, ThreadsMakingTheSameLevelsAllSucceed) {
    TempDir dir;
    std::string deep = dir.file("a\\b\\c\\d\\e");
    std::atomic<int> succeeded{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] { succeeded += CreateDirectories(deep.c_str()); });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(succeeded, 8);
    EXPECT_TRUE(IsFolder(deep));
}

TEST(CreateDirectories, RefusesWhatCannotBeMade) {
    EXPECT_FALSE(CreateDirectories(""));
    EXPECT_FALSE(CreateDirectories(nullptr));
    EXPECT_FALSE(CreateDirectories("Q:"));
    // A drive that does not exist (Wine maps only C: and Z: here).
    ASSERT_EQ(::GetDriveTypeA("Q:\\"), UINT(DRIVE_NO_ROOT_DIR));
    EXPECT_FALSE(CreateDirectories("Q:\\a\\b\\c"));

    // A file in the way of a level.
    TempDir dir;
    testing_support::WriteFile(dir.file("file"), {1});
    EXPECT_FALSE(CreateDirectories(dir.file("file\\sub").c_str()));
}

TEST(CreateDirectories, OverlongPathIsRefusedOrMadeWholeNeverCut) {
    TempDir dir;
    std::string path = dir.path().string();
    while (path.size() < 1100)
        path += "\\abcdefghijklmnopqrstuvwxyz0123456789";
    bool made = CreateDirectories(path.c_str());
    // Where the system takes long paths it must be made whole; where it
    // does not (Wine's narrow file functions), refused. Either way the
    // answer must tell the truth about the whole path.
    EXPECT_EQ(made, IsFolder(path));
    std::string cut = path.substr(0, 1023);
    while (!cut.empty() && cut.back() != '\\')
        cut.pop_back();
    cut.pop_back();
    if (!made) {
        EXPECT_FALSE(IsFolder(cut));
    }
}

TEST(BackupNames, TwoBackupsOfTheSameSecondGetTwoNames) {
    TempDir dir;
    std::string folder = dir.path().string();
    CString first = GetUniqueTempName(folder.c_str());
    CString second = GetUniqueTempName((folder + "\\").c_str());
    ASSERT_FALSE(first.IsEmpty());
    ASSERT_FALSE(second.IsEmpty());
    EXPECT_NE(first, second);
    // Named "<folder>\<seconds since 1970>.tmp", the number from now on.
    EXPECT_EQ(first.Find((folder + "\\").c_str()), 0);
    EXPECT_EQ(first.Right(4), ".tmp");
    unsigned long number = std::strtoul(first.Mid(int(folder.size()) + 1), nullptr, 10);
    EXPECT_LE(unsigned(number) - unsigned(_time64(nullptr)) + 5u, 10u);
    // The names are claimed, so a third caller cannot take them.
    EXPECT_EQ(_access(first + ".jpg", 0), 0);
    EXPECT_EQ(_access(second + ".jpg", 0), 0);
}

TEST(BackupNames, BackupNeverOverwritesAnEarlierOne) {
    TempDir dir;
    std::string photos = dir.file("photos");
    std::string backups = dir.file("backup\\GEO");
    ASSERT_TRUE(CreateDirectories(photos.c_str()));
    testing_support::WriteFile(photos + "\\a.jpg", {0xFF, 0xD8, 'a'});
    testing_support::WriteFile(photos + "\\b.jpg", {0xFF, 0xD8, 'b'});
    // An earlier backup that sits under the name the clock gives now.
    ASSERT_TRUE(CreateDirectories(backups.c_str()));
    std::string taken = backups + "\\" + std::to_string(unsigned(_time64(nullptr))) + ".tmp.jpg";
    testing_support::WriteFile(taken, {'o', 'l', 'd'});

    EXPECT_TRUE(CopyToBackup((photos + "\\a.jpg").c_str(), backups.c_str()));
    EXPECT_TRUE(CopyToBackup((photos + "\\b.jpg").c_str(), backups.c_str()));
    EXPECT_EQ(testing_support::ReadFile(taken), (testing_support::Bytes{'o', 'l', 'd'}));

    int copies = 0, a = 0, b = 0;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((backups + "\\*.tmp.jpg").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    do {
        ++copies;
        auto bytes = testing_support::ReadFile(backups + "\\" + data.cFileName);
        a += bytes == testing_support::Bytes{0xFF, 0xD8, 'a'};
        b += bytes == testing_support::Bytes{0xFF, 0xD8, 'b'};
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    EXPECT_EQ(copies, 3);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 1);

    EXPECT_FALSE(CopyToBackup((photos + "\\missing.jpg").c_str(), backups.c_str()));

    // Another format's backup keeps its own ending: it opens as what it is.
    testing_support::WriteFile(photos + "\\c.HEIC", {'h'});
    EXPECT_TRUE(CopyToBackup((photos + "\\c.HEIC").c_str(), backups.c_str()));
    find = ::FindFirstFileA((backups + "\\*.tmp.heic").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(testing_support::ReadFile(backups + "\\" + data.cFileName), testing_support::Bytes{'h'});
    ::FindClose(find);
}

TEST(BackupNames, ThreadsBackingUpAtOnceNeverShareAName) {
    TempDir dir;
    std::string folder = dir.path().string();
    std::vector<std::vector<std::string>> names(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 15; ++i)
                names[t].push_back(GetUniqueTempName(folder.c_str()).GetString());
        });
    for (auto& th : threads)
        th.join();
    std::set<std::string> distinct;
    for (const auto& list : names)
        for (const auto& name : list) {
            EXPECT_FALSE(name.empty());
            distinct.insert(name);
        }
    EXPECT_EQ(distinct.size(), 120u);
}

TEST(BackupNames, DefaultFolderIsTheFixedBackupFolder) {
    EXPECT_STREQ(kBackupFolder, "C:\\T\\GEO");
    ASSERT_TRUE(CreateDirectories(kBackupFolder));
    CString name = GetUniqueTempName();
    EXPECT_EQ(name.Find("C:\\T\\GEO\\"), 0);
    ::DeleteFileA(name + ".jpg");
}

} // namespace

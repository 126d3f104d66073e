// The settings record of the engine object: the exact settings file, and
// what survives odd or broken files.

#include "TestFiles.h"

#include "core/CTamselSettings.h"
#include "settings/TextFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace settings_test;
using testing_support::TempDir;

namespace {
std::vector<std::string> Folders(const CTamselSettings& t) {
    std::vector<std::string> out;
    for (POSITION pos = t.m_lstProtectedFolders.GetHeadPosition(); pos;)
        out.push_back(t.m_lstProtectedFolders.GetNext(pos).str());
    return out;
}

const char kLongFolder[] = "C:\\Users\\Public\\Pictures\\Travel\\2009\\Summer holiday in the mountains";

int Save(const std::string& path, CTamselSettings& t) {
    return SaveToTextFile(path.c_str(), CTamselSettings::kProductName, &t);
}
int Load(const std::string& path, CTamselSettings& t) {
    return LoadFromTextFile(path.c_str(), &t);
}
} // namespace

TEST(SettingsRecord, FilesComeOutByteForByte) {
    TempDir dir;
    std::string path = dir.file(CTamselSettings::kSettingsFileName);
    CTamselSettings fresh;
    ASSERT_EQ(Save(path, fresh), 0);
    EXPECT_EQ(ReadBytes(path), OnDisk(FixtureText("settings-empty.cfg")));

    CTamselSettings t;
    t.m_strFolderForScan = "C:\\Photos";
    t.m_lstProtectedFolders.AddTail("D:\\Camera");
    t.m_lstProtectedFolders.AddTail(kLongFolder);
    ASSERT_EQ(Save(path, t), 0);
    EXPECT_EQ(ReadBytes(path), OnDisk(FixtureText("settings-example.cfg")));
}

TEST(SettingsRecord, FixturesReadBackIntoAFreshObject) {
    TempDir dir;
    std::string path = dir.file(CTamselSettings::kSettingsFileName);
    WriteBytes(path, OnDisk(FixtureText("settings-example.cfg")));
    CTamselSettings t;
    ASSERT_EQ(Load(path, t), 0);
    EXPECT_EQ(t.m_strFolderForScan, "C:\\Photos");
    EXPECT_EQ(Folders(t), std::vector<std::string>({"D:\\Camera", kLongFolder}));

    WriteBytes(path, OnDisk(FixtureText("settings-empty.cfg")));
    CTamselSettings empty;
    ASSERT_EQ(Load(path, empty), 0);
    EXPECT_EQ(empty.m_strFolderForScan, "");
    EXPECT_TRUE(empty.m_lstProtectedFolders.IsEmpty());
}

TEST(SettingsRecord, OddFilesStillYieldWhatTheyHold) {
    TempDir dir;
    std::string path = dir.file(CTamselSettings::kSettingsFileName);
    WriteBytes(path, OnDisk("Whatever\n{\n    Unknown \"x\"\n    ScanFilderList\n    {\n"
                            "        Item \"A\"\n        Folder \"B\"\n        Item \"C\"\n    }\n}\n"));
    CTamselSettings t;
    t.m_strFolderForScan = "default";
    ASSERT_EQ(Load(path, t), 0);
    EXPECT_EQ(t.m_strFolderForScan, "default") << "a missing key keeps its default";
    EXPECT_EQ(Folders(t), std::vector<std::string>({"A", "B", "C"}));
}

TEST(SettingsRecord, BrokenFilesLeaveTheDefaults) {
    TempDir dir;
    std::string path = dir.file(CTamselSettings::kSettingsFileName);
    CTamselSettings firstRun;
    EXPECT_EQ(Load(path, firstRun), -1) << "no file yet";
    EXPECT_EQ(firstRun.m_strFolderForScan, "");
    EXPECT_TRUE(firstRun.m_lstProtectedFolders.IsEmpty());
    for (const char* text : {"Norvane\n{\n}\n", "Norvane\n{\n    FolderForScan \"C:\\\\x\"\n    "
                                                "ScanFilderList\n    {\n        Item \"D:\\\\y\"\n"}) {
        WriteBytes(path, OnDisk(text));
        CTamselSettings t;
        EXPECT_EQ(Load(path, t), -1);
        EXPECT_EQ(t.m_strFolderForScan, "");
        EXPECT_TRUE(t.m_lstProtectedFolders.IsEmpty());
    }
}

TEST(SettingsRecord, AnUnreadableFileIsKeptAsideBesideOlderOnesAndTheDefaultsAreUsed) {
    std::string good = FixtureText("settings-example.cfg");
    static const char kGarbage[] = "\x00\xFF\x13{{\"\x81\xFE garbage }}\x00";
    const struct {
        const char* what;
        std::string bytes;
        int olderKept; // unreadable files kept before: ".bad", ".bad2"...
        const char* keptAs;
    } cases[] = {
        {"cut short", OnDisk(good.substr(0, good.size() / 2)), 0, ".bad"},
        {"cut before its block", OnDisk("Norvane\n"), 1, ".bad2"},
        {"garbage", std::string(kGarbage, sizeof kGarbage - 1), 2, ".bad3"},
        {"zero length", std::string(), 0, ".bad"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string path = dir.file(CTamselSettings::kSettingsFileName);
        WriteBytes(path, c.bytes);
        for (int n = 1; n <= c.olderKept; ++n)
            WriteBytes(path + ".bad" + (n > 1 ? std::to_string(n) : ""), "older " + std::to_string(n));

        CTamselSettings t;
        t.LoadSettingsFrom(path.c_str());
        EXPECT_TRUE(t.m_bSettingsUnreadable);
        EXPECT_EQ(t.m_strFolderForScan, "");
        EXPECT_TRUE(t.m_lstProtectedFolders.IsEmpty());
        EXPECT_EQ(t.m_strUnreadableKeptAs, CString(path + c.keptAs));
        EXPECT_EQ(ReadBytes(path + c.keptAs), c.bytes) << "the kept file differs from the unreadable one";
        for (int n = 1; n <= c.olderKept; ++n)
            EXPECT_EQ(ReadBytes(path + ".bad" + (n > 1 ? std::to_string(n) : "")), "older " + std::to_string(n));

        // The save that follows writes the defaults and leaves the kept file.
        t.SaveSettingsTo(path.c_str());
        EXPECT_EQ(ReadBytes(path), OnDisk(FixtureText("settings-empty.cfg")));
        EXPECT_EQ(ReadBytes(path + c.keptAs), c.bytes);
    }
    // A first run (no file) and a readable file say nothing.
    TempDir dir;
    std::string path = dir.file(CTamselSettings::kSettingsFileName);
    CTamselSettings none;
    none.LoadSettingsFrom(path.c_str());
    WriteBytes(path, OnDisk(good));
    CTamselSettings readable;
    readable.LoadSettingsFrom(path.c_str());
    EXPECT_FALSE(none.m_bSettingsUnreadable || readable.m_bSettingsUnreadable);
    EXPECT_FALSE(std::filesystem::exists(path + ".bad"));
}

TEST(SettingsRecord, FoldersThatAreNotThereStayInTheListAndTheFile) {
    // A camera card or a share not connected at log-on is protected again
    // when it comes: the list keeps it through a load and a save.
    TempDir dir;
    std::string path = dir.file(CTamselSettings::kSettingsFileName);
    std::string kept = dir.file("kept"), away = dir.file("away");
    std::filesystem::create_directory(kept);
    CTamselSettings first;
    first.m_strFolderForScan = CString(away);
    first.m_lstProtectedFolders.AddTail(CString(away));
    first.m_lstProtectedFolders.AddTail(CString(kept));
    first.SaveSettingsTo(path.c_str());
    std::string before = ReadBytes(path);

    CTamselSettings second;
    second.LoadSettingsFrom(path.c_str());
    EXPECT_EQ(Folders(second), std::vector<std::string>({away, kept}));
    EXPECT_EQ(second.m_strFolderForScan, away);
    second.SaveSettingsTo(path.c_str());
    EXPECT_EQ(ReadBytes(path), before);
}

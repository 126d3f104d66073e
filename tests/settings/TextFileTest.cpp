// Whole files: load and save results, objects left alone by bad files, and
// a save that fails part-way, which must leave the old file as it was.

#include "TestFiles.h"

#include "engine/FileOs.h"
#include "engine/FileOsFaults.h"
#include "settings/TextFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace settings_test;
using testing_support::TempDir;

namespace {

struct Prefs {
    CString m_strLast;
    CList<CString> m_lstPaths;
    struct Layout : ClassLayout<Prefs> {
        Layout() : ClassLayout<Prefs>("Prefs") {
            AddValueField("Last", &Prefs::m_strLast);
            AddContainerField("Paths", &Prefs::m_lstPaths);
        }
    };
};

size_t FilesIn(const TempDir& dir) {
    return size_t(std::distance(std::filesystem::directory_iterator(dir.path()),
                                std::filesystem::directory_iterator()));
}

struct WriteFaultGuard {
    ~WriteFaultGuard() { fileos::WriteFaultForTests(-1); }
};

} // namespace

TEST(TextFile, SaveAndLoadRoundTrip) {
    TempDir dir;
    std::string path = dir.file("prefs.cfg");
    Prefs p;
    p.m_strLast = "C:\\last";
    p.m_lstPaths.AddTail(CString(std::string(150, 'p')));
    p.m_lstPaths.AddTail("q");
    ASSERT_EQ(SaveToTextFile(path.c_str(), "My prefs.v1", &p), 0);
    std::string text = ReadBytes(path);
    EXPECT_EQ(text.rfind(OnDisk("My_prefs_v1\n{\n"), 0), 0u) << text;
    EXPECT_EQ(FilesIn(dir), 1u);

    Prefs back;
    int codePage = 12345;
    ASSERT_EQ(LoadFromTextFile(path.c_str(), &back, nullptr, &codePage), 0);
    EXPECT_EQ(codePage, -1);
    EXPECT_EQ(back.m_strLast, "C:\\last");
    ASSERT_EQ(back.m_lstPaths.GetCount(), 2);
    EXPECT_EQ(back.m_lstPaths.GetHead().GetLength(), 150);
}

TEST(TextFile, BadFilesFailAndLeaveTheObjectAlone) {
    TempDir dir;
    Prefs p;
    p.m_strLast = "kept";
    EXPECT_EQ(LoadFromTextFile(dir.file("missing.cfg").c_str(), &p), -1);
    const char* bad[] = {
        "Prefs\n{\n}\n",                                  // empty tree
        "",                                               // nothing at all
        "Prefs\n{\n    Last \"new\"\n    Paths\n    {\n", // cut short
        "Prefs\n{\n    Last \"new\"\n    @\n}\n",         // unknown character
    };
    for (const char* text : bad) {
        std::string path = dir.file("bad.cfg");
        WriteBytes(path, OnDisk(text));
        EXPECT_EQ(LoadFromTextFile(path.c_str(), &p), -1) << text;
        EXPECT_EQ(p.m_strLast, "kept") << text;
        EXPECT_TRUE(p.m_lstPaths.IsEmpty()) << text;
    }
    EXPECT_EQ(LoadFromTextFile(dir.path().string().c_str(), &p), -1) << "a folder is no settings file";
}

TEST(TextFile, SaveFailsCleanlyWhereNoFileCanBeMade) {
    TempDir dir;
    Prefs p;
    std::string inMissingFolder = (dir.path() / "no such folder" / "prefs.cfg").string();
    EXPECT_EQ(SaveToTextFile(inMissingFolder.c_str(), "Prefs", &p), -1);
    EXPECT_EQ(SaveToTextFile(dir.path().string().c_str(), "Prefs", &p), -1) << "a folder is in the way";
    EXPECT_EQ(FilesIn(dir), 0u);
}

TEST(TextFile, SaveFailingPartWayKeepsTheOldFileWhole) {
    TempDir dir;
    std::string path = dir.file("prefs.cfg");
    Prefs old;
    old.m_strLast = "old";
    old.m_lstPaths.AddTail("C:\\Protected\\One");
    ASSERT_EQ(SaveToTextFile(path.c_str(), "Prefs", &old), 0);
    std::string oldBytes = ReadBytes(path);

    Prefs fresh;
    fresh.m_strLast = "new";
    for (int i = 0; i < 40; ++i)
        fresh.m_lstPaths.AddTail(CString("D:\\Folder number ") + CString(std::to_string(i)));
    WriteFaultGuard guard;
    for (int64_t budget : {0, 1, 10, 100, 1000}) {
        fileos::WriteFaultForTests(budget);
        EXPECT_EQ(SaveToTextFile(path.c_str(), "Prefs", &fresh), -1) << budget;
        EXPECT_EQ(ReadBytes(path), oldBytes) << budget;
        EXPECT_EQ(FilesIn(dir), 1u) << "no stray file after budget " << budget;
    }
    fileos::WriteFaultForTests(-1);
    ASSERT_EQ(SaveToTextFile(path.c_str(), "Prefs", &fresh), 0);
    Prefs back;
    ASSERT_EQ(LoadFromTextFile(path.c_str(), &back), 0);
    EXPECT_EQ(back.m_lstPaths.GetCount(), 40);
}

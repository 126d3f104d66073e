// The engine's settings file in the real data folder of the Wine prefix; a
// file that was there before is put back afterwards.

#include "TestFiles.h"

#include "core/CTamselSettings.h"
#include "core/Paths.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace settings_test;

TEST(EngineSettingsFile, SaveAndLoadGoThroughTheDataFolder) {
    std::string path = std::string(GetDataFolder()) + "\\norvane.cfg";
    bool existed = std::filesystem::exists(path);
    std::string previous = ReadBytes(path);
    struct Restore {
        std::string path, bytes;
        bool existed;
        ~Restore() {
            if (existed)
                WriteBytes(path, bytes);
            else
                std::filesystem::remove(path);
        }
    } restore{path, previous, existed};

    testing_support::TempDir dir;
    CTamselSettings engine;
    engine.m_strFolderForScan = CString(dir.file("scan"));
    engine.m_lstProtectedFolders.AddTail(CString(dir.path().string()));
    engine.m_lstProtectedFolders.AddTail(CString(dir.file("missing")));
    engine.SaveSettings();
    EXPECT_NE(ReadBytes(path).find(OnDisk("Norvane\n{\n    FolderForScan \"")), std::string::npos);

    CTamselSettings loaded;
    loaded.LoadSettings();
    EXPECT_EQ(loaded.m_strFolderForScan, CString(dir.file("scan")));
    // A folder that is not there is kept: it may be a card not yet in.
    ASSERT_EQ(loaded.m_lstProtectedFolders.GetCount(), 2);
    EXPECT_EQ(loaded.m_lstProtectedFolders.GetHead(), CString(dir.path().string()));
    EXPECT_EQ(loaded.m_lstProtectedFolders.GetTail(), CString(dir.file("missing")));
}

// The core object over a real data folder and the registry of the test's
// prefix: what its construction brings up, the protected-folder list, the
// settings file, and the private heaps of the monitor's classes.
#include "core/Autostart.h"
#include "core/CWatch.h"
#include "core/CoreTestHooks.h"
#include "core/PhotoSecuring.h"

#include "support/CoreFixture.h"

#include <io.h>

using namespace core_test;

namespace {

std::string RunValue() {
    char data[2048] = {};
    DWORD size = sizeof data, type = 0;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(no key)";
    LONG rc = ::RegQueryValueExA(key, "Norvane", nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    ::RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ || size == 0 || data[size - 1] != 0)
        return "(no value)";
    return data;
}

std::string ProgramPath() {
    char path[1024] = {};
    ::GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

} // namespace

TEST_F(CoreTest, ConstructionRegistersAutostartAndWaitsForFoldersThatAreNotThere) {
    std::string kept = Folder("kept"), gone = Folder("gone");
    {
        CTamselSettings settings;
        settings.m_strFolderForScan = CString(gone.c_str());
        settings.m_lstProtectedFolders.AddTail(CString(kept.c_str()));
        settings.m_lstProtectedFolders.AddTail(CString(gone.c_str()));
        settings.SaveSettings();
    }
    ::RemoveDirectoryA(gone.c_str());
    HKEY key = nullptr;
    ::RegCreateKeyA(HKEY_CURRENT_USER, kRunKey, &key);
    // As an earlier version wrote it: unquoted, so Windows would try
    // "C:\Tools\My.exe" first.
    const char old[] = "C:\\Tools\\My Apps\\norvane.exe -hide";
    ::RegSetValueExA(key, "Norvane", 0, REG_SZ, reinterpret_cast<const BYTE*>(old), sizeof old);
    ::RegCloseKey(key);

    CreateCore();
    EXPECT_EQ(RunValue(), "\"" + ProgramPath() + "\" -hide");
    EXPECT_EQ(g_pTamsel->GetRunKey(), CString(kRunKey));
    // The folder that is not there stays listed, with a thread that waits
    // for it; only the user takes a folder off the list.
    ASSERT_EQ(g_pTamsel->GetProtectedFolderCount(), 2);
    EXPECT_EQ(g_pTamsel->GetFolderForScan(), CString(gone.c_str()));
    EXPECT_EQ(g_pTamsel->GetMonitor()->GetThreadCount(), 2);
    EXPECT_TRUE(WaitFor([&] { return g_pTamsel->IsFolderWaiting(gone.c_str()); }));
    EXPECT_FALSE(g_pTamsel->IsFolderWaiting(kept.c_str()));
    EXPECT_EQ(g_pTamsel->GetWaitingFolderCount(), 1);
    std::string file = SettingsText();
    EXPECT_EQ(CountOf(file, "gone"), 2u) << "the folder to scan and the protected folder:\n" << file;
    EXPECT_TRUE(WaitFor([&] {
        return CountOf(WithoutTimes(Log()),
                       "Monitor is waiting [T]:\n\t" + gone + "\\ (the folder is not there)\n") == 1;
    })) << WithoutTimes(Log());
    DestroyCore();
    file = SettingsText();
    EXPECT_EQ(CountOf(file, "gone"), 2u) << file;
}

TEST_F(CoreTest, ProtectedFoldersAreKeptOnceWhateverTheirCase) {
    std::string photos = Folder("Photos");
    CreateCore();
    std::string lower = photos;
    for (char& c : lower)
        c = char(::tolower(static_cast<unsigned char>(c)));
    g_pTamsel->AddProtectedFolder(photos.c_str());
    g_pTamsel->AddProtectedFolder(lower.c_str());
    EXPECT_EQ(g_pTamsel->GetProtectedFolderCount(), 1);
    EXPECT_EQ(g_pTamsel->GetMonitor()->GetThreadCount(), 1);
    EXPECT_TRUE(g_pTamsel->IsProtectedFolder(lower.c_str()));
    EXPECT_FALSE(g_pTamsel->IsProtectedFolder(nullptr));

    // Two spellings that came in through the settings file share one thread,
    // and one removal takes both.
    DestroyCore();
    {
        CTamselSettings settings;
        settings.m_lstProtectedFolders.AddTail(CString(photos.c_str()));
        settings.m_lstProtectedFolders.AddTail(CString(lower.c_str()));
        settings.SaveSettings();
    }
    CreateCore();
    g_pTamsel->AddProtectedFolder(nullptr); // nothing at all
    g_pTamsel->AddProtectedFolder(m_dir.file("missing").c_str());
    EXPECT_EQ(g_pTamsel->GetProtectedFolderCount(), 2);
    EXPECT_EQ(g_pTamsel->GetMonitor()->GetThreadCount(), 1);
    g_pTamsel->RemoveProtectedFolder(photos.c_str());
    EXPECT_EQ(g_pTamsel->GetProtectedFolderCount(), 0);
    EXPECT_EQ(g_pTamsel->GetMonitor()->GetThreadCount(), 0);

    std::string log = WithoutTimes(Log());
    // Once for each core.
    EXPECT_EQ(CountOf(log, "Monitor started at [T]:\n\t"), 2u) << log;
    EXPECT_EQ(CountOf(log, "Monitor is stopped [T]:\n\t"), 2u) << log;
}

TEST_F(CoreTest, SettingsSurviveTheCore) {
    std::string scan = Folder("scan"), guarded = Folder("guarded");
    CreateCore();
    g_pTamsel->SetFolderForScan(scan.c_str());
    EXPECT_EQ(g_pTamsel->GetFolderForScan(), CString(scan.c_str()));
    g_pTamsel->SetFolderForScan(m_dir.file("nowhere").c_str());
    EXPECT_TRUE(g_pTamsel->GetFolderForScan().IsEmpty());
    g_pTamsel->SetFolderForScan(scan.c_str());
    g_pTamsel->AddProtectedFolder(guarded.c_str());
    DestroyCore();

    CTamselSettings read;
    read.LoadSettings();
    EXPECT_EQ(read.m_strFolderForScan, CString(scan.c_str()));
    ASSERT_EQ(read.m_lstProtectedFolders.GetCount(), 1);
    EXPECT_EQ(read.m_lstProtectedFolders.GetHead(), CString(guarded.c_str()));
}

TEST_F(CoreTest, MonitorHeapsComeAndGoWithTheirObjects) {
    std::string a = Folder("a"), b = Folder("b");
    CreateCore();
    using CThread = CWatch::CThread;
    EXPECT_NE(CTamsel::s_heap.GetHeap(), nullptr);
    EXPECT_NE(CWatch::s_heap.GetHeap(), nullptr);
    EXPECT_EQ(CThread::s_heap.GetHeap(), nullptr);

    g_pTamsel->AddProtectedFolder(a.c_str());
    g_pTamsel->AddProtectedFolder(b.c_str());
    EXPECT_EQ(CThread::s_heap.GetObjectCount(), 2);
    g_pTamsel->RemoveProtectedFolder(a.c_str());
    EXPECT_EQ(CThread::s_heap.GetObjectCount(), 1);
    g_pTamsel->RemoveProtectedFolder(b.c_str());
    EXPECT_EQ(CThread::s_heap.GetHeap(), nullptr) << "the last thread object's heap must go with it";
    g_pTamsel->AddProtectedFolder(a.c_str());
    EXPECT_NE(CThread::s_heap.GetHeap(), nullptr);

    DestroyCore();
    EXPECT_EQ(CThread::s_heap.GetHeap(), nullptr);
    EXPECT_EQ(CWatch::s_heap.GetHeap(), nullptr);
    EXPECT_EQ(CTamsel::s_heap.GetHeap(), nullptr);
}

TEST(PhotoClaim, SpellingsOfOnePhotoShareOneClaim) {
    // A second worker that reaches the photo under another spelling waits
    // until the first lets it go.
    std::atomic<bool> second{false};
    std::thread other;
    {
        CPhotoClaim first("C:\\Photos\\Trip\\IMG_1.JPG");
        other = std::thread([&] {
            CPhotoClaim again("c:/photos/./Summer/..\\trip\\\\img_1.jpg");
            second = true;
        });
        EXPECT_FALSE(WaitFor([&] { return second.load(); }, 300)) << "claimed twice at once";
        // Another photo is never held up by it.
        CPhotoClaim unrelated("C:\\Photos\\Trip\\IMG_2.JPG");
        EXPECT_EQ(CountPhotoClaimsForTests(), 2u);
    }
    EXPECT_TRUE(WaitFor([&] { return second.load(); }, 10000));
    other.join();
    EXPECT_EQ(CountPhotoClaimsForTests(), 0u);
}

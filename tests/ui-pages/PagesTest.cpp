// The folder, scanning and protected-folders pages in a wizard sheet over a
// real engine, driven with the messages a user's typing and clicks send.
// Each page in use is saved as a screenshot in the build tree.

#include "PagesSheet.h"

#include "core/CoreTestHooks.h"
#include "core/EventIds.h"
#include "engine/CheckGpsTags.h"
#include "engine/KnownPhotos.h"
#include "support/Screenshot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace core_test;
using namespace pages_test;

// Holds the scan's worker in its first announcement of a secured photo
// until released, or for 2 s at most: a scan that is still ending.
class HoldWorkerAtSecuredPhoto : public event_client {
public:
    HoldWorkerAtSecuredPhoto() : m_release(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~HoldWorkerAtSecuredPhoto() override {
        Unregister();
        ::CloseHandle(m_release);
    }
    void OnEvent(UINT nId, int, int, int) override {
        if (nId != ID_SET_INWORK_MODE || m_bHeld.exchange(true))
            return;
        ::WaitForSingleObject(m_release, 2000);
    }
    void Release() { ::SetEvent(m_release); }
    std::atomic<bool> m_bHeld{false};

private:
    HANDLE m_release;
};

class PagesTest : public PagesSheetTest {
protected:
    PagesTest() : PagesSheetTest("Norvane Pages Test") {}

    void Click(CPropertyPage& page, int id) {
        ::SendMessageA(::GetDlgItem(page.m_hWnd, id), BM_CLICK, 0, 0);
        Pump();
    }
    // The scanning page's end of a scan: Next turns from "Stop" to "Next >".
    bool WaitForScanEnd() {
        return PumpUntil(Sheet(),
                         [&] { return !g_pTamsel->IsScanning() && ButtonText(ID_WIZNEXT) == "Next >"; });
    }
    std::string CountersOfEngine() const {
        const ScanCounters c = Counters();
        return std::to_string(c.nFilesFound) + "\n" + std::to_string(c.nJpegFiles) + "\n" +
               std::to_string(c.nSecureFiles) + "\n" + std::to_string(c.nSecuredFiles) + "\n" +
               std::to_string(c.nNotSecuredFiles) + "\n" + std::to_string(c.nLocationLeftFiles);
    }
    std::vector<std::string> ListItems() const {
        HWND list = ::GetDlgItem(m_protect.m_hWnd, IDC_PROTECTED_LIST);
        std::vector<std::string> items;
        int n = int(::SendMessageA(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            char buf[1024] = "";
            ::SendMessageA(list, LB_GETTEXT, i, LPARAM(buf));
            items.push_back(buf);
        }
        return items;
    }
    // Saves the sheet as the screen shows it, for a person to look at.
    void Screenshot(const std::string& name) {
        EXPECT_NE(testing_support::SaveWindowScreenshot(Sheet(), "pages-" + name), "")
            << "no screenshot of " << name;
    }
};

TEST_F(PagesTest, FolderPageStartsOnlyForAPathThatExists) {
    CreateSheet();
    // Nothing stored yet.
    EXPECT_EQ(m_sheet->GetActiveIndex(), 0);
    EXPECT_EQ(ItemText(m_folder, IDC_FOLDER), "");
    EXPECT_FALSE(Enabled(ID_WIZBACK));
    EXPECT_FALSE(Enabled(ID_WIZNEXT));
    EXPECT_EQ(ButtonText(ID_WIZNEXT), "Start");

    std::string file = Folder("files") + "\\photo.jpg";
    WriteFile(file, GeotaggedPhoto());
    std::string unicode = Folder("\xD1\x84\xD0\xBE\xD1\x82\xD0\xBE \xE5\x8C\x97\xE4\xBA\xAC"); // "фото 北京"
    // An existing folder under a tail of "\\." steps that runs past MAX_PATH
    // before the name that is missing: a reader that cut the text at
    // MAX_PATH would see the folder.
    std::string dots = unicode;
    while (dots.size() < 300)
        dots += "\\.";
    dots += "\\missing";
    struct Case {
        std::string path;
        bool exists;
    };
    const std::vector<Case> cases = {
        {"", false},        {"C:\\no\\such\\folder", false},
        {file, true},       {"C:\\" + std::string(300, 'a'), false},
        {dots, false},      {unicode + "\\" + std::string(400, 'x') + "\\more", false},
        {unicode, true},    {"C:\\", true},
        {"C:\\*", false},   {"   ", false},
        {"\\\\?\\", false},
    };
    for (const Case& c : cases) {
        // Activation starts over: Next enabled by an earlier path is disabled.
        ASSERT_TRUE(m_sheet->SetActivePage(2));
        ASSERT_TRUE(m_sheet->SetActivePage(0));
        ASSERT_FALSE(Enabled(ID_WIZNEXT)) << c.path;
        Type(c.path);
        Pump();
        EXPECT_EQ(Enabled(ID_WIZNEXT), c.exists) << c.path;
        EXPECT_EQ(ItemText(m_folder, IDC_FOLDER).size(), c.path.size());
    }

    // Once enabled, Next stays so when the text no longer exists; pressing
    // it then keeps the stored folder.
    g_pTamsel->SetFolderForScan(unicode.c_str());
    Type("C:\\");
    Type("C:\\no\\such\\folder");
    EXPECT_TRUE(Enabled(ID_WIZNEXT));

    // A stored folder that has gone since: shown, but Next stays disabled.
    std::string gone = Folder("gone");
    g_pTamsel->SetFolderForScan(gone.c_str());
    ::RemoveDirectoryA(gone.c_str());
    ASSERT_TRUE(m_sheet->SetActivePage(2));
    ASSERT_TRUE(m_sheet->SetActivePage(0));
    EXPECT_EQ(ItemText(m_folder, IDC_FOLDER), gone);
    EXPECT_FALSE(Enabled(ID_WIZNEXT));

    // A file passes as a path that exists; its scan ends like any other.
    Type(file);
    Press(PSBTN_NEXT);
    ASSERT_EQ(m_sheet->GetActiveIndex(), 1);
    EXPECT_EQ(std::string(g_pTamsel->GetFolderForScan()), file);
    EXPECT_TRUE(WaitForScanEnd());
    Press(PSBTN_BACK);
    ASSERT_EQ(m_sheet->GetActiveIndex(), 0);

    // A name in another script is stored as typed.
    Type(unicode);
    Screenshot("folder");
    Press(PSBTN_NEXT);
    EXPECT_EQ(m_sheet->GetActiveIndex(), 1);
    EXPECT_EQ(std::string(g_pTamsel->GetFolderForScan()), unicode);
    EXPECT_TRUE(WaitForScanEnd());
}

// A photo the record knows is not read again, unless the folder page's
// choice asks for every photo.
TEST_F(PagesTest, TheFullScanChoiceReadsKnownPhotosAgain) {
    std::string folder = Folder("known");
    WriteFile(folder + "\\a.jpg", SecurePhoto());
    // Older than the record's clock rule lets it remember.
    const int64_t settled =
        fileos::TimeNow() + KnownPhotos::kSettleSeconds * fileos::kTimeUnitsPerSecond * 11 / 10;
    ASSERT_TRUE(WaitFor([&] { return fileos::TimeNow() >= settled; }, 10000));
    std::atomic<int> opens{0};
    WatchPhotoOpensForTests([&](const char*) { ++opens; });
    CreateSheet();
    Type(folder);
    // Read and remembered; known, so not read; read again as asked.
    const struct {
        bool full;
        int opens;
    } scans[] = {{false, 1}, {false, 0}, {true, 1}};
    for (const auto& scan : scans) {
        if (scan.full)
            Click(m_folder, IDC_FULL_SCAN);
        opens = 0;
        Press(PSBTN_NEXT);
        ASSERT_TRUE(WaitForScanEnd());
        EXPECT_EQ(opens.load(), scan.opens) << "full: " << scan.full;
        EXPECT_EQ(Counters().nSecureFiles, 1);
        Press(PSBTN_BACK);
    }
    WatchPhotoOpensForTests(nullptr);
}

TEST_F(PagesTest, StartScansTheFolderAndShowsTheCounters) {
    std::string folder = PhotoFolder("photos", 3);
    WriteFile(folder + "\\plain.jpg", PhotoWithoutGps());
    WriteFile(folder + "\\notes.txt", Bytes{'h', 'i'});
    CreateSheet();
    Type(folder);
    EXPECT_TRUE(Enabled(ID_WIZNEXT));
    Press(PSBTN_NEXT);
    ASSERT_EQ(m_sheet->GetActiveIndex(), 1);
    EXPECT_EQ(std::string(g_pTamsel->GetFolderForScan()), folder);
    EXPECT_EQ(g_pTamsel->GetFinishWindow(), m_scan.m_hWnd);

    ASSERT_TRUE(WaitForScanEnd());
    EXPECT_TRUE(Enabled(ID_WIZBACK));
    EXPECT_TRUE(Enabled(ID_WIZNEXT));
    EXPECT_EQ(Counters().nSecuredFiles, 3);
    EXPECT_EQ(Counters().nJpegFiles, 4);
    // The last progress of the scan reaches the page.
    EXPECT_TRUE(PumpUntil(
        Sheet(), [&] { return ItemText(m_scan, IDC_COUNTERS) == CountersOfEngine(); }, 10000))
        << ItemText(m_scan, IDC_COUNTERS);
    EXPECT_GT(m_sheet->m_nProgress, 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(CheckGpsTags((folder + "\\p" + std::to_string(i) + ".jpg").c_str()), 8);
    Screenshot("scanned");

    // On to the log, and back: a new scan, the counters cleared first.
    Press(PSBTN_NEXT);
    EXPECT_EQ(m_sheet->GetActiveIndex(), 2);
    m_sheet->m_nProgress = 0;
    Press(PSBTN_BACK);
    EXPECT_EQ(m_sheet->GetActiveIndex(), 1);
    ASSERT_TRUE(WaitForScanEnd());
    EXPECT_EQ(Counters().nSecuredFiles, 0);
    EXPECT_EQ(Counters().nSecureFiles, 3);
    EXPECT_TRUE(PumpUntil(
        Sheet(), [&] { return ItemText(m_scan, IDC_COUNTERS) == CountersOfEngine(); }, 10000));

    // Back to the folder page, which starts over.
    Press(PSBTN_BACK);
    EXPECT_EQ(m_sheet->GetActiveIndex(), 0);
    EXPECT_EQ(ButtonText(ID_WIZNEXT), "Start");
    EXPECT_FALSE(Enabled(ID_WIZBACK));
    EXPECT_TRUE(Enabled(ID_WIZNEXT));
}

TEST_F(PagesTest, StopEndsAScanPartWayAndTheNextScanFinishesIt) {
    const int count = 300;
    std::string folder = PhotoFolder("many", count, 200000);
    CreateSheet();
    Type(folder);
    Press(PSBTN_NEXT);
    ASSERT_EQ(m_sheet->GetActiveIndex(), 1);
    EXPECT_EQ(ButtonText(ID_WIZNEXT), "Stop");
    EXPECT_FALSE(Enabled(ID_WIZBACK));
    ASSERT_TRUE(PumpUntil(Sheet(), [&] { return g_pTamsel->IsScanning(); }));

    // Stop, twice if the scan is still on: the page stays.
    Press(PSBTN_NEXT);
    EXPECT_EQ(m_sheet->GetActiveIndex(), 1);
    EXPECT_EQ(ButtonText(ID_WIZNEXT), "Next >");
    EXPECT_TRUE(Enabled(ID_WIZBACK));
    EXPECT_TRUE(Enabled(ID_WIZNEXT));
    Screenshot("stopping");
    if (g_pTamsel->IsScanning()) {
        Press(PSBTN_NEXT);
        EXPECT_EQ(m_sheet->GetActiveIndex(), 1);
    }
    ASSERT_TRUE(WaitForScanEnd());
    ASSERT_TRUE(PumpUntil(Sheet(), [&] { return !g_pTamsel->IsWorking(); }));
    EXPECT_LT(Counters().nJpegFiles, count);

    // Start, Stop, Back and Start again in quick succession, while the
    // stopped scan's worker is still ending (held in its announcement of a
    // secured photo until the new Start was pressed, or 2 s): the new scan
    // runs, the whole folder this time.
    Press(PSBTN_BACK);
    ASSERT_EQ(m_sheet->GetActiveIndex(), 0);
    HoldWorkerAtSecuredPhoto hold;
    Press(PSBTN_NEXT);
    ASSERT_TRUE(PumpUntil(Sheet(), [&] { return hold.m_bHeld.load(); }));
    Press(PSBTN_NEXT); // Stop
    Press(PSBTN_BACK);
    ASSERT_EQ(m_sheet->GetActiveIndex(), 0);
    Press(PSBTN_NEXT);
    ASSERT_EQ(m_sheet->GetActiveIndex(), 1);
    hold.Release();
    EXPECT_EQ(ButtonText(ID_WIZNEXT), "Stop");
    ASSERT_TRUE(PumpUntil(
        Sheet(), [&] { return !g_pTamsel->IsWorking(); }, 120000));
    ASSERT_TRUE(WaitForScanEnd());
    EXPECT_EQ(Counters().nJpegFiles, count);
    EXPECT_EQ(Counters().nSecureFiles + Counters().nSecuredFiles, count);
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(CheckGpsTags((folder + "\\p" + std::to_string(i) + ".jpg").c_str()), 8) << i;
}

TEST_F(PagesTest, ProtectedFoldersPageAddsAndRemovesTheStoredFolder) {
    std::string folder = Folder("camera");
    std::string other = Folder("Another");
    g_pTamsel->AddProtectedFolder(other.c_str());
    g_pTamsel->SetFolderForScan(folder.c_str());
    CreateSheet();
    ASSERT_TRUE(m_sheet->SetActivePage(3));
    Pump();
    EXPECT_TRUE(Enabled(ID_WIZBACK));
    EXPECT_FALSE(Enabled(ID_WIZNEXT));
    EXPECT_EQ(ButtonText(ID_WIZNEXT), "Next >");
    EXPECT_EQ(ButtonText(ID_WIZCANCEL), "Close");
    EXPECT_EQ(ItemText(m_protect, IDC_FOLDER_FOR_SCAN), folder);
    EXPECT_EQ(ListItems(), std::vector<std::string>{other});
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(m_protect.m_hWnd, IDC_PROTECT_FOLDER)));

    Click(m_protect, IDC_PROTECT_FOLDER);
    EXPECT_TRUE(g_pTamsel->IsProtectedFolder(folder.c_str()));
    // Sorted without regard to case; the folder added last is selected.
    EXPECT_EQ(ListItems(), (std::vector<std::string>{other, folder}));
    EXPECT_EQ(::SendMessageA(::GetDlgItem(m_protect.m_hWnd, IDC_PROTECTED_LIST), LB_GETCURSEL, 0, 0), 1);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(m_protect.m_hWnd, IDC_PROTECT_FOLDER)));
    // The monitor watches it: a photo copied in is secured.
    std::string photo = folder + "\\new.jpg";
    WriteFile(photo, GeotaggedPhoto(7));
    EXPECT_TRUE(PumpUntil(Sheet(), [&] { return CheckGpsTags(photo.c_str()) == 8; }));
    Screenshot("protected");

    // A second click changes nothing.
    Click(m_protect, IDC_PROTECT_FOLDER);
    EXPECT_EQ(g_pTamsel->GetProtectedFolderCount(), 2);

    Click(m_protect, IDC_STOP_PROTECTING);
    EXPECT_FALSE(g_pTamsel->IsProtectedFolder(folder.c_str()));
    EXPECT_EQ(ListItems(), std::vector<std::string>{other});
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(m_protect.m_hWnd, IDC_PROTECT_FOLDER)));
    // No longer watched.
    std::string later = folder + "\\later.jpg";
    WriteFile(later, GeotaggedPhoto(8));
    PumpUntil(
        Sheet(), [] { return false; }, 1500);
    EXPECT_EQ(CheckGpsTags(later.c_str()), 0);

    // Back goes to the folder page; Cancel keeps its new caption.
    Press(PSBTN_BACK);
    EXPECT_EQ(m_sheet->GetActiveIndex(), 0);
    EXPECT_EQ(ButtonText(ID_WIZCANCEL), "Close");
    EXPECT_EQ(ButtonText(ID_WIZNEXT), "Start");
}

TEST_F(PagesTest, ProtectedFoldersPageShowsTheFoldersThatAreWaitedFor) {
    std::string card = Folder("Camera card");
    std::string other = Folder("Another");
    std::string pulled = card + " pulled";
    g_pTamsel->AddProtectedFolder(other.c_str());
    g_pTamsel->AddProtectedFolder(card.c_str());
    CreateSheet();
    ASSERT_TRUE(m_sheet->SetActivePage(3));
    Pump();
    HWND list = ::GetDlgItem(m_protect.m_hWnd, IDC_PROTECTED_LIST);
    const std::string waiting = card + kWaitingSuffix;
    for (int round = 0; round < 2; ++round) {
        // The card is pulled, and comes back. The user's selection stays
        // where it was while the list follows the monitor, as the main
        // window's timer has it do.
        ASSERT_TRUE(::MoveFileA(card.c_str(), pulled.c_str())) << ::GetLastError();
        ASSERT_TRUE(PumpUntil(Sheet(), [&] { return g_pTamsel->IsFolderWaiting(card.c_str()); }));
        ::SendMessageA(list, LB_SETCURSEL, 0, 0);
        m_protect.OnWatchStateChanged();
        EXPECT_EQ(ListItems(), (std::vector<std::string>{other, waiting}));
        EXPECT_EQ(::SendMessageA(list, LB_GETCURSEL, 0, 0), 0);
        if (round == 0)
            Screenshot("protected-waiting");
        ASSERT_TRUE(::MoveFileA(pulled.c_str(), card.c_str())) << ::GetLastError();
        ASSERT_TRUE(PumpUntil(Sheet(), [&] { return !g_pTamsel->IsFolderWaiting(card.c_str()); }));
        m_protect.OnWatchStateChanged();
        EXPECT_EQ(ListItems(), (std::vector<std::string>{other, card}));
    }

    // A folder taken off the list while it is waited for: the folder, not
    // the text the list shows for it.
    ASSERT_TRUE(::MoveFileA(card.c_str(), pulled.c_str()));
    ASSERT_TRUE(PumpUntil(Sheet(), [&] { return g_pTamsel->IsFolderWaiting(card.c_str()); }));
    m_protect.OnWatchStateChanged();
    ::SendMessageA(list, LB_SETCURSEL, 1, 0);
    Click(m_protect, IDC_STOP_PROTECTING);
    EXPECT_FALSE(g_pTamsel->IsProtectedFolder(card.c_str()));
    EXPECT_EQ(ListItems(), std::vector<std::string>{other});
}

TEST_F(PagesTest, CancelHidesTheSheetWhileFoldersAreProtectedAndEndsItOtherwise) {
    std::string folder = Folder("watched");
    g_pTamsel->AddProtectedFolder(folder.c_str());
    CreateSheet();
    ASSERT_TRUE(m_sheet->SetActivePage(3));
    Press(PSBTN_CANCEL);
    EXPECT_TRUE(::IsWindow(Sheet()));
    EXPECT_FALSE(::IsWindowVisible(Sheet()));
    EXPECT_NE(PropSheet_GetCurrentPageHwnd(Sheet()), nullptr);

    ::ShowWindow(Sheet(), SW_SHOW);
    Click(m_protect, IDC_STOP_PROTECTING);
    EXPECT_EQ(g_pTamsel->GetProtectedFolderCount(), 0);
    Press(PSBTN_CANCEL);
    EXPECT_TRUE(PumpUntil(
        Sheet(), [&] { return PropSheet_GetCurrentPageHwnd(Sheet()) == nullptr; }, 5000));
}

TEST_F(PagesTest, CancelDuringAScanStopsItBeforeTheEngineGoes) {
    const int count = 200;
    std::string folder = PhotoFolder("big", count, 200000);
    std::vector<Bytes> before, secured;
    for (int i = 0; i < count; ++i) {
        before.push_back(ReadFile(folder + "\\p" + std::to_string(i) + ".jpg"));
        secured.push_back(SecuredBytes(before.back(), m_dir.file("scratch.jpg")));
    }
    CreateSheet();
    Type(folder);
    Press(PSBTN_NEXT);
    ASSERT_EQ(m_sheet->GetActiveIndex(), 1);
    ASSERT_TRUE(PumpUntil(Sheet(), [&] { return g_pTamsel->IsScanning(); }));

    Press(PSBTN_CANCEL);
    // The scan has ended with the cancel, before the sheet goes.
    EXPECT_FALSE(g_pTamsel->IsWorking());
    EXPECT_LT(Counters().nJpegFiles, count);
    EXPECT_TRUE(PumpUntil(
        Sheet(), [&] { return PropSheet_GetCurrentPageHwnd(Sheet()) == nullptr; }, 5000));
    m_sheet.reset();
    Pump();
    DestroyCore();
    for (int i = 0; i < count; ++i) {
        Bytes now = ReadFile(folder + "\\p" + std::to_string(i) + ".jpg");
        EXPECT_TRUE(now == before[i] || now == secured[i]) << i;
    }
}

} // namespace

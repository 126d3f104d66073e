// The scanning page's animation in a wizard sheet over a real engine: it
// plays while a scan runs and its player ends with the scan, with the page
// and with the window.
// A screenshot of the sheet is saved in the build tree while the animation
// plays.

#include "PagesSheet.h"
#include "ThreadWatch.h"
#include "support/Screenshot.h"

#include "core/EventBroadcast.h"
#include "core/EventIds.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace core_test;
using namespace pages_test;
using picture_test::ThreadWatch;

// Holds a scan after each photo it secures while closed: the scan's worker
// announces every secured photo on its own thread, and waits here until the
// gate opens (or a minute has passed, so a failing test cannot hang).
class ScanGate : public event_client {
public:
    ScanGate() : event_client(register_later), m_hOpen(::CreateEventA(nullptr, TRUE, TRUE, nullptr)) {
        Register();
    }
    ~ScanGate() override {
        Open();
        Unregister();
        ::CloseHandle(m_hOpen);
    }
    void Close() { ::ResetEvent(m_hOpen); }
    void Open() { ::SetEvent(m_hOpen); }
    void OnEvent(UINT nId, int, int, int) override {
        if (nId != ID_SET_INWORK_MODE || ::GetCurrentThreadId() == m_nUiThread)
            return;
        ++m_nHeld;
        ::WaitForSingleObject(m_hOpen, 60000);
    }
    std::atomic<int> m_nHeld{0};

private:
    HANDLE m_hOpen;
    DWORD m_nUiThread = ::GetCurrentThreadId();
};

class ScanningPageTest : public PagesSheetTest {
protected:
    ScanningPageTest() : PagesSheetTest("Norvane Picture Test") {}
    void TearDown() override {
        // A scan held at the gate could not end.
        m_gate.Open();
        PagesSheetTest::TearDown();
    }
    void StartScanOf(const std::string& folder) {
        Type(folder);
        Press(PSBTN_NEXT);
    }
    // One row of what the picture shows, through its window.
    std::vector<COLORREF> ShownRow(int y) {
        HWND control = m_scan.Picture().m_hWnd;
        RECT r;
        ::GetClientRect(control, &r);
        HDC dc = ::GetDC(control);
        std::vector<COLORREF> row;
        for (int x = 0; x < r.right; ++x)
            row.push_back(::GetPixel(dc, x, y));
        ::ReleaseDC(control, dc);
        return row;
    }
    // A screenshot of the sheet, once the screen shows the frame the
    // control holds.
    void Screenshot(const std::string& name) {
        // Away from the corner where other window tests that may run at the
        // same time put theirs, and above them; then until the screen shows
        // what the picture's window holds (its shield does not move).
        ::SetWindowPos(Sheet(), HWND_TOPMOST, 520, 400, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        HWND control = m_scan.Picture().m_hWnd;
        PumpUntil(
            Sheet(),
            [&] {
                POINT at = {34, 30};
                HDC own = ::GetDC(control);
                COLORREF held = ::GetPixel(own, at.x, at.y);
                ::ReleaseDC(control, own);
                ::ClientToScreen(control, &at);
                HDC screen = ::GetDC(nullptr);
                COLORREF shown = ::GetPixel(screen, at.x, at.y);
                ::ReleaseDC(nullptr, screen);
                return held == shown;
            },
            5000);
        EXPECT_NE(testing_support::SaveWindowScreenshot(Sheet(), name), "") << "no screenshot of " << name;
    }

    ScanGate m_gate;
};

TEST_F(ScanningPageTest, TheAnimationPlaysWhileTheScanRunsAndStopsWithIt) {
    std::string folder = PhotoFolder("photos", 20);
    CreateSheet();
    // The scan waits after its first photo until the test lets it go on.
    m_gate.Close();
    StartScanOf(folder);
    ASSERT_EQ(1, m_sheet->GetActiveIndex());
    CPictureEx& picture = m_scan.Picture();

    // The picture of the program's resources, at its size, in place of the
    // placeholder.
    ASSERT_TRUE(picture.IsInitialised());
    EXPECT_GT(picture.GetFrameCount(), 50u);
    RECT r;
    ::GetWindowRect(picture.m_hWnd, &r);
    EXPECT_EQ(548, r.right - r.left);
    EXPECT_EQ(65, r.bottom - r.top);
    char text[16] = "x";
    ::GetWindowTextA(picture.m_hWnd, text, sizeof text);
    EXPECT_STREQ("", text);

    ThreadWatch first(picture);
    ASSERT_TRUE(first.IsRunning());
    ASSERT_TRUE(PumpUntil(Sheet(), [&] { return m_gate.m_nHeld == 1; }));
    // It moves: the frames go on and the window shows them.
    std::vector<COLORREF> before = ShownRow(30);
    size_t frame = picture.GetCurrentFrame();
    EXPECT_TRUE(PumpUntil(
        Sheet(), [&] { return picture.GetCurrentFrame() != frame; }, 10000));
    EXPECT_TRUE(PumpUntil(
        Sheet(), [&] { return ShownRow(30) != before; }, 10000));
    EXPECT_TRUE(PumpUntil(
        Sheet(), [&] { return picture.GetCurrentFrame() >= 40; }, 20000));
    Screenshot("scanning-page");

    // Stop: the scan ends, and with its end the player.
    ASSERT_TRUE(g_pTamsel->IsScanning());
    Press(PSBTN_NEXT);
    EXPECT_TRUE(first.IsRunning()); // the scan has not ended yet
    m_gate.Open();
    ASSERT_TRUE(
        PumpUntil(Sheet(), [&] { return !g_pTamsel->IsWorking() && ButtonText(ID_WIZNEXT) == "Next >"; }));
    ASSERT_TRUE(PumpUntil(
        Sheet(), [&] { return !picture.IsPlaying(); }, 10000));
    EXPECT_TRUE(first.HasEnded());
    EXPECT_FALSE(first.IsListed());
    // The last frame stays on show.
    std::vector<COLORREF> still = ShownRow(30);
    size_t stoppedAt = picture.GetCurrentFrame();
    PumpUntil(
        Sheet(), [] { return false; }, 300);
    EXPECT_EQ(still, ShownRow(30));
    EXPECT_EQ(stoppedAt, picture.GetCurrentFrame());

    // Back and Start again: the next scan plays it again.
    Press(PSBTN_BACK);
    ASSERT_EQ(0, m_sheet->GetActiveIndex());
    m_gate.Close();
    Press(PSBTN_NEXT);
    ASSERT_EQ(1, m_sheet->GetActiveIndex());
    ThreadWatch second(picture);
    ASSERT_TRUE(second.IsRunning());
    EXPECT_NE(first.Id(), second.Id());

    // Leaving the page ends the player, though the scan goes on.
    ASSERT_TRUE(PumpUntil(Sheet(), [&] { return m_gate.m_nHeld == 2; }));
    ASSERT_TRUE(m_sheet->SetActivePage(2));
    EXPECT_TRUE(second.HasEnded());
    EXPECT_FALSE(picture.IsPlaying());
    EXPECT_TRUE(g_pTamsel->IsScanning());

    // And the window's end ends the one of a page shown again.
    ASSERT_TRUE(m_sheet->SetActivePage(1));
    ThreadWatch third(picture);
    ASSERT_TRUE(third.IsRunning());
    g_pTamsel->StopScan();
    m_gate.Open();
    g_pTamsel->WaitForWorker(INFINITE);
    m_sheet.reset();
    EXPECT_TRUE(third.HasEnded());
    EXPECT_FALSE(third.IsListed());
}

TEST_F(ScanningPageTest, AnEmptyFolderEndsTheAnimationWithItsQuickScan) {
    std::string folder = Folder("empty");
    CreateSheet();
    StartScanOf(folder);
    ASSERT_EQ(1, m_sheet->GetActiveIndex());
    ASSERT_TRUE(PumpUntil(Sheet(), [&] { return ButtonText(ID_WIZNEXT) == "Next >"; }));
    EXPECT_FALSE(m_scan.Picture().IsPlaying());
    EXPECT_EQ(0u, m_scan.Picture().GetPlayerThreadId());
    // The picture is still there to show.
    EXPECT_TRUE(m_scan.Picture().IsInitialised());
}

} // namespace

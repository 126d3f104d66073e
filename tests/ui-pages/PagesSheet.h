#pragma once
// The main window's pages in a wizard sheet on the test's own thread, over a
// real engine whose data folder the test redirects (CoreTest), driven with
// the messages a user's typing and clicks send.

#include "support/CoreFixture.h"

#include "core/CTamsel.h"
#include "framework/CPropertySheet.h"
#include "ui/CFirstPage.h"
#include "ui/CPage02.h"
#include "ui/CPage03.h"
#include "ui/PageButtons.h"

#include "resource.h"

#include "support/PumpUntil.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace pages_test {

// Runs the test thread's messages until pred holds; false after timeoutMs.
inline bool PumpUntil(HWND hSheet, const std::function<bool()>& pred, DWORD timeoutMs = 30000) {
    return testing_support::PumpUntil(hSheet, pred, timeoutMs);
}

// Takes WM_SCAN_PROGRESS as the main window does: tells the core it took
// it, then has the scanning page show the counters.
class TestSheet : public CPropertySheet {
public:
    explicit TestSheet(const char* title) : CPropertySheet(title) {}
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override {
        if (message != WM_SCAN_PROGRESS)
            return FALSE;
        if (g_pTamsel)
            g_pTamsel->OnScanProgressHandled();
        if (m_pScanPage)
            m_pScanPage->ShowCounters(wParam, lParam);
        ++m_nProgress;
        *pResult = 0;
        return TRUE;
    }
    CPage02* m_pScanPage = nullptr;
    int m_nProgress = 0;
};

// The scanning page with its animated picture in reach.
class ScanPage : public CPage02 {
public:
    CPictureEx& Picture() { return m_picture; }
};

class PagesSheetTest : public core_test::CoreTest {
protected:
    explicit PagesSheetTest(const char* title) : m_title(title) {}

    void SetUp() override {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&icc);
        CreateCore();
    }
    void TearDown() override {
        // Shutdown order: the scan stopped and its worker ended, then the
        // windows, then the core (the fixture's destructor).
        if (g_pTamsel) {
            g_pTamsel->StopScan();
            g_pTamsel->WaitForWorker(INFINITE);
        }
        m_sheet.reset();
        PumpUntil(
            nullptr, [] { return false; }, 0);
    }

    void CreateSheet() {
        m_sheet.reset(new TestSheet(m_title));
        m_sheet->m_pScanPage = &m_scan;
        m_sheet->AddPage(&m_folder);
        m_sheet->AddPage(&m_scan);
        m_sheet->AddPage(&m_log);
        m_sheet->AddPage(&m_protect);
        m_sheet->m_psh.dwFlags |= PSH_WIZARD97 | PSH_HEADER | PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP | PSH_WIZARD;
        ASSERT_TRUE(m_sheet->Create(nullptr, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT |
                                                 DS_3DLOOK));
        g_pTamsel->SetProgressWindow(m_sheet->m_hWnd);
        m_sheet->ShowWindow(SW_SHOW);
        Pump();
    }

    void Pump() {
        PumpUntil(
            Sheet(), [] { return false; }, 0);
    }
    HWND Sheet() const { return m_sheet ? m_sheet->m_hWnd : nullptr; }
    HWND Button(int id) const { return ::GetDlgItem(Sheet(), id); }
    bool Enabled(int id) const { return ::IsWindowEnabled(Button(id)) != FALSE; }
    std::string Text(HWND h) const {
        char buf[4096] = "";
        ::GetWindowTextA(h, buf, sizeof(buf));
        return buf;
    }
    std::string ButtonText(int id) const { return Text(Button(id)); }
    std::string ItemText(CPropertyPage& page, int id) const { return Text(::GetDlgItem(page.m_hWnd, id)); }
    void Type(const std::string& text) {
        ::SendMessageA(::GetDlgItem(m_folder.m_hWnd, IDC_FOLDER), WM_SETTEXT, 0, LPARAM(text.c_str()));
    }
    void Press(int button) {
        m_sheet->PressButton(button);
        Pump();
    }
    // Photos with a position in a new folder.
    std::string PhotoFolder(const std::string& name, int count, size_t scanBytes = 4000) {
        std::string folder = Folder(name);
        for (int i = 0; i < count; ++i)
            core_test::WriteFile(folder + "\\p" + std::to_string(i) + ".jpg",
                                 core_test::GeotaggedPhoto(uint32_t(i + 1), i % 2 == 1, scanBytes));
        return folder;
    }

    const char* m_title;
    CFirstPage m_folder;
    ScanPage m_scan;
    CPropertyPage m_log{IDD_PAGE_LOG, "Logging", "Review log of files processed and geotags secured."};
    CPage03 m_protect;
    std::unique_ptr<TestSheet> m_sheet;
};

} // namespace pages_test

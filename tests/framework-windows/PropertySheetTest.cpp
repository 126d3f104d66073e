// The window layer against the real common controls: a wizard-97 sheet of
// three pages from in-memory templates, driven with the messages a user's
// clicks and another program would send, under the application's loop.

#include "framework-windows/DialogTemplate.h"
#include "framework/CPropertySheet.h"
#include "framework/CWinAppEx.h"
#include "framework/Controls.h"

#include "support/PumpUntil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kTitle[] = "Norvane Framework Test";
const int kIdEdit = 1001, kIdButton = 1002, kIdList = 1003, kIdProgress = 1004, kIdRich = 1005;
const int kIdBack = 0x3023, kIdNext = 0x3024, kIdFinish = 0x3025;
const WORD kStopAndExit = 32799;
const UINT kPrivateMessage = WM_APP + 7;
const UINT_PTR kTimer = 1288;

// What the handlers did, in order; read by driver threads too.
class EventLog {
public:
    void Add(const std::string& event) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(event);
    }
    std::vector<std::string> Events() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    int Count(const std::string& event) const {
        int n = 0;
        for (const auto& e : Events())
            n += e == event;
        return n;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
};

class TestPage : public CPropertyPage {
public:
    TestPage(EventLog& log, const std::string& name, const DLGTEMPLATE* tmpl, DWORD buttons)
        : CPropertyPage(tmpl, "Header title", "Header subtitle"), m_log(log), m_name(name),
          m_buttons(buttons) {}

    BOOL OnInitDialog() override {
        m_log.Add(m_name + ":init");
        return TRUE;
    }
    BOOL OnSetActive() override {
        m_log.Add(m_name + ":active");
        GetSheet()->SetWizardButtons(m_buttons);
        return TRUE;
    }
    BOOL OnKillActive() override {
        m_log.Add(m_name + ":kill");
        return TRUE;
    }
    LRESULT OnWizardNext() override {
        m_log.Add(m_name + ":next");
        return m_onNext ? m_onNext() : 0;
    }
    LRESULT OnWizardBack() override {
        m_log.Add(m_name + ":back");
        return 0;
    }
    BOOL OnWizardFinish() override {
        m_log.Add(m_name + ":finish");
        return TRUE;
    }
    BOOL OnQueryCancel() override {
        m_log.Add(m_name + ":querycancel");
        return m_allowCancel;
    }
    void OnCancel() override { m_log.Add(m_name + ":cancel"); }
    BOOL OnCommand(WPARAM wParam, LPARAM) override {
        if (LOWORD(wParam) == kIdButton && HIWORD(wParam) == BN_CLICKED) {
            m_log.Add(m_name + ":clicked");
            return TRUE;
        }
        return FALSE;
    }
    void PostNcDestroy() override { ++m_nGone; }

    EventLog& m_log;
    std::string m_name;
    DWORD m_buttons;
    std::function<LRESULT()> m_onNext;
    std::atomic<bool> m_allowCancel{true};
    int m_nGone = 0;
};

class TestSheet : public CPropertySheet {
public:
    TestSheet(EventLog& log) : CPropertySheet(kTitle), m_log(log) {}

    void OnInitSheet() override {
        m_log.Add("sheet:bound");
        if (m_bTicking)
            SetTimer(kTimer, 20);
    }
    BOOL OnCommand(WPARAM wParam, LPARAM) override {
        if (LOWORD(wParam) != kStopAndExit)
            return FALSE;
        m_log.Add(::GetCurrentThreadId() == m_nUiThread ? "sheet:stop-ui-thread" : "sheet:stop-other-thread");
        DestroyWindow();
        return TRUE;
    }
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override {
        if (message == kPrivateMessage) {
            m_log.Add("sheet:private " + std::to_string(lParam));
            *pResult = 0;
            return TRUE;
        }
        if (message == WM_COPYDATA) {
            auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            m_log.Add("sheet:copydata " + std::string(static_cast<const char*>(data->lpData), data->cbData));
            *pResult = TRUE;
            return TRUE;
        }
        if (message == WM_TIMER && wParam == kTimer) {
            ++m_nTicks;
            *pResult = 0;
            return TRUE;
        }
        return FALSE;
    }
    void PostNcDestroy() override { ++m_nGone; }

    EventLog& m_log;
    DWORD m_nUiThread = ::GetCurrentThreadId();
    // A ticking timer wakes the loop by itself; off, nothing but the test's
    // own messages does.
    bool m_bTicking = false;
    std::atomic<int> m_nTicks{0};
    int m_nGone = 0;
};

// The three pages and their sheet: a folder edit box, a list with a progress
// bar, a rich edit log.
struct Wizard {
    Wizard()
        : t0(WS_CHILD | WS_DISABLED | WS_CAPTION, 300, 120, L"Folder"),
          t1(WS_CHILD | WS_DISABLED | WS_CAPTION, 300, 120, L"Scanning"),
          t2(WS_CHILD | WS_DISABLED | WS_CAPTION, 300, 120, L"Log") {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&icc);
        const char* richClass = CRichEditCtrl::LoadLibrary();
        std::string richName = richClass ? richClass : "RichEdit20W";
        std::wstring richClassW(richName.begin(), richName.end()); // ASCII
        t0.Add(0x82, nullptr, SS_LEFT, 7, 7, 200, 10, 0xFFFF, L"Folder to scan:")
            .Add(0x81, nullptr, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 7, 20, 230, 14, kIdEdit)
            .Add(0x80, nullptr, WS_TABSTOP | BS_PUSHBUTTON, 242, 20, 50, 14, kIdButton, L"Browse...");
        t1.Add(0x83, nullptr, WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 7, 7, 286, 70, kIdList)
            .Add(0, PROGRESS_CLASSW, WS_BORDER, 7, 85, 286, 12, kIdProgress);
        t2.Add(0, richClassW.c_str(), WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, 7,
               7, 286, 106, kIdRich);
        pages.emplace_back(new TestPage(log, "p0", t0.Get(), PSWIZB_NEXT));
        pages.emplace_back(new TestPage(log, "p1", t1.Get(), PSWIZB_BACK | PSWIZB_NEXT));
        pages.emplace_back(new TestPage(log, "p2", t2.Get(), PSWIZB_BACK | PSWIZB_FINISH));
        sheet.reset(new TestSheet(log));
        for (auto& page : pages)
            sheet->AddPage(page.get());
        // A plain coloured header picture stands in for the program's.
        HDC screen = ::GetDC(nullptr);
        header = ::CreateCompatibleBitmap(screen, 50, 50);
        HDC dc = ::CreateCompatibleDC(screen);
        HGDIOBJ old = ::SelectObject(dc, header);
        RECT all = {0, 0, 50, 50};
        HBRUSH brush = ::CreateSolidBrush(RGB(40, 120, 200));
        ::FillRect(dc, &all, brush);
        ::DeleteObject(brush);
        ::SelectObject(dc, old);
        ::DeleteDC(dc);
        ::ReleaseDC(nullptr, screen);
        sheet->m_psh.dwFlags |=
            PSH_WIZARD97 | PSH_HEADER | PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP | PSH_WIZARD | PSH_USEHBMHEADER;
        sheet->m_psh.hbmHeader = header;
    }
    ~Wizard() {
        sheet.reset();
        ::DeleteObject(header);
    }

    BOOL Create() {
        // Not visible at first, as the program's sheet: shown once it is built.
        return sheet->Create(nullptr,
                             WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK);
    }
    HWND Button(int id) const { return ::GetDlgItem(sheet->m_hWnd, id); }

    DialogTemplate t0, t1, t2;
    EventLog log;
    std::vector<std::unique_ptr<TestPage>> pages;
    std::unique_ptr<TestSheet> sheet;
    HBITMAP header = nullptr;
};

// Runs the test thread's messages until pred holds; false after timeoutMs.
bool PumpUntil(HWND hSheet, const std::function<bool()>& pred, DWORD timeoutMs = 5000) {
    return testing_support::PumpUntil(hSheet, pred, timeoutMs);
}

TEST(WizardSheet, WizardPagesFollowTheButtonsAndTheirHandlers) {
    Wizard w;
    w.pages[0]->m_onNext = [&] { return w.pages[0]->GetDlgItemText(kIdEdit).IsEmpty() ? LRESULT(-1) : 0; };
    ASSERT_TRUE(w.Create());
    TestSheet& sheet = *w.sheet;
    ASSERT_NE(sheet.m_hWnd, nullptr);
    sheet.ShowWindow(SW_SHOW);

    EXPECT_EQ(sheet.GetWindowText(), kTitle);
    EXPECT_EQ(sheet.GetActiveIndex(), 0);
    EXPECT_EQ(sheet.GetActivePage(), w.pages[0].get());
    // The sheet is bound before the first page's handlers run, so they can
    // set its buttons.
    EXPECT_EQ(w.log.Events(), (std::vector<std::string>{"sheet:bound", "p0:init", "p0:active"}));
    EXPECT_FALSE(::IsWindowEnabled(w.Button(kIdBack)));
    EXPECT_TRUE(::IsWindowEnabled(w.Button(kIdNext)));

    // Next with an empty folder box: the page refuses and stays.
    w.log.Clear();
    sheet.PressButton(PSBTN_NEXT);
    ASSERT_TRUE(PumpUntil(sheet.m_hWnd, [&] { return w.log.Count("p0:next") == 1; }));
    PumpUntil(
        sheet.m_hWnd, [] { return false; }, 0);
    EXPECT_EQ(sheet.GetActiveIndex(), 0);
    EXPECT_EQ(w.log.Events(), (std::vector<std::string>{"p0:next"}));

    // A click on the page's button reaches its command handler.
    CButton browse;
    ASSERT_TRUE(browse.BindDlgItem(w.pages[0]->m_hWnd, kIdButton));
    browse.Click();
    EXPECT_EQ(w.log.Count("p0:clicked"), 1);

    // The user types a folder: Next goes on to the second page.
    ::SendMessageA(::GetDlgItem(w.pages[0]->m_hWnd, kIdEdit), WM_SETTEXT, 0, LPARAM("C:\\photos"));
    w.log.Clear();
    sheet.PressButton(PSBTN_NEXT);
    ASSERT_TRUE(PumpUntil(sheet.m_hWnd, [&] { return sheet.GetActiveIndex() == 1; }));
    EXPECT_EQ(w.log.Events(), (std::vector<std::string>{"p0:next", "p0:kill", "p1:init", "p1:active"}));
    EXPECT_TRUE(::IsWindowEnabled(w.Button(kIdBack)));
    EXPECT_TRUE(::IsWindowEnabled(w.Button(kIdNext)));
    EXPECT_EQ(w.pages[0]->GetDlgItemText(kIdEdit), "C:\\photos");

    // Back returns to the first page, which is not made again.
    w.log.Clear();
    sheet.PressButton(PSBTN_BACK);
    ASSERT_TRUE(PumpUntil(sheet.m_hWnd, [&] { return sheet.GetActiveIndex() == 0; }));
    EXPECT_EQ(w.log.Events(), (std::vector<std::string>{"p1:back", "p1:kill", "p0:active"}));
    EXPECT_FALSE(::IsWindowEnabled(w.Button(kIdBack)));

    // Straight to the last page: Finish shows and is enabled in Next's place.
    w.log.Clear();
    ASSERT_TRUE(sheet.SetActivePage(2));
    EXPECT_EQ(sheet.GetActiveIndex(), 2);
    EXPECT_EQ(w.log.Events(), (std::vector<std::string>{"p0:kill", "p2:init", "p2:active"}));
    EXPECT_TRUE(::IsWindowVisible(w.Button(kIdFinish)));
    EXPECT_TRUE(::IsWindowEnabled(w.Button(kIdFinish)));
    EXPECT_TRUE(::IsWindowEnabled(w.Button(kIdBack)));
    // Other programs find the sheet by its title on every page.
    EXPECT_EQ(sheet.GetWindowText(), kTitle);
    EXPECT_EQ(::FindWindowA(nullptr, kTitle), sheet.m_hWnd);

    // The page's controls through their wrappers.
    CListBox list;
    CProgressCtrl progress;
    ASSERT_TRUE(list.BindDlgItem(w.pages[1]->m_hWnd, kIdList));
    ASSERT_TRUE(progress.BindDlgItem(w.pages[1]->m_hWnd, kIdProgress));
    EXPECT_EQ(list.AddString("C:\\photos"), 0);
    EXPECT_EQ(list.AddString("D:\\more photos"), 1);
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetText(1), "D:\\more photos");
    EXPECT_EQ(list.GetText(5), "");
    progress.SetRange(0, 400);
    progress.SetPos(250);
    EXPECT_EQ(progress.GetPos(), 250);

    // With its limit raised, a rich edit keeps a log far beyond 32,767
    // characters; appends go to the end whatever the selection was.
    CRichEditCtrl rich;
    ASSERT_TRUE(rich.BindDlgItem(w.pages[2]->m_hWnd, kIdRich));
    rich.LimitText(1 << 20);
    EXPECT_EQ(rich.GetLimitText(), 1 << 20);
    const int lines = 50, lineChars = 1000; // with the line break
    for (int i = 0; i < lines; ++i) {
        std::string line = "line " + std::to_string(i) + " ";
        line += std::string(size_t(lineChars - 2) - line.size(), 'x') + "\r\n";
        rich.AppendText(line.c_str());
        if (i == 10)
            ::SendMessageA(rich.m_hWnd, EM_SETSEL, 0, 5);
    }
    // A rich edit keeps a line break as one character.
    EXPECT_EQ(rich.GetTextLength(), long(lines * (lineChars - 1)));
    CString text = rich.GetWindowText();
    EXPECT_EQ(text.Find("line 0 "), 0);
    EXPECT_GT(text.Find("line 49 "), 40000);
    rich.AppendText("unicode: \xC3\xA9t\xC3\xA9"); // UTF-8 with the program's manifest
    EXPECT_GT(rich.GetWindowText().Find("unicode: \xC3\xA9t\xC3\xA9"), 40000);

    // For a manual screenshot: hold the sheet until the named file exists.
    if (const char* hold = std::getenv("NORVANE_HOLD_SHEET_UNTIL")) {
        PumpUntil(
            sheet.m_hWnd, [&] { return ::GetFileAttributesA(hold) != INVALID_FILE_ATTRIBUTES; }, 60000);
    }

    // Destroying the sheet unbinds every page that had a window and the sheet.
    HWND hSheet = sheet.m_hWnd;
    sheet.DestroyWindow();
    EXPECT_FALSE(::IsWindow(hSheet));
    EXPECT_EQ(sheet.m_hWnd, nullptr);
    EXPECT_EQ(sheet.m_nGone, 1);
    for (auto& page : w.pages) {
        EXPECT_EQ(page->m_hWnd, nullptr) << page->m_name;
        EXPECT_EQ(page->m_nGone, 1) << page->m_name;
    }
}

TEST(WizardSheet, ObjectsThatGoFirstLeaveNoDanglingWindows) {
    // A page object ended while its window lives: the window must no longer
    // reach it. Its memory is then filled with garbage, so that any call
    // through the old pointer would fault here and now.
    Wizard w;
    alignas(TestPage) static unsigned char storage[sizeof(TestPage)];
    auto* doomed = new (storage) TestPage(w.log, "doomed", w.t1.Get(), PSWIZB_BACK | PSWIZB_NEXT);
    w.sheet->AddPage(doomed);
    ASSERT_TRUE(w.Create());
    ASSERT_TRUE(w.sheet->SetActivePage(3));
    HWND hDoomed = doomed->m_hWnd;
    ASSERT_NE(hDoomed, nullptr);
    ASSERT_TRUE(w.sheet->SetActivePage(0));
    doomed->~TestPage();
    std::memset(storage, 0xCC, sizeof(storage));
    EXPECT_TRUE(::IsWindow(hDoomed));
    ::SendMessageA(hDoomed, WM_COMMAND, MAKEWPARAM(kIdButton, BN_CLICKED), 0);
    ASSERT_TRUE(w.sheet->SetActivePage(1));

    // The sheet object going first takes its window with it.
    HWND hSheet = w.sheet->m_hWnd;
    w.sheet.reset();
    EXPECT_FALSE(::IsWindow(hSheet));
    EXPECT_FALSE(::IsWindow(hDoomed));
    EXPECT_EQ(w.pages[0]->m_hWnd, nullptr);
    EXPECT_EQ(w.pages[0]->m_nGone, 1);
    EXPECT_EQ(w.pages[1]->m_nGone, 1);
    EXPECT_EQ(w.pages[2]->m_nGone, 0); // never shown, never made
}

// The application: its main window is the sheet, its loop runs until the
// sheet is gone.
class TestApp : public CWinAppEx {
public:
    explicit TestApp(Wizard& wizard) : m_wizard(wizard) {}
    BOOL InitInstance() override {
        if (!CWinAppEx::InitInstance() || !m_wizard.Create())
            return FALSE;
        m_pMainWnd = m_wizard.sheet.get();
        if (m_bShow)
            m_wizard.sheet->ShowWindow(SW_SHOW);
        return TRUE;
    }
    int ExitInstance() override {
        m_bExited = true;
        return CWinAppEx::ExitInstance();
    }
    Wizard& m_wizard;
    // A shown window under Wine draws messages of its own from the X server
    // for a while, which would wake the loop when nothing else does.
    bool m_bShow = true;
    bool m_bExited = false;
};

// Plays another program: finds the sheet by its title and drives it from a
// thread of its own. If anything takes too long it ends the loop under test
// with exit code 99, so a failing test still ends.
class Driver {
public:
    explicit Driver(std::function<bool(HWND)> script)
        : m_uiThread(::GetCurrentThreadId()), m_thread([this, script] {
              HWND hSheet = nullptr;
              if (WaitFor([&] { return (hSheet = ::FindWindowA(nullptr, kTitle)) != nullptr; }) &&
                  script(hSheet))
                  m_bScriptDone = true;
              // The sheet should now be ending on its own; if not, end the loop.
              if (!WaitFor([&] { return m_bLoopEnded.load(); }))
                  ::PostThreadMessageA(m_uiThread, WM_QUIT, 99, 0);
          }) {}
    ~Driver() {
        m_bLoopEnded = true;
        m_thread.join();
    }
    void LoopEnded() { m_bLoopEnded = true; }
    static bool WaitFor(const std::function<bool()>& pred) {
        for (int i = 0; i < 250; ++i) {
            if (pred())
                return true;
            ::Sleep(20);
        }
        return false;
    }

    std::atomic<bool> m_bScriptDone{false};

private:
    DWORD m_uiThread;
    std::atomic<bool> m_bLoopEnded{false};
    std::thread m_thread;
};

TEST(Application, ForeignMessagesReachTheSheetAndStopEndsTheLoop) {
    Wizard w;
    w.sheet->m_bTicking = true;
    TestApp app(w);
    ASSERT_TRUE(app.InitInstance());
    ASSERT_EQ(app.m_pMainWnd, w.sheet.get());
    Driver driver([&](HWND hSheet) {
        if (!Driver::WaitFor([&] { return w.sheet->m_nTicks >= 2; }))
            return false;
        ::PostMessageA(hSheet, kPrivateMessage, 0, 42);
        const char info[] = "info";
        COPYDATASTRUCT data = {0, DWORD(sizeof(info) - 1), const_cast<char*>(info)};
        if (::SendMessageA(hSheet, WM_COPYDATA, 0, LPARAM(&data)) != TRUE)
            return false;
        return ::PostMessageA(hSheet, WM_COMMAND, kStopAndExit, 0) != 0;
    });
    int code = app.Run();
    driver.LoopEnded();
    EXPECT_TRUE(driver.m_bScriptDone);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(app.m_bExited);
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    // The sent message is handled at once, the posted ones in their order.
    auto events = w.log.Events();
    auto copydata = std::find(events.begin(), events.end(), "sheet:copydata info");
    auto posted = std::find(events.begin(), events.end(), "sheet:private 42");
    auto stop = std::find(events.begin(), events.end(), "sheet:stop-ui-thread");
    EXPECT_NE(copydata, events.end());
    ASSERT_NE(posted, events.end());
    ASSERT_NE(stop, events.end());
    EXPECT_LT(posted, stop);
    EXPECT_EQ(w.sheet->m_hWnd, nullptr);
    EXPECT_EQ(w.sheet->m_nGone, 1);
    EXPECT_EQ(w.pages[0]->m_hWnd, nullptr);
    EXPECT_EQ(w.pages[0]->m_nGone, 1);
}

TEST(Application, RefusedCancelKeepsTheSheetAcceptedCancelEndsTheLoop) {
    Wizard w;
    TestApp app(w);
    app.m_bShow = false;
    ASSERT_TRUE(app.InitInstance());
    w.pages[0]->m_allowCancel = false;
    std::atomic<bool> stillThere{false};
    Driver driver([&](HWND hSheet) {
        // Sent from another thread, as a test program in another process
        // would: the sheet handles it inside its loop's GetMessage.
        ::SendMessageA(hSheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        if (!Driver::WaitFor([&] { return w.log.Count("p0:querycancel") == 1; }))
            return false;
        stillThere = ::SendMessageA(hSheet, PSM_GETCURRENTPAGEHWND, 0, 0) != 0;
        w.pages[0]->m_allowCancel = true;
        ::SendMessageA(hSheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        return true;
    });
    int code = app.Run();
    driver.LoopEnded();
    EXPECT_TRUE(driver.m_bScriptDone);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(stillThere);
    EXPECT_EQ(w.log.Count("p0:querycancel"), 2);
    EXPECT_EQ(w.log.Count("p0:cancel"), 1);
    EXPECT_EQ(w.sheet->m_hWnd, nullptr);
    EXPECT_EQ(w.pages[0]->m_nGone, 1);
}

TEST(Application, FinishOnTheLastPageEndsTheLoop) {
    Wizard w;
    w.sheet->SetActivePage(2);
    TestApp app(w);
    app.m_bShow = false;
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(w.sheet->GetActiveIndex(), 2);
    Driver driver([&](HWND hSheet) {
        ::SendMessageA(hSheet, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
        return true;
    });
    int code = app.Run();
    driver.LoopEnded();
    EXPECT_TRUE(driver.m_bScriptDone);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(w.log.Count("p2:finish"), 1);
    EXPECT_EQ(w.log.Count("p0:init"), 0);
    EXPECT_EQ(w.sheet->m_hWnd, nullptr);
    EXPECT_EQ(w.pages[2]->m_nGone, 1);
}

TEST(Application, KeysGoThroughTheSheetsDialogNavigation) {
    // Enter in the folder box presses the sheet's default button (Next):
    // only the loop's PropSheet_IsDialogMessage turns the key into that.
    Wizard w;
    TestApp app(w);
    app.m_bShow = false;
    ASSERT_TRUE(app.InitInstance());
    HWND hEdit = ::GetDlgItem(w.pages[0]->m_hWnd, kIdEdit);
    ASSERT_NE(hEdit, nullptr);
    Driver driver([&](HWND hSheet) {
        ::PostMessageA(hEdit, WM_KEYDOWN, VK_RETURN, 1);
        ::PostMessageA(hEdit, WM_KEYUP, VK_RETURN, 0xC0000001);
        bool pressed = Driver::WaitFor([&] { return w.log.Count("p0:next") == 1; });
        ::PostMessageA(hSheet, WM_COMMAND, kStopAndExit, 0);
        return pressed;
    });
    EXPECT_EQ(app.Run(), 0);
    driver.LoopEnded();
    EXPECT_TRUE(driver.m_bScriptDone);
    EXPECT_EQ(w.log.Count("p1:active"), 1);
}

TEST(Application, RunsWithCommonControls6) {
    // SetWindowSubclass is a function of common controls 6 on Windows; the
    // program's manifest asks for that version. Wine's copy of version 6
    // answers DllGetVersion with 5.81, so the side-by-side assembly it was
    // loaded from is what tells.
    HMODULE comctl = ::GetModuleHandleA("comctl32.dll");
    ASSERT_NE(comctl, nullptr);
    char path[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameA(comctl, path, MAX_PATH), 0u);
    CString loaded(path);
    loaded.MakeLower();
    EXPECT_GE(loaded.Find("microsoft.windows.common-controls_"), 0) << path;
    EXPECT_GE(loaded.Find("_6."), 0) << path;
}

TEST(Application, CommandLineIsWhatFollowsTheProgramName) {
    EXPECT_EQ(CWinAppEx::SkipProgramName("\"C:\\Program Files\\Norvane\\norvane.exe\" -hide"), "-hide");
    EXPECT_EQ(CWinAppEx::SkipProgramName("norvane.exe\t -hide baypass"), "-hide baypass");
    EXPECT_EQ(CWinAppEx::SkipProgramName("norvane.exe"), "");
    EXPECT_EQ(CWinAppEx::SkipProgramName("\"C:\\odd dir\\n.exe"), "");
    EXPECT_EQ(CWinAppEx::SkipProgramName(""), "");
}

} // namespace

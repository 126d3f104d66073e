// The log page in a wizard sheet under Wine: the log view over a data folder
// of the test's own, fed by the activity log's writer from other threads.

#include "core/ActivityLog.h"
#include "core/EventIds.h"
#include "core/Paths.h"
#include "support/ShellFolderValue.h"
#include "support/TempDir.h"
#include "ui/CPageLog.h"

#include "resource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace {

const char kTitle[] = "Norvane Log Test";

std::string ReadText(const std::string& path) {
    testing_support::Bytes bytes = testing_support::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, const std::string& text, bool append = false) {
    FILE* f = std::fopen(path.c_str(), append ? "ab" : "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

// The view's text as UTF-8, with the control's paragraph ends as "\n".
std::string ViewText(HWND hView) {
    int length = ::GetWindowTextLengthW(hView);
    std::wstring wide(size_t(length) + 1, L'\0');
    wide.resize(size_t(::GetWindowTextW(hView, &wide[0], length + 1)));
    std::wstring lines;
    for (size_t i = 0; i < wide.size(); ++i) {
        if (wide[i] == L'\r') {
            lines += L'\n';
            if (i + 1 < wide.size() && wide[i + 1] == L'\n')
                ++i;
        } else {
            lines += wide[i];
        }
    }
    int size =
        ::WideCharToMultiByte(CP_UTF8, 0, lines.data(), int(lines.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, lines.data(), int(lines.size()), &out[0], size, nullptr, nullptr);
    return out;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// CPU time of the whole process so far, in milliseconds.
double ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return double((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

// The log page alone in a wizard-97 sheet, as the program builds it, over
// the data folder base\Norvane.
class LogPageTest : public ::testing::Test {
protected:
    void Redirect(const std::string& base) {
        m_redirect.reset(); // puts the old value back first
        m_redirect.reset(new DataFolderAt(base));
    }

    // The page (its follower starts now) and the sheet, shown.
    void CreateSheet() {
        m_page.reset(new CPageLog);
        m_sheet.reset(new CPropertySheet(kTitle));
        m_sheet->AddPage(m_page.get());
        m_sheet->m_psh.dwFlags |= PSH_WIZARD97 | PSH_HEADER | PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP | PSH_WIZARD;
        m_sheet->m_psh.pszbmHeader = MAKEINTRESOURCEA(129);
        ASSERT_TRUE(m_sheet->Create(nullptr, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT |
                                                 DS_3DLOOK));
        m_sheet->ShowWindow(SW_SHOW);
        ASSERT_NE(View(), nullptr);
    }
    void TearDown() override {
        m_sheet.reset(); // its window and the page's with it
        m_page.reset();
        Pump([] { return false; }, 0);
    }

    HWND View() const { return m_page ? m_page->m_ctrlLog.m_hWnd : nullptr; }
    std::string Text() const { return ViewText(View()); }

    // Runs the UI thread's messages until pred holds; false after timeoutMs.
    bool Pump(const std::function<bool()>& pred, DWORD timeoutMs = 10000) {
        DWORD start = ::GetTickCount();
        for (;;) {
            MSG msg;
            while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                HWND hSheet = m_sheet ? m_sheet->m_hWnd : nullptr;
                if (!hSheet || !PropSheet_IsDialogMessage(hSheet, &msg)) {
                    ::TranslateMessage(&msg);
                    ::DispatchMessageA(&msg);
                }
            }
            if (pred())
                return true;
            if (::GetTickCount() - start >= timeoutMs)
                return false;
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
    }

    testing_support::TempDir m_dir;
    std::unique_ptr<DataFolderAt> m_redirect{new DataFolderAt(m_dir.file("local"))};
    std::string m_folder = m_dir.file("local\\Norvane");
    std::string m_log = m_folder + "\\norvane.log";
    std::unique_ptr<CPageLog> m_page;
    std::unique_ptr<CPropertySheet> m_sheet;
};

// Lines of about 100 bytes, numbered from first on.
std::string LogLines(int first, int count) {
    std::string text;
    char line[128];
    for (int i = first; i < first + count; ++i) {
        std::snprintf(line, sizeof(line),
                      "[12.09.26 10:00:00] Found and secured by scanner: Z:\\photos\\%08d.jpg GPSLatitude\n",
                      i);
        text += line;
    }
    return text;
}

TEST_F(LogPageTest, ShowsTheLogThenFollowsWhatOtherThreadsAppend) {
    // Far more than the 32,767 characters a rich edit keeps by default.
    ASSERT_TRUE(CreateDirectories(m_folder.c_str()));
    std::string existing = LogLines(0, 500);
    WriteText(m_log, existing);
    CreateSheet();

    HWND hView = View();
    EXPECT_EQ(::GetParent(hView), m_page->m_hWnd);
    EXPECT_TRUE(::GetWindowLongA(hView, GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(CRichLogCtrl::GetLogViewHandle(), hView);
    EXPECT_GE(m_page->m_ctrlLog.GetLimitText(), 16 * 1024 * 1024);
    // In the frame's place.
    RECT frame, view;
    ::GetWindowRect(::GetDlgItem(m_page->m_hWnd, IDC_LOG_FRAME), &frame);
    ::GetWindowRect(hView, &view);
    EXPECT_TRUE(::EqualRect(&frame, &view));

    ASSERT_TRUE(Pump([&] { return Text() == existing; })) << Text().size() << " of " << existing.size();
    CHARRANGE sel = {};
    ::SendMessageA(hView, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&sel));
    EXPECT_EQ(sel.cpMin, m_page->m_ctrlLog.GetTextLength());

    // Entries written by other threads while the page shows: appended, the
    // earlier text not loaded again.
    std::thread writer([] {
        for (int i = 0; i < 20; ++i)
            AppendToLog(LogLines(500 + i, 1).c_str());
    });
    writer.join();
    std::string all = existing + LogLines(500, 20);
    ASSERT_EQ(ReadText(m_log), all);
    EXPECT_TRUE(Pump([&] { return Text() == all; })) << Text().substr(existing.size() - 100);

    // A write to another file of the folder after the log changed: a reread
    // that adds nothing.
    WriteText(m_folder + "\\norvane.cfg", "settings\n");
    std::thread([] { AppendToLog("last\n"); }).join();
    EXPECT_TRUE(Pump([&] { return Text() == all + "last\n"; }));

    // A view that keeps following loses its oldest lines, whole, rather
    // than grow without end.
    std::thread([] { AppendToLog(LogLines(600, 2000).c_str()); }).join();
    all += "last\n" + LogLines(600, 2000);
    ASSERT_TRUE(Pump([&] { return EndsWith(Text(), LogLines(2599, 1)); }));
    std::string text = Text();
    EXPECT_LE(text.size(), CRichLogCtrl::kMaxShownChars);
    EXPECT_GE(text.size(), CRichLogCtrl::kTailBytes / 2);
    EXPECT_TRUE(EndsWith(all, text));
    EXPECT_EQ(text.compare(0, 20, "[12.09.26 10:00:00] "), 0) << text.substr(0, 40);

    // A new, shorter log replaces the text.
    ASSERT_TRUE(::DeleteFileA(m_log.c_str()));
    std::thread([] { AppendToLog("new log\n"); }).join();
    EXPECT_TRUE(Pump([&] { return Text() == "new log\n"; })) << Text().size();
}

TEST_F(LogPageTest, TextInOtherScriptsShowsAsWritten) {
    ASSERT_EQ(::GetACP(), UINT(CP_UTF8)); // the program's manifest
    ASSERT_TRUE(CreateDirectories(m_folder.c_str()));
    const std::string first =
        "Found and secured by monitor: Z:\\Fotos\\Caf\xC3\xA9 \xC3\xBC\xC3\xB1\\a.jpg\n";
    WriteText(m_log, first);
    CreateSheet();
    ASSERT_TRUE(Pump([&] { return Text() == first; })) << Text();

    // A read that meets a character half written: the half waits for the
    // next read ("北" is E5 8C 97, "京" E4 BA AC).
    WriteText(m_log, "Z:\\\xE5\x8C", true);
    m_page->m_ctrlLog.OnRereadLog();
    WriteText(m_log, "\x97\xE4\xBA\xAC.jpg\n", true);
    m_page->m_ctrlLog.OnRereadLog();
    EXPECT_EQ(Text(), first + "Z:\\\xE5\x8C\x97\xE4\xBA\xAC.jpg\n");
}

TEST_F(LogPageTest, LargeLogShowsItsLastPartAndTheWindowKeepsAnswering) {
    ASSERT_TRUE(CreateDirectories(m_folder.c_str()));
    {
        // 50 MB of entries, the last one known.
        std::string block = LogLines(0, 10000);
        FILE* f = std::fopen(m_log.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        for (size_t written = 0; written < 50u * 1024 * 1024; written += block.size())
            std::fwrite(block.data(), 1, block.size(), f);
        std::fputs("the very last entry\n", f);
        std::fclose(f);
    }

    // Another thread asks the view for an answer while it loads.
    std::atomic<bool> loaded{false}, askerDone{false};
    std::atomic<DWORD> slowest{0};
    std::atomic<int> unanswered{0};
    std::atomic<HWND> hView{nullptr};
    std::thread asker([&] {
        while (!loaded) {
            HWND h = hView.load();
            if (!h) {
                ::Sleep(1);
                continue;
            }
            DWORD start = ::GetTickCount();
            DWORD_PTR result;
            if (!::SendMessageTimeoutA(h, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result))
                ++unanswered;
            DWORD took = ::GetTickCount() - start;
            if (took > slowest)
                slowest = took;
            ::Sleep(5);
        }
        askerDone = true;
    });
    DWORD start = ::GetTickCount();
    m_page.reset(new CPageLog);
    m_sheet.reset(new CPropertySheet(kTitle));
    m_sheet->AddPage(m_page.get());
    m_sheet->m_psh.dwFlags |= PSH_WIZARD97 | PSH_NOAPPLYNOW | PSH_WIZARD;
    bool created = m_sheet->Create(nullptr, WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK);
    hView = View();
    m_sheet->ShowWindow(SW_SHOW);
    bool shown = created && Pump([&] { return EndsWith(Text(), "the very last entry\n"); }, 20000);
    DWORD took = ::GetTickCount() - start;
    // Answered while the asker ends: its last question may be on its way.
    loaded = true;
    Pump([&] { return askerDone.load(); });
    asker.join();
    ASSERT_TRUE(shown);

    EXPECT_LT(took, 10000u);
    EXPECT_EQ(unanswered, 0);
    EXPECT_LT(slowest, 1000u);
    // The last part, from the start of a line.
    std::string text = Text();
    EXPECT_LE(text.size(), CRichLogCtrl::kTailBytes);
    EXPECT_GT(text.size(), CRichLogCtrl::kTailBytes / 2);
    EXPECT_EQ(text.compare(0, 20, "[12.09.26 10:00:00] "), 0) << text.substr(0, 40);
    // And it goes on following.
    std::thread([] { AppendToLog("one more\n"); }).join();
    EXPECT_TRUE(Pump([&] { return EndsWith(Text(), "the very last entry\none more\n"); }));
}

TEST_F(LogPageTest, WithoutADataFolderTheFollowerWaitsQuietlyAndFindsTheLogLater) {
    // The data folder cannot be made: a file stands where its parent goes.
    std::string blocker = m_dir.file("blocker");
    WriteText(blocker, "x");
    Redirect(blocker + "\\local");
    CreateSheet();
    Pump([] { return false; }, 200);
    EXPECT_EQ(Text(), "");

    // Over a second of the UI thread idle, the process uses little CPU: the
    // follower is not trying in a loop.
    double cpuBefore = ProcessCpuMs();
    DWORD start = ::GetTickCount();
    Pump([] { return false; }, 1500);
    double cpu = ProcessCpuMs() - cpuBefore;
    DWORD wall = ::GetTickCount() - start;
    EXPECT_LT(cpu, wall * 0.25) << cpu << " ms of CPU in " << wall << " ms";

    // Once the folder and its log are there, the view shows the log.
    ASSERT_TRUE(::DeleteFileA(blocker.c_str()));
    std::string folder = blocker + "\\local\\Norvane";
    ASSERT_TRUE(CreateDirectories(folder.c_str()));
    WriteText(folder + "\\norvane.log", "late entry\n");
    EXPECT_TRUE(Pump([&] { return Text() == "late entry\n"; }));
}

TEST_F(LogPageTest, TheFollowerEndsWithTheWindowAndWithAPageNeverShown) {
    ASSERT_TRUE(CreateDirectories(m_folder.c_str()));
    WriteText(m_log, "entry\n");
    CreateSheet();
    ASSERT_TRUE(Pump([&] { return Text() == "entry\n"; }));
    ASSERT_TRUE(m_page->m_ctrlLog.IsWorking());

    // The sheet goes; the follower ends at once, not at the next notice.
    HWND hView = View();
    ASSERT_TRUE(m_sheet->DestroyWindow());
    EXPECT_FALSE(::IsWindow(hView));
    EXPECT_EQ(View(), nullptr);
    EXPECT_EQ(CRichLogCtrl::GetLogViewHandle(), nullptr);
    EXPECT_TRUE(m_page->m_ctrlLog.WaitForWorker(2000));
    // Later writes and a stray reread reach no window.
    std::thread([] { AppendToLog("after\n"); }).join();
    m_page->m_ctrlLog.OnRereadLog();
    Pump([] { return false; }, 100);

    // A page whose window was never made: its follower ends with it.
    auto page = std::make_unique<CPageLog>();
    ASSERT_TRUE(page->m_ctrlLog.IsWorking());
    auto t0 = std::chrono::steady_clock::now();
    page.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
}

} // namespace

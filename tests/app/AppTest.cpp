// norvane.exe as a user starts it: a real process under Wine with its real
// window, driven from this test with messages, over a data folder of the
// test's own (the child reads the same registry).
#include "core/Autostart.h"
#include "core/CTamselSettings.h"
#include "core/EventIds.h"

#include "support/CoreFixture.h"
#include "support/KeptRegistryValue.h"
#include "support/ProgramProcess.h"
#include "support/Screenshot.h"

#include <commctrl.h>

#include <algorithm>
#include <set>

using namespace core_test;

namespace {

// The notification-area menu's "Stop monitor and exit".
constexpr WPARAM ID_STOP_MONITOR_AND_EXIT_COMMAND = 32783;

using testing_support::ProgramPath;
using App = testing_support::ProgramProcess;

std::string TextOf(HWND w) {
    char text[256] = {};
    ::GetWindowTextA(w, text, sizeof text);
    return text;
}

HWND CurrentPage(HWND sheet) {
    return HWND(::SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

int CurrentPageIndex(HWND sheet) {
    return int(::SendMessageA(sheet, PSM_HWNDTOINDEX, WPARAM(CurrentPage(sheet)), 0));
}

// Saves one of the program's windows as the screen shows it.
void Screenshot(HWND window, const std::string& name) {
    EXPECT_NE(testing_support::SaveWindowScreenshot(window, "app-" + name), "")
        << "no screenshot of " << name;
}

class AppTest : public CoreTest {
protected:
    void SetUp() override {
        if (ProgramPath().empty())
            GTEST_SKIP() << "NORVANE_APP_EXE is not set";
    }
};

} // namespace

TEST_F(AppTest, StartsOnTheFolderPageAndEndsOnRequest) {
    App app;
    ASSERT_TRUE(app.m_bStarted);
    HWND sheet = app.WaitForWindow();
    ASSERT_NE(sheet, nullptr) << "no window titled Norvane";
    // Made first, then shown.
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(sheet) != FALSE; }));
    HWND page = HWND(::SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    ASSERT_NE(page, nullptr);
    HWND next = ::GetDlgItem(sheet, 0x3024), back = ::GetDlgItem(sheet, 0x3023);
    EXPECT_EQ(TextOf(next), "Start");
    EXPECT_FALSE(::IsWindowEnabled(next));
    EXPECT_FALSE(::IsWindowEnabled(back));

    // The Run value names the program, to start hidden at log-on.
    char data[1024] = {};
    DWORD size = sizeof data;
    EXPECT_EQ(::RegGetValueA(HKEY_CURRENT_USER, kRunKey, "Norvane", RRF_RT_REG_SZ, nullptr, data, &size),
              ERROR_SUCCESS);
    std::string expected = ProgramPath();
    EXPECT_EQ(std::string(data), "\"" + expected + "\" -hide");

    ::PostMessageA(sheet, WM_COMMAND, ID__STOP_AND_EXIT, 0);
    DWORD code = 1;
    EXPECT_TRUE(app.Ended(20000, &code)) << "the program did not end";
}

TEST_F(AppTest, ASecondStartWakesTheFirstAndEnds) {
    App first;
    HWND sheet = first.WaitForWindow();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(sheet) != FALSE; }));
    // Left on the protected folders page, then hidden.
    ::SendMessageA(sheet, PSM_SETCURSEL, 3, 0);
    ASSERT_EQ(CurrentPageIndex(sheet), 3);
    ::ShowWindow(sheet, SW_HIDE);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(sheet); }));

    App second;
    ASSERT_TRUE(second.m_bStarted);
    EXPECT_TRUE(second.Ended(30000)) << "the second start did not end";
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(sheet) != FALSE; })) << "the first was not shown";
    EXPECT_EQ(CurrentPageIndex(sheet), 0) << "the first did not show its folder page";
    EXPECT_FALSE(first.Ended(0)) << "the first instance ended";
}

TEST_F(AppTest, HiddenStartsEndAtOnceWithNothingToProtect) {
    App hidden("-hide");
    ASSERT_TRUE(hidden.m_bStarted);
    EXPECT_TRUE(hidden.Ended(30000)) << "a hidden start with no protected folder went on";
}

TEST_F(AppTest, HiddenStartsWatchTheProtectedFolders) {
    std::string guarded = Folder("guarded");
    {
        CTamselSettings settings;
        settings.m_lstProtectedFolders.AddTail(CString(guarded.c_str()));
        settings.SaveSettings();
    }
    // Put there while the program was not running: secured by the walk at
    // start, as at log-on.
    for (int i = 0; i < 5; ++i)
        WriteFile(guarded + "\\before" + std::to_string(i) + ".jpg", GeotaggedPhoto(uint32_t(10 + i)));
    App hidden("-hide");
    HWND sheet = hidden.WaitForWindow();
    ASSERT_NE(sheet, nullptr);
    EXPECT_FALSE(::IsWindowVisible(sheet));
    EXPECT_TRUE(WaitFor([&] { return CountOf(Log(), "Monitor started at [") == 1; })) << Log();
    EXPECT_TRUE(WaitFor([&] { return CountOf(Log(), "Found and secured by monitor [") == 5; })) << Log();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(CheckGpsTags((guarded + "\\before" + std::to_string(i) + ".jpg").c_str()), 8) << i;

    // A photo that arrives now is secured by the running program.
    std::string photo = guarded + "\\arrived.jpg";
    Bytes tagged = GeotaggedPhoto(3);
    std::string scratch = m_dir.file("scratch.jpg");
    WriteFile(scratch, tagged);
    ASSERT_TRUE(::CopyFileA(scratch.c_str(), photo.c_str(), FALSE));
    EXPECT_TRUE(WaitFor([&] { return CountOf(Log(), "Found and secured by monitor [") == 6; })) << Log();

    ::PostMessageA(sheet, WM_COMMAND, ID__STOP_AND_EXIT, 0);
    EXPECT_TRUE(hidden.Ended(20000));
    EXPECT_EQ(CountOf(Log(), "Monitor is stopped ["), 1u) << Log();
}

namespace {
// Lines the log view shows. (Its text cannot be read from another process
// under Wine; its line count can, and the text is checked by the log page's
// own tests.)
int ViewLines(HWND view) {
    return int(::SendMessageA(view, EM_GETLINECOUNT, 0, 0));
}
// The log view: the one rich edit control of the log page.
HWND LogView(HWND page) {
    HWND found = nullptr;
    ::EnumChildWindows(
        page,
        [](HWND w, LPARAM lp) -> BOOL {
            char cls[64] = {};
            ::GetClassNameA(w, cls, sizeof cls);
            if (_strnicmp(cls, "RichEdit", 8) != 0)
                return TRUE;
            *reinterpret_cast<HWND*>(lp) = w;
            return FALSE;
        },
        LPARAM(&found));
    return found;
}
} // namespace

TEST_F(AppTest, AUserScansReadsTheLogAndProtectsTheFolder) {
    std::string photos = Folder("Photos");
    std::vector<Bytes> originals;
    for (int i = 0; i < 3; ++i) {
        originals.push_back(GeotaggedPhoto(uint32_t(60 + i)));
        WriteFile(photos + "\\IMG_" + std::to_string(i) + ".jpg", originals.back());
    }
    WriteFile(photos + "\\plain.jpg", PhotoWithoutGps());
    WriteFile(photos + "\\notes.txt", Bytes{'n'});

    App app;
    HWND sheet = app.WaitForWindow();
    ASSERT_NE(sheet, nullptr);
    HWND next = ::GetDlgItem(sheet, 0x3024), back = ::GetDlgItem(sheet, 0x3023),
         cancel = ::GetDlgItem(sheet, 2);
    HWND page = CurrentPage(sheet);
    ASSERT_NE(page, nullptr);

    // Page 0: the folder typed in makes Start available.
    ::SendMessageA(::GetDlgItem(page, 1004), WM_SETTEXT, 0, LPARAM(photos.c_str()));
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(next) != FALSE; })) << "Start stays disabled";
    Screenshot(sheet, "0-folder");
    ::SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);

    // Page 1: the scan runs and ends; the counters show what it found.
    ASSERT_TRUE(WaitFor([&] { return CurrentPage(sheet) != page; }));
    page = CurrentPage(sheet);
    ASSERT_TRUE(WaitFor([&] { return TextOf(next) == "Next >" && ::IsWindowEnabled(back); }, 60000));
    EXPECT_TRUE(WaitFor([&] { return TextOf(::GetDlgItem(page, 1009)) == "5\n4\n0\n3\n0\n0"; }))
        << TextOf(::GetDlgItem(page, 1009));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(CheckGpsTags((photos + "\\IMG_" + std::to_string(i) + ".jpg").c_str()), 8);
    EXPECT_EQ(TextOf(::GetDlgItem(page, 1011)), "") << "the picture's placeholder text shows";
    Screenshot(sheet, "1-scanned");

    // Page 2: the log shows the scan.
    ::SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
    ASSERT_TRUE(WaitFor([&] { return CurrentPage(sheet) != page; }));
    page = CurrentPage(sheet);
    HWND view = LogView(page);
    ASSERT_NE(view, nullptr);
    // Every line of the log, the scan's entries last, and the empty line after.
    EXPECT_NE(Log().find("Scanner finished"), std::string::npos);
    EXPECT_TRUE(WaitFor([&] { return ViewLines(view) == int(CountOf(Log(), "\n")) + 1; }))
        << ViewLines(view) << " lines shown of " << CountOf(Log(), "\n");
    Screenshot(sheet, "2-log");

    // Page 3: protect the folder; Cancel now reads "Close".
    ::SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
    ASSERT_TRUE(WaitFor([&] { return CurrentPage(sheet) != page; }));
    page = CurrentPage(sheet);
    EXPECT_EQ(TextOf(cancel), "Close");
    ::SendMessageA(::GetDlgItem(page, 1000), BM_CLICK, 0, 0);
    HWND list = ::GetDlgItem(page, 1005);
    EXPECT_TRUE(WaitFor([&] { return ::SendMessageA(list, LB_GETCOUNT, 0, 0) == 1; }));
    EXPECT_TRUE(WaitFor([&] { return CountOf(Log(), "Monitor started at [") == 1; })) << Log();
    Screenshot(sheet, "3-protected");
    // The settings file holds both folders, exactly as the settings record
    // writes them (its format is pinned by the settings tests).
    {
        CTamselSettings expected;
        expected.m_strFolderForScan = photos.c_str();
        expected.m_lstProtectedFolders.AddTail(CString(photos.c_str()));
        std::string path = m_dir.file("expected.cfg");
        expected.SaveSettingsTo(path.c_str());
        EXPECT_TRUE(WaitFor([&] { return SettingsText() == ReadText(path); })) << SettingsText();
    }

    // Close: with a folder protected the window only hides; a photo that
    // arrives is secured and the log view grows by its entry.
    ::SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindowVisible(sheet); }));
    EXPECT_FALSE(app.Ended(0));
    std::string arrived = photos + "\\arrived.jpg";
    std::string scratch = m_dir.file("scratch.jpg");
    WriteFile(scratch, GeotaggedPhoto(70));
    ASSERT_TRUE(::CopyFileA(scratch.c_str(), arrived.c_str(), FALSE));
    EXPECT_TRUE(WaitFor([&] { return CountOf(Log(), "Found and secured by monitor [") == 1; })) << Log();
    EXPECT_TRUE(WaitFor([&] { return ViewLines(view) == int(CountOf(Log(), "\n")) + 1; }))
        << ViewLines(view) << " lines shown of " << CountOf(Log(), "\n");
    EXPECT_EQ(CheckGpsTags(arrived.c_str()), 8);

    ::PostMessageA(sheet, WM_COMMAND, ID__STOP_AND_EXIT, 0);
    EXPECT_TRUE(app.Ended(20000));
    EXPECT_EQ(CountOf(Log(), "Monitor is stopped ["), 1u) << Log();
}

namespace {
// The program's question box, once it shows: an owner-less dialog of the
// program's own process with that caption.
HWND ProgramBox(const App& app, const char* caption) {
    HWND box = ::FindWindowA("#32770", caption);
    return app.Owns(box) ? box : nullptr;
}

// The text a message box shows, as characters (read through the wide
// interface, so a wrongly encoded character cannot pass as the right one).
std::wstring BoxText(HWND box) {
    wchar_t text[1024] = {};
    ::GetWindowTextW(::GetDlgItem(box, 0xFFFF), text, 1024);
    return text;
}
} // namespace

TEST_F(AppTest, AnUnreadableSettingsFileIsKeptLoggedAndToldWhenTheWindowShows) {
    std::string settings = DataFolder() + "\\norvane.cfg";
    ASSERT_TRUE(CreateDirectories(DataFolder().c_str()));
    const std::string garbage = "Norvane\r\n{\r\n    ScanFilderList\r\n    {\r\n        Item \"D:\\\\Cam";
    WriteFile(settings, Bytes(garbage.begin(), garbage.end()));

    // Started hidden, as at log-on: logged at once, told only when shown.
    App hidden("-hide");
    HWND sheet = hidden.WaitForWindow();
    ASSERT_NE(sheet, nullptr) << "a hidden start with unreadable settings ended untold";
    EXPECT_TRUE(WaitFor([&] { return CountOf(Log(), "Settings file could not be read [") == 1; })) << Log();
    EXPECT_NE(Log().find("\tIt was kept as " + settings + ".bad. Norvane started with the default settings"),
              std::string::npos)
        << Log();
    Bytes kept = ReadFile(settings + ".bad");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), garbage);
    EXPECT_FALSE(::IsWindowVisible(sheet));
    EXPECT_EQ(ProgramBox(hidden, "Norvane settings"), nullptr) << "told while hidden";

    App second;
    EXPECT_TRUE(second.Ended(30000));
    HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (box = ProgramBox(hidden, "Norvane settings")) != nullptr; }))
        << "not told when the window showed";
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(box) != FALSE; }));
    EXPECT_TRUE(::IsWindowVisible(sheet));
    std::wstring text = BoxText(box);
    EXPECT_EQ(text.find(L"Norvane could not read its settings file"), 0u);
    EXPECT_NE(text.find(L"norvane.cfg.bad"), std::wstring::npos);
    Screenshot(box, "unreadable-settings");
    ::PostMessageA(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(box); }));
    ::PostMessageA(sheet, WM_COMMAND, ID__STOP_AND_EXIT, 0);
    EXPECT_TRUE(hidden.Ended(20000));
    // Saved at the end: the defaults, beside the kept file.
    EXPECT_EQ(SettingsText().find("Item"), std::string::npos) << SettingsText();
    EXPECT_TRUE(::GetFileAttributesA((settings + ".bad").c_str()) != INVALID_FILE_ATTRIBUTES);
}

TEST_F(AppTest, StoppingAsksFirstAndOnlyYesEndsTheProgram) {
    App app;
    HWND sheet = app.WaitForWindow();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(sheet) != FALSE; }));
    const char* caption = "Stop Norvane PRO protection";
    const std::wstring question =
        L"If you stop Norvane PRO monitor it will stop looking for new photos with geotags in the protected "
        L"folders. It will not find geotags in photos that you add to the protected folders while it\u2019s "
        L"turned off.\n\nWe recommend that you run a scan on protected folders next time you restart Norvane "
        L"PRO.\n\nDo you really want to stop Norvane PRO?";

    // No: the question goes, the program stays.
    ::PostMessageA(sheet, WM_COMMAND, ID_STOP_MONITOR_AND_EXIT_COMMAND, 0);
    HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (box = ProgramBox(app, caption)) != nullptr; })) << "no question shown";
    // Shown once its dialog initialisation, which fills in the text, is done.
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(box) != FALSE; }));
    std::wstring shown = BoxText(box);
    size_t differ =
        std::mismatch(shown.begin(), shown.end(), question.begin(), question.end()).first - shown.begin();
    EXPECT_TRUE(shown == question) << "the question's text differs from character " << differ << " (U+"
                                   << std::hex << (differ < shown.size() ? unsigned(shown[differ]) : 0u)
                                   << " shown); its apostrophe is U+2019";
    Screenshot(box, "stop-question");
    ::PostMessageA(::GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(box); }));
    EXPECT_FALSE(app.Ended(500)) << "No ended the program";
    EXPECT_TRUE(::IsWindow(sheet));

    // Yes: the program ends.
    ::PostMessageA(sheet, WM_COMMAND, ID_STOP_MONITOR_AND_EXIT_COMMAND, 0);
    ASSERT_TRUE(WaitFor([&] { return (box = ProgramBox(app, caption)) != nullptr; }));
    ::PostMessageA(::GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
    EXPECT_TRUE(app.Ended(20000)) << "Yes did not end the program";
}

namespace {
// Points the prefix's handler of https addresses at a program that writes
// the address it is given into a file; puts the old handler back after.
class HttpsHandlerRecorder {
public:
    explicit HttpsHandlerRecorder(const std::string& recordFile)
        : m_command(HKEY_CLASSES_ROOT, "https\\shell\\open\\command", nullptr) {
        const char* recorder = std::getenv("NORVANE_RECORDER_EXE");
        if (!recorder)
            return;
        std::string exe = recorder;
        for (char& c : exe)
            c = c == '/' ? '\\' : c;
        m_bReady = m_command.Set("\"" + exe + "\" \"" + recordFile + "\" \"%1\"", REG_SZ);
    }
    bool m_bReady = false;

private:
    testing_support::KeptRegistryValue m_command;
};
} // namespace

TEST_F(AppTest, HelpOpensTheProductWebSite) {
    std::string record = m_dir.file("opened.txt");
    HttpsHandlerRecorder handler(record);
    if (!handler.m_bReady)
        GTEST_SKIP() << "no recorder program to stand in for the browser";
    App app;
    HWND sheet = app.WaitForWindow();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(sheet) != FALSE; }));

    // F1 where the user's keyboard focus is, the folder box: the system
    // turns the key into WM_KEYF1 for that window, which becomes the help
    // request that climbs from the control to the sheet.
    HWND edit = ::GetDlgItem(CurrentPage(sheet), 1004);
    ASSERT_NE(edit, nullptr);
    constexpr UINT kKeyF1 = 0x004D; // WM_KEYF1, which the headers do not name
    ::PostMessageA(edit, kKeyF1, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return ReadText(record).find("norvane.com") != std::string::npos; }, 30000))
        << "the browser was not asked to open the web site";
    EXPECT_EQ(ReadText(record), "https://www.norvane.com/\n");
    EXPECT_FALSE(app.Ended(0)) << "help ended the program";
}

TEST_F(AppTest, BaypassKeepsACopyOfEachPhotoBeforeItIsSecured) {
    std::string photos = Folder("Holiday");
    std::set<Bytes> originals;
    for (int i = 0; i < 3; ++i) {
        Bytes photo = GeotaggedPhoto(uint32_t(80 + i));
        originals.insert(photo);
        WriteFile(photos + "\\DSC_" + std::to_string(i) + ".jpg", photo);
    }
    std::set<std::string> before = BackupNames();

    App app("/baypass");
    HWND sheet = app.WaitForWindow();
    ASSERT_NE(sheet, nullptr);
    HWND next = ::GetDlgItem(sheet, 0x3024), back = ::GetDlgItem(sheet, 0x3023);
    ::SendMessageA(::GetDlgItem(CurrentPage(sheet), 1004), WM_SETTEXT, 0, LPARAM(photos.c_str()));
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(next) != FALSE; }));
    ::SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
    ASSERT_TRUE(WaitFor([&] { return TextOf(next) == "Next >" && ::IsWindowEnabled(back); }, 60000));

    std::set<Bytes> copies;
    for (const std::string& name : BackupNames()) {
        if (before.count(name))
            continue;
        std::string path = std::string("C:\\T\\GEO\\") + name;
        copies.insert(ReadFile(path));
        ::DeleteFileA(path.c_str());
    }
    EXPECT_TRUE(copies == originals) << copies.size()
                                     << " copies, 3 expected, equal to the photos as they were";
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(CheckGpsTags((photos + "\\DSC_" + std::to_string(i) + ".jpg").c_str()), 8);
}

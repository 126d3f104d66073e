// norvane.exe's notification-area icon, the program started as a user
// starts it, over a data folder of the test's own. Most cases play the
// taskbar in the test (FakeShell.h) and read what it was told; the user's
// walk runs against Wine's own tray, whose icons are windows on the screen.
#include "core/CTamselSettings.h"
#include "core/EventIds.h"

#include "FakeShell.h"
#include "TrayImages.h"
#include "support/CoreFixture.h"

#include "support/ProgramProcess.h"
#include "support/Screenshot.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>

using namespace core_test;
using namespace tray_test;

namespace {

const char kTooltipOneFolder[] = "Norvane\n1 folder(s) protected\n";
const char kQuestionCaption[] = "Stop Norvane PRO protection";

// The commands of the menu, and the place of each among its items.
enum MenuItem {
    kOpenFolderPage = 0,
    kOpenProtectedFolders = 1,
    kOpenLog = 2,
    kCheckForUpdate = 3,
    kStopAndExit = 4
};

using testing_support::ProgramPath;

// The program, and the windows it shows besides its main window.
class App : public testing_support::ProgramProcess {
public:
    using ProgramProcess::ProgramProcess;
    // A shown top-level window of the program with that class (and title).
    HWND Find(const char* cls, const char* title = nullptr) const {
        struct Search {
            const App* app;
            const char* cls;
            const char* title;
            HWND found;
        } search = {this, cls, title, nullptr};
        ::EnumWindows(
            [](HWND w, LPARAM lp) -> BOOL {
                auto* s = reinterpret_cast<Search*>(lp);
                char c[64] = {}, t[256] = {};
                ::GetClassNameA(w, c, sizeof c);
                ::GetWindowTextA(w, t, sizeof t);
                if (!s->app->Owns(w) || !::IsWindowVisible(w) || strcmp(c, s->cls) != 0 ||
                    (s->title && strcmp(t, s->title) != 0))
                    return TRUE;
                s->found = w;
                return FALSE;
            },
            LPARAM(&search));
        return search.found;
    }
    HWND Menu() const { return Find("#32768"); }
    HWND Question() const { return Find("#32770", kQuestionCaption); }
};

// The three images as the program carries them, loaded as it loads them.
class ProgramImages {
public:
    ProgramImages() {
        HMODULE exe = ::LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (!exe)
            return;
        for (int id : {146, 144, 145}) {
            HICON icon = static_cast<HICON>(::LoadImageA(exe, MAKEINTRESOURCEA(id), IMAGE_ICON,
                                                         ::GetSystemMetrics(SM_CXSMICON),
                                                         ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
            m_images.push_back(ImageBits(icon));
            if (icon)
                ::DestroyIcon(icon);
        }
        ::FreeLibrary(exe);
    }
    bool Loaded() const {
        return m_images.size() == 3 && !m_images[0].empty() && m_images[0] != m_images[1] &&
               m_images[1] != m_images[2] && m_images[0] != m_images[2];
    }
    // "start", "idle", "in-work", or "other".
    std::string Name(const Bits& image) const {
        const char* names[] = {"start", "idle", "in-work"};
        for (size_t i = 0; i < m_images.size(); ++i)
            if (image == m_images[i])
                return names[i];
        return image.empty() ? "none" : "other";
    }

private:
    std::vector<Bits> m_images;
};

HWND CurrentPage(HWND sheet) {
    return HWND(::SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}
int PageIndex(HWND sheet) {
    return int(::SendMessageA(sheet, PSM_HWNDTOINDEX, WPARAM(CurrentPage(sheet)), 0));
}

// Keys to the open menu: the item's place (separators are passed over),
// then Enter.
void Choose(HWND menu, int item) {
    for (int i = 0; i <= item; ++i)
        ::PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    ::PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
}

// Wine's own tray on a display without a desktop environment: a window
// "Wine System Tray" with one child window per icon.
std::vector<HWND> WineTrayIcons() {
    std::vector<HWND> icons;
    HWND tray = ::FindWindowA("__winex11_standalone_tray", nullptr);
    for (HWND c = tray ? ::FindWindowExA(tray, nullptr, "__winex11_tray_icon", nullptr) : nullptr; c;
         c = ::FindWindowExA(tray, c, "__winex11_tray_icon", nullptr))
        if (::IsWindowVisible(c))
            icons.push_back(c);
    return icons;
}

// Which of the three shield colours the screen shows most in a window: the
// images differ by it (grey start-up, green idle, amber in-work).
std::string ShieldColourOn(HWND window) {
    RECT r;
    if (!::GetWindowRect(window, &r))
        return "gone";
    std::vector<uint8_t> pixels = testing_support::ScreenPixels(r);
    const COLORREF fills[] = {RGB(0x9a, 0xa0, 0xa6), RGB(0x1e, 0x9e, 0x4a), RGB(0xf2, 0x99, 0x00)};
    const char* names[] = {"start", "idle", "in-work"};
    int counts[3] = {};
    for (size_t i = 0; i + 3 < pixels.size(); i += 4) {
        const uint8_t* p = &pixels[i]; // blue, green, red
        for (int k = 0; k < 3; ++k) {
            int d = abs(p[2] - GetRValue(fills[k])) + abs(p[1] - GetGValue(fills[k])) +
                    abs(p[0] - GetBValue(fills[k]));
            counts[k] += d < 40;
        }
    }
    int best = int(std::max_element(counts, counts + 3) - counts);
    return counts[best] >= 10 ? names[best] : "none";
}

// Processes of the prefix running norvane.exe.
int RunningPrograms() {
    int n = 0;
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snap, &entry); more; more = ::Process32Next(snap, &entry))
        n += _stricmp(entry.szExeFile, "norvane.exe") == 0;
    ::CloseHandle(snap);
    return n;
}

class TrayProgramTest : public CoreTest {
protected:
    void SetUp() override {
        if (ProgramPath().empty())
            GTEST_SKIP() << "NORVANE_APP_EXE is not set";
        ASSERT_TRUE(m_images.Loaded()) << "the program's three images, all different";
    }

    // Settings the program starts with: a folder last chosen for scanning
    // and the protected folders.
    void StartWith(const std::string& folderForScan, const std::vector<std::string>& protectedFolders) {
        CTamselSettings settings;
        settings.m_strFolderForScan = folderForScan.c_str();
        for (const std::string& folder : protectedFolders)
            settings.m_lstProtectedFolders.AddTail(CString(folder.c_str()));
        settings.SaveSettings();
    }

    // The program as it starts hidden at log-on with one protected folder
    // (m_strGuarded), and the test's taskbar, refusing icons until told
    // otherwise when not ready. The main window, or null.
    HWND StartHidden(bool taskbarReady = true) {
        m_strGuarded = Folder("guarded");
        StartWith(m_strGuarded, {m_strGuarded});
        m_shell.reset(new FakeShell(taskbarReady));
        m_app.reset(new App("-hide"));
        return m_app->WaitForWindow();
    }
    void TearDown() override {
        // The program ends first: it takes its icon out of the taskbar.
        m_app.reset();
        if (m_shell) {
            EXPECT_EQ(m_shell->Problem(), "");
        }
        m_shell.reset();
    }

    // The image of the shell's one icon, "none" without one.
    std::string ShownImage(const FakeShell& shell) const {
        ShellIcon icon;
        return shell.OnlyIcon(&icon) ? m_images.Name(icon.image) : "none";
    }
    // When the shell was first told to show that image (0: never).
    DWORD FirstTold(const FakeShell& shell, const std::string& image, DWORD after = 0) const {
        for (const ShellRequest& r : shell.Requests())
            if (r.answer && r.tick >= after && (r.flags & NIF_ICON) && m_images.Name(r.image) == image)
                return r.tick;
        return 0;
    }
    // Opens the menu as the shell does on a right click.
    HWND OpenMenu(const App& app, const ShellIcon& icon) const {
        ::PostMessageA(icon.owner, icon.callbackMessage, icon.id, WM_RBUTTONDOWN);
        HWND menu = nullptr;
        WaitFor([&] { return (menu = app.Menu()) != nullptr; }, 10000);
        return menu;
    }
    void CopyPhotoInto(const std::string& folder, const std::string& name, uint32_t seed) {
        std::string scratch = m_dir.file("scratch-" + name);
        WriteFile(scratch, GeotaggedPhoto(seed));
        ASSERT_TRUE(::CopyFileA(scratch.c_str(), (folder + "\\" + name).c_str(), FALSE));
    }

    ProgramImages m_images;
    std::unique_ptr<FakeShell> m_shell;
    std::unique_ptr<App> m_app;
    std::string m_strGuarded;
};

} // namespace

TEST_F(TrayProgramTest, TheMenuHoldsTheCommandsInOrder) {
    // Another process cannot read a shown menu's items (Wine keeps menus
    // per process): the menu is read from the program's resources.
    HMODULE exe = ::LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    HMENU menu = ::LoadMenuA(exe, MAKEINTRESOURCEA(131));
    ASSERT_NE(menu, nullptr);
    HMENU popup = ::GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    std::vector<std::pair<UINT, std::string>> items;
    for (int i = 0; i < ::GetMenuItemCount(popup); ++i) {
        char text[128] = {};
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        ASSERT_TRUE(::GetMenuItemInfoA(popup, UINT(i), TRUE, &info));
        items.emplace_back(info.fType & MFT_SEPARATOR ? 0u : info.wID, text);
    }
    std::vector<std::pair<UINT, std::string>> expected = {{32784, "Open Norvane PRO"},
                                                          {32785, "Open list of protected folders"},
                                                          {32790, "Open log of secured files"},
                                                          {32791, "Check for a new version"},
                                                          {0, ""},
                                                          {32783, "Stop monitor and exit"}};
    EXPECT_EQ(items, expected);
    ::DestroyMenu(menu);
    ::FreeLibrary(exe);
}

TEST_F(TrayProgramTest, TheIconShowsWhileAFolderIsProtected) {
    std::string photos = Folder("Photos");
    StartWith(photos, {});
    FakeShell shell;
    App app;
    HWND sheet = app.WaitForWindow();
    ASSERT_NE(sheet, nullptr);

    // With nothing protected the timer still goes through its images, but
    // the shell never gets an icon.
    ASSERT_TRUE(WaitFor([&] {
        for (const ShellRequest& r : shell.Requests())
            if (m_images.Name(r.image) == "idle")
                return true;
        return false;
    })) << "the timer never reached the idle image";
    EXPECT_EQ(shell.IconCount(), 0u);
    for (const ShellRequest& r : shell.Requests())
        EXPECT_NE(r.message, DWORD(NIM_ADD)) << "an add with nothing protected";

    // Protecting the first folder shows the icon at once (the click returns
    // after it), with the count in its tooltip and the idle image.
    ::SendMessageA(sheet, PSM_SETCURSEL, 3, 0);
    HWND page = CurrentPage(sheet);
    ::SendMessageA(::GetDlgItem(page, 1000), BM_CLICK, 0, 0);
    ShellIcon icon;
    ASSERT_TRUE(shell.OnlyIcon(&icon)) << "no icon after protecting a folder";
    EXPECT_EQ(icon.tip, kTooltipOneFolder);
    EXPECT_EQ(m_images.Name(icon.image), "idle");
    EXPECT_EQ(icon.callbackMessage, UINT(WM_USER + 1));
    EXPECT_TRUE(app.Owns(icon.owner));
    EXPECT_NE(icon.owner, sheet);
    EXPECT_FALSE(::IsWindowVisible(icon.owner)) << "the icon's window shows";

    // Removing the last one takes it away; protecting again brings it back.
    ::SendMessageA(::GetDlgItem(page, 1006), BM_CLICK, 0, 0);
    EXPECT_EQ(shell.IconCount(), 0u) << "the icon stays with nothing protected";
    ::SendMessageA(::GetDlgItem(page, 1000), BM_CLICK, 0, 0);
    ASSERT_TRUE(shell.OnlyIcon(&icon));
    EXPECT_EQ(icon.tip, kTooltipOneFolder);

    ::PostMessageA(sheet, WM_COMMAND, ID__STOP_AND_EXIT, 0);
    EXPECT_TRUE(app.Ended(20000));
    EXPECT_EQ(shell.IconCount(), 0u) << "the icon outlived the program";
    EXPECT_EQ(shell.Problem(), "");
}

TEST_F(TrayProgramTest, TheTooltipCountsTheFoldersWaitedFor) {
    // A camera card not in its reader at log-on: the program stays, with
    // the folder waited for, and protects it once the card is there.
    std::string card = m_dir.file("card");
    StartWith(card, {card});
    FakeShell shell;
    App app("-hide");
    HWND sheet = app.WaitForWindow();
    ASSERT_NE(sheet, nullptr);
    ShellIcon icon;
    EXPECT_TRUE(WaitFor([&] {
        return shell.OnlyIcon(&icon) && icon.tip == "Norvane\n0 folder(s) protected\n1 folder(s) waiting\n";
    })) << icon.tip;
    Folder("card");
    EXPECT_TRUE(WaitFor([&] { return shell.OnlyIcon(&icon) && icon.tip == kTooltipOneFolder; })) << icon.tip;
    CopyPhotoInto(card, "arrived.jpg", 6);
    EXPECT_TRUE(WaitFor([&] { return CheckGpsTags((card + "\\arrived.jpg").c_str()) == 8; }));

    ::PostMessageA(sheet, WM_COMMAND, ID__STOP_AND_EXIT, 0);
    EXPECT_TRUE(app.Ended(20000));
    EXPECT_EQ(shell.Problem(), "");
}

TEST_F(TrayProgramTest, TheImageTellsStartIdleAndWork) {
    HWND sheet = StartHidden();
    FakeShell& shell = *m_shell;
    const std::string& guarded = m_strGuarded;
    ASSERT_NE(sheet, nullptr);

    // The start-up image first, for nine ticks of 300 ms, then the idle one.
    ASSERT_TRUE(WaitFor([&] { return ShownImage(shell) == "idle"; })) << ShownImage(shell);
    DWORD start = FirstTold(shell, "start"), idle = FirstTold(shell, "idle");
    ASSERT_NE(start, 0u) << "the start-up image never showed";
    EXPECT_GE(idle - start, 2500u);
    ShellIcon icon;
    ASSERT_TRUE(shell.OnlyIcon(&icon));
    EXPECT_EQ(icon.tip, kTooltipOneFolder);

    // A photo secured by the monitor: the in-work image, then idle again
    // after nine more ticks.
    DWORD copied = ::GetTickCount();
    CopyPhotoInto(guarded, "arrived.jpg", 5);
    EXPECT_TRUE(WaitFor([&] { return ShownImage(shell) == "in-work"; })) << ShownImage(shell);
    EXPECT_TRUE(WaitFor([&] { return CountOf(Log(), "Found and secured by monitor [") == 1; })) << Log();
    EXPECT_TRUE(WaitFor([&] { return ShownImage(shell) == "idle"; })) << ShownImage(shell);
    DWORD work = FirstTold(shell, "in-work", copied), back = FirstTold(shell, "idle", copied);
    ASSERT_NE(work, 0u);
    EXPECT_GE(back - work, 2500u);
    EXPECT_EQ(CheckGpsTags((guarded + "\\arrived.jpg").c_str()), 8);
    EXPECT_EQ(shell.Problem(), "");
}

TEST_F(TrayProgramTest, TheMenuCommandsReachTheWindow) {
    HWND sheet = StartHidden();
    FakeShell& shell = *m_shell;
    App& app = *m_app;
    ASSERT_NE(sheet, nullptr);
    ShellIcon icon;
    ASSERT_TRUE(WaitFor([&] { return shell.OnlyIcon(&icon); }));

    // The menu's owner is brought to the front first, or the menu would not
    // close when the user clicks elsewhere; Escape closes it, no command.
    ASSERT_NE(::GetForegroundWindow(), sheet);
    HWND menu = OpenMenu(app, icon);
    ASSERT_NE(menu, nullptr) << "no menu on a right click";
    EXPECT_EQ(::GetForegroundWindow(), sheet);
    ::PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitFor([&] { return app.Menu() == nullptr; })) << "Escape left the menu open";
    EXPECT_FALSE(::IsWindowVisible(sheet));

    // Each "open" command shows the hidden window on its page.
    struct Case {
        MenuItem item;
        int otherPage;
        int page;
    } cases[] = {{kOpenFolderPage, 3, 0}, {kOpenProtectedFolders, 0, 3}, {kOpenLog, 0, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE("menu item " + std::to_string(c.item));
        ::ShowWindow(sheet, SW_HIDE);
        ::SendMessageA(sheet, PSM_SETCURSEL, c.otherPage, 0);
        ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(sheet) && PageIndex(sheet) == c.otherPage; }));
        menu = OpenMenu(app, icon);
        ASSERT_NE(menu, nullptr) << "no menu on a right click";
        Choose(menu, c.item);
        EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(sheet) && PageIndex(sheet) == c.page; }))
            << "page " << PageIndex(sheet);
        EXPECT_TRUE(WaitFor([&] { return app.Menu() == nullptr; })) << "the menu stays open";
    }

    // "Check for a new version" asks the update server, which cannot be
    // reached from here: the window tells the user theirs is the latest.
    menu = OpenMenu(app, icon);
    ASSERT_NE(menu, nullptr);
    Choose(menu, kCheckForUpdate);
    HWND answer = nullptr;
    EXPECT_TRUE(WaitFor([&] { return (answer = app.Find("#32770", "Information")) != nullptr; }, 20000))
        << "no answer to the update check";
    if (answer) {
        char text[256] = {};
        ::GetWindowTextA(::GetDlgItem(answer, 0xFFFF), text, sizeof text);
        EXPECT_STREQ(text, "You are using the latest version of Norvane");
        EXPECT_EQ(::GetWindow(answer, GW_OWNER), sheet) << "the answer is not the main window's";
        ::PostMessageA(answer, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitFor([&] { return !::IsWindow(answer); }));
    }

    // "Stop monitor and exit" asks first; No changes nothing.
    menu = OpenMenu(app, icon);
    ASSERT_NE(menu, nullptr);
    Choose(menu, kStopAndExit);
    HWND question = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (question = app.Question()) != nullptr; })) << "no question";
    EXPECT_EQ(::GetWindow(question, GW_OWNER), nullptr) << "the question has an owner";
    ::PostMessageA(question, WM_COMMAND, IDNO, 0);
    EXPECT_TRUE(WaitFor([&] { return app.Question() == nullptr; }));
    EXPECT_FALSE(app.Ended(1000)) << "the program ended on No";
    EXPECT_TRUE(::IsWindow(sheet));
    EXPECT_EQ(shell.IconCount(), 1u);

    // Yes ends the program, and the icon goes with it.
    menu = OpenMenu(app, icon);
    ASSERT_NE(menu, nullptr);
    Choose(menu, kStopAndExit);
    ASSERT_TRUE(WaitFor([&] { return (question = app.Question()) != nullptr; })) << "no question";
    ::PostMessageA(question, WM_COMMAND, IDYES, 0);
    EXPECT_TRUE(app.Ended(20000)) << "the program goes on after Yes";
    EXPECT_EQ(shell.IconCount(), 0u);
    EXPECT_EQ(CountOf(Log(), "Monitor is stopped ["), 1u) << Log();
}

TEST_F(TrayProgramTest, ADoubleClickOpensTheFolderPageAndOtherClicksDoNothing) {
    HWND sheet = StartHidden();
    FakeShell& shell = *m_shell;
    App& app = *m_app;
    ASSERT_NE(sheet, nullptr);
    ShellIcon icon;
    ASSERT_TRUE(WaitFor([&] { return shell.OnlyIcon(&icon); }));
    ::SendMessageA(sheet, PSM_SETCURSEL, 3, 0);

    // Plain left clicks, middle clicks, a right button's release and moves
    // do nothing. The window takes its messages in order, so once it has
    // turned to the page posted after them, they have all been handled.
    for (UINT message : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MBUTTONDOWN, WM_MBUTTONUP,
                         WM_MBUTTONDBLCLK, WM_RBUTTONUP, WM_RBUTTONDBLCLK})
        ::PostMessageA(icon.owner, icon.callbackMessage, icon.id, message);
    ::PostMessageA(sheet, PSM_SETCURSEL, 2, 0);
    ASSERT_TRUE(WaitFor([&] { return PageIndex(sheet) == 2; }));
    EXPECT_FALSE(::IsWindowVisible(sheet));
    EXPECT_EQ(app.Menu(), nullptr);

    ::PostMessageA(icon.owner, icon.callbackMessage, icon.id, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(sheet) && PageIndex(sheet) == 0; }))
        << "page " << PageIndex(sheet);
}

TEST_F(TrayProgramTest, TheIconSurvivesARestartOfTheTaskbar) {
    HWND sheet = StartHidden();
    FakeShell& shell = *m_shell;
    const std::string& guarded = m_strGuarded;
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(WaitFor([&] { return ShownImage(shell) == "idle"; }));

    // The taskbar comes back empty and says so: the icon is added at once,
    // though nothing about it changes.
    shell.Restart(true);
    EXPECT_TRUE(WaitFor([&] { return ShownImage(shell) == "idle"; }, 10000)) << "lost with the taskbar";
    ShellIcon icon;
    ASSERT_TRUE(shell.OnlyIcon(&icon));
    EXPECT_EQ(icon.tip, kTooltipOneFolder);

    // One that comes back without a word: the next change of the image
    // finds the icon missing, and the icon returns with it.
    shell.Restart(false);
    CopyPhotoInto(guarded, "arrived.jpg", 7);
    EXPECT_TRUE(WaitFor([&] { return ShownImage(shell) == "in-work"; })) << ShownImage(shell);
    ASSERT_TRUE(shell.OnlyIcon(&icon));
    EXPECT_EQ(icon.tip, kTooltipOneFolder);
    EXPECT_EQ(shell.Problem(), "");
}

TEST_F(TrayProgramTest, StartedBeforeTheTaskbarTheIconComesWhenItDoes) {
    // At log-on the program may start before the taskbar takes icons.
    ASSERT_NE(StartHidden(false), nullptr);
    FakeShell& shell = *m_shell;

    // It keeps trying past its start-up images, while the taskbar refuses.
    auto refusedIdleAdds = [&] {
        int n = 0;
        for (const ShellRequest& r : shell.Requests())
            n += r.message == NIM_ADD && !r.answer && m_images.Name(r.image) == "idle";
        return n;
    };
    EXPECT_TRUE(WaitFor([&] { return refusedIdleAdds() >= 3; })) << refusedIdleAdds() << " tries";
    EXPECT_EQ(shell.IconCount(), 0u);

    shell.SetAccepting(true);
    EXPECT_TRUE(WaitFor([&] { return ShownImage(shell) == "idle"; }, 10000)) << "never added";
    ShellIcon icon;
    ASSERT_TRUE(shell.OnlyIcon(&icon));
    EXPECT_EQ(icon.tip, kTooltipOneFolder);
}

// A new user's walk against Wine's own tray: protect a folder, close the
// window, the icon is there; a photo arrives and the in-work image shows;
// "Stop monitor and exit", Yes, and nothing is left running. A picture of
// the open menu is kept in the build tree (screenshots/tray-menu.png).
TEST_F(TrayProgramTest, AUserProtectsAFolderAndStopsFromTheTray) {
    std::string photos = Folder("Photos");
    StartWith(photos, {});
    App app;
    HWND sheet = app.WaitForWindow();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(sheet) != FALSE; }));
    EXPECT_TRUE(WineTrayIcons().empty()) << "an icon with nothing protected";

    ::SendMessageA(sheet, PSM_SETCURSEL, 3, 0);
    ::SendMessageA(::GetDlgItem(CurrentPage(sheet), 1000), BM_CLICK, 0, 0);
    ::SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(sheet); })) << "Close did not hide the window";
    ASSERT_TRUE(WaitFor([&] { return WineTrayIcons().size() == 1; })) << "no icon in the tray";
    HWND trayIcon = WineTrayIcons().front();
    EXPECT_TRUE(WaitFor([&] { return ShieldColourOn(trayIcon) == "idle"; })) << ShieldColourOn(trayIcon);

    CopyPhotoInto(photos, "arrived.jpg", 11);
    EXPECT_TRUE(WaitFor([&] { return ShieldColourOn(trayIcon) == "in-work"; })) << ShieldColourOn(trayIcon);
    EXPECT_TRUE(WaitFor([&] { return CountOf(Log(), "Found and secured by monitor [") == 1; })) << Log();

    // A right click on the icon, as the tray passes it on.
    ::PostMessageA(trayIcon, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(8, 8));
    ::PostMessageA(trayIcon, WM_RBUTTONUP, 0, MAKELPARAM(8, 8));
    HWND menu = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (menu = app.Menu()) != nullptr; }, 10000)) << "no menu";
    // Shown first, painted a moment later: the picture waits for its paint.
    EXPECT_TRUE(WaitFor(
        [&] {
            RECT r = {};
            ::GetWindowRect(menu, &r);
            HDC screen = ::GetDC(nullptr);
            COLORREF inside = ::GetPixel(screen, r.left + 4, r.bottom - 4);
            ::ReleaseDC(nullptr, screen);
            return inside == ::GetSysColor(COLOR_MENU);
        },
        5000))
        << "the menu is not painted";
    EXPECT_NE(testing_support::SaveScreenshot("tray-menu"), "");
    Choose(menu, kStopAndExit);
    HWND question = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (question = app.Question()) != nullptr; })) << "no question";
    ::PostMessageA(question, WM_COMMAND, IDYES, 0);
    EXPECT_TRUE(app.Ended(20000)) << "the program goes on after Yes";
    EXPECT_TRUE(WaitFor([&] { return WineTrayIcons().empty(); }, 10000)) << "the icon stays in the tray";
    EXPECT_EQ(RunningPrograms(), 0);
    EXPECT_EQ(CountOf(Log(), "Monitor is stopped ["), 1u) << Log();
}

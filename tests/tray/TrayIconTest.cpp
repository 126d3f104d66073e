// The notification-area icon object in the test's own process, against a
// taskbar the test plays: what the shell is told and holds for each
// operation, and how an icon the shell lost comes back.
#include "framework/CNotifyIcon.h"

#include "FakeShell.h"
#include "TrayImages.h"

#include "support/PumpUntil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tray_test;

namespace {

bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs = 10000) {
    return testing_support::PumpUntil(nullptr, pred, timeoutMs);
}

// Runs the messages that wait for this thread's windows.
void Pump() {
    PumpUntil([] { return true; }, 0);
}

class TrayIconTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(m_shell.Window(), nullptr);
        ASSERT_NE(m_first, nullptr);
        ASSERT_NE(m_second, nullptr);
        ASSERT_NE(ImageBits(m_first), ImageBits(m_second)) << "the test's two images look alike";
    }
    void TearDown() override { EXPECT_EQ(m_shell.Problem(), ""); }

    size_t Adds() const {
        size_t n = 0;
        for (const ShellRequest& r : m_shell.Requests())
            n += r.message == NIM_ADD;
        return n;
    }

    FakeShell m_shell;
    HICON m_first = ::LoadIconA(nullptr, IDI_APPLICATION);
    HICON m_second = ::LoadIconA(nullptr, IDI_WARNING);
};

// Records the mouse handlers called, with the cursor position they got.
class RecordingIcon : public CNotifyIcon {
public:
    void OnRButtonDown(int x, int y) override { Add("RButtonDown", x, y); }
    void OnLButtonDblClk(int x, int y) override { Add("LButtonDblClk", x, y); }

    void Add(const char* name, int x, int y) {
        m_calls.push_back(std::string(name) + " " + std::to_string(x) + "," + std::to_string(y));
    }
    std::vector<std::string> m_calls;
};

} // namespace

TEST_F(TrayIconTest, TheShellHoldsWhatTheRecordSays) {
    {
        CNotifyIcon icon;
        ASSERT_NE(icon.GetSafeHwnd(), nullptr);
        EXPECT_FALSE(icon.ShowTrayIcon()) << "shown without a record";
        EXPECT_FALSE(icon.AddIconRecord(nullptr, "Norvane"));
        EXPECT_TRUE(icon.AddIconRecord(m_first, "Norvane"));
        EXPECT_FALSE(icon.AddIconRecord(m_second, "Other")) << "a second record with id 0";
        EXPECT_TRUE(m_shell.Requests().empty()) << "a record alone tells the shell nothing";

        EXPECT_TRUE(icon.ShowTrayIcon());
        ShellIcon shown;
        ASSERT_TRUE(m_shell.OnlyIcon(&shown));
        EXPECT_EQ(shown.owner, icon.GetSafeHwnd());
        EXPECT_EQ(shown.id, 0u);
        EXPECT_EQ(shown.callbackMessage, WM_USER + 1);
        EXPECT_EQ(shown.tip, "Norvane");
        EXPECT_EQ(shown.image, ImageBits(m_first));

        EXPECT_TRUE(icon.SetTrayTip("Norvane\n2 folder(s) protected\n"));
        EXPECT_TRUE(icon.SetTrayIcon(m_second));
        ASSERT_TRUE(m_shell.OnlyIcon(&shown));
        EXPECT_EQ(shown.tip, "Norvane\n2 folder(s) protected\n");
        EXPECT_EQ(shown.image, ImageBits(m_second));

        // Showing it again changes nothing in the shell.
        EXPECT_TRUE(icon.ShowTrayIcon());
        EXPECT_EQ(m_shell.IconCount(), 1u);

        // Hidden, the record stays and shows again as it was.
        EXPECT_TRUE(icon.HideTrayIcon());
        EXPECT_EQ(m_shell.IconCount(), 0u);
        EXPECT_TRUE(icon.HasIconRecord());
        EXPECT_FALSE(icon.SetTrayIcon(m_first)) << "a hidden icon was changed in the shell";
        EXPECT_TRUE(icon.ShowTrayIcon());
        ASSERT_TRUE(m_shell.OnlyIcon(&shown));
        EXPECT_EQ(shown.tip, "Norvane\n2 folder(s) protected\n");
        EXPECT_EQ(shown.image, ImageBits(m_first));
        EXPECT_EQ(Adds(), 3u) << "one add per show";
    }
    EXPECT_EQ(m_shell.IconCount(), 0u) << "the icon outlived its object";
}

TEST_F(TrayIconTest, ALongTooltipIsCutWithinACharacter) {
    CNotifyIcon icon;
    ASSERT_TRUE(icon.AddIconRecord(m_first, std::string(300, 'x').c_str()));
    ASSERT_TRUE(icon.ShowTrayIcon());
    ShellIcon shown;
    ASSERT_TRUE(m_shell.OnlyIcon(&shown));
    EXPECT_EQ(shown.tip, std::string(127, 'x'));

    // The program's code page is UTF-8: a two-byte character across the
    // limit is left out whole, not cut into a byte the shell cannot read.
    ASSERT_EQ(::GetACP(), UINT(CP_UTF8));
    std::string tip = std::string(126, 'a') + "\xC3\xA9" + "b";
    EXPECT_TRUE(icon.SetTrayTip(tip.c_str()));
    ASSERT_TRUE(m_shell.OnlyIcon(&shown));
    EXPECT_EQ(shown.tip, std::string(126, 'a'));
    tip = std::string(125, 'a') + "\xC3\xA9" + "b";
    EXPECT_TRUE(icon.SetTrayTip(tip.c_str()));
    ASSERT_TRUE(m_shell.OnlyIcon(&shown));
    EXPECT_EQ(shown.tip, std::string(125, 'a') + "\xC3\xA9");
}

TEST_F(TrayIconTest, AnIconTheShellLostComesBack) {
    m_shell.SetAccepting(false);
    CNotifyIcon icon;
    ASSERT_TRUE(icon.AddIconRecord(m_first, "Norvane"));

    // No taskbar yet: the add fails, and so does every later try until the
    // taskbar takes the icon.
    EXPECT_FALSE(icon.ShowTrayIcon());
    EXPECT_FALSE(icon.IsInTray());
    EXPECT_FALSE(icon.RestoreTrayIcon());
    EXPECT_EQ(m_shell.IconCount(), 0u);
    m_shell.SetAccepting(true);
    EXPECT_TRUE(icon.RestoreTrayIcon());
    ShellIcon shown;
    ASSERT_TRUE(m_shell.OnlyIcon(&shown));
    EXPECT_EQ(shown.tip, "Norvane");
    size_t adds = Adds();
    EXPECT_TRUE(icon.RestoreTrayIcon());
    EXPECT_EQ(Adds(), adds) << "an icon the shell has was added again";

    // The taskbar restarts and says so: the hidden window hears it and the
    // icon is added to the new taskbar with its image and tooltip.
    ASSERT_TRUE(icon.SetTrayTip("Norvane\n1 folder(s) protected\n"));
    m_shell.Restart(true);
    EXPECT_TRUE(PumpUntil([&] { return m_shell.OnlyIcon(&shown); })) << "not added to the new taskbar";
    EXPECT_EQ(shown.tip, "Norvane\n1 folder(s) protected\n");
    EXPECT_EQ(shown.image, ImageBits(m_first));
    EXPECT_EQ(shown.owner, icon.GetSafeHwnd());

    // One that restarts silently is found out by the next change it
    // refuses; the next try adds the icon with the new image.
    m_shell.Restart(false);
    EXPECT_FALSE(icon.SetTrayIcon(m_second));
    EXPECT_TRUE(icon.RestoreTrayIcon());
    ASSERT_TRUE(m_shell.OnlyIcon(&shown));
    EXPECT_EQ(shown.image, ImageBits(m_second));

    // A hidden icon stays out of a new taskbar.
    EXPECT_TRUE(icon.HideTrayIcon());
    m_shell.Restart(true);
    adds = Adds();
    Pump();
    EXPECT_FALSE(icon.RestoreTrayIcon());
    EXPECT_EQ(m_shell.IconCount(), 0u);
    EXPECT_EQ(Adds(), adds);
}

TEST_F(TrayIconTest, EachMouseMessageReachesItsHandler) {
    RecordingIcon icon;
    ASSERT_TRUE(icon.AddIconRecord(m_first, "Norvane"));
    // Messages no handler takes come first: nothing is called for them.
    const UINT unhandled[] = {WM_KEYDOWN,   WM_CONTEXTMENU,  WM_MOUSEMOVE,     WM_LBUTTONDOWN,
                              WM_LBUTTONUP, WM_RBUTTONUP,    WM_RBUTTONDBLCLK, WM_MBUTTONDOWN,
                              WM_MBUTTONUP, WM_MBUTTONDBLCLK};
    for (UINT message : unhandled)
        ::PostMessageA(icon.GetSafeHwnd(), WM_USER + 1, 0, message);
    ::PostMessageA(icon.GetSafeHwnd(), WM_USER + 1, 0, WM_RBUTTONDOWN);
    ::PostMessageA(icon.GetSafeHwnd(), WM_USER + 1, 0, WM_LBUTTONDBLCLK);
    ASSERT_TRUE(PumpUntil([&] { return icon.m_calls.size() >= 2; }));
    POINT pt = {};
    ::GetCursorPos(&pt);
    std::string at = " " + std::to_string(pt.x) + "," + std::to_string(pt.y);
    std::vector<std::string> expected = {"RButtonDown" + at, "LButtonDblClk" + at};
    EXPECT_EQ(icon.m_calls, expected);
}

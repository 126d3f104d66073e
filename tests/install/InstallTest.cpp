// The installer as a user runs it, silently (/S): installed into the local
// programs folder with a Start-menu shortcut and an entry in Add/Remove
// Programs, the program started from there registers its start at log-on
// there; an installer over an older version ends the running program and
// keeps the settings; the uninstaller ends the running program and leaves
// no file, shortcut, Run value or entry behind, but the data folder.

#include "support/ProgramProcess.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <cstdlib>
#include <fstream>
#include <string>

using testing_support::ProgramProcess;

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Norvane";
const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    std::string text = value ? value : "";
    for (char& c : text)
        if (c == '/')
            c = '\\';
    return text;
}

std::string Folder(int csidl) {
    char path[MAX_PATH] = {};
    return ::SHGetFolderPathA(nullptr, csidl, nullptr, 0, path) == S_OK ? path : "";
}

bool Exists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The string value, or "(none)".
std::string Value(const char* key, const char* name) {
    char data[1024] = {};
    DWORD size = sizeof data;
    if (::RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return "(none)";
    return data;
}

// Runs command and waits for it; its exit code, or -1.
int RunCommand(const std::string& command, DWORD timeoutMs = 120000) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string line = command;
    if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    DWORD code = DWORD(-1);
    if (::WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return int(code);
}

// Polls until done() holds, at most timeoutMs.
template <class Done> bool WaitFor(Done done, DWORD timeoutMs = 30000) {
    for (DWORD start = ::GetTickCount(); !done();) {
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::Sleep(50);
    }
    return true;
}

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        setup = Env("NORVANE_SETUP_EXE");
        older = Env("NORVANE_OLDER_SETUP_EXE");
        if (setup.empty())
            GTEST_SKIP()
                << "makensis (Debian's nsis) was not there when the tree was configured: no installer";
        place = Folder(CSIDL_LOCAL_APPDATA) + "\\Programs\\Norvane";
        program = place + "\\norvane.exe";
        shortcut = Folder(CSIDL_PROGRAMS) + "\\Norvane.lnk";
        data = Folder(CSIDL_LOCAL_APPDATA) + "\\Norvane";
        // ProgramProcess starts the program the build names: here, the installed one.
        _putenv(("NORVANE_APP_EXE=" + program).c_str());
    }
    // Uninstalls silently and waits until the uninstaller, which runs from a
    // copy of itself, has removed the program's folder.
    void Uninstall() {
        if (!Exists(place + "\\uninstall.exe"))
            return;
        EXPECT_EQ(RunCommand("\"" + place + "\\uninstall.exe\" /S"), 0);
        EXPECT_TRUE(WaitFor([&] { return !Exists(place); })) << "the program's folder is still there";
    }
    void TearDown() override {
        if (!setup.empty())
            Uninstall();
    }

    std::string setup, older, place, program, shortcut, data;
};

} // namespace

TEST_F(InstallTest, SilentInstallRunsFromItsPlaceAndSilentUninstallLeavesOnlyTheData) {
    ASSERT_EQ(RunCommand("\"" + setup + "\" /S /LOGON"), 0);
    for (const char* file : {"norvane.exe", "norvane-cli.exe", "LICENSE.txt", "uninstall.exe"})
        EXPECT_TRUE(Exists(place + "\\" + file)) << file;
    EXPECT_TRUE(Exists(shortcut));
    EXPECT_EQ(Value(kUninstallKey, "DisplayVersion"), Env("NORVANE_VERSION"));
    EXPECT_EQ(Value(kUninstallKey, "UninstallString"), "\"" + place + "\\uninstall.exe\"");
    const std::string atLogOn = "\"" + program + "\" -hide";
    EXPECT_EQ(Value(kRunKey, "Norvane"), atLogOn);

    {
        ProgramProcess norvane; // hidden, with no folder to protect, it would end at once
        ASSERT_TRUE(norvane.WaitForWindow()) << "the installed program shows no window";
        EXPECT_EQ(Value(kRunKey, "Norvane"), atLogOn)
            << "the program registers itself where it was installed";
        EXPECT_TRUE(Exists(data));
        // The uninstaller ends the running program first.
        Uninstall();
        EXPECT_TRUE(norvane.Ended(30000)) << "the uninstaller left the program running";
    }
    EXPECT_FALSE(Exists(shortcut));
    EXPECT_EQ(Value(kRunKey, "Norvane"), "(none)");
    EXPECT_EQ(Value(kUninstallKey, "DisplayName"), "(none)");
    EXPECT_TRUE(Exists(data)) << "a silent uninstall keeps the log and settings";
}

TEST_F(InstallTest, InstallOverAnOlderVersionEndsTheProgramAndKeepsTheSettings) {
    ASSERT_EQ(RunCommand("\"" + older + "\" /S"), 0);
    EXPECT_EQ(Value(kUninstallKey, "DisplayVersion"), "1.0.0.0");
    ProgramProcess norvane; // hidden, with no folder to protect, it would end at once
    ASSERT_TRUE(norvane.WaitForWindow());
    ASSERT_TRUE(WaitFor([&] { return Exists(data + "\\norvane.cfg"); })) << "no settings file";
    EXPECT_EQ(Value(kRunKey, "Norvane"), "(none)") << "installed without the start at log-on, started all the same";
    std::ofstream(data + "\\keep-me.txt") << "kept";

    ASSERT_EQ(RunCommand("\"" + setup + "\" /S"), 0);
    EXPECT_TRUE(norvane.Ended(30000)) << "the installer left the old program running";
    EXPECT_EQ(Value(kUninstallKey, "DisplayVersion"), Env("NORVANE_VERSION"));
    EXPECT_TRUE(Exists(program));
    EXPECT_TRUE(Exists(data + "\\norvane.cfg"));
    EXPECT_TRUE(Exists(data + "\\keep-me.txt"));
}

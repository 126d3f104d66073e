#pragma once
// norvane.exe started as a user starts it, as a process of its own under
// the test's Wine prefix (the build names the program in NORVANE_APP_EXE),
// and ended with the test: asked to stop, killed if it does not.

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace testing_support {

// The program's path as Windows spells it (the build gives it with slashes);
// empty when the build did not name it.
inline std::string ProgramPath() {
    const char* exe = std::getenv("NORVANE_APP_EXE");
    std::string path = exe ? exe : "";
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

class ProgramProcess {
public:
    explicit ProgramProcess(const std::string& options = "") {
        std::string command = "\"" + ProgramPath() + "\" " + options;
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        std::vector<char> line(command.begin(), command.end());
        line.push_back(0);
        m_bStarted = ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                                      &m_pi) != 0;
    }
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;
    // Ends the program the way other programs may: ID__STOP_AND_EXIT
    // (32799) to its window; killed when it has not ended after 20 s.
    ~ProgramProcess() {
        if (!m_bStarted)
            return;
        if (!Ended(0)) {
            if (HWND w = Window())
                ::PostMessageA(w, WM_COMMAND, 32799, 0);
            if (!Ended(20000))
                ::TerminateProcess(m_pi.hProcess, 9);
        }
        ::CloseHandle(m_pi.hThread);
        ::CloseHandle(m_pi.hProcess);
    }

    bool Owns(HWND w) const {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(w, &pid);
        return w && pid == m_pi.dwProcessId;
    }
    // The program's main window, titled "Norvane", once it has one.
    HWND Window() const {
        HWND w = ::FindWindowA(nullptr, "Norvane");
        return Owns(w) ? w : nullptr;
    }
    HWND WaitForWindow(DWORD timeoutMs = 30000) const {
        DWORD start = ::GetTickCount();
        HWND w = nullptr;
        while (!(w = Window()) && ::GetTickCount() - start < timeoutMs)
            ::Sleep(10);
        return w;
    }
    // True when the process ended within timeoutMs; its exit code in code.
    bool Ended(DWORD timeoutMs, DWORD* code = nullptr) const {
        if (::WaitForSingleObject(m_pi.hProcess, timeoutMs) != WAIT_OBJECT_0)
            return false;
        if (code)
            ::GetExitCodeProcess(m_pi.hProcess, code);
        return true;
    }

    bool m_bStarted = false;
    PROCESS_INFORMATION m_pi = {};
};

} // namespace testing_support

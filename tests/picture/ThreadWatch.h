#pragma once
// The picture control's player thread as the system sees it: a handle of
// the test's own, opened while the player runs, tells whether the thread has
// ended; the process's thread list tells whether it is still there.

#include "ui/CPictureEx.h"

#include <windows.h>
// after windows.h, which it needs
#include <tlhelp32.h>

namespace picture_test {

class ThreadWatch {
public:
    explicit ThreadWatch(const CPictureEx& picture)
        : m_nId(picture.GetPlayerThreadId()),
          m_hThread(m_nId ? ::OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, m_nId)
                          : nullptr) {}
    ~ThreadWatch() {
        if (m_hThread)
            ::CloseHandle(m_hThread);
    }
    ThreadWatch(const ThreadWatch&) = delete;
    ThreadWatch& operator=(const ThreadWatch&) = delete;

    DWORD Id() const { return m_nId; }
    bool IsRunning() const { return m_hThread && ::WaitForSingleObject(m_hThread, 0) == WAIT_TIMEOUT; }
    // Ended by now: nothing is waited for.
    bool HasEnded() const { return m_hThread && ::WaitForSingleObject(m_hThread, 0) == WAIT_OBJECT_0; }
    // Among the threads of this process.
    bool IsListed() const {
        HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        if (snapshot == INVALID_HANDLE_VALUE)
            return true; // cannot tell: not gone
        THREADENTRY32 entry = {};
        entry.dwSize = sizeof entry;
        bool found = false;
        for (BOOL more = ::Thread32First(snapshot, &entry); more && !found;
             more = ::Thread32Next(snapshot, &entry))
            found = entry.th32OwnerProcessID == ::GetCurrentProcessId() && entry.th32ThreadID == m_nId;
        ::CloseHandle(snapshot);
        return found;
    }

private:
    DWORD m_nId;
    HANDLE m_hThread;
};

} // namespace picture_test

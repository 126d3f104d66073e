#pragma once
// An owned mutex: a mutex this thread holds, given up and closed with the
// object. The single-instance claim keeps the program's mutex in one for the
// program's whole run.

#include "framework/WinHandles.h"

#include <windows.h>

#include <utility>

class CMutexEx {
public:
    CMutexEx() = default;
    CMutexEx(const CMutexEx&) = delete;
    CMutexEx& operator=(const CMutexEx&) = delete;
    // Ownership is given up before the handle closes with its member: the
    // mutex is then free at once for a start that is waiting for it.
    ~CMutexEx() {
        if (m_hMutex.IsValid())
            ::ReleaseMutex(m_hMutex.Get());
    }

    // Takes over the handle of a mutex the calling thread owns.
    void Adopt(CHandle mutex) { m_hMutex = std::move(mutex); }
    bool IsHeld() const { return m_hMutex.IsValid(); }

private:
    CHandle m_hMutex;
};

#pragma once
// Waiting for a worker thread's end (or for any handle), on the thread that
// owns the windows or on any other.

#include "framework/WinHandles.h"

#include <windows.h>

// The worker may be about to send one of this thread's windows a message
// and wait for the answer (a receiver of an event it broadcasts may do so):
// messages sent from other threads are answered meanwhile, or both would
// wait for ever. Nothing posted is taken from the queue, so no window sees a
// message of its own out of turn. True when the handle is signalled (or
// cannot be waited on), false when timeoutMs passed first.
inline bool WaitAnsweringSentMessages(HANDLE handle, DWORD timeoutMs) {
    ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        DWORD wait = INFINITE;
        if (timeoutMs != INFINITE) {
            ULONGLONG now = ::GetTickCount64();
            wait = now >= deadline ? 0 : DWORD(deadline - now);
        }
        DWORD result = ::MsgWaitForMultipleObjectsEx(1, &handle, wait, QS_SENDMESSAGE, 0);
        if (result == WAIT_TIMEOUT)
            return false;
        if (result != WAIT_OBJECT_0 + 1)
            return true;
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

inline void WaitAnsweringSentMessages(HANDLE handle) {
    WaitAnsweringSentMessages(handle, INFINITE);
}

// A thread started with StartWorkerThread (WorkerThread.h): true once it has
// ended, and at once when there is no thread; false when timeoutMs passed
// first. The first form is for threads that own no windows a worker may
// send to; the second answers what other threads send meanwhile.
inline bool WaitForThread(const CHandle& thread, DWORD timeoutMs = INFINITE) {
    return !thread.IsValid() || ::WaitForSingleObject(thread.Get(), timeoutMs) != WAIT_TIMEOUT;
}

inline bool WaitForThreadAnsweringSentMessages(const CHandle& thread, DWORD timeoutMs = INFINITE) {
    return !thread.IsValid() || WaitAnsweringSentMessages(thread.Get(), timeoutMs);
}

#pragma once
// Waiting on the thread that owns the windows for a worker thread's end.

#include <windows.h>

// The worker may be about to send one of this thread's windows a message
// and wait for the answer (a receiver of an event it broadcasts may do so):
// messages sent from other threads are answered meanwhile, or both would
// wait for ever. Nothing posted is taken from the queue, so no window sees a
// message of its own out of turn. Returns when the handle is signalled (or
// cannot be waited on).
inline void WaitAnsweringSentMessages(HANDLE handle) {
    for (;;) {
        DWORD result = ::MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_SENDMESSAGE, 0);
        if (result != WAIT_OBJECT_0 + 1)
            return;
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

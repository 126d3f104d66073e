#pragma once
// The one way a worker thread is started: a CWinThread (which deletes itself
// when its thread ends) is made suspended, hands its thread handle over to
// the starter, gets its priority and only then runs. The starter holds that
// handle as long as it likes and waits on it for the thread's very end
// (WaitForThread.h), however soon the thread object is gone.
//
// Made suspended, because a thread that ran at once could end and delete its
// object before the handle was taken from it.

#include "framework/CWinThread.h"
#include "framework/WinHandles.h"

#include <windows.h>

// Starts thread at priority. The thread object belongs to this call from here
// on: it is deleted when no thread could be made (the handle is then
// invalid), else it deletes itself as its thread ends. threadId, when given,
// receives the new thread's id.
CHandle StartWorkerThread(CWinThread* thread, int priority = THREAD_PRIORITY_NORMAL,
                          DWORD* threadId = nullptr);

// The same for a plain thread procedure.
CHandle StartWorkerThread(AFX_THREADPROC proc, LPVOID param, int priority = THREAD_PRIORITY_NORMAL,
                          DWORD* threadId = nullptr);

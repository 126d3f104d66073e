#include "framework/WorkerThread.h"

#include <new>

CHandle StartWorkerThread(CWinThread* thread, int priority, DWORD* threadId) {
    if (!thread)
        return CHandle();
    if (!thread->CreateThread(CREATE_SUSPENDED)) {
        delete thread;
        return CHandle();
    }
    // The handle changes hands before the thread runs: from now on the
    // object may delete itself at any moment, and the handle outlives it.
    CHandle own(thread->m_hThread);
    thread->m_hThread = nullptr;
    if (threadId)
        *threadId = thread->m_nThreadID;
    ::SetThreadPriority(own.Get(), priority);
    ::ResumeThread(own.Get());
    return own;
}

CHandle StartWorkerThread(AFX_THREADPROC proc, LPVOID param, int priority, DWORD* threadId) {
    return StartWorkerThread(new (std::nothrow) CWinThread(proc, param), priority, threadId);
}

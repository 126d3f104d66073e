#pragma once
// A worker-thread object of the framework: it runs a thread procedure on a
// thread of its own and, unless m_bAutoDelete is cleared, deletes itself when
// that thread ends. Threads with a message loop of their own come with the
// window classes; this one is for workers only.

#include <windows.h>

class CException;

typedef UINT (*AFX_THREADPROC)(LPVOID);

class CWinThread {
public:
    CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam);
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;
    virtual ~CWinThread();

    // Starts the thread (or leaves it suspended with CREATE_SUSPENDED).
    // FALSE when no thread could be made; the object then stays alive and
    // belongs to the caller.
    BOOL CreateThread(DWORD dwCreateFlags = 0, UINT nStackSize = 0,
                      LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);

    int GetThreadPriority() const;
    BOOL SetThreadPriority(int nPriority);
    DWORD ResumeThread();
    DWORD SuspendThread();

    // Set-up on the new thread; a worker's thread procedure calls it when it
    // wants it. The base has nothing to set up and refuses.
    virtual BOOL InitInstance();
    // What a window procedure does with an exception that reached it.
    virtual LRESULT ProcessWndProcException(CException* e, const MSG* pMsg);
    // Called on the thread as it ends: deletes the object when m_bAutoDelete.
    virtual void Delete();

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    BOOL m_bAutoDelete = TRUE;

private:
    static unsigned __stdcall ThreadEntry(void* pThis);

    AFX_THREADPROC m_pfnThreadProc;
    LPVOID m_pThreadParams;
};

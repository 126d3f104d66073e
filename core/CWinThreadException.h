#pragma once
// The worker-thread object of a CThreadJob: a self-deleting CWinThread whose
// set-up turns on the translation of structured exceptions for its thread.

#include "framework/CWinThread.h"

class CWinThreadException : public CWinThread {
public:
    CWinThreadException(AFX_THREADPROC pfnThreadProc, LPVOID pParam) : CWinThread(pfnThreadProc, pParam) {}

    // Installs the structured-exception translator for the calling thread.
    BOOL InitInstance() override;
    // An exception that escaped a window procedure leaves the program in no
    // state to go on: the process ends at once with exit code 3.
    LRESULT ProcessWndProcException(CException* e, const MSG* pMsg) override;
};

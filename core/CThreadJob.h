#pragma once
// Base of objects that run one job body (Run) on a worker thread of their
// own, at idle priority. A hardware exception or any other exception inside
// Run ends the body, is handed to OnException on the worker, and the job
// can be started again.
//
// Start and destruction belong to the owner's thread. A derived class whose
// body can run for long must make it stop (a flag Run polls) and call
// WaitForWorker in its own destructor: by the time this base destructor
// runs, the derived members the body uses are already gone.

#include "framework/CRuntimeClass.h"
#include "framework/WinHandles.h"

#include <windows.h>

class CSeException;
class CWinThreadException;

class CThreadJob {
public:
    CThreadJob();
    CThreadJob(const CThreadJob&) = delete;
    CThreadJob& operator=(const CThreadJob&) = delete;

    // The job body, on the worker thread; its value becomes m_nResult.
    virtual int Run() = 0;
    // The thread's result after Run returned normally.
    virtual int GetResult();
    // The thread's result after Run ended with an exception.
    virtual int GetResultAfterException();
    // Starts a worker unless one still exists; true when one was started.
    virtual bool Start(HWND hOwnerWnd, int nParam);
    virtual void SetUserFlag(int nValue);
    // On the worker thread, when Run threw: the translated structured
    // exception, or null for any other exception. The base releases the
    // exception afterwards.
    virtual void OnException(CSeException* pException) = 0;
    virtual const CRuntimeClass* GetRuntimeClass() const;
    // Waits for a worker that still runs (see above).
    virtual ~CThreadJob();

    // Waits until the last worker thread has ended, at most dwMilliseconds;
    // true when no worker runs any more.
    bool WaitForWorker(DWORD dwMilliseconds = INFINITE);
    // The same without a limit, for the thread that owns the windows the
    // worker reports to: messages other threads send it are answered meanwhile.
    void WaitForWorkerAnsweringSentMessages();
    // True while a worker exists.
    bool IsWorking();

    static const CRuntimeClass classCThreadJob;

protected:
    CCriticalSection m_cs;
    CWinThreadException* m_pThread;
    HWND m_hOwnerWnd;
    int m_nParam;
    int m_nResult;
    int m_nUserFlag;

private:
    static UINT ThreadProc(LPVOID pParam);
    int RunBody();
    void ReportException(CSeException* pException);

    // The last worker's thread, to wait for its very end: the thread object
    // deletes itself before the thread has quite ended.
    CHandle m_hWorker;
};

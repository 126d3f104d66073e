#include "core/CThreadJob.h"

#include "core/CSeException.h"
#include "core/CWinThreadException.h"
#include "core/SeTranslator.h"
#include "framework/WaitForThread.h"
#include "framework/WorkerThread.h"

#include <atomic>
#include <utility>

namespace {
// Set while any job's OnException runs, so that a second failure elsewhere
// does not report into a handler that is still busy with the first.
std::atomic<bool> g_bInOnException{false};
} // namespace

const CRuntimeClass CThreadJob::classCThreadJob = {"CThreadJob", int(sizeof(CThreadJob)), 0xFFFF, nullptr};

CThreadJob::CThreadJob()
    : m_pThread(nullptr), m_hOwnerWnd(nullptr), m_nParam(0), m_nResult(0), m_nUserFlag(0) {}

CThreadJob::~CThreadJob() {
    WaitForWorker(INFINITE);
}

int CThreadJob::GetResult() {
    return m_nResult;
}

int CThreadJob::GetResultAfterException() {
    return m_nResult;
}

void CThreadJob::SetUserFlag(int nValue) {
    m_nUserFlag = nValue;
}

const CRuntimeClass* CThreadJob::GetRuntimeClass() const {
    return &classCThreadJob;
}

bool CThreadJob::Start(HWND hOwnerWnd, int nParam) {
    m_nParam = nParam;
    // Held until the thread is resumed: the worker's first step waits for it.
    CCritSecLock lock(m_cs);
    if (m_pThread)
        return false;
    m_hOwnerWnd = hOwnerWnd;
    m_nUserFlag = 0;
    m_nResult = 0;

    m_pThread = new CWinThreadException(&ThreadProc, this);
    CHandle worker = StartWorkerThread(m_pThread);
    if (!worker.IsValid()) {
        m_pThread = nullptr;
        return false;
    }
    m_hWorker = std::move(worker);
    return true;
}

// Only the owner's thread starts workers and replaces m_hWorker, and these
// run on it too: the handle cannot close while it is waited on.
bool CThreadJob::WaitForWorker(DWORD dwMilliseconds) {
    return WaitForThread(m_hWorker, dwMilliseconds);
}

void CThreadJob::WaitForWorkerAnsweringSentMessages() {
    WaitForThreadAnsweringSentMessages(m_hWorker);
}

bool CThreadJob::IsWorking() {
    CCritSecLock lock(m_cs);
    return m_pThread != nullptr;
}

UINT CThreadJob::ThreadProc(LPVOID pParam) {
    auto* job = static_cast<CThreadJob*>(pParam);
    CWinThreadException* thread;
    {
        CCritSecLock lock(job->m_cs);
        thread = job->m_pThread;
    }
    if (!thread)
        return 0;
    int result = thread->InitInstance() ? job->RunBody() : job->m_nResult;
    RemoveSeTranslator();
    // Cleared also when set-up failed: the thread object deletes itself as
    // the thread ends, and a pointer left behind would block every later
    // Start and dangle.
    CCritSecLock lock(job->m_cs);
    job->m_pThread = nullptr;
    return UINT(result);
}

int CThreadJob::RunBody() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_IDLE);
    try {
        m_nResult = Run();
        return GetResult();
    } catch (CSeException* e) {
        ReportException(e);
        if (e)
            e->Delete();
    } catch (...) {
        ReportException(nullptr);
    }
    // Nothing may leave the thread's entry point, not even from an override.
    try {
        return GetResultAfterException();
    } catch (CSeException* e) {
        if (e)
            e->Delete();
    } catch (...) {
    }
    return m_nResult;
}

void CThreadJob::ReportException(CSeException* pException) {
    if (g_bInOnException.exchange(true))
        return;
    try {
        OnException(pException);
    } catch (CSeException* e) {
        if (e)
            e->Delete();
    } catch (...) {
    }
    g_bInOnException = false;
}

#include "core/CThreadJob.h"

#include "core/CSeException.h"
#include "core/CWinThreadException.h"
#include "core/SeTranslator.h"
#include "framework/WaitForThread.h"
#include "framework/WinHandles.h"

#include <atomic>

namespace {
// Set while any job's OnException runs, so that a second failure elsewhere
// does not report into a handler that is still busy with the first.
std::atomic<bool> g_bInOnException{false};
} // namespace

const CRuntimeClass CThreadJob::classCThreadJob = {"CThreadJob", int(sizeof(CThreadJob)), 0xFFFF, nullptr};

CThreadJob::CThreadJob()
    : m_pThread(nullptr), m_hOwnerWnd(nullptr), m_nParam(0), m_nResult(0), m_nUserFlag(0),
      m_hWorker(nullptr) {
    ::InitializeCriticalSection(&m_cs);
}

CThreadJob::~CThreadJob() {
    WaitForWorker(INFINITE);
    if (m_hWorker)
        ::CloseHandle(m_hWorker);
    ::DeleteCriticalSection(&m_cs);
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
    CCritSecLock lock(&m_cs);
    if (m_pThread)
        return false;
    m_hOwnerWnd = hOwnerWnd;
    m_nUserFlag = 0;
    m_nResult = 0;

    auto* thread = new CWinThreadException(&ThreadProc, this);
    m_pThread = thread;
    if (!thread->CreateThread(CREATE_SUSPENDED)) {
        delete thread;
        m_pThread = nullptr;
        return false;
    }
    thread->SetThreadPriority(THREAD_PRIORITY_NORMAL);
    if (m_hWorker)
        ::CloseHandle(m_hWorker);
    m_hWorker = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), thread->m_hThread, ::GetCurrentProcess(), &m_hWorker,
                      SYNCHRONIZE, FALSE, 0);
    // From here on the thread object may delete itself at any moment.
    thread->ResumeThread();
    return true;
}

bool CThreadJob::WaitForWorker(DWORD dwMilliseconds) {
    HANDLE worker;
    {
        CCritSecLock lock(&m_cs);
        worker = m_hWorker;
    }
    return !worker || ::WaitForSingleObject(worker, dwMilliseconds) == WAIT_OBJECT_0;
}

void CThreadJob::WaitForWorkerAnsweringSentMessages() {
    HANDLE worker;
    {
        CCritSecLock lock(&m_cs);
        worker = m_hWorker;
    }
    if (worker)
        WaitAnsweringSentMessages(worker);
}

bool CThreadJob::IsWorking() {
    CCritSecLock lock(&m_cs);
    return m_pThread != nullptr;
}

UINT CThreadJob::ThreadProc(LPVOID pParam) {
    auto* job = static_cast<CThreadJob*>(pParam);
    CWinThreadException* thread;
    {
        CCritSecLock lock(&job->m_cs);
        thread = job->m_pThread;
    }
    if (!thread)
        return 0;
    int result = thread->InitInstance() ? job->RunBody() : job->m_nResult;
    RemoveSeTranslator();
    // Cleared also when set-up failed: the thread object deletes itself as
    // the thread ends, and a pointer left behind would block every later
    // Start and dangle.
    CCritSecLock lock(&job->m_cs);
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

#include "framework/CWinThread.h"

#include "framework/CException.h"

#include <process.h>

CWinThread::CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam)
    : m_pfnThreadProc(pfnThreadProc), m_pThreadParams(pParam) {}

CWinThread::~CWinThread() {
    if (m_hThread)
        ::CloseHandle(m_hThread);
}

BOOL CWinThread::CreateThread(DWORD dwCreateFlags, UINT nStackSize, LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
    if (m_hThread || !m_pfnThreadProc)
        return FALSE;
    // Always made suspended: a thread that ran at once could end and delete
    // this object before the handle and id are stored in it.
    unsigned id = 0;
    uintptr_t h = _beginthreadex(lpSecurityAttrs, nStackSize, &ThreadEntry, this, CREATE_SUSPENDED, &id);
    if (!h)
        return FALSE;
    m_hThread = reinterpret_cast<HANDLE>(h);
    m_nThreadID = id;
    if (!(dwCreateFlags & CREATE_SUSPENDED))
        ::ResumeThread(m_hThread);
    return TRUE;
}

int CWinThread::GetThreadPriority() const {
    return ::GetThreadPriority(m_hThread);
}

BOOL CWinThread::SetThreadPriority(int nPriority) {
    return ::SetThreadPriority(m_hThread, nPriority);
}

DWORD CWinThread::ResumeThread() {
    return ::ResumeThread(m_hThread);
}

DWORD CWinThread::SuspendThread() {
    return ::SuspendThread(m_hThread);
}

BOOL CWinThread::InitInstance() {
    return FALSE;
}

LRESULT CWinThread::ProcessWndProcException(CException* e, const MSG*) {
    if (e)
        e->Delete();
    return 0;
}

void CWinThread::Delete() {
    if (m_bAutoDelete)
        delete this;
}

unsigned __stdcall CWinThread::ThreadEntry(void* pThis) {
    auto* thread = static_cast<CWinThread*>(pThis);
    UINT code = thread->m_pfnThreadProc(thread->m_pThreadParams);
    thread->Delete();
    return code;
}

#include "core/CWatch.h"

IMPLEMENT_PRIVATE_HEAP(CWatch)

CWatch::CWatch(const CList<CString>& folders, CKnownRecord& known)
    : m_folders(folders), m_known(known), m_client(this) {}

CWatch::~CWatch() {
    m_client.Unregister();
    // Shutdown order: the windows took the icon out of the notification
    // area before this (nothing promises protection that is ending); every
    // thread is stopped and waited for, each finishing the photo it is
    // securing.
    for (POSITION pos = m_lstThreads.GetHeadPosition(); pos;)
        m_lstThreads.GetNext(pos)->SignalStop();
    for (POSITION pos = m_lstThreads.GetHeadPosition(); pos;)
        delete m_lstThreads.GetNext(pos);
    m_lstThreads.RemoveAll();
    ReleaseStoppedThreads();
}

void CWatch::OnEvent(UINT nId) {
    if (nId == ID_UPDATE_WATCH_LIST)
        UpdateThreads();
}

void CWatch::UpdateThreads() {
    const CList<CString>& folders = m_folders;
    for (POSITION pos = folders.GetHeadPosition(); pos;) {
        const CString& folder = folders.GetNext(pos);
        bool watched = false;
        for (POSITION t = m_lstThreads.GetHeadPosition(); t && !watched;)
            watched = m_lstThreads.GetNext(t)->m_strFolder.CompareNoCase(folder) == 0;
        if (watched)
            continue;
        CThread* thread = new CThread;
        if (!thread)
            continue; // no memory: the folder gets its thread at the next synchronisation
        thread->StartMonitor(folder, m_known);
        m_lstThreads.AddTail(thread);
    }
    for (POSITION pos = m_lstThreads.GetHeadPosition(); pos;) {
        POSITION at = pos;
        CThread* thread = m_lstThreads.GetNext(pos);
        bool listed = false;
        for (POSITION f = folders.GetHeadPosition(); f && !listed;)
            listed = folders.GetNext(f).CompareNoCase(thread->m_strFolder) == 0;
        if (listed)
            continue;
        m_lstThreads.RemoveAt(at);
        thread->SignalStop();
        m_lstStopping.AddTail(thread);
    }
    BroadcastEvent(ID_WATCH_UPDATE_TOOLTIP);
    BroadcastEvent(ID_WATCH_UPDATE_ICON);
}

void CWatch::ReleaseStoppedThreads() {
    while (!m_lstStopping.IsEmpty()) {
        CThread* thread = m_lstStopping.RemoveHead();
        thread->StopMonitor();
        delete thread;
    }
}

bool CWatch::IsFolderWaiting(const char* folder) const {
    if (!folder)
        return false;
    for (POSITION pos = m_lstThreads.GetHeadPosition(); pos;) {
        const CThread* thread = m_lstThreads.GetNext(pos);
        if (thread->m_strFolder.CompareNoCase(folder) == 0)
            return thread->IsWaiting();
    }
    return false;
}

int CWatch::GetWaitingFolderCount() const {
    int waiting = 0;
    const CList<CString>& folders = m_folders;
    for (POSITION pos = folders.GetHeadPosition(); pos;)
        waiting += IsFolderWaiting(folders.GetNext(pos)) ? 1 : 0;
    return waiting;
}

int CWatch::GetWalkingFolderCount() const {
    int walking = 0;
    for (POSITION pos = m_lstThreads.GetHeadPosition(); pos;)
        walking += m_lstThreads.GetNext(pos)->IsWalking() ? 1 : 0;
    return walking;
}

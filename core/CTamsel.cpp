#include "core/CTamsel.h"

#include "core/ActivityLog.h"
#include "core/Autostart.h"
#include "core/CWatch.h"
#include "core/LogEntries.h"
#include "core/Paths.h"

#include <io.h>

CTamsel* g_pTamsel = nullptr;

IMPLEMENT_PRIVATE_HEAP(CTamsel)

CTamsel::CTamsel() {
    RegisterAutostart();
    m_strRunKey = kRunKey;
    m_pWatch = new CWatch(this);
    // A protected folder that is not there now is kept: only the user
    // removes a folder from the list. Its thread waits for it.
    LoadSettings();
    if (m_bSettingsUnreadable) {
        // The protected folders it held are not protected now: said in the
        // log at once, and to the user when the window next shows.
        CString path = GetDataFolder() + "\\" + kSettingsFileName;
        AppendToLog(SettingsUnreadableEntry(GetTimeStamp(), path, m_strUnreadableKeptAs));
        m_bTellUnreadableSettings = true;
    }
    // The monitor starts one thread per folder and saves the settings.
    BroadcastWatchListChange();
}

CTamsel::~CTamsel() {
    // Shutdown order: the scan is stopped and its worker waited for before
    // anything it uses goes (a photo it is rewriting is finished first);
    // then the settings are saved and the monitor, with every monitoring
    // thread, is stopped.
    m_bStopScan = true;
    WaitForWorker(INFINITE);
    SaveSettings();
    delete m_pWatch;
    m_pWatch = nullptr;
    m_lstProtectedFolders.RemoveAll();
}

void CTamsel::OnException(CSeException*) {}

void CTamsel::BroadcastWatchListChange() {
    BroadcastEvent(ID_UPDATE_WATCH_LIST);
    // Threads of removed folders are waited for only now that the broadcast
    // lock is free: one of them may be waiting for it to report a photo.
    if (m_pWatch)
        m_pWatch->ReleaseStoppedThreads();
}

void CTamsel::SetFolderForScan(const char* path) {
    if (path && *path && _access(path, 0) == 0) {
        m_strFolderForScan = path;
        SaveSettings();
    } else {
        m_strFolderForScan.Empty();
    }
}

CString CTamsel::GetFolderForScan() const {
    return m_strFolderForScan;
}

void CTamsel::AddProtectedFolder(const char* path) {
    if (!path)
        return;
    if (_access(path, 0) == 0 && !IsProtectedFolder(path))
        m_lstProtectedFolders.AddTail(CString(path));
    BroadcastWatchListChange();
}

void CTamsel::RemoveProtectedFolder(const char* path) {
    if (!path)
        return;
    for (POSITION pos = m_lstProtectedFolders.GetHeadPosition(); pos;) {
        POSITION at = pos;
        if (m_lstProtectedFolders.GetNext(pos).CompareNoCase(path) == 0)
            m_lstProtectedFolders.RemoveAt(at);
    }
    BroadcastWatchListChange();
}

bool CTamsel::IsFolderWaiting(const char* path) const {
    return m_pWatch && m_pWatch->IsFolderWaiting(path);
}

int CTamsel::GetWaitingFolderCount() const {
    return m_pWatch ? m_pWatch->GetWaitingFolderCount() : 0;
}

bool CTamsel::IsProtectedFolder(const char* path) const {
    if (!path)
        return false;
    for (POSITION pos = m_lstProtectedFolders.GetHeadPosition(); pos;)
        if (m_lstProtectedFolders.GetNext(pos).CompareNoCase(path) == 0)
            return true;
    return false;
}

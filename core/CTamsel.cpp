#include "core/CTamsel.h"

#include "core/ActivityLog.h"
#include "core/Autostart.h"
#include "core/CWatch.h"
#include "core/LogEntries.h"
#include "core/Paths.h"
#include "engine/FileOs.h"

CTamsel* g_pTamsel = nullptr;

IMPLEMENT_PRIVATE_HEAP(CTamsel)

// The record is read once, here; one that is missing (a first start) or
// damaged starts empty and is rebuilt by the walks without a word in the
// log: it holds nothing the user keeps, only what spares a walk opening
// photos again.
CTamsel::CTamsel() : m_known(GetKnownPhotosPath()) {
    RegisterAutostart();
    m_strRunKey = kRunKey;
    m_pWatch = std::make_unique<CWatch>(m_settings.m_lstProtectedFolders, m_known);
    // A protected folder that is not there now is kept: only the user
    // removes a folder from the list. Its thread waits for it.
    m_settings.LoadSettings();
    if (m_settings.m_bSettingsUnreadable) {
        // The protected folders it held are not protected now: said in the
        // log at once, and to the user when the window next shows.
        CString path = GetDataFolder() + "\\" + CTamselSettings::kSettingsFileName;
        AppendToLog(SettingsUnreadableEntry(GetTimeStamp(), path, m_settings.m_strUnreadableKeptAs));
        m_bTellUnreadableSettings = true;
    }
    // One thread per folder.
    FollowFolderList();
}

CTamsel::~CTamsel() {
    // Shutdown order: the scan is stopped and its worker waited for before
    // anything it uses goes (a photo it is rewriting is finished first);
    // then the settings are saved and the monitor, with every monitoring
    // thread, is stopped; last, with no walk left, the record of known
    // photos is saved.
    m_bStopScan = true;
    WaitForWorker(INFINITE);
    m_settings.SaveSettings();
    m_pWatch.reset();
    m_known.EndWalk();
    m_settings.m_lstProtectedFolders.RemoveAll();
}

void CTamsel::OnException(CSeException*) {}

void CTamsel::FollowFolderList() {
    m_settings.SaveSettings();
    // The monitor follows the list inside this broadcast.
    BroadcastEvent(ID_UPDATE_WATCH_LIST);
    // Threads of removed folders are waited for only now that the broadcast
    // lock is free: one of them may be waiting for it to report a photo.
    if (m_pWatch)
        m_pWatch->ReleaseStoppedThreads();
}

bool CTamsel::TakeUnreadableSettingsNotice(CString& keptAs) {
    if (!m_bTellUnreadableSettings)
        return false;
    m_bTellUnreadableSettings = false;
    keptAs = m_settings.m_strUnreadableKeptAs;
    return true;
}

void CTamsel::SetFolderForScan(const char* path) {
    if (fileos::Exists(path)) {
        m_settings.m_strFolderForScan = path;
        m_settings.SaveSettings();
    } else {
        m_settings.m_strFolderForScan.Empty();
    }
}

CString CTamsel::GetFolderForScan() const {
    return m_settings.m_strFolderForScan;
}

void CTamsel::AddProtectedFolder(const char* path) {
    if (!path)
        return;
    if (fileos::Exists(path) && !IsProtectedFolder(path))
        m_settings.m_lstProtectedFolders.AddTail(CString(path));
    FollowFolderList();
}

void CTamsel::RemoveProtectedFolder(const char* path) {
    if (!path)
        return;
    CList<CString>& folders = m_settings.m_lstProtectedFolders;
    for (POSITION pos = folders.GetHeadPosition(); pos;) {
        POSITION at = pos;
        if (folders.GetNext(pos).CompareNoCase(path) == 0)
            folders.RemoveAt(at);
    }
    FollowFolderList();
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
    const CList<CString>& folders = m_settings.m_lstProtectedFolders;
    for (POSITION pos = folders.GetHeadPosition(); pos;)
        if (folders.GetNext(pos).CompareNoCase(path) == 0)
            return true;
    return false;
}

#pragma once
// The core object: one per process, reachable through g_pTamsel. It holds
// the settings record, runs the folder scan as its worker job, owns the
// folder monitor, and offers the operations with which the windows change the
// protected-folder list. Creating it brings the background side up
// (settings loaded, autostart value written, one monitoring thread per
// protected folder); destroying it takes everything down again.
//
// The protected-folder list flows one way: a page calls AddProtectedFolder
// or RemoveProtectedFolder, the core changes its settings record and saves
// it, and one broadcast (ID_UPDATE_WATCH_LIST) has the monitor follow the
// list (which it reads from the core and never changes); the monitor's own
// announcements within that broadcast have the notification-area icon show
// it.
//
// Everything but the scan body runs on the user-interface thread.

#include "core/CTamselSettings.h"
#include "core/CThreadJob.h"
#include "core/EventBroadcast.h"
#include "core/KnownRecord.h"
#include "core/PrivateHeap.h"
#include "framework/CList.h"
#include "framework/CString.h"

#include <windows.h>

#include <atomic>
#include <memory>

class CWatch;

// Posted to the main window while a scan runs: wParam the files found so far,
// lParam the progress range. The receiver reads the counters from the core.
constexpr UINT WM_SCAN_PROGRESS = 0x147D;

// What a scan counted: reset when a scan starts, kept after it ends.
struct ScanCounters {
    LONG nFilesFound = 0;
    LONG nJpegFiles = 0;
    LONG nSecureFiles = 0;
    LONG nSecuredFiles = 0;
    // Photos that needed securing and were not, and photos that still hold
    // a location Norvane cannot clear: each has its log entry.
    LONG nNotSecuredFiles = 0;
    LONG nLocationLeftFiles = 0;
    // Photos whose data is kept only online: never read (reading would
    // download them).
    LONG nCloudOnlyFiles = 0;
    LONG nProgressRange = 0;
};

class CTamsel : private CThreadJob {
public:
    DECLARE_PRIVATE_HEAP()

    CTamsel();
    ~CTamsel() override;

    // The settings as they are now, and the value under which the program
    // starts with the user's session.
    const CTamselSettings& GetSettings() const { return m_settings; }
    const CString& GetRunKey() const { return m_strRunKey; }

    // The settings file could not be read at start (it was kept aside and the
    // defaults are in use): the main window tells the user once it shows.
    bool MustTellUnreadableSettings() const { return m_bTellUnreadableSettings; }
    // True once, with where the file was kept (empty when nowhere); false
    // when there is nothing (more) to tell.
    bool TakeUnreadableSettingsNotice(CString& keptAs);

    // Folder to scan: taken (and the settings saved) when it exists, else
    // cleared.
    void SetFolderForScan(const char* path);
    CString GetFolderForScan() const;

    // Changes of the protected-folder list. Folders are compared without
    // regard to letter case. Each call makes the monitor follow the list.
    void AddProtectedFolder(const char* path);
    void RemoveProtectedFolder(const char* path);
    bool IsProtectedFolder(const char* path) const;
    int GetProtectedFolderCount() const { return int(m_settings.m_lstProtectedFolders.GetCount()); }
    const CList<CString>& GetProtectedFolders() const { return m_settings.m_lstProtectedFolders; }
    // A listed folder that is not there now (a card, disk or share not
    // connected, a folder removed or renamed) stays listed; its monitor
    // waits for it. These say which, as far as the monitor knows.
    bool IsFolderWaiting(const char* path) const;
    int GetWaitingFolderCount() const;

    // The monitor, for tests: how many folders it watches.
    const CWatch* GetMonitor() const { return m_pWatch.get(); }

    // The record of photos known to need nothing, which every walk consults
    // and keeps up to date (core/KnownRecord.h).
    const KnownPhotos& GetKnownPhotos() const { return m_known.GetPhotos(); }

    // Starts a scan of the folder to scan. A scan that is still ending (the
    // user pressed Stop, then Back and Start again at once) is waited for
    // first, answering the messages its worker sends meanwhile, so the new
    // scan always runs. Returns the new scan's number, which its
    // ID_SCAN_FINISH carries as lParam (a finish of an older scan can still
    // be waiting in the queue), or 0 when no worker could be started. A full
    // scan reads every photo, also those the record knows to need nothing,
    // and brings the record up to date.
    LONG StartScan(bool bFullScan = false);
    // Asks the running scan to stop after the photo it is securing; it then
    // reports its end as usual. Returns at once.
    void StopScan();
    // True from the moment the scan body runs until it has counted its last
    // file; the worker may still be ending after that (IsWorking).
    bool IsScanning() const { return m_bScanning != 0; }
    ScanCounters GetScanCounters() const;

    // The windows the scan reports to: the main window takes WM_SCAN_PROGRESS,
    // the scanning page ID_SCAN_FINISH. Null for none.
    void SetProgressWindow(HWND hWnd) { m_hProgressWnd = hWnd; }
    void SetFinishWindow(HWND hWnd) { m_hNotifyWnd = hWnd; }
    HWND GetFinishWindow() const { return m_hNotifyWnd; }
    // Neither window nor a page of it gets the scan's messages any more.
    void ForgetScanWindows(HWND window);

    // The receiver of WM_SCAN_PROGRESS calls this when it takes the message
    // (before it reads the counters): the next progress may then be posted.
    // At most one progress message waits at any time, so a fast scan can
    // never fill the window's queue and crowd out ID_SCAN_FINISH.
    void OnScanProgressHandled() { ::InterlockedExchange(&m_lProgressWaiting, 0); }

    // The scan's worker (see CThreadJob).
    using CThreadJob::IsWorking;
    using CThreadJob::WaitForWorker;
    using CThreadJob::WaitForWorkerAnsweringSentMessages;

private:
    friend class CScanWalk;

    // The scan job, on the worker thread.
    int Run() override;
    void OnException(CSeException* pException) override;

    // Saves the settings and has the monitor and the windows follow the list.
    void FollowFolderList();
    void ScanFolderTree();
    void ScanPhoto(const char* path, const fileos::FolderEntry& entry, const fileos::FileKey& folder);
    void PostProgress();
    void PostFinish(LONG nScanNumber);

    CTamselSettings m_settings;
    CString m_strRunKey;
    bool m_bTellUnreadableSettings = false;
    // Before the monitor, which walks with it from its first moment, and
    // gone after it.
    CKnownRecord m_known;
    std::unique_ptr<CWatch> m_pWatch;

    // Written by the scan's worker, read by the windows.
    volatile LONG m_nFilesFound = 0;
    volatile LONG m_nJpegFiles = 0;
    volatile LONG m_nSecureFiles = 0;
    volatile LONG m_nSecuredFiles = 0;
    volatile LONG m_nNotSecuredFiles = 0;
    volatile LONG m_nLocationLeftFiles = 0;
    volatile LONG m_nCloudOnlyFiles = 0;
    volatile LONG m_nProgressRange = 0;

    volatile LONG m_bScanning = 0;
    volatile bool m_bStopScan = false;
    // Set with the scan's number: the worker reads it once.
    volatile bool m_bFullScan = false;
    // Receives ID_SCAN_FINISH (the scanning page).
    std::atomic<HWND> m_hNotifyWnd{nullptr};
    // Receives WM_SCAN_PROGRESS (the main window).
    std::atomic<HWND> m_hProgressWnd{nullptr};
    volatile LONG m_lProgressWaiting = 0;
    // The number of the last scan started; the worker reads it once.
    volatile LONG m_nScanNumber = 0;
};

extern CTamsel* g_pTamsel;

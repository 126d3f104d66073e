#pragma once
// The engine object: one per process, reachable through g_pTamsel. It holds
// the settings, runs the folder scan as its worker job, owns the folder
// monitor, and offers the operations with which the windows change the
// protected-folder list. Creating it brings the background side up
// (settings loaded, autostart value written, one monitoring thread per
// protected folder); destroying it takes everything down again.
//
// Everything but the scan body runs on the user-interface thread.

#include "core/CTamselSettings.h"
#include "core/CThreadJob.h"
#include "core/EventBroadcast.h"
#include "core/PrivateHeap.h"
#include "framework/CString.h"

#include <windows.h>

// Posted to the main window while a scan runs: wParam the files found so far,
// lParam the progress range. The receiver reads the counters from the engine.
constexpr UINT WM_SCAN_PROGRESS = 0x147D;

class CTamsel : public CThreadJob, public CTamselSettings {
public:
    DECLARE_PRIVATE_HEAP()

    class CWatch;

    CTamsel();
    ~CTamsel() override;

    // The scan job, on the worker thread.
    int Run() override;
    void OnException(CSeException* pException) override;

    // Folder to scan: taken (and the settings saved) when it exists, else
    // cleared.
    void SetFolderForScan(const char* path);
    CString GetFolderForScan() const;

    // Changes of the protected-folder list. Folders are compared without
    // regard to letter case. Each call makes the monitor follow the list.
    void AddProtectedFolder(const char* path);
    void RemoveProtectedFolder(const char* path);
    bool IsProtectedFolder(const char* path) const;
    int GetProtectedFolderCount() const { return int(m_lstProtectedFolders.GetCount()); }
    // A listed folder that is not there now (a card, disk or share not
    // connected, a folder removed or renamed) stays listed; its monitor
    // waits for it. These say which, as far as the monitor knows.
    bool IsFolderWaiting(const char* path) const;
    int GetWaitingFolderCount() const;

    // Starts a scan of the folder to scan. A scan that is still ending (the
    // user pressed Stop, then Back and Start again at once) is waited for
    // first, answering the messages its worker sends meanwhile, so the new
    // scan always runs. Returns the new scan's number, which its
    // ID_SCAN_FINISH carries as lParam (a finish of an older scan can still
    // be waiting in the queue), or 0 when no worker could be started.
    LONG StartScan();

    // The receiver of WM_SCAN_PROGRESS calls this when it takes the message
    // (before it reads the counters): the next progress may then be posted.
    // At most one progress message waits at any time, so a fast scan can
    // never fill the window's queue and crowd out ID_SCAN_FINISH.
    void OnScanProgressHandled() { ::InterlockedExchange(&m_lProgressWaiting, 0); }

    CString m_strRunKey;
    // The settings file could not be read at start (it was kept aside and the
    // defaults are in use): the main window tells the user once it shows,
    // and clears this.
    bool m_bTellUnreadableSettings = false;

    // Scan counters: reset when a scan starts, kept after it ends.
    volatile LONG m_nFilesFound = 0;
    volatile LONG m_nJpegFiles = 0;
    volatile LONG m_nSecureFiles = 0;
    volatile LONG m_nSecuredFiles = 0;
    // Photos that needed securing and were not, and photos that still hold
    // a location Norvane cannot clear: each has its log entry.
    volatile LONG m_nNotSecuredFiles = 0;
    volatile LONG m_nLocationLeftFiles = 0;
    volatile LONG m_nProgressRange = 0;

    CWatch* m_pWatch = nullptr;
    volatile LONG m_bScanning = 0;
    volatile bool m_bStopScan = false;
    // Receives ID_SCAN_FINISH (the scanning page).
    HWND m_hNotifyWnd = nullptr;
    // Receives WM_SCAN_PROGRESS (the main window).
    HWND m_hProgressWnd = nullptr;

private:
    friend class CScanWalk;

    void BroadcastWatchListChange();
    void ScanFolderTree();
    void ScanPhoto(const char* path);
    void PostProgress();
    void PostFinish(LONG nScanNumber);

    volatile LONG m_lProgressWaiting = 0;
    // The number of the last scan started; the worker reads it once.
    volatile LONG m_nScanNumber = 0;
};

extern CTamsel* g_pTamsel;

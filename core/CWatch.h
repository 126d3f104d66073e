#pragma once
// The folder monitor: one monitoring thread per protected folder, each
// securing the photos that arrive in its folder or any folder below it.
//
// The monitor follows its owner's protected-folder list, which it reads and
// never changes, at every ID_UPDATE_WATCH_LIST. That event arrives inside
// the broadcast, with the broadcast lock held, while a monitoring thread may
// be waiting for the very same lock to announce a secured photo. So the
// synchronisation never waits for a thread there: threads of removed folders
// are told to stop and set aside, and the owner waits for them
// (ReleaseStoppedThreads) once the broadcast has returned.
//
// A protected folder that is not there (a camera card, a USB disk or a
// network share not connected, a folder removed or renamed) stays in the
// list. Its thread waits for it, looking again every 2 s, and watches it as
// soon as it is back, after a walk that secures what arrived meanwhile. A
// thread announces each change between watching and waiting with
// ID_WATCH_STATE_CHANGED from its own thread; the windows pick the new state
// up on their own thread (IsFolderWaiting, GetWaitingFolderCount).
//
// Whenever a thread starts watching its folder (at program start, when the
// folder is added, when it is back after it was missing) it walks the folder
// with the scanner's rules, in the background, after its change watch is
// armed: photos put there while nobody watched are secured, and one that
// arrives during the walk is still seen. Every walk takes photos the record
// of known photos (core/KnownRecord.h) knows from it without opening them.

#include "core/EventBroadcast.h"
#include "core/PrivateHeap.h"
#include "framework/CList.h"
#include "framework/CString.h"
#include "framework/WinHandles.h"

#include <windows.h>

class CKnownRecord;

class CWatch {
public:
    DECLARE_PRIVATE_HEAP()
    DECLARE_EVENT_CLIENT()

    class CThread;

    // folders is the owner's list and known its record of known photos;
    // both outlive the monitor.
    CWatch(const CList<CString>& folders, CKnownRecord& known);
    CWatch(const CWatch&) = delete;
    CWatch& operator=(const CWatch&) = delete;
    // Stops every monitoring thread and waits for each one's end.
    virtual ~CWatch();

    void OnEvent(UINT nId);
    // Starts a thread for each listed folder that has none (folders equal but
    // for letter case share one), tells the threads of folders no longer
    // listed to stop and has the icon brought up to date.
    void UpdateThreads();
    // Waits for the threads that UpdateThreads told to stop and releases
    // them. Never called with the broadcast lock held.
    void ReleaseStoppedThreads();

    int GetThreadCount() const { return m_lstThreads.GetCount(); }
    // Whether the thread of folder (any spelling) waits for its folder to
    // be there; false for a folder with no thread.
    bool IsFolderWaiting(const char* folder) const;
    // The entries of the list whose folder is waited for.
    int GetWaitingFolderCount() const;
    // How many threads walk their folder right now, or are about to: a new
    // thread counts from its start until its first walk ended (or it found
    // its folder missing), so a poll never sees the moment before it ran.
    int GetWalkingFolderCount() const;

private:
    const CList<CString>& m_folders;
    CKnownRecord& m_known;
    CList<CThread*> m_lstThreads;
    CList<CThread*> m_lstStopping;
    // Last member: joins the broadcast once the rest is built.
    _class_client_<CWatch> m_client;
};

// One protected folder under watch, on a thread of its own.
class CWatch::CThread {
public:
    DECLARE_PRIVATE_HEAP()

    CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;
    // Stops the thread first when it still runs.
    ~CThread();

    // Starts watching folder on a new thread, walking it with the record
    // known; false when no thread could be made (the object then simply
    // holds no thread).
    bool StartMonitor(const char* folder, CKnownRecord& known);
    // Asks the thread to stop after the photo it is securing; returns at once.
    void SignalStop();
    // Asks the thread to stop and waits for its very end, answering the
    // messages other threads send to this thread's windows meanwhile.
    void StopMonitor();

    // True while the thread waits for its folder to be there (not yet, or no
    // longer); false while it watches it, and before it first looked.
    bool IsWaiting() const { return m_bWaiting != 0; }
    // True while the thread walks its folder or a walk of it is due.
    bool IsWalking() const { return m_bWalking != 0; }

    HANDLE m_hWaitHandles[2] = {};
    OVERLAPPED m_overlapped = {};
    CHandle m_evStop;
    CString m_strFolder;
    volatile LONG m_bRunning = 0;
    // Written by the monitoring thread, read by the user-interface thread.
    volatile LONG m_bWaiting = 0;
    volatile LONG m_bWalking = 0;
    CKnownRecord* m_pKnown = nullptr;

private:
    static UINT MonitorThreadProc(LPVOID pParam);

    CHandle m_evChange;
    // The stop waits on it for the thread's very end.
    CHandle m_hThread;
    volatile bool m_bStopRequested = false;
};

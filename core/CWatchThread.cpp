// A monitoring thread: it keeps one overlapped ReadDirectoryChangesW pending
// on its folder (the whole subtree; last-write, file-name and folder-name
// changes) and sleeps until the system completes it or the thread is told to
// stop.
//
// What the system reports, and what the thread makes of it:
//  - Records of added, modified and renamed-to names: each photo named is
//    secured once per batch. A copy raises several notices per file; the
//    later ones (and the one our own rewrite raises) find it secure.
//  - A folder made or moved in is walked: a move raises one notice for the
//    folder and none for the photos in it.
//  - A read that completes with no records, or with ERROR_NOTIFY_ENUM_DIR,
//    means the changes overflowed the buffer and were dropped: the whole
//    folder is walked again with the scanner's rules, so a burst of photos
//    is never missed.
//  - A photo its writer still holds open (a slow copy from a camera card)
//    is kept in a waiting list and tried again, at growing intervals, until
//    no writer holds it; no later notice is needed for it.
//  - A photo on which securing faults (an access violation, any exception)
//    is passed over, and the thread goes on: one bad photo dropped into a
//    protected folder must not end the protection of all the others.
// The next read is queued as soon as a batch has been taken from the
// buffer, so changes made while photos are being secured are kept.

#include "core/CWatch.h"

#include "core/ActivityLog.h"
#include "core/CSeException.h"
#include "core/FolderWalk.h"
#include "core/LogEntries.h"
#include "core/PhotoSecuring.h"
#include "core/SeTranslator.h"
#include "engine/JpegName.h"
#include "engine/ResultCodes.h"
#include "framework/CWinThread.h"
#include "framework/WaitForThread.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

IMPLEMENT_PRIVATE_HEAP(CTamsel::CWatch::CThread)

namespace {

constexpr DWORD kChangeBufferSize = 65536;
volatile DWORD g_dwChangeBufferSizeForTests = 0;

// Folder names too: a folder moved in from elsewhere on the volume is one
// rename, and no notice ever names the photos inside it.
constexpr DWORD kNotifyFilter =
    FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME;

// A photo held open by its writer is tried again after 50 ms, then at
// doubling intervals up to 2 s, for at most 30 minutes from the last notice
// that named it; after that only a new notice brings it back.
constexpr DWORD kFirstRetryMs = 50;
constexpr DWORD kLongestRetryMs = 2000;
constexpr DWORD kGiveUpMs = 30 * 60 * 1000;
volatile DWORD g_dwGiveUpMsForTests = 0;

DWORD GiveUpMs() {
    return g_dwGiveUpMsForTests ? g_dwGiveUpMsForTests : kGiveUpMs;
}

// The folder with exactly one trailing backslash.
CString FolderText(const CString& folder) {
    CString text = folder;
    while (!text.IsEmpty() && text.GetAt(text.GetLength() - 1) == '\\')
        text = text.Left(text.GetLength() - 1);
    return text + "\\";
}

// A name of a change record (UTF-16, relative to the folder) in the process
// code page, whole, however long it is.
std::string NarrowName(const wchar_t* name, int length) {
    if (length <= 0)
        return std::string();
    int bytes = ::WideCharToMultiByte(CP_ACP, 0, name, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return std::string();
    std::string out(size_t(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, name, length, &out[0], bytes, nullptr, nullptr);
    return out;
}

// True when no program has the file open for writing: a writer that has
// not finished keeps it, and a photo must not be read half written. Sharing
// reading only is enough to be refused while any writer holds it, and, unlike
// sharing nothing, does not refuse a viewer that opens the new photo at this
// very moment.
bool WriterHasClosed(const char* path) {
    HANDLE h = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(h);
    return true;
}

struct Waiting {
    DWORD since; // tick of the last notice that named it
    DWORD due;   // tick of the next try
    DWORD interval;
};

class CFolderMonitor {
public:
    CFolderMonitor(const CString& folder, HANDLE (&waitHandles)[2], OVERLAPPED& overlapped,
                   volatile bool& stopRequested)
        : m_strFolder(folder), m_waitHandles(waitHandles), m_overlapped(overlapped),
          m_bStopRequested(stopRequested) {}
    // Also when an exception ends Run: the system must be done with the
    // buffer before it goes.
    ~CFolderMonitor() { FinishPendingRead(); }

    void Run();

private:
    bool QueueRead();
    void FinishPendingRead();
    void HandleBatch(DWORD bytes);
    void Rescan();
    // Walks a folder that was made or moved in; false when name is no folder.
    bool SecureArrivedFolder(const std::string& name);
    void SecureNewFile(const std::string& name);
    void SecurePath(const CString& path);
    void RetryWaiting();
    DWORD WaitTimeout() const;

    class CRescan : public CFolderWalk {
    public:
        explicit CRescan(CFolderMonitor& monitor) : m_monitor(monitor) {}

    protected:
        bool ShouldStop() override { return m_monitor.m_bStopRequested; }
        void OnFile(const CString& path, const char* name) override {
            if (IsJpegName(name))
                m_monitor.SecurePath(path);
        }

    private:
        CFolderMonitor& m_monitor;
    };

    const CString m_strFolder;
    HANDLE (&m_waitHandles)[2];
    OVERLAPPED& m_overlapped;
    volatile bool& m_bStopRequested;
    CHandle m_hFolder;
    std::vector<DWORD> m_buffer; // DWORD-aligned, as the records must be
    std::vector<DWORD> m_batch;
    bool m_bReadPending = false;
    std::map<std::string, Waiting> m_waiting;
};

void CFolderMonitor::Run() {
    CString folderText = FolderText(m_strFolder);
    m_hFolder.Attach(
        ::CreateFileA(folderText, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
    DWORD size = g_dwChangeBufferSizeForTests ? g_dwChangeBufferSizeForTests : kChangeBufferSize;
    m_buffer.assign((size + 3) / 4, 0);
    m_batch.assign(m_buffer.size(), 0);
    // A folder that is gone, or cannot be watched, leaves no read pending:
    // the thread then only waits to be stopped.
    QueueRead();
    // Only now: the system records changes from the first read on, so a
    // photo that arrives after the entry is never missed.
    if (m_hFolder.IsValid())
        AppendToLog(MonitorStartEntry(GetTimeStamp(), folderText));

    for (;;) {
        DWORD result = ::WaitForMultipleObjects(2, m_waitHandles, FALSE, WaitTimeout());
        if (m_bStopRequested || (result != WAIT_OBJECT_0 && result != WAIT_TIMEOUT))
            break;
        if (result == WAIT_OBJECT_0) {
            DWORD bytes = 0;
            BOOL ok = ::GetOverlappedResult(m_hFolder.Get(), &m_overlapped, &bytes, FALSE);
            DWORD error = ok ? 0 : ::GetLastError();
            m_bReadPending = false;
            bool overflow = ok ? bytes == 0 : error == ERROR_NOTIFY_ENUM_DIR;
            if (!ok && !overflow)
                continue; // the folder went away: nothing more will come
            if (bytes > 0)
                std::memcpy(m_batch.data(), m_buffer.data(), bytes);
            // Queued before the batch is handled: the system then keeps what
            // happens meanwhile for the next read.
            QueueRead();
            if (overflow)
                Rescan(); // the changes did not fit the buffer and were dropped
            else
                HandleBatch(bytes);
        }
        RetryWaiting();
    }
    FinishPendingRead();
    m_hFolder.Close();
    AppendToLog(MonitorStopEntry(GetTimeStamp(), folderText));
}

bool CFolderMonitor::QueueRead() {
    if (!m_hFolder.IsValid())
        return false;
    std::fill(m_buffer.begin(), m_buffer.end(), 0);
    m_bReadPending = ::ReadDirectoryChangesW(m_hFolder.Get(), m_buffer.data(), DWORD(m_buffer.size() * 4),
                                             TRUE, kNotifyFilter, nullptr, &m_overlapped, nullptr) != 0;
    return m_bReadPending;
}

// The buffer must outlive a read the system may still complete into it.
void CFolderMonitor::FinishPendingRead() {
    if (!m_bReadPending)
        return;
    ::CancelIoEx(m_hFolder.Get(), &m_overlapped);
    DWORD bytes = 0;
    ::GetOverlappedResult(m_hFolder.Get(), &m_overlapped, &bytes, TRUE);
    m_bReadPending = false;
}

void CFolderMonitor::HandleBatch(DWORD bytes) {
    // Each name once per batch, in the order of its first notice, and
    // whether it arrived (was made or renamed in) rather than only changed.
    std::vector<std::pair<std::string, bool>> names;
    const BYTE* base = reinterpret_cast<const BYTE*>(m_batch.data());
    for (DWORD at = 0;;) {
        if (bytes - at < sizeof(FILE_NOTIFY_INFORMATION))
            break;
        const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(base + at);
        DWORD nameBytes = record->FileNameLength;
        if (nameBytes > bytes - at - offsetof(FILE_NOTIFY_INFORMATION, FileName))
            break;
        DWORD action = record->Action;
        if (action == FILE_ACTION_ADDED || action == FILE_ACTION_MODIFIED ||
            action == FILE_ACTION_RENAMED_NEW_NAME) {
            std::string name = NarrowName(record->FileName, int(nameBytes / sizeof(wchar_t)));
            bool arrived = action != FILE_ACTION_MODIFIED;
            bool seen = false;
            for (auto& n : names) {
                if (n.first == name) {
                    n.second = n.second || arrived;
                    seen = true;
                }
            }
            if (!seen && !name.empty())
                names.emplace_back(name, arrived);
        }
        if (record->NextEntryOffset == 0 || record->NextEntryOffset > bytes - at)
            break;
        at += record->NextEntryOffset;
    }
    for (const auto& name : names) {
        if (m_bStopRequested)
            return;
        if (name.second && SecureArrivedFolder(name.first))
            continue;
        SecureNewFile(name.first);
    }
}

void CFolderMonitor::Rescan() {
    CRescan rescan(*this);
    rescan.Walk(m_strFolder);
}

bool CFolderMonitor::SecureArrivedFolder(const std::string& name) {
    CString path;
    path.Format("%s\\%s", m_strFolder.GetString(), name.c_str());
    DWORD attributes = ::GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    // A folder made here is walked too: a photo written into it at once may
    // come before the system watches the new folder (Wine sets that watch up
    // only when it handles the folder's own notice). Photos whose notices do
    // come are then found secure.
    CRescan walk(*this);
    walk.Walk(path);
    return true;
}

void CFolderMonitor::SecureNewFile(const std::string& name) {
    // Only names that end like a photo's ("g" or "G"); the check decides
    // what is a JPEG, so a photo saved under another extension ending in
    // "g" is still secured.
    char last = name.empty() ? 0 : name.back();
    if (last != 'g' && last != 'G')
        return;
    CString path;
    path.Format("%s\\%s", m_strFolder.GetString(), name.c_str());
    SecurePath(path);
}

void CFolderMonitor::SecurePath(const CString& path) {
    if (!IsRegularFile(path)) {
        m_waiting.erase(path.str()); // gone, or a folder such as "Hong Kong"
        return;
    }
    DWORD now = ::GetTickCount();
    if (!WriterHasClosed(path)) {
        auto it = m_waiting.find(path.str());
        if (it == m_waiting.end())
            m_waiting[path.str()] = Waiting{now, now + kFirstRetryMs, kFirstRetryMs};
        else
            it->second.since = now;
        return;
    }
    m_waiting.erase(path.str());
    // A photo on which securing faults or throws (a flaw the photo's bytes
    // reach) is passed over: the thread goes on with the next one instead of
    // taking the program down, as the scan job does with its folder.
    try {
        RemovedTags removed;
        std::vector<std::string> left;
        int check = 0;
        int secured = SecurePhotoIfNeeded(path, check, removed, &left);
        if ((check == checkcode::kCannotOpen && IsRegularFile(path)) ||
            secured == securecode::kChangedMeanwhile) {
            // Opened by someone again between the two looks, or written by
            // another program while it was being secured: wait for it, as
            // for a photo its writer still holds.
            m_waiting[path.str()] = Waiting{now, now + kFirstRetryMs, kFirstRetryMs};
            return;
        }
        if (secured == securecode::kSecured) {
            BroadcastEvent(ID_SET_INWORK_MODE);
            AppendToLog(SecuredByMonitorEntry(GetTimeStamp(), path, removed));
        } else if (secured == securecode::kLocationLeft || check == checkcode::kLocationKept) {
            if (secured == securecode::kLocationLeft)
                BroadcastEvent(ID_SET_INWORK_MODE);
            AppendToLog(LocationLeftByMonitorEntry(GetTimeStamp(), path, removed, left));
        } else if (const char* reason = NotSecuredReason(check, secured)) {
            AppendToLog(NotSecuredByMonitorEntry(GetTimeStamp(), path, reason));
        }
    } catch (CSeException* e) {
        if (e)
            e->Delete();
        AppendToLog(NotSecuredByMonitorEntry(GetTimeStamp(), path, kSecuringFaultedReason));
    } catch (...) {
        AppendToLog(NotSecuredByMonitorEntry(GetTimeStamp(), path, kSecuringFaultedReason));
    }
}

void CFolderMonitor::RetryWaiting() {
    DWORD now = ::GetTickCount();
    std::vector<std::string> due;
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (now - it->second.since > GiveUpMs()) {
            // Still open for writing after all this time: the photo is not
            // secured, and the user learns so from the log.
            AppendToLog(NotSecuredByMonitorEntry(GetTimeStamp(), it->first.c_str(), kWriterNeverClosedReason));
            it = m_waiting.erase(it);
            continue;
        }
        if (LONG(now - it->second.due) >= 0) {
            it->second.interval =
                it->second.interval * 2 < kLongestRetryMs ? it->second.interval * 2 : kLongestRetryMs;
            it->second.due = now + it->second.interval;
            due.push_back(it->first);
        }
        ++it;
    }
    for (const std::string& path : due) {
        if (m_bStopRequested)
            return;
        auto it = m_waiting.find(path);
        Waiting kept = it->second;
        SecurePath(CString(path.c_str()));
        // Still held: keep the grown interval, not a fresh one.
        auto again = m_waiting.find(path);
        if (again != m_waiting.end())
            again->second = Waiting{kept.since, kept.due, kept.interval};
    }
}

DWORD CFolderMonitor::WaitTimeout() const {
    if (m_waiting.empty())
        return INFINITE;
    DWORD now = ::GetTickCount();
    DWORD soonest = INFINITE;
    for (const auto& entry : m_waiting) {
        LONG left = LONG(entry.second.due - now);
        DWORD wait = left < 0 ? 0 : DWORD(left);
        if (wait < soonest)
            soonest = wait;
    }
    return soonest;
}

} // namespace

CTamsel::CWatch::CThread::CThread() = default;

CTamsel::CWatch::CThread::~CThread() {
    StopMonitor();
}

void CTamsel::CWatch::CThread::SetChangeBufferSizeForTests(DWORD bytes) {
    g_dwChangeBufferSizeForTests = bytes;
}

void CTamsel::CWatch::CThread::SetGiveUpTimeForTests(DWORD ms) {
    g_dwGiveUpMsForTests = ms;
}

bool CTamsel::CWatch::CThread::StartMonitor(const char* folder) {
    m_strFolder = folder ? folder : "";
    m_evStop.Attach(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    m_evChange.Attach(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    m_hWaitHandles[0] = m_evChange.Get();
    m_hWaitHandles[1] = m_evStop.Get();
    m_overlapped = OVERLAPPED{};
    m_overlapped.hEvent = m_evChange.Get();
    if (!m_evStop.IsValid() || !m_evChange.IsValid())
        return false;

    auto* thread = new CWinThread(&MonitorThreadProc, this);
    if (!thread->CreateThread(CREATE_SUSPENDED)) {
        delete thread;
        return false;
    }
    HANDLE own = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), thread->m_hThread, ::GetCurrentProcess(), &own, SYNCHRONIZE,
                      FALSE, 0);
    m_hThread.Attach(own);
    m_pWinThread = thread;
    thread->SetThreadPriority(THREAD_PRIORITY_NORMAL);
    // From here on the thread object deletes itself when the thread ends.
    thread->ResumeThread();
    return true;
}

void CTamsel::CWatch::CThread::SignalStop() {
    m_bStopRequested = true;
    if (m_evStop.IsValid())
        ::SetEvent(m_evStop.Get());
}

void CTamsel::CWatch::CThread::StopMonitor() {
    SignalStop();
    // The thread's handle, not m_bRunning: a thread that has not yet set the
    // flag would otherwise outlive this object.
    if (m_hThread.IsValid())
        WaitAnsweringSentMessages(m_hThread.Get());
    m_hThread.Close();
    m_pWinThread = nullptr;
    m_evChange.Close();
    m_evStop.Close();
    m_hWaitHandles[0] = m_hWaitHandles[1] = nullptr;
}

UINT CTamsel::CWatch::CThread::MonitorThreadProc(LPVOID pParam) {
    auto* self = static_cast<CThread*>(pParam);
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_LOWEST);
    self->m_bRunning = 1;
    // Hardware exceptions on this thread become C++ exceptions, which the
    // securing of each photo catches; nothing may leave the entry point.
    InstallSeTranslator();
    try {
        CFolderMonitor monitor(self->m_strFolder, self->m_hWaitHandles, self->m_overlapped,
                               self->m_bStopRequested);
        monitor.Run();
    } catch (CSeException* e) {
        if (e)
            e->Delete();
    } catch (...) {
    }
    RemoveSeTranslator();
    self->m_bRunning = 0;
    return 0;
}

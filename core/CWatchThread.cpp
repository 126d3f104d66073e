// A monitoring thread: it keeps one overlapped ReadDirectoryChangesW pending
// on its folder (the whole subtree; last-write, attribute, file-name and
// folder-name changes) and sleeps until the system completes it or the
// thread is told to stop.
//
// Each time it starts watching (program start, the folder added, the folder
// back after it was missing, a fault) it first arms the watch and then walks
// the whole folder: photos put there while nobody watched are secured, and
// one that arrives during the walk raises a notice that is handled after it
// (the photo's claim makes the second look find it secure: one log entry).
// Walks run in the thread's background mode, so their disk reads yield to
// the user's, and take photos the record of known photos knows without
// opening them.
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
//  - Walks are never stacked: an overflow, or the return of the folder,
//    only marks a walk as due, and one walk runs for any number of marks.
//  - A file whose data is kept only online is never opened: that would
//    download it. When its data arrives its attributes change, and that
//    notice has it secured.
// The next read is queued as soon as a batch has been taken from the
// buffer, so changes made while photos are being secured are kept.
//
// The folder itself may go while it is watched: removed, renamed, moved to
// the recycle bin, its drive pulled or its share dropped. A read that fails
// says so on some systems, but not on all: a folder removed and made again
// under its name, or moved away, leaves a handle that watches the old
// folder and never completes (seen under Wine). So every 2 s, and at once
// when a notice names a file that is not there, the thread opens the
// folder's path again and compares its identity with that of its handle.
// When the path no longer names the watched folder, or a read fails, the
// thread logs why, lets go of the folder and waits for it: it looks again
// every 2 s and, once the folder is there, watches it again after walking
// it, so photos that arrived meanwhile are secured. A folder that is not
// there when the thread starts is waited for the same way. The thread
// announces each change between watching and waiting with
// ID_WATCH_STATE_CHANGED.

#include "core/CWatch.h"

#include "core/ActivityLog.h"
#include "core/CSeException.h"
#include "core/CoreTestHooks.h"
#include "core/FolderWalk.h"
#include "core/KnownRecord.h"
#include "core/LogEntries.h"
#include "core/PhotoSecuring.h"
#include "core/SeTranslator.h"
#include "engine/FileOs.h"
#include "engine/PhotoName.h"
#include "engine/ResultCodes.h"
#include "framework/CodePage.h"
#include "framework/WaitForThread.h"
#include "framework/WorkerThread.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

IMPLEMENT_PRIVATE_HEAP(CWatch::CThread)

namespace {

constexpr DWORD kChangeBufferSize = 65536;
volatile DWORD g_dwChangeBufferSizeForTests = 0;

// Folder names too: a folder moved in from elsewhere on the volume is one
// rename, and no notice ever names the photos inside it.
// Attributes too: a file kept only online changes them when its data
// arrives, and may raise no other notice.
constexpr DWORD kNotifyFilter = FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_FILE_NAME |
                                FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES;

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

// How often a watched folder's path is compared with the folder watched,
// and a folder waited for is looked for.
constexpr DWORD kLookAgainMs = 2000;

std::atomic<ChangeReader> g_pChangeReaderForTests{nullptr};

// Why a folder is not watched, in the log's words.
const char kNotThereReason[] = "the folder is not there";
const char kGoneReason[] = "the folder was removed or renamed";
const char kDriveReason[] = "its drive is not connected";
const char kShareReason[] = "its network share cannot be reached";
const char kCannotOpenReason[] = "the folder cannot be opened";
const char kReadFailedReason[] = "reading its changes failed";
const char kFaultReason[] = "the monitor failed with a fault";

// The words for an error of the system about the folder; notFound for a
// folder that is not (or no longer) there; null for other errors.
const char* ErrorReason(DWORD error, const char* notFound) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
    case ERROR_DELETE_PENDING:
        return notFound;
    case ERROR_NOT_READY:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_INVALID_DRIVE:
    case ERROR_NO_MEDIA_IN_DRIVE:
    case ERROR_MEDIA_CHANGED:
        return kDriveReason;
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_HOST_UNREACHABLE:
    case ERROR_NO_NET_OR_BAD_PATH:
    case ERROR_SEM_TIMEOUT:
        return kShareReason;
    case ERROR_ACCESS_DENIED:
        return kCannotOpenReason;
    default:
        return nullptr;
    }
}

// What tells one folder from another on its volume (a folder made anew
// under the old name is another folder). A volume that gives no file
// indices leaves the index 0: such a folder is known by its path alone.
using FolderId = fileos::FileId;

bool Known(const FolderId& id) {
    return id.index != 0;
}

bool ReadFolderId(HANDLE folder, FolderId& id) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(folder, &info))
        return false;
    id.volume = info.dwVolumeSerialNumber;
    id.index = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

// The identity of the folder that path names now; false with the system's
// error when it names none.
bool FolderIdAt(const char* path, FolderId& id, DWORD& error) {
    DWORD attributes = ::GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = ::GetLastError();
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = ERROR_DIRECTORY; // a file has taken the folder's name
        return false;
    }
    CHandle h(::CreateFileA(path, FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.IsValid()) {
        error = ::GetLastError();
        return false;
    }
    bool ok = ReadFolderId(h.Get(), id);
    error = ok ? 0 : ::GetLastError();
    return ok;
}

// The folder with exactly one trailing backslash.
CString FolderText(const CString& folder) {
    CString text = folder;
    while (!text.IsEmpty() && text.GetAt(text.GetLength() - 1) == '\\')
        text = text.Left(text.GetLength() - 1);
    return text + "\\";
}

// True when no program has the file open for writing: a writer that has
// not finished keeps it, and a photo must not be read half written. Sharing
// reading only is enough to be refused while any writer holds it, and, unlike
// sharing nothing, does not refuse a viewer that opens the new photo at this
// very moment.
bool WriterHasClosed(const char* path) {
    CHandle h(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    return h.IsValid();
}

struct Waiting {
    DWORD since; // tick of the last notice that named it
    DWORD due;   // tick of the next try
    DWORD interval;
};

class CFolderMonitor {
public:
    CFolderMonitor(const CString& folder, HANDLE (&waitHandles)[2], OVERLAPPED& overlapped,
                   volatile bool& stopRequested, volatile LONG& waiting, volatile LONG& walking,
                   CKnownRecord& known, bool missed)
        : m_strFolder(folder), m_strFolderText(FolderText(folder)), m_waitHandles(waitHandles),
          m_overlapped(overlapped), m_bStopRequested(stopRequested), m_bWaiting(waiting), m_bWalking(walking),
          m_known(known), m_bMissed(missed) {}
    // Also when an exception ends Run: the system must be done with the
    // buffer before it goes.
    ~CFolderMonitor() { FinishPendingRead(); }

    // Watches the folder, or waits for it, until the thread is told to stop.
    void Run();

private:
    // Opens the folder and queues the first read; false, with the reason,
    // when the folder cannot be watched now.
    bool Arm(const char*& reason);
    // Watches until the thread is told to stop (null) or the folder is lost
    // (the reason).
    const char* Watch();
    void Disarm();
    void SetWaiting(bool waiting);
    // Null while the folder's path names the watched folder; else why not.
    const char* FolderLostReason();
    const char* ReadFailedReason(DWORD error);
    DWORD WaitTimeout(DWORD lastLook) const;

    bool QueueRead();
    void FinishPendingRead();
    void HandleBatch(DWORD bytes);
    void Rescan();
    // Walks folder with the scanner's rules, in the background.
    void WalkInBackground(const CString& folder);
    // Walks a folder that was made or moved in; false when name is no folder.
    bool SecureArrivedFolder(const std::string& name);
    void SecureNewFile(const std::string& name);
    // entry and folder: as a walk's listing gave them; null for a notice.
    void SecurePath(const CString& path, const fileos::FolderEntry* entry = nullptr,
                    const fileos::FileKey* folder = nullptr);
    void RetryWaiting();
    DWORD RetryTimeout() const;

    class CRescan : public CFolderWalk {
    public:
        explicit CRescan(CFolderMonitor& monitor)
            : CFolderWalk(&monitor.m_known.GetPhotos()), m_monitor(monitor) {}

    protected:
        bool ShouldStop() override { return m_monitor.m_bStopRequested; }
        void OnFile(const CString& path, const char* name, const fileos::FolderEntry& entry,
                    const fileos::FileKey& folder) override {
            if (IsPhotoName(name) && m_monitor.m_known.Classify(entry, true) == CKnownRecord::Listed::kCheck)
                m_monitor.SecurePath(path, &entry, &folder);
        }

    private:
        CFolderMonitor& m_monitor;
    };

    const CString m_strFolder;
    const CString m_strFolderText; // with exactly one trailing backslash
    HANDLE (&m_waitHandles)[2];
    OVERLAPPED& m_overlapped;
    volatile bool& m_bStopRequested;
    volatile LONG& m_bWaiting;
    volatile LONG& m_bWalking;
    CKnownRecord& m_known;
    // A fault ended the monitor before this one, and said so in the log.
    const bool m_bMissed;
    CHandle m_hFolder;
    FolderId m_id;
    std::vector<DWORD> m_buffer; // DWORD-aligned, as the records must be
    std::vector<DWORD> m_batch;
    bool m_bReadPending = false;
    // A walk of the whole folder is due: one, however many asked for it.
    bool m_bWalkPending = false;
    // A notice named a file that is not there: the folder may have gone.
    bool m_bLookSoon = false;
    std::map<std::string, Waiting> m_waiting;
};

void CFolderMonitor::Run() {
    DWORD size = g_dwChangeBufferSizeForTests ? g_dwChangeBufferSizeForTests : kChangeBufferSize;
    m_buffer.assign((size + 3) / 4, 0);
    m_batch.assign(m_buffer.size(), 0);
    // Set once the folder was not watched for a while (its absence, or the
    // fault before, is in the log): the thread then looks again silently.
    bool missed = m_bMissed;
    // The folder is looked at once even when the thread is told to stop at
    // once: a folder added and removed again still has its start and stop
    // entries.
    for (;;) {
        const char* reason = nullptr;
        if (Arm(reason)) {
            // Counted as walking from here: the walk is due.
            ::InterlockedExchange(&m_bWalking, 1);
            SetWaiting(false);
            // Only now: the system records changes from the first read on,
            // so a photo that arrives after the entry is never missed.
            AppendToLog(MonitorStartEntry(GetTimeStamp(), m_strFolderText));
            // Nobody watched the folder until now (the program was not
            // running, the folder was just added, or it was missing):
            // photos may have arrived unseen. Walked only now that the
            // watch is armed, so one that arrives during the walk is seen.
            m_bWalkPending = true;
            reason = Watch();
            Disarm();
            ::InterlockedExchange(&m_bWalking, 0);
            if (!reason)
                break; // told to stop
            SetWaiting(true);
            AppendToLog(MonitorLostEntry(GetTimeStamp(), m_strFolderText, reason));
        } else {
            ::InterlockedExchange(&m_bWalking, 0);
            SetWaiting(true);
            // Said once: the thread looks again every 2 s, silently.
            if (!missed)
                AppendToLog(MonitorWaitingEntry(GetTimeStamp(), m_strFolderText, reason));
        }
        missed = true;
        // Look again in a while, never at once: a folder whose reads keep
        // failing must not turn into a loop that logs without end.
        if (m_bStopRequested || ::WaitForSingleObject(m_waitHandles[1], kLookAgainMs) != WAIT_TIMEOUT)
            break;
    }
}

bool CFolderMonitor::Arm(const char*& reason) {
    FolderId id;
    DWORD error = 0;
    if (!FolderIdAt(m_strFolderText, id, error)) {
        const char* words = ErrorReason(error, kNotThereReason);
        reason = words ? words : kCannotOpenReason;
        return false;
    }
    m_hFolder.Attach(
        ::CreateFileA(m_strFolderText, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
    bool opened = m_hFolder.IsValid();
    if (!opened || !ReadFolderId(m_hFolder.Get(), m_id) || !QueueRead()) {
        error = ::GetLastError();
        m_hFolder.Close();
        const char* words = ErrorReason(error, kNotThereReason);
        reason = words ? words : opened ? kReadFailedReason : kCannotOpenReason;
        return false;
    }
    return true;
}

const char* CFolderMonitor::Watch() {
    DWORD lastLook = ::GetTickCount();
    for (;;) {
        if (m_bWalkPending) {
            m_bWalkPending = false;
            Rescan();
        }
        if (m_bStopRequested)
            return nullptr;
        if (m_bLookSoon || ::GetTickCount() - lastLook >= kLookAgainMs) {
            m_bLookSoon = false;
            lastLook = ::GetTickCount();
            if (const char* reason = FolderLostReason())
                return reason;
        }
        DWORD result = ::WaitForMultipleObjects(2, m_waitHandles, FALSE, WaitTimeout(lastLook));
        if (m_bStopRequested || (result != WAIT_OBJECT_0 && result != WAIT_TIMEOUT))
            return nullptr;
        if (result == WAIT_OBJECT_0) {
            DWORD bytes = 0;
            BOOL ok = ::GetOverlappedResult(m_hFolder.Get(), &m_overlapped, &bytes, FALSE);
            DWORD error = ok ? 0 : ::GetLastError();
            m_bReadPending = false;
            bool overflow = ok ? bytes == 0 : error == ERROR_NOTIFY_ENUM_DIR;
            if (!ok && !overflow)
                return ReadFailedReason(error);
            if (bytes > 0)
                std::memcpy(m_batch.data(), m_buffer.data(), bytes);
            // Queued before the batch is handled: the system then keeps what
            // happens meanwhile for the next read.
            bool queued = QueueRead();
            error = queued ? 0 : ::GetLastError();
            if (overflow) {
                m_bWalkPending = true; // the changes did not fit the buffer and were dropped
                ::InterlockedExchange(&m_bWalking, 1);
            } else if (!m_bWalkPending)
                HandleBatch(bytes); // a walk that is due finds these photos too
            // Its photos arrived while the folder was watched, so the batch
            // is handled first; the next watch walks the folder for the rest.
            if (!queued)
                return ReadFailedReason(error);
        }
        RetryWaiting();
    }
}

void CFolderMonitor::Disarm() {
    FinishPendingRead();
    m_hFolder.Close();
    // Photos waited for are found again by the walk of the next watch.
    m_waiting.clear();
    m_bWalkPending = false;
    m_bLookSoon = false;
}

void CFolderMonitor::SetWaiting(bool waiting) {
    if (::InterlockedExchange(&m_bWaiting, waiting ? 1 : 0) != (waiting ? 1 : 0))
        BroadcastEvent(ID_WATCH_STATE_CHANGED);
}

const char* CFolderMonitor::FolderLostReason() {
    FolderId now;
    DWORD error = 0;
    if (!FolderIdAt(m_strFolderText, now, error)) {
        const char* words = ErrorReason(error, kGoneReason);
        return words ? words : kCannotOpenReason;
    }
    // A volume that tells no identities (some network shares) is trusted
    // by its path alone.
    if (!Known(m_id) || !Known(now))
        return nullptr;
    return now == m_id ? nullptr : kGoneReason;
}

const char* CFolderMonitor::ReadFailedReason(DWORD error) {
    if (const char* reason = FolderLostReason())
        return reason;
    const char* words = ErrorReason(error, kGoneReason);
    return words ? words : kReadFailedReason;
}

DWORD CFolderMonitor::WaitTimeout(DWORD lastLook) const {
    DWORD sinceLook = ::GetTickCount() - lastLook;
    DWORD untilLook = sinceLook >= kLookAgainMs ? 0 : kLookAgainMs - sinceLook;
    return std::min(untilLook, RetryTimeout());
}

bool CFolderMonitor::QueueRead() {
    if (!m_hFolder.IsValid())
        return false;
    std::fill(m_buffer.begin(), m_buffer.end(), 0);
    ChangeReader reader = g_pChangeReaderForTests.load();
    if (!reader)
        reader = &::ReadDirectoryChangesW;
    m_bReadPending = reader(m_hFolder.Get(), m_buffer.data(), DWORD(m_buffer.size() * 4), TRUE, kNotifyFilter,
                            nullptr, &m_overlapped, nullptr) != 0;
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
            std::string name = Narrow(record->FileName, int(nameBytes / sizeof(wchar_t)));
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
    WalkInBackground(m_strFolder);
}

void CFolderMonitor::WalkInBackground(const CString& folder) {
    // Also when a fault ends the walk: the flag and the thread's mode go
    // back with it.
    struct InBackground {
        explicit InBackground(volatile LONG& walking) : m_walking(walking) {
            ::InterlockedExchange(&m_walking, 1);
            // Background mode lowers the thread's disk and memory priority as
            // well as its processor priority, so a walk of a large folder
            // never slows the user's own work. Where the system refuses it,
            // the thread's lowest priority stays.
            m_bBackground = ::SetThreadPriority(::GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN) != 0;
        }
        ~InBackground() {
            if (m_bBackground)
                ::SetThreadPriority(::GetCurrentThread(), THREAD_MODE_BACKGROUND_END);
            ::InterlockedExchange(&m_walking, 0);
        }
        volatile LONG& m_walking;
        bool m_bBackground = false;
    } inBackground(m_bWalking);
    m_known.BeginWalk();
    CRescan rescan(*this);
    rescan.Walk(folder);
    m_known.EndWalk();
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
    WalkInBackground(path);
    return true;
}

void CFolderMonitor::SecureNewFile(const std::string& name) {
    // Only names that end like a photo's: in "g" or "G", or with one of the
    // other photo endings (.heic, .dng...). The check decides what a file
    // is by its content, so a JPEG saved under another extension ending in
    // "g" is still secured.
    char last = name.empty() ? 0 : name.back();
    if (last != 'g' && last != 'G' && !IsPhotoName(name.c_str()))
        return;
    CString path;
    path.Format("%s\\%s", m_strFolder.GetString(), name.c_str());
    SecurePath(path);
}

void CFolderMonitor::SecurePath(const CString& path, const fileos::FolderEntry* entry,
                                const fileos::FileKey* folder) {
    uint32_t attributes = 0;
    fileos::FileKey key;
    if (!entry && fileos::GetFileKey(path, key, &attributes) && fileos::IsCloudOnly(attributes)) {
        m_waiting.erase(path.str()); // its data arriving raises a notice of its own
        return;
    }
    if (!IsRegularFile(path)) {
        m_waiting.erase(path.str()); // gone, or a folder such as "Hong Kong"
        // Named by a notice, yet not there: the photo may have gone again,
        // or the folder under another name, whose notices still come.
        if (::GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
            m_bLookSoon = true;
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
        fileos::FileKey keyAfter;
        int secured = SecurePhotoIfNeeded(path, check, removed, &left, &keyAfter);
        if (entry && folder)
            m_known.AfterCheck(path, *folder, entry->key, check, secured, keyAfter);
        else if (secured == securecode::kSecured)
            m_known.AfterSecured(path, keyAfter);
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

DWORD CFolderMonitor::RetryTimeout() const {
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

CWatch::CThread::CThread() = default;

CWatch::CThread::~CThread() {
    StopMonitor();
}

void SetChangeBufferSizeForTests(DWORD bytes) {
    g_dwChangeBufferSizeForTests = bytes;
}

void SetGiveUpTimeForTests(DWORD ms) {
    g_dwGiveUpMsForTests = ms;
}

void SetChangeReaderForTests(ChangeReader reader) {
    g_pChangeReaderForTests = reader;
}

bool CWatch::CThread::StartMonitor(const char* folder, CKnownRecord& known) {
    m_strFolder = folder ? folder : "";
    m_pKnown = &known;
    m_evStop.Attach(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    m_evChange.Attach(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    m_hWaitHandles[0] = m_evChange.Get();
    m_hWaitHandles[1] = m_evStop.Get();
    m_overlapped = OVERLAPPED{};
    m_overlapped.hEvent = m_evChange.Get();
    if (!m_evStop.IsValid() || !m_evChange.IsValid())
        return false;

    // Walking from the start: the thread's first walk is due as soon as it
    // watches the folder, and a caller that polls the count must not see
    // the moment before the thread ran.
    m_bWalking = 1;
    m_hThread = StartWorkerThread(&MonitorThreadProc, this);
    if (!m_hThread.IsValid())
        m_bWalking = 0;
    return m_hThread.IsValid();
}

void CWatch::CThread::SignalStop() {
    m_bStopRequested = true;
    if (m_evStop.IsValid())
        ::SetEvent(m_evStop.Get());
}

void CWatch::CThread::StopMonitor() {
    SignalStop();
    // The thread's handle, not m_bRunning: a thread that has not yet set the
    // flag would otherwise outlive this object.
    WaitForThreadAnsweringSentMessages(m_hThread);
    m_hThread.Close();
    m_evChange.Close();
    m_evStop.Close();
    m_hWaitHandles[0] = m_hWaitHandles[1] = nullptr;
}

UINT CWatch::CThread::MonitorThreadProc(LPVOID pParam) {
    auto* self = static_cast<CThread*>(pParam);
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_LOWEST);
    self->m_bRunning = 1;
    // Hardware exceptions on this thread become C++ exceptions, which the
    // securing of each photo catches; nothing may leave the entry point.
    InstallSeTranslator();
    // A fault outside the securing of a photo (no memory for the change
    // buffer, a flaw met while reading notices) must not end the protection
    // of the folder unseen: it is logged, the folder is shown as waited for,
    // and it is watched anew after a pause, with a walk.
    for (bool faulted = false; !faulted || !self->m_bStopRequested; faulted = true) {
        try {
            if (faulted) {
                if (::InterlockedExchange(&self->m_bWaiting, 1) == 0)
                    BroadcastEvent(ID_WATCH_STATE_CHANGED);
                AppendToLog(MonitorLostEntry(GetTimeStamp(), FolderText(self->m_strFolder), kFaultReason));
            }
        } catch (...) {
        }
        // Never at once: a fault that comes back must not spin the thread.
        if (faulted && ::WaitForSingleObject(self->m_evStop.Get(), kLookAgainMs) != WAIT_TIMEOUT)
            break;
        try {
            CFolderMonitor monitor(self->m_strFolder, self->m_hWaitHandles, self->m_overlapped,
                                   self->m_bStopRequested, self->m_bWaiting, self->m_bWalking,
                                   *self->m_pKnown, faulted);
            monitor.Run();
            break;
        } catch (CSeException* e) {
            if (e)
                e->Delete();
        } catch (...) {
        }
    }
    try {
        AppendToLog(MonitorStopEntry(GetTimeStamp(), FolderText(self->m_strFolder)));
    } catch (...) {
    }
    RemoveSeTranslator();
    self->m_bWalking = 0;
    self->m_bRunning = 0;
    return 0;
}

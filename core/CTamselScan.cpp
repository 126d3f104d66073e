// The scan job: walks the folder to scan and every folder below it, secures
// each JPEG photo whose GPS tags hold a position, counts what it sees and
// tells the windows how far it is.
//
// Progress goes to the main window as WM_SCAN_PROGRESS, but never more than
// one at a time: the job posts only when the previous message has been taken
// (OnScanProgressHandled). The receiver reads the counters when it handles
// the message, so nothing is lost, and a fast scan of a large tree cannot
// fill the window's queue (Windows refuses posts beyond 10,000 waiting
// messages) and crowd out the ID_SCAN_FINISH that ends the scan.
//
// A photo the record knows to need nothing (core/KnownRecord.h) is counted
// as secure without being opened, unless the user asked for a full scan; a
// photo whose data is kept only online is counted apart and never opened.

#include "core/CTamsel.h"

#include "core/ActivityLog.h"
#include "core/FolderWalk.h"
#include "core/LogEntries.h"
#include "core/PhotoSecuring.h"
#include "engine/PhotoName.h"
#include "engine/ResultCodes.h"

#include <string>
#include <vector>

namespace {

// Thresholds from which a progress message follows every file.
constexpr LONG kFilesBeforeProgress = 100;
constexpr LONG kSecureFilesBeforeProgress = 10;

} // namespace

// The walk of one scan; it reports to the core's scan members.
class CScanWalk : public CFolderWalk {
public:
    explicit CScanWalk(CTamsel& tamsel) : CFolderWalk(&tamsel.m_known.GetPhotos()), m_tamsel(tamsel) {}

protected:
    bool ShouldStop() override { return m_tamsel.m_bStopScan; }
    void OnFile(const CString& path, const char* name, const fileos::FolderEntry& entry,
                const fileos::FileKey& folder) override {
        ::InterlockedIncrement(&m_tamsel.m_nFilesFound);
        if (IsPhotoName(name))
            m_tamsel.ScanPhoto(path, entry, folder);
        if (m_tamsel.m_nFilesFound >= kFilesBeforeProgress)
            m_tamsel.PostProgress();
    }
    void OnListingFailed() override { m_tamsel.PostProgress(); }
    void OnListingDone() override {
        m_tamsel.PostProgress();
        m_tamsel.PostProgress();
    }

private:
    CTamsel& m_tamsel;
};

LONG CTamsel::StartScan(bool bFullScan) {
    if (IsWorking()) {
        m_bStopScan = true;
        WaitForWorkerAnsweringSentMessages();
    }
    m_bFullScan = bFullScan;
    LONG number = ::InterlockedIncrement(&m_nScanNumber);
    return Start(nullptr, 0) ? number : 0;
}

int CTamsel::Run() {
    const LONG number = m_nScanNumber;
    m_bScanning = 1;
    m_bStopScan = false;
    m_nProgressRange = 1000;
    m_nFilesFound = m_nJpegFiles = m_nSecureFiles = m_nSecuredFiles = 0;
    m_nNotSecuredFiles = m_nLocationLeftFiles = m_nCloudOnlyFiles = 0;
    m_lProgressWaiting = 0;
    AppendToLog(ScanStartEntry(GetTimeStamp(), m_settings.m_strFolderForScan));

    m_known.BeginWalk();
    ScanFolderTree();
    m_known.EndWalk();

    AppendToLog(ScanEndEntry(GetTimeStamp(), m_nSecuredFiles, m_nJpegFiles, m_nFilesFound, m_nNotSecuredFiles,
                             m_nLocationLeftFiles, m_nCloudOnlyFiles));
    m_bScanning = 0;
    PostFinish(number);
    return 0;
}

void CTamsel::ScanFolderTree() {
    CScanWalk walk(*this);
    walk.Walk(m_settings.m_strFolderForScan);
}

void CTamsel::ScanPhoto(const char* path, const fileos::FolderEntry& entry, const fileos::FileKey& folder) {
    switch (m_known.Classify(entry, !m_bFullScan)) {
    case CKnownRecord::Listed::kCloudOnly:
        ::InterlockedIncrement(&m_nCloudOnlyFiles);
        return;
    case CKnownRecord::Listed::kKnown:
        ::InterlockedIncrement(&m_nJpegFiles);
        ::InterlockedIncrement(&m_nSecureFiles);
        if (m_nSecureFiles >= kSecureFilesBeforeProgress)
            PostProgress();
        return;
    case CKnownRecord::Listed::kCheck:
        break;
    }
    ::InterlockedIncrement(&m_nJpegFiles);
    RemovedTags removed;
    std::vector<std::string> left;
    int check = 0;
    fileos::FileKey keyAfter;
    int secured = SecurePhotoIfNeeded(path, check, removed, &left, &keyAfter);
    if (secured == securecode::kChangedMeanwhile) {
        // Another program wrote the photo while it was being secured and it
        // was left as that program made it: taken again, once, as it is now.
        removed.clear();
        secured = SecurePhotoIfNeeded(path, check, removed, &left, &keyAfter);
    }
    m_known.AfterCheck(path, folder, entry.key, check, secured, keyAfter);
    if (check == checkcode::kAlreadySecure)
        ::InterlockedIncrement(&m_nSecureFiles);
    if (secured == securecode::kSecured) {
        ::InterlockedIncrement(&m_nSecuredFiles);
        BroadcastEvent(ID_SET_INWORK_MODE);
        AppendToLog(SecuredByScannerEntry(GetTimeStamp(), path, removed));
    } else if (secured == securecode::kLocationLeft || check == checkcode::kLocationKept) {
        ::InterlockedIncrement(&m_nLocationLeftFiles);
        if (secured == securecode::kLocationLeft)
            BroadcastEvent(ID_SET_INWORK_MODE);
        AppendToLog(LocationLeftByScannerEntry(GetTimeStamp(), path, removed, left));
    } else if (const char* reason = NotSecuredReason(check, secured)) {
        ::InterlockedIncrement(&m_nNotSecuredFiles);
        AppendToLog(NotSecuredByScannerEntry(GetTimeStamp(), path, reason));
    }
    if (m_nSecureFiles >= kSecureFilesBeforeProgress)
        PostProgress();
}

void CTamsel::StopScan() {
    m_bStopScan = true;
}

ScanCounters CTamsel::GetScanCounters() const {
    ScanCounters counters;
    counters.nFilesFound = m_nFilesFound;
    counters.nJpegFiles = m_nJpegFiles;
    counters.nSecureFiles = m_nSecureFiles;
    counters.nSecuredFiles = m_nSecuredFiles;
    counters.nNotSecuredFiles = m_nNotSecuredFiles;
    counters.nLocationLeftFiles = m_nLocationLeftFiles;
    counters.nCloudOnlyFiles = m_nCloudOnlyFiles;
    counters.nProgressRange = m_nProgressRange;
    return counters;
}

void CTamsel::ForgetScanWindows(HWND window) {
    HWND finish = m_hNotifyWnd;
    if (finish && (finish == window || ::GetParent(finish) == window))
        m_hNotifyWnd = nullptr;
    if (m_hProgressWnd == window)
        m_hProgressWnd = nullptr;
}

void CTamsel::PostProgress() {
    HWND progress = m_hProgressWnd;
    if (!progress || ::InterlockedCompareExchange(&m_lProgressWaiting, 1, 0) != 0)
        return;
    if (!::PostMessageA(progress, WM_SCAN_PROGRESS, WPARAM(m_nFilesFound), LPARAM(m_nProgressRange)))
        ::InterlockedExchange(&m_lProgressWaiting, 0);
}

void CTamsel::PostFinish(LONG nScanNumber) {
    HWND finish = m_hNotifyWnd;
    if (!finish)
        return;
    // The page waits for this message to end the scan: should the queue be
    // full of other messages for a moment, try again for a while.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (::PostMessageA(finish, WM_COMMAND, ID_SCAN_FINISH, LPARAM(nScanNumber)) || !::IsWindow(finish))
            return;
        ::Sleep(50);
    }
}

#pragma once
// The live log view: a read-only rich edit that shows the activity log and
// follows it while the program runs.
//
// How it works:
// - A follower thread (the job part) waits for last-write notices in the data
//   folder. When the log's last-write time differs from the one it saw at the
//   start, it posts ID_REREAD_LOG to the view. It never touches the window:
//   it posts to the process-wide log view handle, and at most one reread
//   waits in the view's queue at a time (a flag the follower sets and the
//   view clears), so a busy writer cannot flood the queue.
// - A reread appends only the bytes added since the last one, at most one
//   chunk per message; when more is left the view posts itself another
//   reread, so it keeps answering messages while a big log loads. A log
//   much larger than the view shows (a monitor that ran for months) is shown
//   from its last part, starting at a line.
// - The log is text in the process code page (UTF-8 under the program's
//   manifest); it goes into the control as UTF-16. A read that ends inside a
//   multi-byte character leaves those bytes for the next read.
// - Destroying the window signals the stop event; the follower ends at once.
//   The destructor waits for it, since the follower uses the members.

#include "core/CThreadJob.h"
#include "framework/CString.h"
#include "framework/Controls.h"
#include "framework/WinHandles.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

class CRichLogCtrl : public CRichEditCtrl, public CThreadJob {
public:
    // Starts the follower at once; the window comes later (Create).
    CRichLogCtrl();
    ~CRichLogCtrl() override;

    // Creates the view window as a child of hParent and does what the view
    // does on creation: takes the parent's font and posts itself the first
    // reread. FALSE when the window cannot be made.
    BOOL Create(DWORD dwStyle, const RECT& rect, HWND hParent, UINT nID);

    // ID_REREAD_LOG: appends what the log gained since the last read.
    void OnRereadLog();

    // The follower's body (WatchLogFile).
    int Run() override;
    void OnException(CSeException* pException) override;

    // The window of the one log view of the process, or null.
    static HWND GetLogViewHandle() { return s_hLogView.load(); }

    // How much of a large log the view shows when it (re)loads, and how much
    // one reread message appends at most. The view is for reading the latest
    // entries (64 KB is some 500 of them); the whole log stays on disk. A
    // rich edit costs far more memory than its text (under Wine some 400
    // bytes per character), so the view never holds more than kMaxShownChars:
    // past that the oldest lines go until kTailBytes are left.
    static constexpr DWORD kTailBytes = 64 * 1024;
    static constexpr DWORD kChunkBytes = 64 * 1024;
    static constexpr DWORD kMaxShownChars = 2 * kTailBytes;
    // How often the follower tries again when it cannot watch the data
    // folder (the folder is missing, say).
    static constexpr DWORD kRetryMs = 1000;

    CHandle m_evStop;
    CString m_strLogPath;
    ULONGLONG m_ftLogWrite;
    // 64 bits: a log that outgrows 4 GB must not wrap the offset back into
    // text already shown.
    uint64_t m_nReadOffset;

private:
    int WatchLogFile();
    // On the follower: posts a reread when the log's last-write time is no
    // longer the one seen at the start.
    void CheckLogChanged();
    // Drops the oldest lines when the view holds more than kMaxShownChars.
    void TrimOldestLines();
    // Posts one reread to the view unless one is already waiting.
    static void PostReread();
    // The reread command, and the stop of the follower when the window goes.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    // The next reread replaces the whole text (the log became shorter, or
    // the view jumps to the last part of a large log).
    bool m_bReplaceAll = false;
    // The next read starts inside a line: skip up to the line's end.
    bool m_bSkipToLine = false;

    static std::atomic<HWND> s_hLogView;
    static std::atomic<bool> s_bRereadWaiting;
};

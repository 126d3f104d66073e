#include "ui/CRichLogCtrl.h"

#include "core/ActivityLog.h"
#include "core/EventIds.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

std::atomic<HWND> CRichLogCtrl::s_hLogView{nullptr};
std::atomic<bool> CRichLogCtrl::s_bRereadWaiting{false};

namespace {

// The last-write time of a file, or 0 when it cannot be opened or queried.
ULONGLONG LastWriteTime(const char* path) {
    CHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return 0;
    BY_HANDLE_FILE_INFORMATION info;
    ULONGLONG time = 0;
    if (::GetFileInformationByHandle(file.Get(), &info))
        time = (ULONGLONG(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
    return time;
}

// How many of the size bytes at text form whole characters of the process
// code page: a read that ended inside a character leaves its first bytes for
// the next read.
size_t WholeCharacters(const char* text, size_t size) {
    UINT codePage = ::GetACP();
    if (codePage == CP_UTF8) {
        // Back to the last byte that starts a character (not 10xxxxxx).
        size_t back = 0;
        while (back < 4 && back < size && (static_cast<unsigned char>(text[size - 1 - back]) & 0xC0) == 0x80)
            ++back;
        if (back == size)
            return size; // no start byte at all: not UTF-8 we can mend
        size_t start = size - 1 - back;
        unsigned char lead = static_cast<unsigned char>(text[start]);
        size_t length = lead < 0x80             ? 1
                        : (lead & 0xE0) == 0xC0 ? 2
                        : (lead & 0xF0) == 0xE0 ? 3
                        : (lead & 0xF8) == 0xF0 ? 4
                                                : 1;
        return start + length > size ? start : size;
    }
    CPINFO info;
    if (!::GetCPInfo(codePage, &info) || info.MaxCharSize < 2)
        return size;
    size_t i = 0;
    while (i < size) {
        if (::IsDBCSLeadByteEx(codePage, BYTE(text[i]))) {
            if (i + 1 >= size)
                return i;
            i += 2;
        } else {
            ++i;
        }
    }
    return size;
}

} // namespace

CRichLogCtrl::CRichLogCtrl()
    : m_evStop(::CreateEventA(nullptr, FALSE, FALSE, nullptr)), m_strLogPath(GetLogFilePath()),
      m_ftLogWrite(0), m_nReadOffset(0) {
    s_hLogView = nullptr;
    s_bRereadWaiting = false;
    // The follower runs from now on, before the window exists; it posts
    // nothing until the window is there.
    Start(nullptr, 0);
}

CRichLogCtrl::~CRichLogCtrl() {
    // Stop the follower and wait for it before the members it reads go.
    ::SetEvent(m_evStop.Get());
    WaitForWorker(INFINITE);
    // The object goes before its window: the window must not reach it.
    HWND self = UnsubclassWindow();
    if (self)
        s_hLogView.compare_exchange_strong(self, nullptr);
}

BOOL CRichLogCtrl::Create(DWORD dwStyle, const RECT& rect, HWND hParent, UINT nID) {
    const char* className = CRichEditCtrl::LoadLibrary();
    if (!className || m_hWnd)
        return FALSE;
    HWND hWnd = ::CreateWindowExA(0, className, "", dwStyle, rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, hParent, reinterpret_cast<HMENU>(UINT_PTR(nID)),
                                  ::GetModuleHandleA(nullptr), nullptr);
    if (!hWnd)
        return FALSE;
    // The rich edit's own window procedure makes the window; the view's part
    // of the creation runs here, right after it, through the subclass.
    if (!SubclassWindow(hWnd)) {
        ::DestroyWindow(hWnd);
        return FALSE;
    }
    // Windows keeps a rich edit at 32,767 characters until EM_EXLIMITTEXT
    // raises the limit, and cuts an EM_REPLACESEL that goes past it: a
    // growing log would silently stop growing in the view. Wine's rich edit
    // raises its limit on programmatic inserts by itself and hides this.
    LimitText(0x7FFFFFFE);
    s_hLogView = hWnd;
    HFONT font = reinterpret_cast<HFONT>(::SendMessageA(hParent, WM_GETFONT, 0, 0));
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    // The whole log (or its last part) is loaded once the window is up.
    s_bRereadWaiting = false;
    PostReread();
    return TRUE;
}

void CRichLogCtrl::PostReread() {
    HWND hView = s_hLogView.load();
    if (!hView || s_bRereadWaiting.exchange(true))
        return;
    if (!::PostMessageA(hView, WM_COMMAND, MAKEWPARAM(ID_REREAD_LOG, 0), 0))
        s_bRereadWaiting = false;
}

void CRichLogCtrl::OnRereadLog() {
    // Cleared first: a write from now on needs a reread of its own.
    s_bRereadWaiting = false;
    if (!m_hWnd)
        return;
    CHARRANGE end = {-1, -1};
    SendMessage(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));

    CHandle file(::CreateFileA(m_strLogPath, GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return; // missing or locked: the next reread tries again from here
    LARGE_INTEGER fileSize;
    if (!::GetFileSizeEx(file.Get(), &fileSize))
        return;
    uint64_t size = uint64_t(fileSize.QuadPart);
    if (m_nReadOffset > size) {
        // Shortened or made anew: show the new file from its start.
        m_nReadOffset = 0;
        m_bReplaceAll = true;
        m_bSkipToLine = false;
    }
    if (size - m_nReadOffset > kTailBytes) {
        // More than the view shows at once (the first display of a large
        // log, or a burst of entries): show the last part only, from the
        // start of a line. Loading all of it would hold the window for
        // seconds and fill the control with text no one scrolls to.
        m_nReadOffset = size - kTailBytes - 1;
        m_bReplaceAll = true;
        m_bSkipToLine = true;
    }

    std::vector<char> buffer(size_t(std::min<uint64_t>(size - m_nReadOffset, kChunkBytes)) + 1, '\0');
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(m_nReadOffset);
    DWORD got = 0;
    if (!::SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) ||
        !::ReadFile(file.Get(), buffer.data(), DWORD(buffer.size() - 1), &got, nullptr))
        got = 0;
    file.Close();
    if (got == 0)
        return;

    size_t start = 0;
    if (m_bSkipToLine) {
        const void* lineEnd = std::memchr(buffer.data(), '\n', got);
        if (!lineEnd) {
            m_nReadOffset += got;
            PostReread();
            return;
        }
        start = size_t(static_cast<const char*>(lineEnd) - buffer.data()) + 1;
        m_bSkipToLine = false;
    }
    size_t whole = start + WholeCharacters(buffer.data() + start, got - start);
    // A zero byte ends the text shown; the offset still moves past it.
    size_t textLength = strnlen(buffer.data() + start, whole - start);

    std::wstring wide;
    if (textLength > 0) {
        int count = ::MultiByteToWideChar(CP_ACP, 0, buffer.data() + start, int(textLength), nullptr, 0);
        if (count > 0) {
            wide.resize(size_t(count));
            ::MultiByteToWideChar(CP_ACP, 0, buffer.data() + start, int(textLength), &wide[0], count);
        }
    }
    if (!wide.empty() || m_bReplaceAll) {
        CHARRANGE range = m_bReplaceAll ? CHARRANGE{0, -1} : CHARRANGE{-1, -1};
        SendMessage(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
        ::SendMessageW(m_hWnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
        m_bReplaceAll = false;
    }
    m_nReadOffset += whole;
    TrimOldestLines();
    SendMessage(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
    SendMessage(EM_SCROLLCARET);

    // The rest in the next message, so the window keeps answering.
    if (m_nReadOffset + (got - whole) < size)
        PostReread();
}

void CRichLogCtrl::TrimOldestLines() {
    GETTEXTLENGTHEX ask = {GTL_NUMCHARS | GTL_PRECISE, 1200};
    LONG length = LONG(SendMessage(EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&ask), 0));
    if (length <= LONG(kMaxShownChars))
        return;
    // The first line that begins at or after the cut keeps kTailBytes or a
    // little less, from the start of a line.
    LONG line = LONG(SendMessage(EM_EXLINEFROMCHAR, 0, length - LONG(kTailBytes)));
    LONG from = LONG(SendMessage(EM_LINEINDEX, WPARAM(line + 1), 0));
    if (from <= 0)
        return;
    CHARRANGE oldest = {0, from};
    SendMessage(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&oldest));
    ::SendMessageW(m_hWnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

int CRichLogCtrl::Run() {
    return WatchLogFile();
}

void CRichLogCtrl::OnException(CSeException*) {}

void CRichLogCtrl::CheckLogChanged() {
    if (LastWriteTime(m_strLogPath) != m_ftLogWrite)
        PostReread();
}

int CRichLogCtrl::WatchLogFile() {
    // m_evStop is not reset here: a window destroyed before this thread got
    // this far must still stop it.
    m_ftLogWrite = LastWriteTime(m_strLogPath);
    std::string folder(m_strLogPath);
    folder.erase(folder.rfind('\\'));

    for (;;) {
        HANDLE change = ::FindFirstChangeNotificationA(folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_LAST_WRITE);
        if (change != INVALID_HANDLE_VALUE) {
            // A write between the last look and this watch gave no notice.
            CheckLogChanged();
            for (;;) {
                HANDLE handles[2] = {m_evStop.Get(), change};
                DWORD signalled = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
                if (signalled == WAIT_OBJECT_0) {
                    ::FindCloseChangeNotification(change);
                    return 0;
                }
                if (signalled != WAIT_OBJECT_0 + 1)
                    break;
                CheckLogChanged();
                // A watched folder that was removed keeps its handle
                // signalled: watch it anew once it is back.
                if (::GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES ||
                    !::FindNextChangeNotification(change))
                    break;
            }
            ::FindCloseChangeNotification(change);
        }
        // No notices to be had (the data folder is missing, say): look at the
        // log now and then instead, and end as soon as the view goes.
        if (::WaitForSingleObject(m_evStop.Get(), kRetryMs) != WAIT_TIMEOUT)
            return 0;
        CheckLogChanged();
    }
}

BOOL CRichLogCtrl::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == ID_REREAD_LOG && lParam == 0) {
            OnRereadLog();
            *pResult = 0;
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY: {
        // The follower ends now; nothing is posted to this window any more.
        ::SetEvent(m_evStop.Get());
        HWND expected = m_hWnd;
        s_hLogView.compare_exchange_strong(expected, nullptr);
        return FALSE;
    }
    default:
        return FALSE;
    }
}

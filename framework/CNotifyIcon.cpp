#include "framework/CNotifyIcon.h"

#include <cstring>

namespace {

const char kTrayWndClass[] = "NorvaneTrayWnd";

// The length of text cut to fit limit bytes (the terminating zero not
// counted) without splitting a character of the ANSI code page.
size_t FitText(const char* text, size_t limit) {
    size_t length = std::strlen(text);
    if (length <= limit)
        return length;
    if (::GetACP() == CP_UTF8) {
        // Back off to the first byte of the character the cut falls in.
        size_t cut = limit;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        return cut;
    }
    size_t at = 0;
    while (at < limit) {
        size_t step = ::IsDBCSLeadByte(static_cast<BYTE>(text[at])) ? 2 : 1;
        if (at + step > limit)
            break;
        at += step;
    }
    return at;
}

void CopyTip(NOTIFYICONDATAA& record, const char* text) {
    if (!text)
        text = "";
    size_t length = FitText(text, sizeof(record.szTip) - 1);
    std::memcpy(record.szTip, text, length);
    record.szTip[length] = 0;
}

} // namespace

UINT CNotifyIcon::GetTaskbarCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageA("TaskbarCreated");
    return message;
}

CNotifyIcon::CNotifyIcon() {
    GetTaskbarCreatedMessage();
    // Top-level, so that the taskbar's broadcast reaches it; never shown.
    CreateEx(0, kTrayWndClass, "", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
             nullptr, nullptr);
}

CNotifyIcon::~CNotifyIcon() {
    RemoveIconRecord();
    DestroyWindow();
}

void CNotifyIcon::OnRButtonDown(int, int) {}
void CNotifyIcon::OnLButtonDblClk(int, int) {}

BOOL CNotifyIcon::AddIconRecord(HICON icon, const char* tip) {
    if (m_bHasRecord || !icon)
        return FALSE;
    m_record = NOTIFYICONDATAA();
    // The whole record, the layout that ends with the balloon icon handle.
    m_record.cbSize = sizeof(NOTIFYICONDATAA);
    m_record.hWnd = m_hWnd;
    m_record.uID = 0;
    m_record.uFlags = 0;
    m_record.uCallbackMessage = WM_TRAYICON;
    m_record.hIcon = icon;
    CopyTip(m_record, tip);
    m_bHasRecord = true;
    return TRUE;
}

BOOL CNotifyIcon::SetTrayIcon(HICON icon) {
    if (!m_bHasRecord)
        return AddIconRecord(icon, "");
    m_record.cbSize = sizeof(NOTIFYICONDATAA);
    m_record.hIcon = icon;
    m_record.uFlags = NIF_ICON;
    BOOL ok = ::Shell_NotifyIconA(NIM_MODIFY, &m_record);
    if (!ok)
        m_bInTray = false; // the shell does not have it (any more)
    return ok;
}

BOOL CNotifyIcon::ShowTrayIcon() {
    if (!m_bHasRecord)
        return FALSE;
    m_bWanted = true;
    m_record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    BOOL ok = ::Shell_NotifyIconA(NIM_ADD, &m_record);
    // An add fails when the shell holds the icon already, and also when
    // there is no taskbar: only a modify tells the two apart.
    if (!ok)
        ok = ::Shell_NotifyIconA(NIM_MODIFY, &m_record);
    m_bInTray = ok != FALSE;
    return ok;
}

BOOL CNotifyIcon::HideTrayIcon() {
    if (!m_bHasRecord)
        return FALSE;
    m_bWanted = false;
    m_bInTray = false;
    m_record.uFlags = 0;
    return ::Shell_NotifyIconA(NIM_DELETE, &m_record);
}

BOOL CNotifyIcon::SetTrayTip(const char* text) {
    if (!m_bHasRecord)
        return FALSE;
    CopyTip(m_record, text);
    m_record.uFlags |= NIF_TIP;
    m_record.cbSize = sizeof(NOTIFYICONDATAA);
    BOOL ok = ::Shell_NotifyIconA(NIM_MODIFY, &m_record);
    if (!ok)
        m_bInTray = false;
    return ok;
}

BOOL CNotifyIcon::RemoveIconRecord() {
    if (!m_bHasRecord)
        return FALSE;
    m_record.uFlags = 0;
    BOOL ok = ::Shell_NotifyIconA(NIM_DELETE, &m_record);
    m_bHasRecord = false;
    m_bWanted = m_bInTray = false;
    return ok;
}

BOOL CNotifyIcon::RestoreTrayIcon() {
    if (!m_bWanted || m_bInTray)
        return m_bInTray;
    return ShowTrayIcon();
}

void CNotifyIcon::OnTaskbarCreated() {
    // The new taskbar holds no icon of ours.
    m_bInTray = false;
    if (m_bWanted)
        ShowTrayIcon();
}

BOOL CNotifyIcon::OnWndMsg(UINT message, WPARAM, LPARAM lParam, LRESULT* pResult) {
    if (message == WM_TRAYICON) {
        POINT pt = {};
        ::GetCursorPos(&pt);
        if (UINT(lParam) == WM_RBUTTONDOWN)
            OnRButtonDown(pt.x, pt.y);
        else if (UINT(lParam) == WM_LBUTTONDBLCLK)
            OnLButtonDblClk(pt.x, pt.y);
        *pResult = 0;
        return TRUE;
    }
    if (message && message == GetTaskbarCreatedMessage()) {
        OnTaskbarCreated();
        *pResult = 0;
        return TRUE;
    }
    return FALSE;
}

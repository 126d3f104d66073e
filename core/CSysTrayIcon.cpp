#include "core/CSysTrayIcon.h"

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

// ------------------------------------------------------------ the window

CSysTrayWnd::~CSysTrayWnd() {
    if (m_hWnd)
        ::DestroyWindow(m_hWnd);
}

BOOL CSysTrayWnd::Create() {
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &CSysTrayWnd::WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kTrayWndClass;
    if (!::RegisterClassA(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return FALSE;
    // Top-level, so that the taskbar's broadcast reaches it; never shown.
    return ::CreateWindowExA(0, kTrayWndClass, "", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, nullptr, nullptr, instance, this) != nullptr;
}

LRESULT CALLBACK CSysTrayWnd::WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<CSysTrayWnd*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->m_hWnd = hWnd;
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    }
    auto* self = reinterpret_cast<CSysTrayWnd*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    }
    if (message == WM_TRAYICON && self->m_pOwner)
        return self->m_pOwner->OnTrayNotification(wParam, lParam);
    if (message == CSysTrayIcon::GetTaskbarCreatedMessage() && message && self->m_pOwner) {
        self->m_pOwner->OnTaskbarCreated();
        return 0;
    }
    return ::DefWindowProcA(hWnd, message, wParam, lParam);
}

// -------------------------------------------------------------- the icon

UINT CSysTrayIcon::GetTaskbarCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageA("TaskbarCreated");
    return message;
}

CSysTrayIcon::CSysTrayIcon() : m_wnd(this) {
    GetTaskbarCreatedMessage();
    m_wnd.Create();
}

CSysTrayIcon::~CSysTrayIcon() {
    while (!m_lstIcons.IsEmpty())
        RemoveIconRecord(m_lstIcons.GetHead()->uID);
    m_wnd.DestroyWindow();
}

void CSysTrayIcon::OnLButtonDown(UINT, int, int) {}
void CSysTrayIcon::OnRButtonDown(UINT, int, int) {}
void CSysTrayIcon::OnMButtonDown(UINT, int, int) {}
void CSysTrayIcon::OnLButtonUp(UINT, int, int) {}
void CSysTrayIcon::OnRButtonUp(UINT, int, int) {}
void CSysTrayIcon::OnMButtonUp(UINT, int, int) {}
void CSysTrayIcon::OnLButtonDblClk(UINT, int, int) {}
void CSysTrayIcon::OnRButtonDblClk(UINT, int, int) {}
void CSysTrayIcon::OnMButtonDblClk(UINT, int, int) {}
void CSysTrayIcon::OnMouseMove(UINT, int, int) {}

NOTIFYICONDATAA* CSysTrayIcon::FindRecord(UINT id) const {
    for (POSITION pos = m_lstIcons.GetHeadPosition(); pos;) {
        NOTIFYICONDATAA* record = m_lstIcons.GetNext(pos);
        if (record->uID == id)
            return record;
    }
    return nullptr;
}

BOOL CSysTrayIcon::Notify(DWORD message, NOTIFYICONDATAA* record) {
    return ::Shell_NotifyIconA(message, record);
}

BOOL CSysTrayIcon::AddIconRecord(HICON icon, const char* tip) {
    if (FindRecord(0) || !icon)
        return FALSE;
    auto* record = new NOTIFYICONDATAA();
    // The whole record, the layout that ends with the balloon icon handle.
    record->cbSize = sizeof(NOTIFYICONDATAA);
    record->hWnd = m_wnd.GetSafeHwnd();
    record->uID = 0;
    record->uFlags = 0;
    record->uCallbackMessage = WM_TRAYICON;
    record->hIcon = icon;
    CopyTip(*record, tip);
    m_lstIcons.AddTail(record);
    return TRUE;
}

BOOL CSysTrayIcon::SetTrayIcon(HICON icon) {
    NOTIFYICONDATAA* record = FindRecord(0);
    if (!record)
        return AddIconRecord(icon, "");
    record->cbSize = sizeof(NOTIFYICONDATAA);
    record->hIcon = icon;
    record->uFlags = NIF_ICON;
    BOOL ok = Notify(NIM_MODIFY, record);
    if (!ok)
        m_bInTray = false; // the shell does not have it (any more)
    return ok;
}

BOOL CSysTrayIcon::ShowTrayIcon() {
    NOTIFYICONDATAA* record = FindRecord(0);
    if (!record)
        return FALSE;
    m_bWanted = true;
    record->uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    BOOL ok = Notify(NIM_ADD, record);
    // An add fails when the shell holds the icon already, and also when
    // there is no taskbar: only a modify tells the two apart.
    if (!ok)
        ok = Notify(NIM_MODIFY, record);
    m_bInTray = ok != FALSE;
    return ok;
}

BOOL CSysTrayIcon::HideTrayIcon() {
    NOTIFYICONDATAA* record = FindRecord(0);
    if (!record)
        return FALSE;
    m_bWanted = false;
    m_bInTray = false;
    record->uFlags = 0;
    return Notify(NIM_DELETE, record);
}

BOOL CSysTrayIcon::SetTrayTip(const char* text) {
    NOTIFYICONDATAA* record = FindRecord(0);
    if (!record)
        return FALSE;
    CopyTip(*record, text);
    record->uFlags |= NIF_TIP;
    record->cbSize = sizeof(NOTIFYICONDATAA);
    BOOL ok = Notify(NIM_MODIFY, record);
    if (!ok)
        m_bInTray = false;
    return ok;
}

BOOL CSysTrayIcon::RemoveIconRecord(UINT id) {
    for (POSITION pos = m_lstIcons.GetHeadPosition(); pos;) {
        POSITION at = pos;
        NOTIFYICONDATAA* record = m_lstIcons.GetNext(pos);
        if (record->uID != id)
            continue;
        record->uFlags = 0;
        BOOL ok = Notify(NIM_DELETE, record);
        m_lstIcons.RemoveAt(at);
        delete record;
        if (id == 0)
            m_bWanted = m_bInTray = false;
        return ok;
    }
    return FALSE;
}

BOOL CSysTrayIcon::RestoreTrayIcon() {
    if (!m_bWanted || m_bInTray)
        return m_bInTray;
    return ShowTrayIcon();
}

void CSysTrayIcon::OnTaskbarCreated() {
    // The new taskbar holds no icon of ours.
    m_bInTray = false;
    if (m_bWanted)
        ShowTrayIcon();
}

LRESULT CSysTrayIcon::OnTrayNotification(WPARAM wParam, LPARAM lParam) {
    POINT pt = {};
    ::GetCursorPos(&pt);
    UINT id = UINT(wParam);
    switch (UINT(lParam)) {
    case WM_MOUSEMOVE:
        OnMouseMove(id, pt.x, pt.y);
        break;
    case WM_LBUTTONDOWN:
        OnLButtonDown(id, pt.x, pt.y);
        break;
    case WM_LBUTTONUP:
        OnLButtonUp(id, pt.x, pt.y);
        break;
    case WM_LBUTTONDBLCLK:
        OnLButtonDblClk(id, pt.x, pt.y);
        break;
    case WM_RBUTTONDOWN:
        OnRButtonDown(id, pt.x, pt.y);
        break;
    case WM_RBUTTONUP:
        OnRButtonUp(id, pt.x, pt.y);
        break;
    case WM_RBUTTONDBLCLK:
        OnRButtonDblClk(id, pt.x, pt.y);
        break;
    case WM_MBUTTONDOWN:
        OnMButtonDown(id, pt.x, pt.y);
        break;
    case WM_MBUTTONUP:
        OnMButtonUp(id, pt.x, pt.y);
        break;
    case WM_MBUTTONDBLCLK:
        OnMButtonDblClk(id, pt.x, pt.y);
        break;
    default:
        break;
    }
    return 0;
}

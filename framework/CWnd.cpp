#include "framework/CWnd.h"

#include "framework/CWinAppEx.h"

#include <commctrl.h>

namespace {
// The id of the framework's subclass on every window it subclasses; the
// procedure's address tells it from other subclasses.
constexpr UINT_PTR kSubclassId = 1;
} // namespace

CWnd::~CWnd() {
    if (m_binding == Binding::Made) {
        HWND hWnd = m_hWnd;
        UnsubclassWindow();
        ::DestroyWindow(hWnd);
    } else {
        UnsubclassWindow();
    }
}

BOOL CWnd::CreateEx(DWORD dwExStyle, const char* className, const char* title, DWORD dwStyle, int x, int y,
                    int cx, int cy, HWND hParent, HMENU hMenu) {
    if (m_hWnd || !className)
        return FALSE;
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    if (!::GetClassInfoA(instance, className, &wc)) {
        wc.lpfnWndProc = &CWnd::MadeWndProc;
        wc.hInstance = instance;
        wc.lpszClassName = className;
        if (!::RegisterClassA(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return FALSE;
    } else if (wc.lpfnWndProc != &CWnd::MadeWndProc) {
        return FALSE; // someone else's class: its windows would never bind
    }
    return ::CreateWindowExA(dwExStyle, className, title ? title : "", dwStyle, x, y, cx, cy, hParent, hMenu,
                             instance, this) != nullptr;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (m_hWnd || !hWnd)
        return FALSE;
    if (!::SetWindowSubclass(hWnd, &CWnd::SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return FALSE;
    m_hWnd = hWnd;
    m_binding = Binding::Subclassed;
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(HWND hParent, int nID) {
    return SubclassWindow(::GetDlgItem(hParent, nID));
}

HWND CWnd::UnsubclassWindow() {
    HWND hWnd = m_hWnd;
    if (m_binding == Binding::Subclassed && hWnd)
        ::RemoveWindowSubclass(hWnd, &CWnd::SubclassProc, kSubclassId);
    else if (m_binding == Binding::Made && hWnd)
        ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
    else
        return nullptr;
    m_binding = Binding::None;
    m_hWnd = nullptr;
    return hWnd;
}

BOOL CWnd::OnWndMsg(UINT, WPARAM, LPARAM, LRESULT*) {
    return FALSE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (OnWndMsg(message, wParam, lParam, &result))
        return result;
    return Default(message, wParam, lParam);
}

LRESULT CWnd::Default(UINT message, WPARAM wParam, LPARAM lParam) {
    // Only called from within the dispatch of the message, where
    // DefSubclassProc knows which subclass comes next. A handler that
    // destroyed the window has nothing left to hand on to.
    if (!m_hWnd)
        return 0;
    if (m_binding == Binding::Subclassed)
        return ::DefSubclassProc(m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Dispatch(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_NCDESTROY)
        return WindowProc(message, wParam, lParam);
    // Unbound before the window's own handling of its end, so nothing in it
    // reaches the object; DefSubclassProc still knows the subclass it is
    // called from after the subclass is removed.
    const bool subclassed = m_binding == Binding::Subclassed;
    UnsubclassWindow();
    LRESULT result = subclassed ? ::DefSubclassProc(hWnd, message, wParam, lParam)
                                : ::DefWindowProcA(hWnd, message, wParam, lParam);
    OnWindowGone(); // may delete the object: the last use of it
    return result;
}

LRESULT CALLBACK CWnd::MadeWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<CWnd*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        if (self) {
            self->m_hWnd = hWnd;
            self->m_binding = Binding::Made;
        }
    }
    auto* self = reinterpret_cast<CWnd*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    return self->Dispatch(hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR dwRefData) {
    auto* self = reinterpret_cast<CWnd*>(dwRefData);
    return self->Dispatch(hWnd, message, wParam, lParam);
}

BOOL CWnd::BindDlgItem(HWND hParent, int nID) {
    m_hWnd = ::GetDlgItem(hParent, nID);
    return m_hWnd != nullptr;
}

CString CWnd::GetWindowText() const {
    CString text;
    int length = ::GetWindowTextLengthA(m_hWnd);
    if (length <= 0)
        return text;
    // The length is an upper bound (it may count a character twice in a
    // multi-byte code page); GetWindowTextA gives the real one.
    int got = ::GetWindowTextA(m_hWnd, text.GetBuffer(length + 1), length + 1);
    text.ReleaseBuffer(got > 0 ? got : 0);
    return text;
}

CString CWnd::GetDlgItemText(int nID) const {
    CString text;
    HWND hItem = ::GetDlgItem(m_hWnd, nID);
    if (!hItem)
        return text;
    int length = ::GetWindowTextLengthA(hItem);
    if (length <= 0)
        return text;
    int got = ::GetWindowTextA(hItem, text.GetBuffer(length + 1), length + 1);
    text.ReleaseBuffer(got > 0 ? got : 0);
    return text;
}

void CWnd::PostNcDestroy() {}

void CWnd::OnWindowGone() {
    CWinAppEx* app = AfxGetApp();
    if (app && app->m_pMainWnd == this) {
        app->m_pMainWnd = nullptr;
        ::PostQuitMessage(0);
    }
    PostNcDestroy();
}

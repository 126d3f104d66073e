#pragma once
// The framework's window object: a C++ object bound to one window handle.
// Who binds it depends on the family: a property page binds itself at
// WM_INITDIALOG, the property sheet through its subclass, a control wrapper
// when it is pointed at an existing dialog control (BindDlgItem). Every
// family unbinds at WM_NCDESTROY, so m_hWnd is null once the window is gone.
// Window objects are not copyable: two objects for one window would disagree
// about who is bound to it.

#include "framework/CString.h"

#include <windows.h>

class CWnd {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd() = default;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // Points a wrapper of a child control at the control with that id in the
    // parent dialog. FALSE when the parent has no such control.
    BOOL BindDlgItem(HWND hParent, int nID);
    // Points a wrapper at an existing window it does not own.
    void BindHandle(HWND hWnd) { m_hWnd = hWnd; }

    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    BOOL DestroyWindow() { return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE; }

    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text ? text : ""); }
    CString GetWindowText() const;
    void GetWindowText(CString& text) const { text = GetWindowText(); }
    void SetDlgItemText(int nID, const char* text) { ::SetDlgItemTextA(m_hWnd, nID, text ? text : ""); }
    CString GetDlgItemText(int nID) const;

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }

    // A timer of this window: it arrives as WM_TIMER with the id, no callback.
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse) {
        return ::SetTimer(m_hWnd, nIDEvent, nElapse, nullptr);
    }
    BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }

    int MessageBox(const char* text, const char* caption = nullptr, UINT nType = MB_OK) {
        return ::MessageBoxA(m_hWnd, text, caption, nType);
    }

    HWND m_hWnd = nullptr;

protected:
    // Called by the family's window procedure when the window has ended and
    // the object is unbound. When the window was the application's main
    // window, the application's loop is told to end.
    virtual void PostNcDestroy();
    void OnWindowGone();
};

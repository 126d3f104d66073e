#pragma once
// The framework's window object: a C++ object bound to one window handle.
//
// One binding mechanism serves every family, in two forms:
// - A window the object makes (CreateEx) belongs to a class registered with
//   the framework's one window procedure, which takes the object from
//   CREATESTRUCT::lpCreateParams at WM_NCCREATE and keeps it in the window's
//   GWLP_USERDATA (the class is ours, so that slot is ours).
// - A window someone else made (a dialog control, a property sheet's frame
//   or page) is subclassed (SubclassWindow) through the framework's one
//   subclass procedure, with the object as the subclass's reference data.
//   SetWindowSubclass keeps its data apart from the window's own slots,
//   which belong to the window's maker (comctl32 keeps its state in a
//   dialog's DWLP_USER).
// Either way every message goes to WindowProc, which by default offers it to
// OnWndMsg and otherwise lets the window's own handling run. At WM_NCDESTROY
// the object is unbound (m_hWnd becomes null), the window's own handling
// runs, and OnWindowGone is the last thing the procedure does with the
// object: PostNcDestroy may delete it. An object that goes before its window
// unbinds itself in its destructor, so the window never reaches freed memory.
//
// Wrappers that only point at a window they neither made nor subclassed
// (BindDlgItem, BindHandle) take none of its messages.
// Window objects are not copyable: two objects for one window would disagree
// about who is bound to it.

#include "framework/CString.h"

#include <windows.h>

class CWnd {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    // Unbinds from a window that outlives the object; destroys a window the
    // object made.
    virtual ~CWnd();

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // Points a wrapper of a child control at the control with that id in the
    // parent dialog. FALSE when the parent has no such control.
    BOOL BindDlgItem(HWND hParent, int nID);
    // Points a wrapper at an existing window it does not own.
    void BindHandle(HWND hWnd) { m_hWnd = hWnd; }

    // Makes a window of class className (registered on first use with the
    // framework's window procedure) bound to this object from WM_NCCREATE
    // on. FALSE when the object has a window already or none could be made.
    BOOL CreateEx(DWORD dwExStyle, const char* className, const char* title, DWORD dwStyle, int x, int y,
                  int cx, int cy, HWND hParent, HMENU hMenu);
    // Binds the object to a window made elsewhere: its messages reach the
    // object from now on. FALSE when the object has a window already.
    BOOL SubclassWindow(HWND hWnd);
    // Binds the object to the control with that id in the parent dialog.
    BOOL SubclassDlgItem(HWND hParent, int nID);
    // Unbinds the object from the window, which lives on without it; null
    // when the object was not bound. Only on the window's thread.
    HWND UnsubclassWindow();

    // Every message of a bound window. TRUE with *pResult when handled;
    // otherwise the window's own handling runs. Default: nothing handled.
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

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
    // The dispatch of one message of the bound window; a family with
    // handlers of its own (the property sheet's and page's) puts them here.
    // Default: OnWndMsg, then Default.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The window's own handling of the message being dispatched: the next
    // subclass or the window's class procedure, or DefWindowProc for a
    // window the object made.
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

    // Called when the window has ended and the object is unbound. When the
    // window was the application's main window, the application's loop is
    // told to end.
    virtual void PostNcDestroy();
    void OnWindowGone();

private:
    enum class Binding { None, Made, Subclassed };

    // Both procedures' dispatch: WindowProc, or the unbinding at the end.
    LRESULT Dispatch(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK MadeWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR uIdSubclass, DWORD_PTR dwRefData);

    Binding m_binding = Binding::None;
};

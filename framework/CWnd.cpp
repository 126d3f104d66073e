#include "framework/CWnd.h"

#include "framework/CWinAppEx.h"

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

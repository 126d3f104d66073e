#include "ui/CPageLog.h"

#include "ui/PageButtons.h"

#include "resource.h"

CPageLog::CPageLog()
    : CPropertyPage(IDD_PAGE_LOG, "Logging", "Review log of files processed and geotags secured.") {}

BOOL CPageLog::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    RECT rect = {};
    ::GetWindowRect(GetDlgItem(IDC_LOG_FRAME), &rect);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
    if (m_ctrlLog.Create(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_BORDER | WS_VSCROLL |
                             WS_HSCROLL | ES_NOHIDESEL | ES_AUTOHSCROLL | ES_MULTILINE,
                         rect, m_hWnd, 0))
        m_ctrlLog.SetReadOnly(TRUE);
    return TRUE;
}

BOOL CPageLog::OnQueryCancel() {
    return QueryCancelPages(*this);
}

#include "ui/CPage03.h"

#include "core/CTamsel.h"
#include "ui/PageButtons.h"

#include "resource.h"

CPage03::CPage03()
    : CPropertyPage(IDD_PAGE03, "Protecting folder", "Set up on-going protection for the selected folder") {}

BOOL CPage03::OnInitDialog() {
    m_lbFolders.BindDlgItem(m_hWnd, IDC_PROTECTED_LIST);
    m_btnProtect.BindDlgItem(m_hWnd, IDC_PROTECT_FOLDER);
    m_btnStopProtecting.BindDlgItem(m_hWnd, IDC_STOP_PROTECTING);
    m_stFolderForScan.BindDlgItem(m_hWnd, IDC_FOLDER_FOR_SCAN);
    CPropertyPage::OnInitDialog();
    return TRUE;
}

void CPage03::RefreshFolderList() {
    while (m_lbFolders.GetCount() > 0)
        if (m_lbFolders.DeleteString(0) == LB_ERR)
            break;
    if (!g_pTamsel)
        return;
    // The box sorts; the folder the engine listed last ends up selected.
    for (POSITION pos = g_pTamsel->m_lstProtectedFolders.GetHeadPosition(); pos;) {
        int index = m_lbFolders.AddString(g_pTamsel->m_lstProtectedFolders.GetNext(pos));
        if (index >= 0)
            m_lbFolders.SetCurSel(index);
    }
    m_btnProtect.EnableWindow(!g_pTamsel->IsProtectedFolder(g_pTamsel->GetFolderForScan()));
    m_btnStopProtecting.EnableWindow(TRUE);
}

BOOL CPage03::OnSetActive() {
    RefreshFolderList();
    EnableSheetButton(*this, ID_WIZBACK, true);
    EnableSheetButton(*this, ID_WIZNEXT, false);
    SetSheetButtonText(*this, ID_WIZNEXT, "Next >");
    SetSheetButtonText(*this, ID_WIZCANCEL, "Close");
    m_stFolderForScan.SetWindowText(g_pTamsel ? g_pTamsel->GetFolderForScan() : CString());
    return CPropertyPage::OnSetActive();
}

LRESULT CPage03::OnWizardBack() {
    // The folder page, not the log before this one; the wizard then finds no
    // earlier page to move to.
    if (GetSheet())
        GetSheet()->SetActivePage(0);
    return CPropertyPage::OnWizardBack();
}

void CPage03::OnProtectFolder() {
    if (!g_pTamsel)
        return;
    CString folder = g_pTamsel->GetFolderForScan();
    if (g_pTamsel->IsProtectedFolder(folder))
        return;
    g_pTamsel->AddProtectedFolder(folder);
    RefreshFolderList();
}

void CPage03::OnStopProtecting() {
    int index = m_lbFolders.GetCurSel();
    if (index == LB_ERR || !g_pTamsel)
        return;
    CString folder = m_lbFolders.GetText(index);
    g_pTamsel->RemoveProtectedFolder(folder);
    RefreshFolderList();
}

BOOL CPage03::OnQueryCancel() {
    return QueryCancelPages(*this);
}

BOOL CPage03::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
        case IDC_PROTECT_FOLDER:
            OnProtectFolder();
            return TRUE;
        case IDC_STOP_PROTECTING:
            OnStopProtecting();
            return TRUE;
        }
    }
    return CPropertyPage::OnCommand(wParam, lParam);
}

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

const char* const kWaitingSuffix = "  (waiting for the folder)";

void CPage03::RefreshFolderList(const char* keepSelected) {
    while (m_lbFolders.GetCount() > 0)
        if (m_lbFolders.DeleteString(0) == LB_ERR)
            break;
    m_arrFolders.clear();
    if (!g_pTamsel)
        return;
    // The box sorts; the folder the core listed last ends up selected.
    int keep = LB_ERR;
    const CList<CString>& folders = g_pTamsel->GetProtectedFolders();
    for (POSITION pos = folders.GetHeadPosition(); pos;) {
        const CString& folder = folders.GetNext(pos);
        CString text = folder;
        if (g_pTamsel->IsFolderWaiting(folder))
            text += kWaitingSuffix;
        int index = m_lbFolders.AddString(text);
        if (index < 0)
            continue;
        m_lbFolders.SetItemData(index, LPARAM(m_arrFolders.size()));
        m_arrFolders.push_back(folder);
        m_lbFolders.SetCurSel(index);
        if (keepSelected && folder.CompareNoCase(keepSelected) == 0)
            keep = index;
    }
    if (keep != LB_ERR)
        m_lbFolders.SetCurSel(keep);
    m_btnProtect.EnableWindow(!g_pTamsel->IsProtectedFolder(g_pTamsel->GetFolderForScan()));
    m_btnStopProtecting.EnableWindow(TRUE);
}

CString CPage03::SelectedFolder() const {
    int index = m_lbFolders.GetCurSel();
    if (index == LB_ERR)
        return CString();
    LRESULT data = m_lbFolders.GetItemData(index);
    if (data < 0 || size_t(data) >= m_arrFolders.size())
        return CString();
    return m_arrFolders[size_t(data)];
}

void CPage03::OnWatchStateChanged() {
    CString selected = SelectedFolder();
    RefreshFolderList(selected.IsEmpty() ? nullptr : selected.GetString());
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
    CString folder = SelectedFolder();
    if (folder.IsEmpty() || !g_pTamsel)
        return;
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

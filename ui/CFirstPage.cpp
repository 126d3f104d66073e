#include "ui/CFirstPage.h"

#include "core/CTamsel.h"
#include "engine/FileOs.h"
#include "ui/PageButtons.h"

#include "resource.h"

#include <shlobj.h>

namespace {

const char kBrowseTitle[] = "Select folder with photos to scan and remove geotags.";

// Selects the stored folder once the browser is up.
int CALLBACK BrowseCallback(HWND hWnd, UINT message, LPARAM, LPARAM lpData) {
    if (message == BFFM_INITIALIZED && lpData)
        ::SendMessageA(hWnd, BFFM_SETSELECTIONA, TRUE, lpData);
    return 0;
}

} // namespace

CFirstPage::CFirstPage()
    : CPropertyPage(IDD_FIRST_PAGE, "Adding folder", "Add folder to scan and remove geotags") {}

BOOL CFirstPage::OnInitDialog() {
    m_edFolder.BindDlgItem(m_hWnd, IDC_FOLDER);
    return CPropertyPage::OnInitDialog();
}

BOOL CFirstPage::OnSetActive() {
    EnableSheetButton(*this, ID_WIZNEXT, false);
    // The edit box reports the change, which enables Next again when the
    // stored folder still exists.
    m_edFolder.SetWindowText(g_pTamsel ? g_pTamsel->GetFolderForScan() : CString());
    EnableSheetButton(*this, ID_WIZBACK, false);
    SetSheetButtonText(*this, ID_WIZNEXT, "Start");
    return CPropertyPage::OnSetActive();
}

void CFirstPage::OnFolderChanged() {
    // Only ever enables: once an existing path was seen, Next stays enabled
    // until the page is shown again.
    if (fileos::Exists(m_edFolder.GetWindowText()))
        EnableSheetButton(*this, ID_WIZNEXT, true);
}

void CFirstPage::OnBrowse() {
    CString stored = g_pTamsel ? g_pTamsel->GetFolderForScan() : CString();
    char displayName[MAX_PATH] = "";
    BROWSEINFOA bi = {};
    bi.hwndOwner = m_hWnd ? m_hWnd : ::GetActiveWindow();
    bi.pidlRoot = nullptr;
    bi.pszDisplayName = displayName;
    bi.lpszTitle = kBrowseTitle;
    bi.ulFlags = BIF_RETURNONLYFSDIRS;
    bi.lpfn = &BrowseCallback;
    bi.lParam = stored.IsEmpty() ? 0 : reinterpret_cast<LPARAM>(static_cast<const char*>(stored));
    LPITEMIDLIST pidl = ::SHBrowseForFolderA(&bi);
    if (!pidl)
        return;
    char path[MAX_PATH] = "";
    BOOL converted = ::SHGetPathFromIDListA(pidl, path);
    IMalloc* pMalloc = nullptr;
    if (SUCCEEDED(::SHGetMalloc(&pMalloc)) && pMalloc) {
        pMalloc->Free(pidl);
        pMalloc->Release();
    }
    if (converted && fileos::Exists(path))
        m_edFolder.SetWindowText(path);
}

LRESULT CFirstPage::OnWizardNext() {
    CString text = m_edFolder.GetWindowText();
    if (g_pTamsel && fileos::Exists(text))
        g_pTamsel->SetFolderForScan(text);
    return CPropertyPage::OnWizardNext();
}

BOOL CFirstPage::OnQueryCancel() {
    return QueryCancelPages(*this);
}

BOOL CFirstPage::OnCommand(WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDC_FOLDER:
        if (HIWORD(wParam) == EN_CHANGE) {
            OnFolderChanged();
            return TRUE;
        }
        break;
    case IDC_BROWSE:
        if (HIWORD(wParam) == BN_CLICKED) {
            OnBrowse();
            return TRUE;
        }
        break;
    }
    return CPropertyPage::OnCommand(wParam, lParam);
}

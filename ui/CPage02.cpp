#include "ui/CPage02.h"

#include "core/CTamsel.h"
#include "core/EventIds.h"
#include "ui/PageButtons.h"

#include "resource.h"

CPage02::CPage02()
    : CPropertyPage(IDD_PAGE02, "Scanning",
                    "Wait for Norvane to scan the selected folder and remove geotags.") {}

BOOL CPage02::OnInitDialog() {
    m_stCounters.BindDlgItem(m_hWnd, IDC_COUNTERS);
    m_progress.BindDlgItem(m_hWnd, IDC_PROGRESS);
    m_picture.SubclassDlgItem(m_hWnd, IDC_ANIMATION);
    // The template's placeholder text marks where the animated picture goes;
    // a user must never read it, not even when the picture cannot be loaded.
    ::SetDlgItemTextA(m_hWnd, IDC_ANIMATION, "");
    CPropertyPage::OnInitDialog();
    // Decoded once, here; the page plays it on each activation. Without it
    // the page works all the same.
    m_picture.LoadFromResource(MAKEINTRESOURCEA(IDR_SCANNING_GIF), "GIF");
    return TRUE;
}

BOOL CPage02::OnSetActive() {
    if (g_pTamsel) {
        g_pTamsel->SetFinishWindow(m_hWnd);
        // The folder page's choice, read as the scan starts: it is not kept.
        HWND folderPage = PropSheet_IndexToHwnd(::GetParent(m_hWnd), 0);
        bool fullScan = folderPage && ::IsDlgButtonChecked(folderPage, IDC_FULL_SCAN) == BST_CHECKED;
        m_nScan = g_pTamsel->StartScan(fullScan);
    }
    EnableSheetButton(*this, ID_WIZBACK, false);
    EnableSheetButton(*this, ID_WIZNEXT, true);
    SetSheetButtonText(*this, ID_WIZNEXT, "Stop");
    m_progress.SetPos(0);
    m_stCounters.SetWindowText("");
    // Every scan shows the animation, not only the first of the run.
    m_picture.Play();
    return CPropertyPage::OnSetActive();
}

BOOL CPage02::OnKillActive() {
    // A page out of sight plays nothing.
    m_picture.StopPlaying();
    return CPropertyPage::OnKillActive();
}

LRESULT CPage02::OnWizardNext() {
    if (g_pTamsel && g_pTamsel->IsScanning()) {
        // The scan sees the flag at its next check and then reports its end.
        g_pTamsel->StopScan();
        EnableSheetButton(*this, ID_WIZBACK, true);
        EnableSheetButton(*this, ID_WIZNEXT, true);
        SetSheetButtonText(*this, ID_WIZNEXT, "Next >");
        return -1;
    }
    return CPropertyPage::OnWizardNext();
}

void CPage02::OnScanFinish() {
    m_picture.StopPlaying();
    EnableSheetButton(*this, ID_WIZBACK, true);
    EnableSheetButton(*this, ID_WIZNEXT, true);
    SetSheetButtonText(*this, ID_WIZNEXT, "Next >");
}

void CPage02::ShowCounters(WPARAM wParam, LPARAM lParam) {
    if (!m_hWnd || !g_pTamsel)
        return;
    const ScanCounters counters = g_pTamsel->GetScanCounters();
    CString text;
    text.Format("%d\n%d\n%d\n%d\n%d\n%d", int(counters.nFilesFound), int(counters.nJpegFiles),
                int(counters.nSecureFiles), int(counters.nSecuredFiles), int(counters.nNotSecuredFiles),
                int(counters.nLocationLeftFiles));
    m_stCounters.SetWindowText(text);
    m_progress.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, LOWORD(lParam)));
    m_progress.SendMessage(PBM_SETPOS, wParam);
}

BOOL CPage02::OnQueryCancel() {
    return QueryCancelPages(*this);
}

BOOL CPage02::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) == ID_SCAN_FINISH) {
        // Only the finish of the scan this page started ends its scanning
        // state; one of a scan stopped just before may still arrive.
        if (LONG(lParam) == m_nScan || m_nScan == 0)
            OnScanFinish();
        return TRUE;
    }
    return CPropertyPage::OnCommand(wParam, lParam);
}

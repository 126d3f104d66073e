#include "ui/PageButtons.h"

#include "core/CTamsel.h"

namespace {

HWND SheetButton(const CPropertyPage& page, int nID) {
    HWND hSheet = page.m_hWnd ? ::GetParent(page.m_hWnd) : nullptr;
    return hSheet ? ::GetDlgItem(hSheet, nID) : nullptr;
}

} // namespace

void EnableSheetButton(const CPropertyPage& page, int nID, bool bEnable) {
    if (HWND hButton = SheetButton(page, nID))
        ::EnableWindow(hButton, bEnable);
}

void SetSheetButtonText(const CPropertyPage& page, int nID, const char* text) {
    if (HWND hButton = SheetButton(page, nID))
        ::SetWindowTextA(hButton, text);
}

BOOL QueryCancelPages(const CPropertyPage& page) {
    HWND hSheet = page.m_hWnd ? ::GetParent(page.m_hWnd) : nullptr;
    if (g_pTamsel && g_pTamsel->GetProtectedFolderCount() > 0) {
        if (hSheet)
            ::ShowWindow(hSheet, SW_HIDE);
        return FALSE;
    }
    if (g_pTamsel) {
        // Shutdown order: the scan is asked to stop and its worker ended
        // (a photo being rewritten is finished first) before the windows it
        // posts to go. Then the scan must not post to windows about to end.
        g_pTamsel->StopScan();
        g_pTamsel->WaitForWorkerAnsweringSentMessages();
        if (hSheet)
            g_pTamsel->ForgetScanWindows(hSheet);
    }
    return TRUE;
}

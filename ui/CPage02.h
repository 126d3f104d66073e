#pragma once
// Page 1 of the main window: showing it starts the scan of the stored folder.
// Next reads "Stop" while the scan runs and asks it to stop; when the scan
// job has ended (ID_SCAN_FINISH) the user may go on to the log or back.
// The animated picture plays from each activation until the scan job's end,
// or until the page is left; a stopped animation keeps its last frame.

#include "framework/CPropertySheet.h"
#include "framework/Controls.h"
#include "ui/CPictureEx.h"

class CPage02 : public CPropertyPage {
public:
    CPage02();

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    BOOL OnKillActive() override;
    LRESULT OnWizardNext() override;
    BOOL OnQueryCancel() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    // What the main window does with a WM_SCAN_PROGRESS: the core's four
    // counters, one a line, and the progress bar's range (the low 16 bits of
    // lParam) and position (wParam). Nothing when the page has no window yet.
    void ShowCounters(WPARAM wParam, LPARAM lParam);

protected:
    void OnScanFinish();

    CStatic m_stCounters;
    CProgressCtrl m_progress;
    CPictureEx m_picture;
    // The number of the scan this activation started (0: none started).
    LONG m_nScan = 0;
};

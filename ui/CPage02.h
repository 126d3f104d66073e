#pragma once
// Page 1 of the main window: showing it starts the scan of the stored folder.
// Next reads "Stop" while the scan runs and asks it to stop; when the scan
// job has ended (ID_SCAN_FINISH) the user may go on to the log or back.

#include "framework/CPropertySheet.h"
#include "framework/Controls.h"

class CPage02 : public CPropertyPage {
public:
    CPage02();

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    LRESULT OnWizardNext() override;
    BOOL OnQueryCancel() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    // What the main window does with a WM_SCAN_PROGRESS: the engine's four
    // counters, one a line, and the progress bar's range (the low 16 bits of
    // lParam) and position (wParam). Nothing when the page has no window yet.
    void ShowCounters(WPARAM wParam, LPARAM lParam);

protected:
    void OnScanFinish();

    CStatic m_stCounters;
    CProgressCtrl m_progress;
};

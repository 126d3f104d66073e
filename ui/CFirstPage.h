#pragma once
// Page 0 of the main window: the folder to scan, typed or chosen with the
// shell's folder browser. Next, captioned "Start", stores the folder and goes
// on to the scanning page, whose activation starts the scan.

#include "framework/CPropertySheet.h"
#include "framework/Controls.h"

class CFirstPage : public CPropertyPage {
public:
    CFirstPage();

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    LRESULT OnWizardNext() override;
    BOOL OnQueryCancel() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

protected:
    void OnFolderChanged();
    void OnBrowse();

    CEdit m_edFolder;
};

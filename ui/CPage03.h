#pragma once
// Page 3 of the main window: the protected folders, which the folder monitor
// watches. The list box is a view of the engine's list, rebuilt at each
// activation and after each change made here.

#include "framework/CPropertySheet.h"
#include "framework/Controls.h"

class CPage03 : public CPropertyPage {
public:
    CPage03();

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    LRESULT OnWizardBack() override;
    BOOL OnQueryCancel() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

protected:
    void RefreshFolderList();
    void OnProtectFolder();
    void OnStopProtecting();

    CListBox m_lbFolders;
    CButton m_btnProtect;
    CButton m_btnStopProtecting;
    CStatic m_stFolderForScan;
};

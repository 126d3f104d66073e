#pragma once
// Page 3 of the main window: the protected folders, which the folder monitor
// watches. The list box is a view of the core's list, rebuilt at each
// activation, after each change made here and when a folder turns waiting
// or watched. A folder that is not there now shows with kWaitingSuffix;
// each item keeps the folder it stands for, so the suffix is never taken
// for part of a name.

#include "framework/CPropertySheet.h"
#include "framework/Controls.h"

#include <vector>

// Behind a folder in the list while the monitor waits for it to be there.
extern const char* const kWaitingSuffix;

class CPage03 : public CPropertyPage {
public:
    CPage03();

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    LRESULT OnWizardBack() override;
    BOOL OnQueryCancel() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    // A folder turned waiting or watched: the list shows it, keeping the
    // user's selection.
    void OnWatchStateChanged();

protected:
    // Rebuilds the list; selects keepSelected when given and listed, else
    // the folder the core listed last.
    void RefreshFolderList(const char* keepSelected = nullptr);
    // The folder of the selected item; empty with no selection.
    CString SelectedFolder() const;
    void OnProtectFolder();
    void OnStopProtecting();

    CListBox m_lbFolders;
    CButton m_btnProtect;
    CButton m_btnStopProtecting;
    CStatic m_stFolderForScan;
    // The folder each item stands for, by the index kept as its data.
    std::vector<CString> m_arrFolders;
};

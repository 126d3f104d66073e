#pragma once
// Page 2 of the main sheet: the activity log, followed live by the log view.

#include "framework/CPropertySheet.h"
#include "ui/CRichLogCtrl.h"

class CPageLog : public CPropertyPage {
public:
    CPageLog();

    // Puts the log view where the template's hidden frame marks its place.
    BOOL OnInitDialog() override;
    // The cancel answer all pages give: hide while folders are protected.
    BOOL OnQueryCancel() override;

    // Its follower runs from the page's construction on.
    CRichLogCtrl m_ctrlLog;
};

#pragma once
// The program's only top-level window: a modeless wizard sheet of four
// pages (choose a folder, watch the scan, read the log, manage the protected
// folders). With folders protected, closing it only hides it and the
// program goes on; it also takes the scan's progress, the wake-up of a
// second start and the commands that end the program.

#include "framework/CPropertySheet.h"
#include "ui/CFirstPage.h"
#include "ui/CPage02.h"
#include "ui/CPage03.h"
#include "ui/CPageLog.h"

// Commands the sheet takes (from its menu, or from other programs).
enum : UINT {
    ID_STOP_MONITOR_AND_EXIT = 32783,
    ID_OPEN_FOLDER_PAGE = 32784,
    ID_OPEN_PROTECTED_FOLDERS = 32785,
    ID_OPEN_LOG = 32790,
    ID_CHECK_FOR_NEW_VERSION = 32791,
};

class CMainSheet : public CPropertySheet {
public:
    explicit CMainSheet(const char* caption);

    // Activates page nPage, shows the window and brings it to the front.
    void OnOpenPage(int nPage);
    // Asks whether to stop protecting and end; ends on Yes.
    void OnStopMonitorAndExit();
    // Asks the update server for a new version and tells the user.
    void OnCheckForUpdate();

    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnInitSheet() override;

    CFirstPage m_pageFolder;
    CPage02 m_pageScan;
    CPageLog m_pageLog;
    CPage03 m_pageProtected;
};

// The question asked before the program stops protecting and ends.
extern const char* const kStopQuestionCaption;
extern const char* const kStopQuestionText;

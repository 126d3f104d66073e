#pragma once
// The program's only top-level window: a modeless wizard sheet of four
// pages (choose a folder, watch the scan, read the log, manage the protected
// folders). With folders protected, closing it only hides it and the
// program goes on; it also takes the scan's progress, the wake-up of a
// second start and the commands that end the program. It owns the
// notification-area icon, which opens it and sends it its commands.

#include "framework/CPropertySheet.h"
#include "ui/CFirstPage.h"
#include "ui/CPage02.h"
#include "ui/CPage03.h"
#include "ui/CPageLog.h"
#include "ui/CTrayIcon.h"

#include "resource.h"

class CMainSheet : public CPropertySheet {
public:
    explicit CMainSheet(const char* caption);
    ~CMainSheet() override;

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

    // A folder turned waiting or watched (told by the icon's timer, on this
    // window's thread): the protected-folders page shows it.
    void OnWatchStateChanged();

    // After the pages: its timer may reach them.
    CTrayIcon m_tray;
};

// Posted to itself by the main window when it shows and the settings could
// not be read: the message box comes after the window is on the screen.
constexpr UINT WM_TELL_UNREADABLE_SETTINGS = WM_APP + 0x4E1;

// What the user is told when the settings file could not be read; keptAs is
// where it was kept (empty when it could not be).
CString UnreadableSettingsNotice(const char* keptAs);
extern const char* const kUnreadableSettingsCaption;

// The question asked before the program stops protecting and ends.
extern const char* const kStopQuestionCaption;
extern const char* const kStopQuestionText;

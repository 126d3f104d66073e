#pragma once
// The program's only top-level window: a modeless wizard sheet of four
// pages (choose a folder, watch the scan, read the log, manage the protected
// folders). With folders protected, closing it only hides it and the
// program goes on; it also takes the scan's progress, the wake-up of a
// second start and the commands that end the program.

#include "core/EventBroadcast.h"
#include "framework/CPropertySheet.h"
#include "ui/CFirstPage.h"
#include "ui/CPage02.h"
#include "ui/CPage03.h"
#include "ui/CPageLog.h"

#include "resource.h"

#include <atomic>

class CMainSheet : public CPropertySheet {
public:
    DECLARE_EVENT_CLIENT()

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

    // The image of the notification-area icon, every 300 ms (timer 1288).
    void OnTrayTimer();
    // Broadcast events: a secured photo, a folder turned waiting or watched
    // (on whichever thread announced it).
    void OnEvent(UINT nId);

    // Ticks left of the image: below 0 the start-up image (counting up),
    // above 0 the in-work image (counting down), 0 the idle image. Set by
    // the broadcast's threads, stepped by the timer.
    std::atomic<int> m_nIconPhase{-9};
    // A monitoring thread's folder turned waiting or watched: the timer
    // brings the tooltip and the protected-folders page up to date.
    std::atomic<bool> m_bWatchStateChanged{false};

private:
    // Last member: joins the broadcast once the rest is built.
    _class_client_<CMainSheet> m_client;
};

// The timer that changes the notification-area icon's image.
constexpr UINT_PTR kTrayTimerId = 1288;
constexpr UINT kTrayTimerPeriodMs = 300;

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

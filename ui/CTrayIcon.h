#pragma once
// The program's notification-area icon, owned by the main window: in the
// notification area while a folder is protected, with the count of protected
// (and waited-for) folders in its tooltip, the main window's commands in its
// menu, and an image that tells start-up, idle and a photo being secured.
//
// It follows the core's broadcasts. ID_WATCH_UPDATE_ICON and
// ID_WATCH_UPDATE_TOOLTIP come on the windows' thread, inside the core's
// changes of its folder list, and are answered at once. ID_SET_INWORK_MODE
// and ID_WATCH_STATE_CHANGED come on worker threads, which never touch a
// window: they only set atomics, and the icon's timer (on the windows'
// thread) does the work.

#include "core/EventBroadcast.h"
#include "framework/CNotifyIcon.h"
#include "framework/WinHandles.h"

#include <windows.h>

#include <atomic>

class CMainSheet;

class CTrayIcon : public CNotifyIcon {
public:
    DECLARE_EVENT_CLIENT()

    // The core announced its folders before any window listened: the
    // icon takes the state as it is now (in the notification area when a
    // folder is protected) and starts its timer.
    explicit CTrayIcon(CMainSheet& sheet);
    ~CTrayIcon() override;

    void OnEvent(UINT nId);
    // "Norvane\n<count> folder(s) protected\n", then, when folders are
    // waited for, "<count> folder(s) waiting\n". Only on the windows' thread.
    void UpdateTooltip();
    // The image, every 300 ms (timer 1288 of the icon's window); also restores an icon the shell lost and
    // brings the tooltip and the main window up to date after a folder
    // turned waiting or watched.
    void OnTimer();
    // Takes the icon out of the notification area for good: nothing may
    // promise protection that is ending.
    void Shutdown();

    void OnRButtonDown(int x, int y) override;
    void OnLButtonDblClk(int x, int y) override;

protected:
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

private:
    CMainSheet& m_sheet;
    CIconHandle m_hIconIdle;
    CIconHandle m_hIconInWork;
    CIconHandle m_hIconStart;
    // Ticks left of the image: below 0 the start-up image (counting up),
    // above 0 the in-work image (counting down), 0 the idle image. Set by
    // the broadcast's threads, stepped by the timer.
    std::atomic<int> m_nIconPhase{-9};
    // A monitoring thread's folder turned waiting or watched. Set at first
    // too: the monitoring threads start before the windows and may have
    // found their folders missing before anyone listened.
    std::atomic<bool> m_bWatchStateChanged{true};
    // The image shown: -1 none set yet, 0 start-up, 1 idle, 2 in-work. Only
    // the timer reads and writes it.
    int m_nShownState = -1;

    // Last member: joins the broadcast once the rest is built.
    _class_client_<CTrayIcon> m_client;
};

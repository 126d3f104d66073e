#pragma once
// A notification-area icon: the one record handed to the shell with
// Shell_NotifyIconA, and the hidden window that owns it, takes the icon's
// callback message and turns the mouse messages someone handles into
// virtual calls.
//
// The shell's answers are the only way to know what it holds, and it loses
// icons on its own:
// - at log-on the program may start before the taskbar, so an add fails;
// - when the taskbar restarts (Explorer crashed or was updated) every icon is
//   gone. The new taskbar broadcasts the registered message "TaskbarCreated"
//   to the top-level windows; the hidden window is a top-level pop-up for
//   that reason (a message-only window never hears a broadcast).
// So the object keeps two flags: whether the icon is wanted in the
// notification area (ShowTrayIcon until HideTrayIcon), and whether the shell
// confirmed it (a successful add, or a modify that found it). A failed modify
// clears the second; "TaskbarCreated" clears it and adds the icon again; and
// the owner's timer calls RestoreTrayIcon, which adds it until the shell
// takes it.
//
// The object does not own the images it is given. Everything here runs on
// the user-interface thread.

#include "framework/CWnd.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

// The callback message of the icon's record.
constexpr UINT WM_TRAYICON = WM_USER + 1;

class CNotifyIcon : public CWnd {
public:
    // Makes the hidden window; the icon has no record yet.
    CNotifyIcon();
    // Takes the icon out of the notification area, then the window goes.
    ~CNotifyIcon() override;

    // Mouse messages of the icon, at the cursor's screen position.
    // Defaults: nothing.
    virtual void OnRButtonDown(int x, int y);
    virtual void OnLButtonDblClk(int x, int y);

    // Makes the record with icon and tip; tells the shell nothing. FALSE when
    // the record exists already or icon is null.
    BOOL AddIconRecord(HICON icon, const char* tip);
    bool HasIconRecord() const { return m_bHasRecord; }
    // Changes the image (NIM_MODIFY); without a record, makes one.
    BOOL SetTrayIcon(HICON icon);
    // Puts the icon into the notification area (NIM_ADD with image, tip and
    // callback). When the add fails because the shell has the icon already,
    // brings it up to date instead.
    BOOL ShowTrayIcon();
    // Takes the icon out of the notification area; the record stays.
    BOOL HideTrayIcon();
    // Changes the tooltip, cut to what the record holds.
    BOOL SetTrayTip(const char* text);
    // Takes the icon out and forgets its record; the shell's answer, FALSE
    // when there is no record.
    BOOL RemoveIconRecord();

    // Adds the icon again when it is wanted in the notification area but the
    // shell has not confirmed it (no taskbar yet, or one that restarted).
    // Cheap otherwise: the owner calls it on every tick of a timer.
    BOOL RestoreTrayIcon();
    bool IsInTray() const { return m_bInTray; }

    // The registered message a new taskbar broadcasts.
    static UINT GetTaskbarCreatedMessage();

protected:
    // The callback message and "TaskbarCreated".
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

private:
    void OnTaskbarCreated();

    NOTIFYICONDATAA m_record = {};
    bool m_bHasRecord = false;
    bool m_bWanted = false;
    bool m_bInTray = false;
};

#pragma once
// A notification-area icon: the records handed to the shell with
// Shell_NotifyIconA, and a hidden window that takes the icon's callback
// message and turns each mouse message into a virtual call.
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
// Everything here runs on the user-interface thread.

#include "framework/CList.h"
#include "framework/CWnd.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

class CSysTrayIcon;

// The callback message of every icon record.
constexpr UINT WM_TRAYICON = WM_USER + 1;

// The hidden window that receives the callback messages of the icons.
class CSysTrayWnd : public CWnd {
public:
    explicit CSysTrayWnd(CSysTrayIcon* pOwner) : m_pOwner(pOwner) {}
    ~CSysTrayWnd() override;

    // A pop-up that is never shown: no title, no parent, no menu.
    BOOL Create();

    CSysTrayIcon* m_pOwner;

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
};

class CSysTrayIcon {
public:
    CSysTrayIcon();
    CSysTrayIcon(const CSysTrayIcon&) = delete;
    CSysTrayIcon& operator=(const CSysTrayIcon&) = delete;
    // Takes every icon out of the notification area and frees its record.
    virtual ~CSysTrayIcon();

    // Mouse messages of the icon with id, at the cursor's screen position.
    // Defaults: nothing.
    virtual void OnLButtonDown(UINT id, int x, int y);
    virtual void OnRButtonDown(UINT id, int x, int y);
    virtual void OnMButtonDown(UINT id, int x, int y);
    virtual void OnLButtonUp(UINT id, int x, int y);
    virtual void OnRButtonUp(UINT id, int x, int y);
    virtual void OnMButtonUp(UINT id, int x, int y);
    virtual void OnLButtonDblClk(UINT id, int x, int y);
    virtual void OnRButtonDblClk(UINT id, int x, int y);
    virtual void OnMButtonDblClk(UINT id, int x, int y);
    virtual void OnMouseMove(UINT id, int x, int y);

    // The operations below act on the record with id 0.

    // Makes the record with icon and tip; tells the shell nothing. FALSE when
    // the record exists already or icon is null.
    BOOL AddIconRecord(HICON icon, const char* tip);
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
    // Takes the icon out and frees its record; the shell's answer, FALSE
    // when there is no such record.
    BOOL RemoveIconRecord(UINT id);

    // Adds the icon again when it is wanted in the notification area but the
    // shell has not confirmed it (no taskbar yet, or one that restarted).
    // Cheap otherwise: the owner calls it on every tick of a timer.
    BOOL RestoreTrayIcon();
    bool IsInTray() const { return m_bInTray; }

    // From the hidden window: the callback message, and "TaskbarCreated".
    LRESULT OnTrayNotification(WPARAM wParam, LPARAM lParam);
    void OnTaskbarCreated();

    HWND GetSafeHwnd() const { return m_wnd.GetSafeHwnd(); }

    // The registered message a new taskbar broadcasts.
    static UINT GetTaskbarCreatedMessage();

    CSysTrayWnd m_wnd;
    // The records, owned by the list.
    CList<NOTIFYICONDATAA*> m_lstIcons;

protected:
    NOTIFYICONDATAA* FindRecord(UINT id) const;

private:
    BOOL Notify(DWORD message, NOTIFYICONDATAA* record);

    bool m_bWanted = false;
    bool m_bInTray = false;
};

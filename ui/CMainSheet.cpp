#include "ui/CMainSheet.h"

#include "core/CTamsel.h"
#include "core/SingleInstance.h"
#include "resource.h"
#include "ui/ProductSite.h"
#include "ui/UpdateCheck.h"

#include <shellapi.h>

const char* const kStopQuestionCaption = "Stop Norvane PRO protection";
// The apostrophe of "it’s" is the right single quotation mark, stored as the
// character itself (UTF-8, the program's code page), not as byte 0x92 of
// code page 1252, which would show as a stray sign.
const char* const kStopQuestionText =
    "If you stop Norvane PRO monitor it will stop looking for new photos with geotags in the protected "
    "folders. "
    "It will not find geotags in photos that you add to the protected folders while it\xE2\x80\x99s turned "
    "off.\n\nWe recommend that you run a scan on protected folders next time you restart Norvane PRO.\n\nDo "
    "you "
    "really want to stop Norvane PRO?";

const char* const kUnreadableSettingsCaption = "Norvane settings";

CString UnreadableSettingsNotice(const char* keptAs) {
    CString text = "Norvane could not read its settings file, so it started with the default settings: "
                   "no folder is protected now.\n\n";
    if (keptAs && *keptAs)
        text.AppendFormat("The unreadable file was kept as\n%s\n\n", keptAs);
    text += "Please choose the folders to protect again on the protected folders page.";
    return text;
}

CMainSheet::CMainSheet(const char* caption) : CPropertySheet(caption), m_tray(*this) {
    // The page indexes (0 to 3) are what the commands open.
    AddPage(&m_pageFolder);
    AddPage(&m_pageScan);
    AddPage(&m_pageLog);
    AddPage(&m_pageProtected);
}

CMainSheet::~CMainSheet() = default;

void CMainSheet::OnInitSheet() {
    HICON icon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    SendMessage(WM_SETICON, ICON_BIG, LPARAM(icon));
    // What a second start looks for to wake this instance.
    MarkInstanceWindow(m_hWnd);
    if (g_pTamsel)
        g_pTamsel->SetProgressWindow(m_hWnd);
}

void CMainSheet::OnWatchStateChanged() {
    if (m_pageProtected.m_hWnd)
        m_pageProtected.OnWatchStateChanged();
}

void CMainSheet::OnOpenPage(int nPage) {
    SetActivePage(nPage);
    ShowWindow(SW_SHOW);
    ::SetForegroundWindow(m_hWnd);
}

void CMainSheet::OnStopMonitorAndExit() {
    if (::MessageBoxA(nullptr, kStopQuestionText, kStopQuestionCaption, MB_ICONQUESTION | MB_YESNO) == IDYES)
        DestroyWindow();
}

void CMainSheet::OnCheckForUpdate() {
    TellAboutUpdate(m_hWnd, kUpdateServer);
}

BOOL CMainSheet::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    switch (message) {
    case WM_SCAN_PROGRESS:
        // Taken: the scan may post the next one. The counters are read now,
        // so none of the scan's progress is lost.
        if (g_pTamsel)
            g_pTamsel->OnScanProgressHandled();
        m_pageScan.ShowCounters(wParam, lParam);
        *pResult = 0;
        return TRUE;
    case WM_COPYDATA:
        // A second start wants this instance shown: whatever it sent.
        SetActivePage(0);
        ShowWindow(SW_SHOW);
        return FALSE;
    case WM_SHOWWINDOW:
        // Told once the window is on the screen, never while it is hidden.
        if (wParam && g_pTamsel && g_pTamsel->MustTellUnreadableSettings())
            PostMessage(WM_TELL_UNREADABLE_SETTINGS, 0, 0);
        return FALSE;
    case WM_TELL_UNREADABLE_SETTINGS: {
        CString keptAs;
        if (g_pTamsel && g_pTamsel->TakeUnreadableSettingsNotice(keptAs))
            ::MessageBoxA(m_hWnd, UnreadableSettingsNotice(keptAs), kUnreadableSettingsCaption,
                          MB_ICONWARNING | MB_OK);
        *pResult = 0;
        return TRUE;
    }
    case WM_HELP:
        ::ShellExecuteA(nullptr, "open", kProductWebSite, nullptr, nullptr, SW_SHOW);
        *pResult = TRUE;
        return TRUE;
    case WM_DESTROY:
        // Shutdown order: the icon leaves the notification area first, while
        // the pages still exist and before the core stops the monitor
        // (after the loop ends with this window): nothing may promise
        // protection that is ending. Then this window and its pages go.
        m_tray.Shutdown();
        UnmarkInstanceWindow(m_hWnd);
        if (g_pTamsel)
            g_pTamsel->ForgetScanWindows(m_hWnd);
        return FALSE;
    default:
        return FALSE;
    }
}

BOOL CMainSheet::OnCommand(WPARAM wParam, LPARAM) {
    switch (LOWORD(wParam)) {
    case ID__STOP_AND_EXIT:
        DestroyWindow();
        return TRUE;
    case ID_STOP_MONITOR_AND_EXIT:
        OnStopMonitorAndExit();
        return TRUE;
    case ID_OPEN_FOLDER_PAGE:
        OnOpenPage(0);
        return TRUE;
    case ID_OPEN_LOG:
        OnOpenPage(2);
        return TRUE;
    case ID_OPEN_PROTECTED_FOLDERS:
        OnOpenPage(3);
        return TRUE;
    case ID_CHECK_FOR_NEW_VERSION:
        OnCheckForUpdate();
        return TRUE;
    default:
        return FALSE;
    }
}

#include "ui/CTrayIcon.h"

#include "core/CTamsel.h"
#include "core/EventIds.h"
#include "resource.h"
#include "ui/CMainSheet.h"

#include <cstdio>

namespace {

// The timer that changes the icon's image.
constexpr UINT_PTR kTrayTimerId = 1288;
constexpr UINT kTrayTimerPeriodMs = 300;

// The images are 16 x 16, the size of the notification area: LoadIconA
// would give the large size, scaled up from it.
HICON LoadTrayImage(int id) {
    return static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON,
                                           ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                           LR_DEFAULTCOLOR));
}

bool Protecting() {
    return g_pTamsel && g_pTamsel->GetProtectedFolderCount() > 0;
}

} // namespace

CTrayIcon::CTrayIcon(CMainSheet& sheet)
    : m_sheet(sheet), m_hIconIdle(LoadTrayImage(IDI_TRAY_IDLE)),
      m_hIconInWork(LoadTrayImage(IDI_TRAY_INWORK)), m_hIconStart(LoadTrayImage(IDI_TRAY_START)),
      m_client(this) {
    AddIconRecord(m_hIconStart.Get(), "Norvane");
    UpdateTooltip();
    if (Protecting())
        ShowTrayIcon();
    SetTimer(kTrayTimerId, kTrayTimerPeriodMs);
}

CTrayIcon::~CTrayIcon() {
    // The icon leaves the notification area before its images go.
    Shutdown();
}

void CTrayIcon::Shutdown() {
    // First: no broadcast may put the icon back or reach a half-destroyed
    // object.
    m_client.Unregister();
    KillTimer(kTrayTimerId);
    RemoveIconRecord();
}

void CTrayIcon::OnEvent(UINT nId) {
    switch (nId) {
    case ID_WATCH_UPDATE_ICON:
        if (Protecting())
            ShowTrayIcon();
        else
            HideTrayIcon();
        break;
    case ID_WATCH_UPDATE_TOOLTIP:
        UpdateTooltip();
        break;
    case ID_SET_INWORK_MODE:
        m_nIconPhase = 9;
        break;
    case ID_WATCH_STATE_CHANGED:
        m_bWatchStateChanged = true;
        break;
    default:
        break;
    }
}

void CTrayIcon::UpdateTooltip() {
    // A folder waited for is listed but not protected now: the user must
    // not read it as protected.
    int listed = g_pTamsel ? g_pTamsel->GetProtectedFolderCount() : 0;
    int waiting = g_pTamsel ? g_pTamsel->GetWaitingFolderCount() : 0;
    char tip[128];
    if (waiting > 0)
        std::snprintf(tip, sizeof tip, "Norvane\n%d folder(s) protected\n%d folder(s) waiting\n",
                      listed - waiting, waiting);
    else
        std::snprintf(tip, sizeof tip, "Norvane\n%d folder(s) protected\n", listed);
    SetTrayTip(tip);
}

void CTrayIcon::OnTimer() {
    const bool protecting = Protecting();
    int phase = m_nIconPhase.load();
    const int state = phase > 0 ? 2 : phase == 0 ? 1 : 0;
    if (state != m_nShownState) {
        m_nShownState = state;
        const HICON images[] = {m_hIconStart.Get(), m_hIconIdle.Get(), m_hIconInWork.Get()};
        SetTrayIcon(images[state]);
        if (protecting)
            ShowTrayIcon();
    } else if (protecting) {
        // The icon may be missing from the notification area: at log-on the
        // program can start before the taskbar, and a change the shell
        // refused shows that it lost the icon. Add it until the shell has it.
        RestoreTrayIcon();
    }
    // The announcement came on a monitoring thread; the tooltip and the
    // window are changed here, on the windows' own thread.
    if (m_bWatchStateChanged.exchange(false)) {
        UpdateTooltip();
        m_sheet.OnWatchStateChanged();
    }
    // One step towards idle; a secured photo announced meanwhile (9) wins.
    if (phase != 0)
        m_nIconPhase.compare_exchange_strong(phase, phase > 0 ? phase - 1 : phase + 1);
}

BOOL CTrayIcon::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message == WM_TIMER && wParam == kTrayTimerId) {
        OnTimer();
        *pResult = 0;
        return TRUE;
    }
    return CNotifyIcon::OnWndMsg(message, wParam, lParam, pResult);
}

void CTrayIcon::OnRButtonDown(int x, int y) {
    // The main window owns the menu and takes its commands.
    HWND owner = m_sheet.GetSafeHwnd();
    if (!owner)
        return;
    HMENU menu = ::LoadMenuA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAY_MENU));
    if (!menu)
        return;
    if (HMENU popup = ::GetSubMenu(menu, 0)) {
        // The shell's known need: a menu closes when the user clicks
        // elsewhere only while its owner is the foreground window, and the
        // owner must take a message after the menu, or the next click on
        // the icon is lost.
        ::SetForegroundWindow(owner);
        ::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, owner, nullptr);
        ::PostMessageA(owner, WM_NULL, 0, 0);
    }
    ::DestroyMenu(menu);
}

void CTrayIcon::OnLButtonDblClk(int, int) {
    if (m_sheet.GetSafeHwnd())
        m_sheet.OnOpenPage(0);
}

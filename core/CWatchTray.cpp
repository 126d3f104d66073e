// The program's notification-area icon: shown while a folder is protected,
// with the count of protected folders in its tooltip and the main window's
// commands in its menu.
#include "core/CWatch.h"

#include "core/CTamsel.h"

#include "framework/CPropertySheet.h"
#include "framework/CWinAppEx.h"

#include "resource.h"

#include <cstdio>

IMPLEMENT_PRIVATE_HEAP(CWatch::CSysTrayObj)

namespace {

// The images are 16 x 16, the size of the notification area: LoadIconA
// would give the large size, scaled up from it.
HICON LoadTrayImage(int id) {
    return static_cast<HICON>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON,
                                           ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                           LR_DEFAULTCOLOR));
}

// The main window of the program, the owner of the menu and the receiver of
// its commands; null while there is none.
CWnd* MainWindow() {
    CWinAppEx* app = AfxGetApp();
    CWnd* main = app ? app->m_pMainWnd : nullptr;
    return main && main->m_hWnd ? main : nullptr;
}

} // namespace

CWatch::CSysTrayObj::CSysTrayObj(CTamsel* pTamsel) : m_pTamsel(pTamsel), m_client(this) {
    m_hIconIdle = LoadTrayImage(IDI_TRAY_IDLE);
    m_hIconInWork = LoadTrayImage(IDI_TRAY_INWORK);
    m_hIconStart = LoadTrayImage(IDI_TRAY_START);
    // Not in the notification area yet: the first ID_WATCH_UPDATE_ICON or
    // the main window's first tick with a folder protected puts it there.
    AddIconRecord(m_hIconStart, "Norvane");
}

CWatch::CSysTrayObj::~CSysTrayObj() {
    m_client.Unregister();
    // The icon leaves the notification area before its images go.
    RemoveIconRecord(0);
    for (HICON icon : {m_hIconIdle, m_hIconInWork, m_hIconStart})
        if (icon)
            ::DestroyIcon(icon);
}

void CWatch::CSysTrayObj::OnEvent(UINT nId) {
    switch (nId) {
    case ID_WATCH_UPDATE_ICON:
        if (m_pTamsel && m_pTamsel->GetProtectedFolderCount() > 0)
            ShowTrayIcon();
        else
            HideTrayIcon();
        break;
    case ID_WATCH_UPDATE_TOOLTIP:
        UpdateTooltip();
        break;
    default:
        break;
    }
}

void CWatch::CSysTrayObj::UpdateTooltip() {
    // A folder waited for is listed but not protected now: the user must
    // not read it as protected.
    int listed = m_pTamsel ? m_pTamsel->GetProtectedFolderCount() : 0;
    int waiting = m_pTamsel ? m_pTamsel->GetWaitingFolderCount() : 0;
    char tip[128];
    if (waiting > 0)
        std::snprintf(tip, sizeof tip, "Norvane\n%d folder(s) protected\n%d folder(s) waiting\n",
                      listed - waiting, waiting);
    else
        std::snprintf(tip, sizeof tip, "Norvane\n%d folder(s) protected\n", listed);
    SetTrayTip(tip);
}

void CWatch::CSysTrayObj::OnRButtonDown(UINT, int x, int y) {
    CWnd* owner = MainWindow();
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
        ::SetForegroundWindow(owner->m_hWnd);
        ::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, owner->m_hWnd, nullptr);
        ::PostMessageA(owner->m_hWnd, WM_NULL, 0, 0);
    }
    ::DestroyMenu(menu);
}

void CWatch::CSysTrayObj::OnLButtonDblClk(UINT, int, int) {
    auto* sheet = dynamic_cast<CPropertySheet*>(MainWindow());
    if (!sheet)
        return;
    sheet->SetActivePage(0);
    sheet->ShowWindow(SW_SHOW);
    sheet->SetForegroundWindow();
}

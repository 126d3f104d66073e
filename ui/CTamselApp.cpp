#include "ui/CTamselApp.h"

#include "core/ActivityLog.h"
#include "core/CTamsel.h"
#include "core/PhotoSecuring.h"
#include "resource.h"
#include "ui/CMainSheet.h"

namespace {
CString LoadTitle(HINSTANCE instance) {
    char title[256] = {};
    ::LoadStringA(instance, IDS_APP_TITLE, title, sizeof title);
    return CString(title);
}
} // namespace

BOOL CTamselApp::InitInstance() {
    CString title = LoadTitle(m_hInstance);
    // The instance mutex comes first: a second start never gets as far as
    // a core of its own on the same settings.
    if (ClaimSingleInstance(m_mutex) != InstanceClaim::First)
        return FALSE;

    // Before anything reads or writes the log: older versions kept the
    // positions they removed in it.
    ScrubLog();

    g_pTamsel = new CTamsel;
    if (!g_pTamsel)
        return FALSE;
    const bool hide = HasStartOption(m_lpCmdLine, "hide");
    // Started hidden with nothing to protect: nothing to do at all. Unless
    // the settings could not be read: the user has not been told yet that
    // the folders are no longer protected, and the next start of the
    // program shows this instance's window, which tells.
    if (hide && g_pTamsel->GetProtectedFolderCount() == 0 && !g_pTamsel->MustTellUnreadableSettings())
        return FALSE;
    if (HasStartOption(m_lpCmdLine, "baypass"))
        g_bBackupBeforeSecuring = true;

    if (!CWinAppEx::InitInstance())
        return FALSE;

    m_pMainSheet = new CMainSheet(title);
    PROPSHEETHEADERA& psh = m_pMainSheet->m_psh;
    psh.dwFlags |= PSH_WIZARD97 | PSH_HEADER | PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP;
    psh.dwFlags |= PSH_WIZARD;
    // The header picture as a loaded bitmap: Wine shows no header picture
    // given by resource id.
    psh.dwFlags |= PSH_USEHBMHEADER;
    psh.hbmHeader = HBITMAP(
        ::LoadImageA(m_hInstance, MAKEINTRESOURCEA(IDB_HEADER), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    psh.nStartPage = 0;
    psh.hInstance = m_hInstance;
    m_pMainWnd = m_pMainSheet;
    if (!m_pMainSheet->Create(nullptr, 0x80C020C4 | WS_MINIMIZEBOX | WS_SYSMENU, 0))
        return FALSE;
    if (!hide) {
        m_pMainSheet->ShowWindow(SW_SHOW);
        ::UpdateWindow(m_pMainSheet->m_hWnd);
    }
    return TRUE;
}

int CTamselApp::ExitInstance() {
    // Shutdown order: the windows are gone (the loop ended with the main
    // window); the core now stops the scan and waits for its worker, saves
    // the settings, and stops every monitoring thread, each finishing the
    // photo it is securing.
    delete m_pMainSheet;
    m_pMainSheet = nullptr;
    m_pMainWnd = nullptr;
    delete g_pTamsel;
    g_pTamsel = nullptr;
    return CWinAppEx::ExitInstance();
}

#include "framework/CWinAppEx.h"

#include "framework/CPropertySheet.h"

#include <commctrl.h>

namespace {
CWinAppEx* g_pApp = nullptr;
}

CWinAppEx* AfxGetApp() {
    return g_pApp;
}

CWinAppEx::CWinAppEx() {
    g_pApp = this;
    m_hInstance = ::GetModuleHandleA(nullptr);
    m_lpCmdLine = SkipProgramName(::GetCommandLineA());
}

CWinAppEx::~CWinAppEx() {
    if (g_pApp == this)
        g_pApp = nullptr;
}

BOOL CWinAppEx::InitInstance() {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    return ::InitCommonControlsEx(&icc);
}

int CWinAppEx::ExitInstance() {
    return m_nQuitCode;
}

BOOL CWinAppEx::PreTranslateMessage(MSG* pMsg) {
    auto* sheet = dynamic_cast<CPropertySheet*>(m_pMainWnd);
    return sheet && sheet->m_hWnd && PropSheet_IsDialogMessage(sheet->m_hWnd, pMsg);
}

int CWinAppEx::Run() {
    MSG msg;
    for (;;) {
        BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            m_nQuitCode = int(msg.wParam);
            break;
        }
        if (got == -1)
            break;
        if (!PreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        // A modeless sheet that ended has no current page any more; it is
        // ours to destroy, which ends the loop through WM_QUIT.
        auto* sheet = dynamic_cast<CPropertySheet*>(m_pMainWnd);
        if (sheet && sheet->m_hWnd && !PropSheet_GetCurrentPageHwnd(sheet->m_hWnd))
            sheet->DestroyWindow();
    }
    return ExitInstance();
}

CString CWinAppEx::SkipProgramName(const char* commandLine) {
    const char* p = commandLine ? commandLine : "";
    if (*p == '"') {
        ++p;
        while (*p && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t')
            ++p;
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    return CString(p);
}

int AfxWinMain(HINSTANCE hInstance) {
    CWinAppEx* app = AfxGetApp();
    if (!app)
        return -1;
    if (hInstance)
        app->m_hInstance = hInstance;
    if (!app->InitInstance()) {
        // The main window, if one was made, is not left behind.
        if (app->m_pMainWnd && app->m_pMainWnd->m_hWnd)
            app->m_pMainWnd->DestroyWindow();
        app->ExitInstance();
        return -1;
    }
    return app->Run();
}

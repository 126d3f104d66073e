#pragma once
// The application object: one instance per user session, the core, the
// start options and the main window, and the program's end in order.

#include "core/SingleInstance.h"
#include "framework/CWinAppEx.h"

class CMainSheet;

class CTamselApp : public CWinAppEx {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;

    CMutexEx m_mutex;
    CMainSheet* m_pMainSheet = nullptr;
};

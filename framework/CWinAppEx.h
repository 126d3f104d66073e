#pragma once
// The application object: one per process, reached through AfxGetApp(). The
// program's entry calls AfxWinMain, which runs InitInstance, then the message
// loop (Run) until the main window is gone, then ExitInstance.
//
// The loop knows one kind of main window specially, the modeless property
// sheet: its keyboard navigation needs PropSheet_IsDialogMessage before
// dispatch, and a modeless sheet that ends (Finish, an accepted Cancel) only
// loses its current page; the loop sees that after the next message and
// destroys the sheet itself. Destroying the main window posts WM_QUIT.

#include "framework/CString.h"

#include <windows.h>

class CWnd;

class CWinAppEx {
public:
    CWinAppEx();
    CWinAppEx(const CWinAppEx&) = delete;
    CWinAppEx& operator=(const CWinAppEx&) = delete;
    virtual ~CWinAppEx();

    // Set-up: create the main window and set m_pMainWnd. FALSE ends the
    // program without a loop.
    virtual BOOL InitInstance();
    // Clean-up after the loop; its result is the process exit code.
    virtual int ExitInstance();
    // The message loop; returns the exit code of WM_QUIT, through
    // ExitInstance.
    virtual int Run();
    // One message before dispatch: TRUE when it was used up (dialog keys).
    virtual BOOL PreTranslateMessage(MSG* pMsg);

    // The command line after the program's name, without the blanks between.
    static CString SkipProgramName(const char* commandLine);

    CWnd* m_pMainWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;
    CString m_lpCmdLine;

private:
    int m_nQuitCode = 0;
};

CWinAppEx* AfxGetApp();

// The program's entry: InitInstance, Run, ExitInstance of the one
// application object. Returns the process exit code.
int AfxWinMain(HINSTANCE hInstance);

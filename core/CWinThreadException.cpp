#include "core/CWinThreadException.h"

#include "core/SeTranslator.h"
#include "framework/CException.h"

#include <csignal>

BOOL CWinThreadException::InitInstance() {
    InstallSeTranslator();
    return TRUE;
}

LRESULT CWinThreadException::ProcessWndProcException(CException* e, const MSG*) {
    if (e)
        e->Delete();
    std::raise(SIGABRT);
    ::ExitProcess(3);
}

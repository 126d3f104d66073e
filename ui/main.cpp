// norvane.exe: the application object and the program's entry.
#include "ui/CTamselApp.h"

#include <windows.h>

namespace {
CTamselApp theApp;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    return AfxWinMain(hInstance);
}

#include "core/SingleInstance.h"

#include <cstring>

const char* const kInstanceMutexName = "NorvaneInstance";

CMutexEx::~CMutexEx() {
    if (m_hMutex) {
        ::ReleaseMutex(m_hMutex);
        ::CloseHandle(m_hMutex);
    }
}

bool WakeInstanceWindow(HWND window) {
    char text[1024] = "info";
    COPYDATASTRUCT data = {};
    data.dwData = 0;
    data.cbData = 5;
    data.lpData = text;
    DWORD_PTR result = 0;
    // A hung first instance must not hang the second one too.
    return ::SendMessageTimeoutA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                 SMTO_ABORTIFHUNG | SMTO_BLOCK, 5000, &result) != 0;
}

InstanceClaim ClaimSingleInstance(CMutexEx& mutex, const char* title, DWORD waitMs, const char* mutexName) {
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
    DWORD start = ::GetTickCount();
    for (;;) {
        HANDLE h = ::CreateMutexA(&security, TRUE, mutexName);
        bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
        if (h && !existed) {
            mutex.m_hMutex = h;
            return InstanceClaim::First;
        }
        if (h)
            ::CloseHandle(h);
        HWND window = ::FindWindowA(nullptr, title ? title : "");
        if (window && ::IsWindow(window)) {
            WakeInstanceWindow(window);
            return InstanceClaim::HandedOver;
        }
        if (::GetTickCount() - start >= waitMs)
            return InstanceClaim::OtherRunning;
        // The other instance is starting (its window comes soon) or ending
        // (its mutex goes soon): look again in a moment.
        ::Sleep(50);
    }
}

bool HasStartOption(const char* commandLine, const char* option) {
    return commandLine && option && *option && std::strstr(commandLine, option) != nullptr;
}

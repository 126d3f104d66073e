#include "core/SingleInstance.h"

#include <cstring>
#include <utility>

const char* const kInstanceMutexName = "NorvaneInstance";

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

void MarkInstanceWindow(HWND window, const char* mutexName) {
    ::SetPropA(window, mutexName, HANDLE(1));
}

void UnmarkInstanceWindow(HWND window, const char* mutexName) {
    ::RemovePropA(window, mutexName);
}

namespace {
struct Search {
    const char* mark;
    HWND found;
};

BOOL CALLBACK TakeMarkedWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    if (!::GetPropA(window, search->mark))
        return TRUE;
    search->found = window;
    return FALSE;
}
} // namespace

HWND FindInstanceWindow(const char* mutexName) {
    Search search = {mutexName, nullptr};
    ::EnumWindows(&TakeMarkedWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

InstanceClaim ClaimSingleInstance(CMutexEx& mutex, DWORD waitMs, const char* mutexName) {
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
    DWORD start = ::GetTickCount();
    for (;;) {
        CHandle h(::CreateMutexA(&security, TRUE, mutexName));
        bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
        if (h.IsValid() && !existed) {
            mutex.Adopt(std::move(h));
            return InstanceClaim::First;
        }
        h.Close();
        HWND window = FindInstanceWindow(mutexName);
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

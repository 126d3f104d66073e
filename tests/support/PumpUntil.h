#pragma once
// For window tests whose sheet lives on the test's own thread: runs that
// thread's messages (dialog keys through the sheet first) until a condition
// holds, with a bound.

#include <windows.h>
// after windows.h, which they need
#include <commctrl.h>
#include <prsht.h>

#include <functional>

namespace testing_support {

// False when pred still fails after timeoutMs.
inline bool PumpUntil(HWND hSheet, const std::function<bool()>& pred, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!hSheet || !::IsWindow(hSheet) || !PropSheet_IsDialogMessage(hSheet, &msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
        }
        if (pred())
            return true;
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

} // namespace testing_support

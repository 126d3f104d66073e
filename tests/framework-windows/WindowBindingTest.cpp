// The framework's one binding of objects to windows, in both its forms: a
// window the object makes, and a window made elsewhere that it subclasses.

#include "framework/CWnd.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>

namespace {

const UINT kPing = WM_APP + 11;

class Probe : public CWnd {
public:
    explicit Probe(bool* pGone = nullptr) : m_pGone(pGone) {}
    BOOL OnWndMsg(UINT message, WPARAM, LPARAM lParam, LRESULT* pResult) override {
        if (message != kPing)
            return FALSE;
        *pResult = lParam + 1;
        return TRUE;
    }
    // The owner of a heap object that ends with its window.
    void PostNcDestroy() override {
        if (m_pGone) {
            *m_pGone = true;
            delete this;
        }
    }
    bool* m_pGone;
};

enum class Form { Made, Subclassed };

bool Bind(Probe& probe, Form form) {
    if (form == Form::Made)
        return probe.CreateEx(0, "NorvaneBindingTest", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr) != FALSE;
    HWND hWnd =
        ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    return probe.SubclassWindow(hWnd) != FALSE;
}

class WindowBinding : public ::testing::TestWithParam<Form> {};

TEST_P(WindowBinding, MessagesReachTheObjectUntilEitherOneGoes) {
    // Bound: the object's handler answers, everything else gets the
    // window's own handling.
    bool gone = false;
    auto* probe = new Probe(&gone);
    ASSERT_TRUE(Bind(*probe, GetParam()));
    HWND hWnd = probe->m_hWnd;
    EXPECT_EQ(::SendMessageA(hWnd, kPing, 0, 41), 42);
    ::SetWindowTextA(hWnd, "kept");
    EXPECT_EQ(probe->GetWindowText(), "kept");
    EXPECT_FALSE(probe->SubclassWindow(hWnd)) << "bound twice";

    // The window goes first: unbound, then told, and the object may delete
    // itself as the last thing done with it.
    ::DestroyWindow(hWnd);
    EXPECT_TRUE(gone);

    // The object goes first: the window lives on without reaching it. Its
    // memory is then filled with garbage, so a call through the old pointer
    // would fault here and now.
    alignas(Probe) static unsigned char storage[sizeof(Probe)];
    auto* doomed = new (storage) Probe;
    ASSERT_TRUE(Bind(*doomed, GetParam()));
    hWnd = doomed->m_hWnd;
    doomed->~Probe();
    std::memset(storage, 0xCC, sizeof(storage));
    // A made window belongs to its object and goes with it.
    EXPECT_EQ(::IsWindow(hWnd) != FALSE, GetParam() == Form::Subclassed);
    if (::IsWindow(hWnd)) {
        EXPECT_EQ(::SendMessageA(hWnd, kPing, 0, 41), 0);
        ::DestroyWindow(hWnd);
    }
}

INSTANTIATE_TEST_SUITE_P(BothForms, WindowBinding, ::testing::Values(Form::Made, Form::Subclassed));

} // namespace

// One running instance: the mutex taken in one step, the running instance
// woken through its window, and a start that finds the mutex taken while the
// other instance has no window.
#include "core/SingleInstance.h"

#include "support/CoreFixture.h"

using namespace core_test;

namespace {

const char kMutex[] = "NorvaneInstanceTest";
const char kTitle[] = "Norvane instance test";

// A hidden top-level window titled kTitle on a thread of its own, as the
// running instance's main window (marked) or as another program's window of
// the same title (unmarked); it keeps what WM_COPYDATA brought.
class InstanceWindow {
public:
    explicit InstanceWindow(DWORD delayMs = 0, bool marked = true) {
        m_thread = std::thread([this, delayMs, marked] {
            ::Sleep(delayMs); // the other instance is still starting
            WNDCLASSA wc = {};
            wc.lpfnWndProc = &Proc;
            wc.hInstance = ::GetModuleHandleA(nullptr);
            wc.lpszClassName = "NorvaneInstanceTestWindow";
            ::RegisterClassA(&wc);
            HWND h = ::CreateWindowExA(0, wc.lpszClassName, kTitle, WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                       nullptr, wc.hInstance, this);
            if (marked)
                MarkInstanceWindow(h, kMutex);
            m_hWnd = h;
            MSG msg;
            while (::GetMessageA(&msg, nullptr, 0, 0) > 0)
                ::DispatchMessageA(&msg);
        });
    }
    ~InstanceWindow() {
        WaitFor([this] { return m_hWnd.load() != nullptr; }, 10000);
        ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
        m_thread.join();
    }
    std::atomic<HWND> m_hWnd{nullptr};
    std::atomic<int> m_nWakes{0};
    std::string m_strData;
    DWORD m_nSize = 0;

private:
    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_NCCREATE)
            ::SetWindowLongPtrA(h, GWLP_USERDATA,
                                LONG_PTR(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams));
        auto* self = reinterpret_cast<InstanceWindow*>(::GetWindowLongPtrA(h, GWLP_USERDATA));
        if (msg == WM_COPYDATA && self) {
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
            self->m_nSize = data->cbData;
            self->m_strData.assign(static_cast<const char*>(data->lpData), data->cbData);
            ++self->m_nWakes;
            return TRUE;
        }
        if (msg == WM_CLOSE) {
            ::DestroyWindow(h);
            return 0;
        }
        if (msg == WM_DESTROY) {
            UnmarkInstanceWindow(h, kMutex);
            ::PostQuitMessage(0);
        }
        return ::DefWindowProcA(h, msg, wp, lp);
    }
    std::thread m_thread;
};

} // namespace

TEST(SingleInstance, TheFirstStartTakesTheMutexAndALaterOneWakesIt) {
    CMutexEx first;
    ASSERT_EQ(ClaimSingleInstance(first, 1000, kMutex), InstanceClaim::First);
    ASSERT_TRUE(first.IsHeld());
    {
        InstanceWindow window;
        ASSERT_TRUE(WaitFor([&] { return window.m_hWnd.load() != nullptr; }));
        // Another program's window of the same title, made later and so
        // above it (as Explorer open on a folder of that name).
        InstanceWindow explorer(0, false);
        ASSERT_TRUE(WaitFor([&] { return explorer.m_hWnd.load() != nullptr; }));
        CMutexEx second;
        EXPECT_EQ(ClaimSingleInstance(second, 1000, kMutex), InstanceClaim::HandedOver);
        EXPECT_FALSE(second.IsHeld());
        EXPECT_EQ(explorer.m_nWakes.load(), 0) << "the window of the same title took the wake-up";
        EXPECT_EQ(window.m_nWakes.load(), 1);
        EXPECT_EQ(window.m_nSize, 5u);
        EXPECT_EQ(window.m_strData, std::string("info", 5));
    }
}

TEST(SingleInstance, AStartingInstanceIsWaitedForAndOneWithoutWindowIsLeftAlone) {
    CMutexEx first;
    ASSERT_EQ(ClaimSingleInstance(first, 1000, kMutex), InstanceClaim::First);
    {
        // Its window comes only after a while: the later start waits for it.
        InstanceWindow late(400);
        CMutexEx second;
        EXPECT_EQ(ClaimSingleInstance(second, 10000, kMutex), InstanceClaim::HandedOver);
        EXPECT_EQ(late.m_nWakes.load(), 1);
    }
    // No window of its own (only one of the same title): the later start
    // ends instead of running a second core on the same settings.
    InstanceWindow explorer(0, false);
    ASSERT_TRUE(WaitFor([&] { return explorer.m_hWnd.load() != nullptr; }));
    CMutexEx third;
    EXPECT_EQ(ClaimSingleInstance(third, 300, kMutex), InstanceClaim::OtherRunning);
    EXPECT_FALSE(third.IsHeld());
    EXPECT_EQ(explorer.m_nWakes.load(), 0);
}

TEST(SingleInstance, TheMutexGoesWithItsOwner) {
    {
        CMutexEx first;
        ASSERT_EQ(ClaimSingleInstance(first, 1000, kMutex), InstanceClaim::First);
    }
    CMutexEx again;
    EXPECT_EQ(ClaimSingleInstance(again, 1000, kMutex), InstanceClaim::First);
}

TEST(SingleInstance, StartOptionsAreFoundAnywhereWithTheirCase) {
    EXPECT_TRUE(HasStartOption(" -hide", "hide"));
    EXPECT_TRUE(HasStartOption("/hide", "hide"));
    EXPECT_TRUE(HasStartOption("hide baypass", "baypass"));
    EXPECT_FALSE(HasStartOption(" -HIDE", "hide"));
    EXPECT_FALSE(HasStartOption("", "hide"));
    EXPECT_FALSE(HasStartOption(nullptr, "hide"));
}

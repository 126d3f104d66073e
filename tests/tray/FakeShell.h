#pragma once
// A stand-in for the shell's taskbar, in the test's own process: a hidden,
// top-most window of the class "Shell_TrayWnd", on a thread of its own.
//
// Wine's Shell_NotifyIconA finds the taskbar by that class (the first such
// top-level window, and a top-most one comes before the desktop's own) and
// hands it each request as WM_COPYDATA: dwData the NIM_ code, the data a
// platform-neutral record of the icon with the image's bits after it. The
// stand-in keeps the icons as a taskbar does (an add of an icon it holds
// fails, as does a change or removal of one it does not hold) and records
// every request, so a test reads what the shell was told and holds, not what
// the program believes. It can refuse everything (a taskbar that is not
// there yet) and restart empty (a taskbar that crashed and came back).

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tray_test {

using Bits = std::vector<uint8_t>;

struct ShellIcon {
    HWND owner = nullptr;
    UINT id = 0;
    UINT callbackMessage = 0;
    std::string tip; // UTF-8
    Bits image;      // the colour bits as GetBitmapBits gives them
};

struct ShellRequest {
    DWORD message = 0; // NIM_ADD, NIM_MODIFY, NIM_DELETE
    UINT flags = 0;
    BOOL answer = FALSE;
    Bits image;      // with NIF_ICON
    std::string tip; // with NIF_TIP
    DWORD tick = 0;
};

class FakeShell {
public:
    explicit FakeShell(bool accepting = true) : m_bAccepting(accepting) {
        m_thread = std::thread([this] { Loop(); });
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return m_bStarted; });
    }
    ~FakeShell() {
        if (HWND w = Window())
            ::PostMessageA(w, kQuit, 0, 0);
        m_thread.join();
    }

    HWND Window() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_hWnd;
    }
    // A taskbar that is not there yet refuses every request.
    void SetAccepting(bool accepting) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bAccepting = accepting;
    }
    // The taskbar ends and a new one starts, holding no icon. When announce
    // is set, the new one says so as the shell does: the registered message
    // "TaskbarCreated" to every top-level window.
    void Restart(bool announce) {
        ::SendMessageA(Window(), kRestart, 0, 0);
        if (announce)
            ::PostMessageA(HWND_BROADCAST, ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    }

    std::vector<ShellIcon> Icons() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_icons;
    }
    std::vector<ShellRequest> Requests() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    // The one icon the shell holds, or false.
    bool OnlyIcon(ShellIcon* icon = nullptr) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_icons.size() != 1)
            return false;
        if (icon)
            *icon = m_icons.front();
        return true;
    }
    size_t IconCount() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_icons.size();
    }
    // A layout of the request that this stand-in does not know.
    std::string Problem() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_strProblem;
    }

private:
    static constexpr UINT kRestart = WM_APP + 1;
    static constexpr UINT kQuit = WM_APP + 2;

    // Wine 8's record of a request: the NOTIFYICONDATAW fields in fixed
    // sizes, then the image's size; the mask's bits and the colour bits
    // follow it.
    struct NotifyData {
        LONG hWnd;
        UINT uID;
        UINT uFlags;
        UINT uCallbackMessage;
        WCHAR szTip[128];
        DWORD dwState;
        DWORD dwStateMask;
        WCHAR szInfo[256];
        UINT uTimeoutOrVersion;
        WCHAR szInfoTitle[64];
        DWORD dwInfoFlags;
        GUID guidItem;
        UINT width;
        UINT height;
        UINT planes;
        UINT bpp;
    };
    static_assert(sizeof(NotifyData) == 960, "Wine's layout");

    static std::string Narrow(const WCHAR* text, size_t max) {
        size_t n = 0;
        while (n < max && text[n])
            ++n;
        if (n == 0)
            return std::string();
        int size = ::WideCharToMultiByte(CP_UTF8, 0, text, int(n), nullptr, 0, nullptr, nullptr);
        std::string out(size_t(size), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, text, int(n), &out[0], size, nullptr, nullptr);
        return out;
    }

    BOOL OnRequest(DWORD message, const COPYDATASTRUCT* cds) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!cds->lpData || cds->cbData < sizeof(NotifyData)) {
            m_strProblem = "a request of " + std::to_string(cds->cbData) + " bytes";
            return FALSE;
        }
        NotifyData data;
        std::memcpy(&data, cds->lpData, sizeof data);
        ShellRequest request;
        request.message = message;
        request.flags = data.uFlags;
        request.tick = ::GetTickCount();
        if (data.uFlags & NIF_TIP)
            request.tip = Narrow(data.szTip, 128);
        if (data.uFlags & NIF_ICON) {
            size_t mask = (size_t(data.width) * data.height + 15) / 16 * 2;
            size_t color = (size_t(data.planes) * data.width * data.height * data.bpp + 15) / 16 * 2;
            if (data.width == 0 || data.width > 256 || sizeof data + mask + color != cds->cbData) {
                m_strProblem = "an image of " + std::to_string(data.width) + " x " +
                               std::to_string(data.height) + " in " + std::to_string(cds->cbData) + " bytes";
                return FALSE;
            }
            const auto* bits = static_cast<const uint8_t*>(cds->lpData) + sizeof data + mask;
            request.image.assign(bits, bits + color);
        }
        HWND owner = HWND(LONG_PTR(data.hWnd));
        auto found = m_icons.end();
        for (auto it = m_icons.begin(); it != m_icons.end(); ++it)
            if (it->owner == owner && it->id == data.uID)
                found = it;
        BOOL answer = FALSE;
        if (m_bAccepting) {
            switch (message) {
            case NIM_ADD:
                if (found == m_icons.end()) {
                    m_icons.push_back(ShellIcon{owner, data.uID, 0, std::string(), Bits()});
                    found = m_icons.end() - 1;
                    answer = TRUE;
                }
                break;
            case NIM_MODIFY:
                answer = found != m_icons.end();
                break;
            case NIM_DELETE:
                if (found != m_icons.end()) {
                    m_icons.erase(found);
                    found = m_icons.end();
                    answer = TRUE;
                }
                break;
            default:
                answer = TRUE;
                break;
            }
            if (answer && found != m_icons.end() && message != NIM_DELETE) {
                if (data.uFlags & NIF_MESSAGE)
                    found->callbackMessage = data.uCallbackMessage;
                if (data.uFlags & NIF_TIP)
                    found->tip = request.tip;
                if (data.uFlags & NIF_ICON)
                    found->image = request.image;
            }
        }
        request.answer = answer;
        m_requests.push_back(request);
        return answer;
    }

    HWND MakeWindow() {
        return ::CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "Shell_TrayWnd", "", WS_POPUP, 0, 0, 1, 1,
                                 nullptr, nullptr, ::GetModuleHandleA(nullptr), this);
    }

    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_NCCREATE)
            ::SetWindowLongPtrA(h, GWLP_USERDATA,
                                LONG_PTR(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams));
        auto* self = reinterpret_cast<FakeShell*>(::GetWindowLongPtrA(h, GWLP_USERDATA));
        if (self && msg == WM_COPYDATA) {
            auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
            return self->OnRequest(DWORD(cds->dwData), cds);
        }
        if (self && msg == kRestart) {
            ::DestroyWindow(h);
            {
                std::lock_guard<std::mutex> lock(self->m_mutex);
                self->m_icons.clear();
            }
            HWND made = self->MakeWindow();
            std::lock_guard<std::mutex> lock(self->m_mutex);
            self->m_hWnd = made;
            return 0;
        }
        if (self && msg == kQuit) {
            ::DestroyWindow(h);
            ::PostQuitMessage(0);
            return 0;
        }
        return ::DefWindowProcA(h, msg, wp, lp);
    }

    void Loop() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "Shell_TrayWnd";
        ::RegisterClassA(&wc);
        HWND made = MakeWindow();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_hWnd = made;
            m_bStarted = true;
        }
        m_cv.notify_all();
        MSG msg;
        while (made && ::GetMessageA(&msg, nullptr, 0, 0) > 0)
            ::DispatchMessageA(&msg);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_hWnd = nullptr;
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bStarted = false;
    bool m_bAccepting;
    HWND m_hWnd = nullptr;
    std::vector<ShellIcon> m_icons;
    std::vector<ShellRequest> m_requests;
    std::string m_strProblem;
    std::thread m_thread;
};

} // namespace tray_test

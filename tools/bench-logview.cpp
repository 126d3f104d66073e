// norvane-bench-logview: what the log view costs on a large log, for
// tools/bench-windows. Figures only; nothing here passes or fails.
//
//   norvane-bench-logview MB
//       Writes a log of MB megabytes (entries in the log's own form) into a
//       data folder of this run's own, then measures the process's private
//       memory with a view over an empty log, and with a view over the large
//       log once it shows the log's last entry; and how long that took.
//
// The data folder comes from the user's "Local Settings" shell folder, which
// points at a new folder under the temporary folder while the run lasts and
// is put back afterwards. Prints one line of name=value pairs.

#include "core/Paths.h"
#include "support/KeptRegistryValue.h"
#include "ui/CRichLogCtrl.h"

#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

double PrivateMegabytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                sizeof counters))
        return -1;
    // Wine reports no private usage; the bytes committed to the process are its pagefile usage there.
    SIZE_T bytes = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
    return double(bytes) / (1024.0 * 1024.0);
}

// Runs the thread's messages until done holds or 60 s passed.
template <class Done> bool PumpUntil(Done done) {
    DWORD start = ::GetTickCount();
    while (!done()) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (::GetTickCount() - start > 60000)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

std::wstring LastLine(HWND view) {
    int length = ::GetWindowTextLengthW(view);
    std::wstring text(size_t(length) + 1, L'\0');
    text.resize(size_t(::GetWindowTextW(view, &text[0], length + 1)));
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n'))
        text.pop_back();
    size_t start = text.find_last_of(L"\r\n");
    return start == std::wstring::npos ? text : text.substr(start + 1);
}

// A view in a window of its own, as the log page holds one.
struct View {
    HWND frame = nullptr;
    std::unique_ptr<CRichLogCtrl> ctrl{new CRichLogCtrl};
    View() {
        frame = ::CreateWindowExA(0, "STATIC", "log", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 400, nullptr,
                                  nullptr, nullptr, nullptr);
        RECT rect = {0, 0, 620, 360};
        ctrl->Create(WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY, rect, frame, 1);
    }
    ~View() {
        ::DestroyWindow(frame);
        ctrl.reset();
    }
};

} // namespace

int main(int argc, char** argv) {
    int megabytes = argc == 2 ? std::atoi(argv[1]) : 0;
    if (megabytes <= 0) {
        std::fputs("Usage: norvane-bench-logview MB\n", stderr);
        return 2;
    }
    char temp[MAX_PATH + 1] = {};
    DWORD length = ::GetTempPathA(sizeof temp, temp);
    if (length == 0 || length > MAX_PATH)
        return 1;
    std::string base = std::string(temp, length) + "norvane-bench-logview";
    testing_support::KeptRegistryValue localSettings(
        HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
        "Local Settings");
    if (!CreateDirectories((base + "\\Norvane").c_str()) || !localSettings.Set(base, REG_EXPAND_SZ))
        return 1;
    std::string log = base + "\\Norvane\\norvane.log";

    FILE* f = std::fopen(log.c_str(), "wb");
    if (!f)
        return 1;
    std::fclose(f);
    double empty;
    {
        View view;
        // Its first (empty) read and the first paint.
        DWORD until = ::GetTickCount() + 500;
        PumpUntil([&] { return LONG(::GetTickCount() - until) >= 0; });
        empty = PrivateMegabytes();
    }

    f = std::fopen(log.c_str(), "wb");
    if (!f)
        return 1;
    std::string block;
    char line[160];
    for (int i = 0; i < 10000; ++i) {
        std::snprintf(line, sizeof line,
                      "Found and secured by scanner [12.09.26 10:00:00]: <C:\\Users\\Ann\\Pictures\\Trip\\IMG_%06d.jpg"
                      "?2;2(0,0,0);4(0,0,0);>\n",
                      i);
        block += line;
    }
    for (size_t written = 0; written < size_t(megabytes) * 1024 * 1024; written += block.size())
        std::fwrite(block.data(), 1, block.size(), f);
    std::fputs("the last entry\n", f);
    std::fclose(f);

    DWORD start = ::GetTickCount();
    View view;
    bool shown = PumpUntil([&] { return LastLine(view.ctrl->m_hWnd) == L"the last entry"; });
    DWORD took = ::GetTickCount() - start;
    double loaded = PrivateMegabytes();
    std::printf("log_mb=%d shown=%d empty_view_mb=%.1f view_mb=%.1f more_mb=%.1f load_ms=%lu\n", megabytes,
                shown ? 1 : 0, empty, loaded, loaded - empty, took);
    ::DeleteFileA(log.c_str());
    ::RemoveDirectoryA((base + "\\Norvane").c_str());
    ::RemoveDirectoryA(base.c_str());
    return shown ? 0 : 1;
}

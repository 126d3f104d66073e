#pragma once
// What the tests of the core object, the scan and the monitor share: photos
// with and without a position, bounded waits, the log as text, a real window
// that receives what the scan posts, and the core itself over a data
// folder of the test's own.

#include "core/CTamsel.h"
#include "core/Paths.h"
#include "engine/CheckGpsTags.h"
#include "engine/SecureGpsTags.h"

#include "support/JpegBuilder.h"
#include "support/ShellFolderValue.h"
#include "support/TempDir.h"
#include "support/TiffBuilder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace core_test {

using testing_support::Bytes;
using testing_support::ReadFile;
using testing_support::WriteFile;

// A photo whose GPS directory holds a latitude and a longitude; seed makes
// the picture bytes (and the longitude) differ from photo to photo.
inline Bytes GeotaggedPhoto(uint32_t seed = 1, bool bigEndian = false, size_t scanBytes = 4000) {
    testing_support::TiffBuilder t(bigEndian);
    return testing_support::JpegBuilder::Photo(
        testing_support::ExifWithGps(bigEndian, {t.Rationals(2, {{35, 1}, {40, 1}, {15, 1}}),
                                                 t.Rationals(4, {{139, 1}, {seed % 60, 1}, {30, 1}})}),
        scanBytes);
}

// The same photo with its position already zero.
inline Bytes SecurePhoto(bool bigEndian = false) {
    testing_support::TiffBuilder t(bigEndian);
    return testing_support::JpegBuilder::Photo(
        testing_support::ExifWithGps(bigEndian, {t.Rationals(2, {{0, 1}, {0, 1}, {0, 1}})}));
}

// A photo with EXIF data but no GPS directory.
inline Bytes PhotoWithoutGps() {
    testing_support::TiffBuilder t(false);
    uint64_t first = t.AddIFD({t.Ascii(271, "Camera")});
    t.SetFirstIFD(first);
    return testing_support::JpegBuilder::Photo(t.bytes);
}

// A photo whose EXIF data lies in two APP1 segments: securing it joins them,
// so it is rewritten whole through a file beside it, never patched.
inline Bytes SplitExifPhoto(uint32_t seed, size_t scanBytes) {
    testing_support::TiffBuilder t(false);
    Bytes tiff = testing_support::ExifWithGps(false, {t.Rationals(2, {{35, 1}, {40, 1}, {15, 1}}),
                                                      t.Rationals(4, {{139, 1}, {seed % 60, 1}, {30, 1}})});
    return testing_support::JpegBuilder()
        .Jfif()
        .Exif(tiff, tiff.size() / 2)
        .Tables()
        .Scan(scanBytes, seed)
        .End()
        .bytes;
}

// The names of the backups in the backup folder ("C:\\T\\GEO"), which
// photos are copied to before they are secured when the program is asked to.
inline std::set<std::string> BackupNames() {
    std::set<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = ::FindFirstFileA("C:\\T\\GEO\\*.jpg", &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do
            names.insert(entry.cFileName);
        while (::FindNextFileA(find, &entry));
        ::FindClose(find);
    }
    return names;
}

// What securing photo once gives: the bytes every secured copy must have,
// and the cleared tags as the log lists them.
inline Bytes SecuredBytes(const Bytes& photo, const std::string& scratch,
                          std::string* removedText = nullptr) {
    WriteFile(scratch, photo);
    RemovedTags removed;
    EXPECT_EQ(SecureGpsTags(scratch.c_str(), scratch.c_str(), removed), 0);
    if (removedText)
        *removedText = RemovedTagsText(removed);
    Bytes out = ReadFile(scratch);
    ::DeleteFileA(scratch.c_str());
    return out;
}

// Polls condition every 10 ms until it holds or timeoutMs passed.
inline bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 30000) {
    DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start > timeoutMs)
            return condition();
        ::Sleep(10);
    }
    return true;
}

inline std::string ReadText(const std::string& path) {
    Bytes bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

inline size_t CountOf(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

// The log with every time stamp replaced by "[T]", for exact comparisons.
inline std::string WithoutTimes(const std::string& log) {
    std::string out;
    for (size_t i = 0; i < log.size(); ++i) {
        // "[mm.dd.yy hh:mm:ss]" is 19 characters with its brackets.
        if (log[i] == '[' && i + 18 < log.size() && log[i + 18] == ']' && log[i + 3] == '.' &&
            log[i + 12] == ':') {
            out += "[T]";
            i += 18;
            continue;
        }
        out += log[i];
    }
    return out;
}

// A real top-level window on a thread of its own, as the scanning page and
// the main window are: it counts WM_SCAN_PROGRESS (telling the core it took
// each one, as the main window does) and ID_SCAN_FINISH. A held window takes
// no message until released, as a busy one would; on release it first counts
// what waits in its queue.
class ReceiverWindow {
public:
    explicit ReceiverWindow(bool held = false) : m_release(::CreateEventA(nullptr, TRUE, !held, nullptr)) {
        m_thread = std::thread([this] { Loop(); });
        WaitFor([this] { return m_hWnd.load() != nullptr; }, 10000);
    }
    ~ReceiverWindow() {
        Release();
        ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
        m_thread.join();
        ::CloseHandle(m_release);
    }
    HWND Get() const { return m_hWnd; }
    void Release() { ::SetEvent(m_release); }

    std::atomic<int> m_nProgress{0};
    std::atomic<int> m_nFinish{0};
    std::atomic<LONG> m_nLastFilesFound{-1};
    std::atomic<LONG> m_nFirstFilesFound{-1};
    // What waited in the queue when a held window was released.
    std::atomic<int> m_nProgressWaiting{-1};
    std::atomic<int> m_nFinishWaiting{-1};
    CTamsel* m_pTamsel = nullptr;

private:
    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<ReceiverWindow*>(::GetWindowLongPtrA(h, GWLP_USERDATA));
        if (msg == WM_NCCREATE) {
            self = static_cast<ReceiverWindow*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
            ::SetWindowLongPtrA(h, GWLP_USERDATA, LONG_PTR(self));
        }
        if (self && msg == WM_SCAN_PROGRESS) {
            if (self->m_pTamsel)
                self->m_pTamsel->OnScanProgressHandled();
            self->m_nLastFilesFound = LONG(wp);
            if (self->m_nFirstFilesFound < 0)
                self->m_nFirstFilesFound = LONG(wp);
            ++self->m_nProgress;
            return 0;
        }
        if (self && msg == WM_COMMAND && LOWORD(wp) == ID_SCAN_FINISH) {
            ++self->m_nFinish;
            return 0;
        }
        if (msg == WM_CLOSE) {
            ::DestroyWindow(h);
            return 0;
        }
        if (msg == WM_DESTROY)
            ::PostQuitMessage(0);
        return ::DefWindowProcA(h, msg, wp, lp);
    }

    void Loop() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "NorvaneTestReceiver";
        ::RegisterClassA(&wc);
        HWND h = ::CreateWindowExA(0, wc.lpszClassName, "receiver", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                   nullptr, wc.hInstance, this);
        m_hWnd = h;
        if (::WaitForSingleObject(m_release, 0) != WAIT_OBJECT_0) {
            ::WaitForSingleObject(m_release, INFINITE);
            int progress = 0, finish = 0;
            MSG m;
            std::vector<MSG> waiting;
            while (::PeekMessageA(&m, h, 0, 0, PM_REMOVE)) {
                progress += m.message == WM_SCAN_PROGRESS;
                finish += m.message == WM_COMMAND && LOWORD(m.wParam) == ID_SCAN_FINISH;
                waiting.push_back(m);
            }
            m_nProgressWaiting = progress;
            m_nFinishWaiting = finish;
            for (MSG& w : waiting)
                ::DispatchMessageA(&w);
        }
        MSG msg;
        while (::GetMessageA(&msg, nullptr, 0, 0) > 0)
            ::DispatchMessageA(&msg);
    }

    HANDLE m_release;
    std::thread m_thread;
    std::atomic<HWND> m_hWnd{nullptr};
};

// The core over a data folder of the test's own (settings and log there),
// created and destroyed on the test's thread, which plays the
// user-interface thread.
class CoreTest : public ::testing::Test {
protected:
    CoreTest() : m_redirect(m_dir.file("local")) {}
    ~CoreTest() override { DestroyCore(); }

    void CreateCore() {
        ASSERT_EQ(g_pTamsel, nullptr);
        g_pTamsel = new CTamsel;
        ASSERT_NE(g_pTamsel, nullptr);
    }
    void DestroyCore() {
        delete g_pTamsel;
        g_pTamsel = nullptr;
    }
    // What the last scan counted.
    static ScanCounters Counters() { return g_pTamsel->GetScanCounters(); }
    std::string DataFolder() const { return m_dir.file("local\\Norvane"); }
    std::string LogPath() const { return DataFolder() + "\\norvane.log"; }
    std::string Log() const { return ReadText(LogPath()); }
    std::string SettingsText() const { return ReadText(DataFolder() + "\\norvane.cfg"); }
    // A new folder below the test's folder.
    std::string Folder(const std::string& name) {
        // Joined as narrow strings: a filesystem path would take the name's
        // UTF-8 bytes for characters of another code page.
        std::string path = m_dir.path().string() + "\\" + name;
        CreateDirectories(path.c_str());
        return path;
    }

    testing_support::TempDir m_dir;
    DataFolderAt m_redirect;
};

} // namespace core_test

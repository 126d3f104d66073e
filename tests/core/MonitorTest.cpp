// The folder monitor under real change notices: photos copied or moved into
// a protected folder, or a folder below it, are secured once each, however
// many notices a copy raises and whether or not the notices overflow the
// change buffer; a photo still being written is left alone until its writer
// closes it; a folder's thread is stopped while it waits to announce a photo;
// and the core can go while photos are being rewritten.
//
// Nothing here waits for something not to happen: a photo that must be left
// alone is put in before one that must be secured, and the monitor handles
// notices in their order, so once the later photo is in the log the earlier
// one has been looked at.
#include "core/ActivityLog.h"
#include "core/CWatch.h"
#include "core/CoreTestHooks.h"
#include "core/EventBroadcast.h"
#include "core/PhotoSecuring.h"

#include "support/ContainerBuilder.h"
#include "support/CoreFixture.h"

#include <cstdio>
#include <map>
#include <memory>

using namespace core_test;

namespace {

using CThread = CWatch::CThread;

std::string StartEntry(const std::string& folder) {
    return "Monitor started at [T]:\n\t" + folder + "\\\n";
}

std::string StopEntry(const std::string& folder) {
    return "Monitor is stopped [T]:\n\t" + folder + "\\\n";
}

std::string LostEntry(const std::string& folder, const std::string& reason) {
    return "Monitor stopped watching [T]:\n\t" + folder + "\\ (" + reason + ")\n";
}

// The beginning of a secured photo's entry, as WithoutTimes shows it; the
// "?" behind the path keeps "a.jpg" from matching "a.jpg.jpg".
std::string SecuredEntryOf(const std::string& path) {
    return "Found and secured by monitor [T]: <" + path + "?";
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// How many monitor entries the log holds for each path.
std::map<std::string, int> SecuredPaths(const std::string& log) {
    std::map<std::string, int> paths;
    const std::string head = "Found and secured by monitor [T]: <";
    for (size_t at = log.find(head); at != std::string::npos; at = log.find(head, at + 1)) {
        size_t from = at + head.size();
        size_t end = log.find('?', from);
        if (end == std::string::npos)
            break;
        ++paths[log.substr(from, end - from)];
    }
    return paths;
}

FILETIME LastWrite(const std::string& path) {
    FILETIME time = {};
    HANDLE h = ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        ::GetFileTime(h, nullptr, nullptr, &time);
        ::CloseHandle(h);
    }
    return time;
}

// The change-buffer size for the threads started in one scope.
class ChangeBufferSize {
public:
    explicit ChangeBufferSize(DWORD bytes) { SetChangeBufferSizeForTests(bytes); }
    ~ChangeBufferSize() { SetChangeBufferSizeForTests(0); }
};

// A receiver of the broadcast that hands ID_UPDATE_WATCH_LIST, while armed,
// to a function of the test. Made before the core, it comes before the
// monitor's receiver in the list, and so is called first.
class WatchListProbe : public event_client {
public:
    WatchListProbe() : event_client(register_later) { Register(); }
    ~WatchListProbe() override { Unregister(); }
    void OnEvent(UINT nId, int, int, int) override {
        if (nId == ID_SET_INWORK_MODE) {
            ++m_nInWork;
            HWND window = m_hSendTo;
            if (window && ::GetWindowThreadProcessId(window, nullptr) != ::GetCurrentThreadId())
                ::SendMessageA(window, WM_APP, 0, 0);
        }
        if (nId == ID_WATCH_STATE_CHANGED)
            ++m_nStateChanges;
        if (nId == ID_UPDATE_WATCH_LIST && m_onWatchList) {
            std::function<void()> handler;
            handler.swap(m_onWatchList); // once
            handler();
        }
    }
    std::function<void()> m_onWatchList;
    std::atomic<int> m_nInWork{0};
    std::atomic<int> m_nStateChanges{0};
    // A window that an announcement from another thread is sent to, and
    // waits for, as a receiver that updates a window might.
    std::atomic<HWND> m_hSendTo{nullptr};
};

// A window of the test's thread that counts the WM_APP messages it answers;
// message-only, so it needs no display under Wine.
class ThreadWindow {
public:
    ThreadWindow() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "NorvaneMonitorTestWindow";
        ::RegisterClassA(&wc);
        m_hWnd = ::CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   wc.hInstance, nullptr);
        ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, LONG_PTR(this));
    }
    ~ThreadWindow() { ::DestroyWindow(m_hWnd); }
    HWND Get() const { return m_hWnd; }
    int m_nAnswered = 0;

private:
    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<ThreadWindow*>(::GetWindowLongPtrA(h, GWLP_USERDATA));
        if (msg == WM_APP && self) {
            ++self->m_nAnswered;
            return 0;
        }
        return ::DefWindowProcA(h, msg, wp, lp);
    }
    HWND m_hWnd = nullptr;
};

// Ends the whole program when a step has not returned in time: a deadlocked
// thread would otherwise hang the test run instead of failing it.
class Watchdog {
public:
    Watchdog(DWORD ms, const char* what) : m_done(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        m_thread = std::thread([this, ms, what] {
            if (::WaitForSingleObject(m_done, ms) == WAIT_OBJECT_0)
                return;
            std::fprintf(stderr, "FAILED: %s did not return within %lu ms (deadlock)\n", what,
                         static_cast<unsigned long>(ms));
            std::fflush(stderr);
            ::TerminateProcess(::GetCurrentProcess(), 1);
        });
    }
    ~Watchdog() {
        ::SetEvent(m_done);
        m_thread.join();
        ::CloseHandle(m_done);
    }

private:
    HANDLE m_done;
    std::thread m_thread;
};

// A log writer that faults, as a broken part of the core might, while
// writing the entry of any photo named fault.jpg.
volatile uintptr_t g_nowhere = 0;
BOOL FaultOnOnePhoto(HANDLE file, const void* data, DWORD size, DWORD* written) {
    if (std::string(static_cast<const char*>(data), size).find("\\fault.jpg?") != std::string::npos)
        *reinterpret_cast<volatile int*>(g_nowhere) = 1;
    return ::WriteFile(file, data, size, written, nullptr);
}

class LogWriterForOneTest {
public:
    explicit LogWriterForOneTest(LogWriter writer) { SetLogWriterForTests(writer); }
    ~LogWriterForOneTest() { SetLogWriterForTests(nullptr); }
};

class MonitorTest : public CoreTest {
protected:
    // Protects folder and waits until its thread watches it.
    void Protect(const std::string& folder) {
        g_pTamsel->AddProtectedFolder(folder.c_str());
        ASSERT_TRUE(WaitFor([&] { return CountOf(WithoutTimes(Log()), StartEntry(folder)) > 0; }))
            << WithoutTimes(Log());
    }
    // Writes the bytes to a scratch folder outside every protected folder
    // and copies them to target with the system's copy, as a file manager
    // would: the copy raises its own notices (name, size, time).
    void CopyIn(const Bytes& bytes, const std::string& target) {
        std::string source = ScratchFile(bytes);
        ASSERT_TRUE(::CopyFileA(source.c_str(), target.c_str(), TRUE))
            << target << " error " << ::GetLastError();
    }
    std::string ScratchFile(const Bytes& bytes) {
        if (m_strScratch.empty())
            m_strScratch = Folder("scratch");
        std::string path = m_strScratch + "\\" + std::to_string(m_nScratch++) + ".bin";
        WriteFile(path, bytes);
        return path;
    }
    Bytes Secured(const Bytes& photo) { return SecuredBytes(photo, m_dir.file("expected.bin")); }
    size_t EntriesOf(const std::string& path) { return CountOf(WithoutTimes(Log()), SecuredEntryOf(path)); }
    bool WaitForEntry(const std::string& path, DWORD ms = 30000) {
        return WaitFor([&] { return EntriesOf(path) > 0; }, ms);
    }

    // Wine's subtree watch takes in a folder that was already there when the
    // watch began only once something opens that folder (Windows watches it
    // from the start, and Wine folders made later as they are made).
    static void OpenUnderWine(const std::string& folder) {
        HANDLE h = ::CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << folder;
        ::CloseHandle(h);
    }

    std::string m_strScratch;
    int m_nScratch = 0;
};

} // namespace

TEST_F(MonitorTest, PhotosOfEveryFormatAndVideosAreSecuredByTheirNames) {
    using namespace testing_support;
    std::string guarded = Folder("camera");
    CreateCore();
    Protect(guarded);
    ASSERT_NO_FATAL_FAILURE();
    TiffBuilder t(false);
    const Bytes tiff = ExifWithGps(false, {t.Ascii(1, "N"), t.Rationals(2, {{35, 1}, {40, 1}, {15, 1}})});
    HeifItem exif;
    exif.id = 2;
    exif.content = ExifItem(tiff, ExifPrefix::None);
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"IMG_0001.HEIC", BuildHeif({exif})},
        {"VID_0002.MOV", BuildMovie(IsoBox("udta", Xyz("+35.6712+139.7008/")))},
        {"scan.png", BuildPng({PngChunk("eXIf", tiff)})},
        {"IMG_0003.dng", tiff},
    };
    for (const auto& [name, bytes] : files) {
        const std::string path = guarded + "\\" + name;
        CopyIn(bytes, path);
        ASSERT_TRUE(WaitForEntry(path)) << WithoutTimes(Log());
        EXPECT_EQ(CheckGpsTags(path.c_str()), 8) << name;
        EXPECT_EQ(ReadFile(path).size(), bytes.size()) << name;
    }
}

TEST_F(MonitorTest, SecuresPhotosArrivingBelowTheFolderOnceEach) {
    std::string guarded = Folder("guarded");
    std::string trip = Folder("guarded\\Trip 2026");
    CreateCore();
    Protect(guarded);
    ASSERT_NO_FATAL_FAILURE();
    OpenUnderWine(trip);

    // Left alone: a PNG without metadata (read, and nothing to clear), a
    // JPEG with a position under a name
    // that is not a photo's, and a photo whose position is zero already.
    Bytes tagged = GeotaggedPhoto(7);
    Bytes secure = SecurePhoto();
    const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    CopyIn(png, guarded + "\\image.png");
    CopyIn(tagged, trip + "\\photo.jpeg.tmp");
    CopyIn(secure, trip + "\\already.jpg");
    FILETIME secureTime = LastWrite(trip + "\\already.jpg");

    std::string photo = trip + "\\IMG_0007.JPG";
    CopyIn(tagged, photo);
    ASSERT_TRUE(WaitForEntry(photo)) << WithoutTimes(Log());
    EXPECT_EQ(ReadFile(photo), Secured(tagged));
    EXPECT_EQ(CheckGpsTags(photo.c_str()), 8);

    // The copy's later notices, and the one the rewrite raised, come before
    // this photo's: once it is in the log they have all been handled.
    std::string second = guarded + "\\second.jpg";
    Bytes other = GeotaggedPhoto(8);
    CopyIn(other, second);
    ASSERT_TRUE(WaitForEntry(second)) << WithoutTimes(Log());
    EXPECT_EQ(ReadFile(second), Secured(other));

    EXPECT_EQ(ReadFile(guarded + "\\image.png"), png);
    EXPECT_EQ(ReadFile(trip + "\\photo.jpeg.tmp"), tagged);
    EXPECT_EQ(ReadFile(trip + "\\already.jpg"), secure);
    FILETIME secureTimeAfter = LastWrite(trip + "\\already.jpg");
    EXPECT_EQ(::CompareFileTime(&secureTime, &secureTimeAfter), 0) << "a secure photo was written again";

    g_pTamsel->RemoveProtectedFolder(guarded.c_str());
    EXPECT_EQ(g_pTamsel->GetMonitor()->GetThreadCount(), 0);
    // Every entry, each once and in order; the stop is written before the
    // removal returns, since the thread has ended by then.
    EXPECT_EQ(WithoutTimes(Log()), StartEntry(guarded) + "Found and secured by monitor [T]: <" + photo +
                                       "?2;2(0,0,0);4(0,0,0);>\n"
                                       "Found and secured by monitor [T]: <" +
                                       second + "?2;2(0,0,0);4(0,0,0);>\n" + StopEntry(guarded));
}

TEST_F(MonitorTest, PhotosMovedOrRenamedInAreSecured) {
    std::string guarded = Folder("guarded");
    CreateCore();
    Protect(guarded);
    ASSERT_NO_FATAL_FAILURE();

    // A move within one volume is a rename: one notice, no write at all.
    Bytes tagged = GeotaggedPhoto(11, true);
    std::string photo = guarded + "\\moved.jpg";
    ASSERT_TRUE(::MoveFileA(ScratchFile(tagged).c_str(), photo.c_str()));
    ASSERT_TRUE(WaitForEntry(photo)) << WithoutTimes(Log());
    EXPECT_EQ(ReadFile(photo), Secured(tagged));

    // A download written under a name of its own, then given the photo's.
    Bytes download = GeotaggedPhoto(12);
    std::string part = guarded + "\\download.jpg.part";
    CopyIn(download, part);
    std::string named = guarded + "\\download.jpg";
    ASSERT_TRUE(::MoveFileA(part.c_str(), named.c_str()));
    ASSERT_TRUE(WaitForEntry(named)) << WithoutTimes(Log());
    EXPECT_EQ(ReadFile(named), Secured(download));

    // A whole folder of photos moved in: one notice for the folder, none for
    // the photos in it.
    std::string outside = Folder("scratch\\Holiday");
    Folder("scratch\\Holiday\\Day 2");
    Bytes a = GeotaggedPhoto(13), b = GeotaggedPhoto(14);
    WriteFile(outside + "\\a.jpg", a);
    WriteFile(outside + "\\Day 2\\b.jpg", b);
    ASSERT_TRUE(::MoveFileA(outside.c_str(), (guarded + "\\Holiday").c_str()));
    std::string movedA = guarded + "\\Holiday\\a.jpg", movedB = guarded + "\\Holiday\\Day 2\\b.jpg";
    ASSERT_TRUE(WaitFor([&] { return EntriesOf(movedA) > 0 && EntriesOf(movedB) > 0; }))
        << WithoutTimes(Log());
    EXPECT_EQ(ReadFile(movedA), Secured(a));
    EXPECT_EQ(ReadFile(movedB), Secured(b));

    // The folder is watched from then on too.
    Bytes c = GeotaggedPhoto(15);
    std::string later = guarded + "\\Holiday\\Day 2\\c.jpg";
    CopyIn(c, later);
    ASSERT_TRUE(WaitForEntry(later)) << WithoutTimes(Log());
    EXPECT_EQ(ReadFile(later), Secured(c));
    std::string log = WithoutTimes(Log());
    EXPECT_EQ(SecuredPaths(log).size(), 5u) << log;
}

TEST_F(MonitorTest, PhotoThatMakesTheThreadFaultIsPassedOver) {
    std::string guarded = Folder("guarded");
    CreateCore();
    Protect(guarded);
    ASSERT_NO_FATAL_FAILURE();
    {
        LogWriterForOneTest faulting(&FaultOnOnePhoto);
        CopyIn(GeotaggedPhoto(51), guarded + "\\fault.jpg");
        Bytes next = GeotaggedPhoto(52);
        CopyIn(next, guarded + "\\next.jpg");
        ASSERT_TRUE(WaitForEntry(guarded + "\\next.jpg")) << WithoutTimes(Log());
        EXPECT_EQ(ReadFile(guarded + "\\next.jpg"), Secured(next));
    }
    g_pTamsel->RemoveProtectedFolder(guarded.c_str());
    std::string log = WithoutTimes(Log());
    EXPECT_EQ(CountOf(log, "fault.jpg"), 1u) << log;
    EXPECT_EQ(CountOf(log, "Found but not secured by monitor [T]: <" + guarded +
                               "\\fault.jpg> securing the photo failed with a fault\n"),
              1u)
        << log;
    EXPECT_TRUE(EndsWith(log, StopEntry(guarded))) << log;
}

TEST_F(MonitorTest, FolderListedInTwoSpellingsIsWatchedOnce) {
    std::string photos = Folder("Photos");
    std::string upper = photos;
    for (char& c : upper)
        c = char(::toupper(static_cast<unsigned char>(c)));
    {
        CTamselSettings settings;
        settings.m_lstProtectedFolders.AddTail(CString(photos.c_str()));
        settings.m_lstProtectedFolders.AddTail(CString(upper.c_str()));
        settings.SaveSettings();
    }
    CreateCore();
    ASSERT_EQ(g_pTamsel->GetProtectedFolderCount(), 2);
    EXPECT_EQ(g_pTamsel->GetMonitor()->GetThreadCount(), 1);
    ASSERT_TRUE(WaitFor([&] { return CountOf(Log(), "Monitor started at [") > 0; }));

    Bytes tagged = GeotaggedPhoto(21);
    std::string photo = photos + "\\a.jpg";
    CopyIn(tagged, photo);
    ASSERT_TRUE(WaitFor([&] { return CountOf(Log(), "a.jpg?") > 0; })) << WithoutTimes(Log());
    std::string sentinel = photos + "\\b.jpg";
    CopyIn(GeotaggedPhoto(22), sentinel);
    ASSERT_TRUE(WaitFor([&] { return CountOf(Log(), "b.jpg?") > 0; })) << WithoutTimes(Log());
    EXPECT_EQ(ReadFile(photo), Secured(tagged));

    DestroyCore();
    std::string log = WithoutTimes(Log());
    EXPECT_EQ(CountOf(log, "Monitor started at [T]"), 1u) << log;
    EXPECT_EQ(CountOf(log, "a.jpg?"), 1u) << log;
    EXPECT_EQ(CountOf(log, "Monitor is stopped [T]"), 1u) << log;
}

TEST_F(MonitorTest, NestedProtectedFoldersSecureEachPhotoOnce) {
    // Two threads see every photo below the inner folder and race for it;
    // the claim lets one rewrite it and the other find it secure.
    std::string outer = Folder("outer");
    std::string inner = Folder("outer\\inner");
    CreateCore();
    Protect(outer);
    ASSERT_NO_FATAL_FAILURE();
    Protect(inner);
    ASSERT_NO_FATAL_FAILURE();
    OpenUnderWine(inner);
    EXPECT_EQ(g_pTamsel->GetMonitor()->GetThreadCount(), 2);

    const int kPhotos = 60;
    std::vector<std::string> sources;
    for (int i = 0; i < kPhotos; ++i)
        sources.push_back(ScratchFile(GeotaggedPhoto(uint32_t(i))));
    for (int i = 0; i < kPhotos; ++i)
        ASSERT_TRUE(::CopyFileA(sources[size_t(i)].c_str(),
                                (inner + "\\n" + std::to_string(i) + ".jpg").c_str(), TRUE));
    ASSERT_TRUE(WaitFor([&] { return SecuredPaths(WithoutTimes(Log())).size() >= size_t(kPhotos); }))
        << WithoutTimes(Log());
    // Both threads end here, each after the photo in hand: no entry can come later.
    DestroyCore();
    std::map<std::string, int> logged = SecuredPaths(WithoutTimes(Log()));
    EXPECT_EQ(logged.size(), size_t(kPhotos));
    for (int i = 0; i < kPhotos; ++i) {
        std::string path = inner + "\\n" + std::to_string(i) + ".jpg";
        EXPECT_EQ(logged[path], 1) << path;
        EXPECT_EQ(ReadFile(path), Secured(GeotaggedPhoto(uint32_t(i)))) << path;
    }
}

TEST_F(MonitorTest, BurstOfPhotosIsSecuredEvenWhenTheNoticesOverflow) {
    const int kPhotos = 500;
    std::vector<Bytes> originals, expected;
    for (uint32_t seed = 0; seed < 60; ++seed) {
        originals.push_back(GeotaggedPhoto(seed, false, 3000));
        expected.push_back(Secured(originals.back()));
    }
    auto burst = [&](const std::string& folder) {
        Protect(folder);
        ASSERT_NO_FATAL_FAILURE();
        std::vector<std::string> sources;
        for (int i = 0; i < kPhotos; ++i)
            sources.push_back(ScratchFile(originals[size_t(i % 60)]));
        for (int i = 0; i < kPhotos; ++i) {
            std::string target = folder + "\\p" + std::to_string(i) + ".jpg";
            ASSERT_TRUE(::CopyFileA(sources[size_t(i)].c_str(), target.c_str(), TRUE)) << target;
        }
        const std::string entryHead = "]: <" + folder + "\\p";
        ASSERT_TRUE(WaitFor([&] { return CountOf(Log(), entryHead) >= size_t(kPhotos); }, 120000))
            << CountOf(Log(), entryHead) << " of " << kPhotos << " photos secured";
        std::map<std::string, int> logged = SecuredPaths(WithoutTimes(Log()));
        int wrong = 0;
        for (int i = 0; i < kPhotos && wrong < 5; ++i) {
            std::string path = folder + "\\p" + std::to_string(i) + ".jpg";
            bool ok = logged[path] == 1 && ReadFile(path) == expected[size_t(i % 60)];
            EXPECT_TRUE(ok) << path << " logged " << logged[path] << " times";
            wrong += !ok;
        }
        g_pTamsel->RemoveProtectedFolder(folder.c_str());
    };
    CreateCore();
    burst(Folder("burst"));
    {
        // Two records fill this buffer: every read of the burst overflows,
        // and only the walk of the folder finds the photos.
        ChangeBufferSize tiny(64);
        burst(Folder("overflow"));
    }
}

// A photo the monitor cannot secure leaves an entry that says why: one it
// cannot write, and one whose writer never lets go.
TEST_F(MonitorTest, PhotosThatCannotBeSecuredAreLoggedWithTheirReason) {
    std::string guarded = Folder("stuck");
    SetGiveUpTimeForTests(1500);
    struct Restore {
        ~Restore() { SetGiveUpTimeForTests(0); }
    } restore;
    CreateCore();
    Protect(guarded);
    ASSERT_NO_FATAL_FAILURE();

    std::string held = guarded + "\\held.jpg";
    HANDLE writer =
        ::CreateFileA(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    Bytes photo = GeotaggedPhoto(51);
    DWORD done = 0;
    ASSERT_TRUE(::WriteFile(writer, photo.data(), DWORD(photo.size()), &done, nullptr));

    // A photo moved in while a viewer that shares no writing holds it.
    std::string readOnly = guarded + "\\viewed.jpg";
    std::string source = ScratchFile(GeotaggedPhoto(52));
    HANDLE viewer = ::CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(::MoveFileA(source.c_str(), readOnly.c_str())) << ::GetLastError();

    auto entry = [&](const std::string& path, const std::string& reason) {
        return "Found but not secured by monitor [T]: <" + path + "> " + reason + "\n";
    };
    const std::string neverClosed = entry(held, "the program writing the photo never closed it");
    const std::string cannotWrite =
        entry(readOnly, "the photo is read-only or another program holds it; it is unchanged");
    EXPECT_TRUE(WaitFor([&] { return CountOf(WithoutTimes(Log()), neverClosed) == 1; }, 20000))
        << WithoutTimes(Log());
    EXPECT_TRUE(WaitFor([&] { return CountOf(WithoutTimes(Log()), cannotWrite) >= 1; }, 20000))
        << WithoutTimes(Log());
    EXPECT_EQ(EntriesOf(held), 0u);
    EXPECT_EQ(EntriesOf(readOnly), 0u);
    ::CloseHandle(writer);
    ::CloseHandle(viewer);
}

TEST_F(MonitorTest, PhotoIsSecuredOnlyOnceItsWriterHasClosedIt) {
    std::string guarded = Folder("guarded");
    CreateCore();
    Protect(guarded);
    ASSERT_NO_FATAL_FAILURE();

    // A slow copy, as from a camera card: the photo arrives in chunks over
    // about two seconds, each raising a notice, and nothing at all happens
    // when the writer closes it, so the monitor must come back by itself.
    Bytes photo = GeotaggedPhoto(31, false, 60000);
    std::string path = guarded + "\\DSC_0031.JPG";
    std::atomic<bool> loggedWhileOpen{false}, written{false};
    std::thread writer([&] {
        HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return;
        const size_t kChunks = 10;
        size_t chunk = (photo.size() + kChunks - 1) / kChunks;
        bool ok = true;
        for (size_t at = 0; at < photo.size() && ok; at += chunk) {
            DWORD n = DWORD(std::min(chunk, photo.size() - at)), done = 0;
            ok = ::WriteFile(h, photo.data() + at, n, &done, nullptr) && done == n;
            ::Sleep(200); // the slow device, not a wait of the test
            if (EntriesOf(path) > 0)
                loggedWhileOpen = true;
        }
        written = ok;
        ::CloseHandle(h);
    });
    writer.join();
    ASSERT_TRUE(written);
    EXPECT_FALSE(loggedWhileOpen) << "secured while its writer still held it";
    // Tried again at growing intervals of at most 2 s.
    ASSERT_TRUE(WaitForEntry(path, 15000)) << WithoutTimes(Log());
    EXPECT_EQ(ReadFile(path), Secured(photo));
    EXPECT_EQ(EntriesOf(path), 1u);
}

// The removal of a folder whose thread, busy with a photo, comes to announce
// it while the removal's broadcast holds the lock.
class MonitorRemovalTest : public MonitorTest {
protected:
    // Made before the core: called before the monitor in every broadcast.
    MonitorRemovalTest() : m_guarded(Folder("guarded")), m_held(m_guarded + "\\held.jpg") {}

    void SetUp() override {
        CreateCore();
        Protect(m_guarded);
        ASSERT_NO_FATAL_FAILURE();
        // The test holds the first photo, as the scanner would while it
        // rewrites it, so the thread is certainly busy with it when the
        // removal comes.
        std::string source = ScratchFile(m_photo);
        m_claim = std::make_unique<CPhotoClaim>(m_held.c_str());
        ASSERT_TRUE(::MoveFileA(source.c_str(), m_held.c_str()));
        m_photos.push_back({m_held, m_photo});
        for (int i = 0; i < 20; ++i) {
            m_photos.push_back(
                {m_guarded + "\\q" + std::to_string(i) + ".jpg", GeotaggedPhoto(uint32_t(42 + i))});
            CopyIn(m_photos.back().second, m_photos.back().first);
        }

        // Inside the broadcast, with its lock held: let the photo go and wait
        // until the thread has secured a photo and is on its way to announce
        // it. It writes the entry only after the announcement, so a secured
        // photo without an entry and without a claim means the thread waits
        // for this very broadcast to end. Mostly that is the held photo; on a
        // busy machine the thread has been seen to reach other photos first
        // and the held one not at all before the removal (one run in a few
        // dozen), so any photo will do.
        m_probe.m_onWatchList = [this] {
            m_handlerThread = ::GetCurrentThreadId();
            m_claim.reset();
            m_blocked = WaitFor(
                [this] {
                    if (CountPhotoClaimsForTests() != 0)
                        return false;
                    for (const auto& photo : m_photos) {
                        if (CheckGpsTags(photo.first.c_str()) == 8 && EntriesOf(photo.first) == 0) {
                            m_announced = photo;
                            return true;
                        }
                    }
                    return false;
                },
                20000);
        };
    }

    void RemoveAndCheck() {
        {
            Watchdog watchdog(60000, "RemoveProtectedFolder");
            g_pTamsel->RemoveProtectedFolder(m_guarded.c_str());
        }
        EXPECT_EQ(m_handlerThread, ::GetCurrentThreadId());
        EXPECT_TRUE(m_blocked) << "the thread never reached the announcement of a secured photo";
        EXPECT_EQ(g_pTamsel->GetMonitor()->GetThreadCount(), 0);
        EXPECT_GE(m_probe.m_nInWork.load(), 1);

        // The photo was announced and written down once the broadcast
        // ended, then the thread stopped, leaving the photos it had not
        // reached.
        std::string log = WithoutTimes(Log());
        const std::string& announced = m_announced.first;
        EXPECT_EQ(CountOf(log, SecuredEntryOf(announced)), 1u) << announced << "\n" << log;
        EXPECT_TRUE(EndsWith(log, StopEntry(m_guarded))) << log;
        EXPECT_LT(log.find(SecuredEntryOf(announced)), log.find(StopEntry(m_guarded)));
        EXPECT_EQ(ReadFile(announced), Secured(m_announced.second));
    }

    WatchListProbe m_probe;
    const std::string m_guarded, m_held;
    const Bytes m_photo = GeotaggedPhoto(41);
    std::unique_ptr<CPhotoClaim> m_claim;
    // Every photo put in the folder, and the one the thread came to announce.
    std::vector<std::pair<std::string, Bytes>> m_photos;
    std::pair<std::string, Bytes> m_announced;
    std::atomic<bool> m_blocked{false};
    DWORD m_handlerThread = 0;
};

TEST_F(MonitorRemovalTest, ReturnsWhileTheThreadWaitsForTheBroadcast) {
    RemoveAndCheck();
}

TEST_F(MonitorRemovalTest, AnswersWhatTheAnnouncementSendsToItsWindows) {
    // The removing thread owns windows; a receiver of the announcement sends
    // one of them a message and waits for the answer while the removal
    // waits for the thread.
    ThreadWindow window;
    m_probe.m_hSendTo = window.Get();
    RemoveAndCheck();
    EXPECT_EQ(window.m_nAnswered, m_probe.m_nInWork.load());
    m_probe.m_hSendTo = nullptr;
}

TEST_F(MonitorTest, CoreDestroyedWhilePhotosAreRewrittenLeavesEachWholeOrUntouched) {
    std::string guarded = Folder("guarded");
    CreateCore();
    Protect(guarded);
    ASSERT_NO_FATAL_FAILURE();

    // Photos of 3 MB whose securing writes them whole, through a file beside
    // them that is swapped in.
    const int kPhotos = 30;
    std::vector<Bytes> originals;
    std::vector<std::string> sources, paths;
    for (int i = 0; i < kPhotos; ++i) {
        originals.push_back(SplitExifPhoto(uint32_t(i + 1), 3000000));
        sources.push_back(ScratchFile(originals.back()));
        paths.push_back(guarded + "\\big" + std::to_string(i) + ".jpg");
    }
    for (int i = 0; i < kPhotos; ++i)
        ASSERT_TRUE(::CopyFileA(sources[size_t(i)].c_str(), paths[size_t(i)].c_str(), TRUE));
    ASSERT_TRUE(WaitFor([&] { return CountOf(Log(), "Found and secured by monitor [") > 0; }));
    DestroyCore();

    int secured = 0;
    for (int i = 0; i < kPhotos; ++i) {
        Bytes now = ReadFile(paths[size_t(i)]);
        if (now == originals[size_t(i)])
            continue;
        ++secured;
        EXPECT_EQ(now == Secured(originals[size_t(i)]), true) << paths[size_t(i)] << " is neither";
    }
    WIN32_FIND_DATAA entry;
    HANDLE find = ::FindFirstFileA((guarded + "\\*.norvane-tmp").c_str(), &entry);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "left behind: " << entry.cFileName;
    if (find != INVALID_HANDLE_VALUE)
        ::FindClose(find);
    std::string log = WithoutTimes(Log());
    EXPECT_EQ(CountOf(log, "Found and secured by monitor [T]"), size_t(secured)) << log;
    EXPECT_TRUE(EndsWith(log, StopEntry(guarded))) << log;
    std::printf("%d of %d photos secured before the core went\n", secured, kPhotos);
}

TEST_F(MonitorTest, LongRelativeNamesArriveWhole) {
    // A photo more than 260 bytes below the protected folder: its notice
    // names it relative to the folder in 120 characters, but 340 bytes of
    // the UTF-8 code page.
    std::string guarded = Folder("guarded");
    std::string relative;
    for (int level = 0; level < 3; ++level) {
        relative += level ? "\\" : "";
        for (int i = 0; i < 36; ++i)
            relative += "\xE5\x8C\x97"; // a Chinese character
    }
    std::string deep = Folder("guarded\\" + relative);
    ASSERT_EQ(::GetFileAttributesA(deep.c_str()) & FILE_ATTRIBUTE_DIRECTORY, DWORD(FILE_ATTRIBUTE_DIRECTORY));
    CreateCore();
    Protect(guarded);
    ASSERT_NO_FATAL_FAILURE();
    for (size_t at = guarded.size() + 1; at != std::string::npos; at = deep.find('\\', at + 1))
        OpenUnderWine(deep.substr(0, at));
    OpenUnderWine(deep);

    std::string photo = deep + "\\\xE5\x8C\x97\xE4\xBA\xAC.jpg";
    ASSERT_GT(photo.size() - guarded.size(), size_t(MAX_PATH));
    Bytes tagged = GeotaggedPhoto(31);
    CopyIn(tagged, photo);
    ASSERT_TRUE(WaitForEntry(photo)) << WithoutTimes(Log());
    EXPECT_EQ(ReadFile(photo), Secured(tagged));
}

// A protected folder that goes while it is watched, or is not there yet:
// the monitor says why in the log, waits for the folder and watches it again
// once it is there, after a walk that secures the photos that came
// meanwhile. Photos copied in afterwards are secured as ever.
class MonitorLostFolderTest : public MonitorTest {
protected:
    // Copies photos into folder (named after tag) and waits for each one's
    // entry; true when all were secured.
    void CopyAndExpectSecured(const std::string& folder, const std::string& tag, int count) {
        std::vector<std::pair<std::string, Bytes>> photos;
        for (int i = 0; i < count; ++i) {
            photos.push_back({folder + "\\" + tag + "-" + std::to_string(i) + ".jpg",
                              GeotaggedPhoto(uint32_t(m_nSeed++))});
            CopyIn(photos.back().second, photos.back().first);
        }
        for (const auto& photo : photos) {
            EXPECT_TRUE(WaitForEntry(photo.first)) << photo.first << "\n" << WithoutTimes(Log());
            EXPECT_EQ(ReadFile(photo.first), Secured(photo.second)) << photo.first;
        }
    }
    bool WaitForCount(const std::string& entry, size_t count) {
        return WaitFor([&] { return CountOf(WithoutTimes(Log()), entry) >= count; });
    }

    WatchListProbe m_probe; // before the core
    int m_nSeed = 100;
};

TEST_F(MonitorLostFolderTest, FolderThatIsNotThereAtStartIsWatchedWhenItComes) {
    std::string card = m_dir.file("card");
    std::string dcim = card + "\\DCIM";
    {
        CTamselSettings settings;
        settings.m_lstProtectedFolders.AddTail(CString(dcim.c_str()));
        settings.SaveSettings();
    }
    CreateCore();
    ASSERT_TRUE(WaitForCount("Monitor is waiting [T]:\n\t" + dcim + "\\ (the folder is not there)\n", 1))
        << WithoutTimes(Log());
    EXPECT_TRUE(g_pTamsel->IsFolderWaiting(dcim.c_str()));

    // The card comes with a photo on it, before the monitor has seen it.
    Folder("card\\DCIM");
    Bytes early = GeotaggedPhoto(90);
    WriteFile(dcim + "\\early.jpg", early);
    ASSERT_TRUE(WaitForCount(StartEntry(dcim), 1)) << WithoutTimes(Log());
    ASSERT_TRUE(WaitForEntry(dcim + "\\early.jpg")) << WithoutTimes(Log());
    EXPECT_EQ(ReadFile(dcim + "\\early.jpg"), Secured(early));
    EXPECT_FALSE(g_pTamsel->IsFolderWaiting(dcim.c_str()));
    EXPECT_EQ(g_pTamsel->GetWaitingFolderCount(), 0);
    CopyAndExpectSecured(dcim, "later", 3);
}

TEST_F(MonitorLostFolderTest, FolderRemovedOrRenamedIsWatchedAgainWhenItIsBack) {
    // Removed as the recycle bin and file managers remove a folder (moved
    // out of the way, then deleted) and made anew; or renamed and given
    // its name back. Twice each, with photos each time.
    enum Way { kRemoved, kRenamed };
    CreateCore();
    for (Way way : {kRemoved, kRenamed}) {
        const std::string name = way == kRemoved ? "removed" : "renamed";
        std::string guarded = Folder(name);
        Protect(guarded);
        ASSERT_NO_FATAL_FAILURE();
        for (int round = 1; round <= 2; ++round) {
            SCOPED_TRACE(name + " round " + std::to_string(round));
            CopyAndExpectSecured(guarded, "before" + std::to_string(round), 1);
            std::string away = guarded + " away";
            ASSERT_TRUE(::MoveFileA(guarded.c_str(), away.c_str())) << ::GetLastError();
            Bytes meanwhile = GeotaggedPhoto(uint32_t(m_nSeed++));
            std::string meanwhileName = "\\meanwhile" + std::to_string(round) + ".jpg";
            if (way == kRemoved) {
                WIN32_FIND_DATAA entry;
                HANDLE find = ::FindFirstFileA((away + "\\*.jpg").c_str(), &entry);
                ASSERT_NE(find, INVALID_HANDLE_VALUE);
                do
                    ASSERT_TRUE(::DeleteFileA((away + "\\" + entry.cFileName).c_str()));
                while (::FindNextFileA(find, &entry));
                ::FindClose(find);
                // Gone for good once the monitor lets go of it.
                ASSERT_TRUE(::RemoveDirectoryA(away.c_str())) << ::GetLastError();
                Folder(name);
            } else {
                // A photo put in the folder under its other name...
                WriteFile(away + meanwhileName, meanwhile);
                ASSERT_TRUE(
                    WaitForCount(LostEntry(guarded, "the folder was removed or renamed"), size_t(round)))
                    << WithoutTimes(Log());
                ASSERT_TRUE(::MoveFileA(away.c_str(), guarded.c_str())) << ::GetLastError();
            }
            if (way == kRemoved)
                WriteFile(guarded + meanwhileName, meanwhile);
            // ...or in the new folder before the monitor has seen it: the
            // walk of the new watch secures it.
            ASSERT_TRUE(WaitForCount(LostEntry(guarded, "the folder was removed or renamed"), size_t(round)))
                << WithoutTimes(Log());
            ASSERT_TRUE(WaitForCount(StartEntry(guarded), size_t(round + 1))) << WithoutTimes(Log());
            ASSERT_TRUE(WaitForEntry(guarded + meanwhileName)) << WithoutTimes(Log());
            EXPECT_EQ(ReadFile(guarded + meanwhileName), Secured(meanwhile));
            CopyAndExpectSecured(guarded, "after" + std::to_string(round), 3);
        }
        std::string log = WithoutTimes(Log());
        EXPECT_EQ(CountOf(log, LostEntry(guarded, "the folder was removed or renamed")), 2u) << log;
        EXPECT_EQ(CountOf(log, StartEntry(guarded)), 3u) << log;
        g_pTamsel->RemoveProtectedFolder(guarded.c_str());
        EXPECT_TRUE(EndsWith(WithoutTimes(Log()), StopEntry(guarded))) << WithoutTimes(Log());
    }
    // Each loss and each return was announced.
    EXPECT_GE(m_probe.m_nStateChanges.load(), 8);
}

// A read of changes that fails, as when a share drops, or that faults: the
// thread reads through the test's reader, which fails reads on demand.
std::atomic<int> g_nReadsToFail{0};
std::atomic<bool> g_bReadThrows{false};
BOOL WINAPI FailingReader(HANDLE folder, LPVOID buffer, DWORD size, BOOL subtree, DWORD filter,
                          LPDWORD returned, LPOVERLAPPED overlapped,
                          LPOVERLAPPED_COMPLETION_ROUTINE routine) {
    if (g_nReadsToFail.load() > 0) {
        --g_nReadsToFail;
        if (g_bReadThrows)
            throw std::bad_alloc();
        ::SetLastError(ERROR_NETNAME_DELETED);
        return FALSE;
    }
    return ::ReadDirectoryChangesW(folder, buffer, size, subtree, filter, returned, overlapped, routine);
}

TEST_F(MonitorLostFolderTest, ReadThatFailsIsLoggedAndTheFolderWatchedAgain) {
    std::string guarded = Folder("share");
    SetChangeReaderForTests(&FailingReader);
    struct Restore {
        ~Restore() {
            SetChangeReaderForTests(nullptr);
            g_nReadsToFail = 0;
            g_bReadThrows = false;
        }
    } restore;
    CreateCore();
    Protect(guarded);
    ASSERT_NO_FATAL_FAILURE();
    struct Case {
        bool throws;
        const char* reason;
    };
    const Case cases[] = {{false, "its network share cannot be reached"},
                          {false, "its network share cannot be reached"},
                          {true, "the monitor failed with a fault"}};
    int round = 0;
    for (const Case& c : cases) {
        ++round;
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string lost = LostEntry(guarded, c.reason);
        size_t lostBefore = CountOf(WithoutTimes(Log()), lost);
        // The photo whose notice completes the read: the next read fails.
        g_bReadThrows = c.throws;
        g_nReadsToFail = 1;
        CopyAndExpectSecured(guarded, "trigger" + std::to_string(round), 1);
        ASSERT_TRUE(WaitForCount(lost, lostBefore + 1)) << WithoutTimes(Log());
        Bytes meanwhile = GeotaggedPhoto(uint32_t(m_nSeed++));
        std::string path = guarded + "\\meanwhile" + std::to_string(round) + ".jpg";
        CopyIn(meanwhile, path);
        ASSERT_TRUE(WaitForCount(StartEntry(guarded), size_t(round + 1))) << WithoutTimes(Log());
        ASSERT_TRUE(WaitForEntry(path)) << WithoutTimes(Log());
        EXPECT_EQ(ReadFile(path), Secured(meanwhile));
        CopyAndExpectSecured(guarded, "after" + std::to_string(round), 3);
    }
    EXPECT_GE(m_probe.m_nStateChanges.load(), 6);
    g_pTamsel->RemoveProtectedFolder(guarded.c_str());
    std::string log = WithoutTimes(Log());
    EXPECT_EQ(CountOf(log, LostEntry(guarded, "its network share cannot be reached")), 2u) << log;
    EXPECT_EQ(CountOf(log, StopEntry(guarded)), 1u) << log;
}

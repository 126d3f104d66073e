// Catch-up walks and the record of known photos, on real folders and real
// photos: what every walk leaves unopened, what makes a photo checked again,
// two walks of one folder at once, a damaged record, and files whose data is
// kept only online. (A start that secures photos added while the program was
// not running: tests/app, through the program itself.)
//
// The record refuses keys younger than its clock rule allows, so each case
// waits, by the clock and no longer, until the photos it wrote have settled.
#include "core/CWatch.h"
#include "core/CoreTestHooks.h"
#include "engine/CheckGpsTags.h"
#include "engine/FileOsFaults.h"
#include "engine/KnownPhotos.h"
#include "engine/ResultCodes.h"

#include "support/CoreFixture.h"

#include <map>
#include <mutex>

using namespace core_test;

namespace {

// Counts the opens of each photo while it lives.
class OpenCounter {
public:
    OpenCounter() {
        WatchPhotoOpensForTests([this](const char* path) {
            std::lock_guard<std::mutex> hold(m_lock);
            ++m_opens[path];
        });
    }
    ~OpenCounter() { WatchPhotoOpensForTests(nullptr); }
    int Of(const std::string& path) {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_opens[path];
    }
    void Clear() {
        std::lock_guard<std::mutex> hold(m_lock);
        m_opens.clear();
    }

private:
    std::mutex m_lock;
    std::map<std::string, int> m_opens;
};

class KnownRecordTest : public CoreTest {
protected:
    // Until every file written so far is older than the record's clock rule.
    static void WaitUntilSettled() {
        const int64_t until =
            fileos::TimeNow() + (KnownPhotos::kSettleSeconds * fileos::kTimeUnitsPerSecond * 11) / 10;
        ASSERT_TRUE(WaitFor([&] { return fileos::TimeNow() >= until; }, 10000));
    }
    // Until a walk ended after before and no monitor walks.
    static bool WaitForWalk(size_t before) {
        return WaitFor(
            [&] {
                return CountWalksEndedForTests() > before &&
                       g_pTamsel->GetMonitor()->GetWalkingFolderCount() == 0;
            },
            60000);
    }
    void ScanToTheEnd(const std::string& folder, bool full = false) {
        g_pTamsel->SetFolderForScan(folder.c_str());
        ASSERT_NE(g_pTamsel->StartScan(full), 0);
        ASSERT_TRUE(g_pTamsel->WaitForWorker(60000));
    }
    std::string Scratch() { return m_dir.file("scratch.jpg"); }
};

enum class Route { kScan, kCatchUpAtStart, kOverflowWalk };

} // namespace

// The same photos through each kind of walk: a photo the record knows is
// never opened again, and an edit that restores size and last-write time, a
// replacement under the same name and a new photo are all checked again.
TEST_F(KnownRecordTest, KnownPhotosAreNotOpenedAndEveryChangeIsCheckedAgain) {
    for (Route route : {Route::kScan, Route::kCatchUpAtStart, Route::kOverflowWalk}) {
        SCOPED_TRACE(int(route));
        std::string folder = Folder("route" + std::to_string(int(route)));
        const Bytes tagged = GeotaggedPhoto(7);
        const Bytes secure = SecuredBytes(tagged, Scratch()); // the same size: values zeroed in place
        std::map<std::string, std::string> photos;
        for (const char* name : {"kept", "edited", "replaced"}) {
            photos[name] = folder + "\\" + name + ".jpg";
            WriteFile(photos[name], secure);
        }
        WaitUntilSettled();
        OpenCounter opens;
        // Small enough that every notice overflows: each one is a walk.
        SetChangeBufferSizeForTests(route == Route::kOverflowWalk ? 64 : 0);
        CreateCore();
        auto walk = [&] {
            size_t before = CountWalksEndedForTests();
            if (route == Route::kScan) {
                ScanToTheEnd(folder);
            } else if (route == Route::kCatchUpAtStart) {
                DestroyCore();
                before = CountWalksEndedForTests();
                CreateCore();
            } else {
                WriteFile(folder + "\\notice.txt", Bytes(1, uint8_t(before)));
            }
            ASSERT_TRUE(WaitForWalk(before));
        };
        // The first walk checks all once, finds them secure and remembers them.
        if (route == Route::kScan) {
            walk();
        } else {
            size_t before = CountWalksEndedForTests();
            g_pTamsel->AddProtectedFolder(folder.c_str()); // the catch-up of a folder added
            ASSERT_TRUE(WaitForWalk(before));
        }
        EXPECT_EQ(opens.Of(photos["kept"]), 1);
        opens.Clear();
        walk();
        for (const auto& photo : photos)
            EXPECT_EQ(opens.Of(photo.second), 0) << photo.first << " was opened although known";

        // exiftool -P: rewritten, then size and last-write time as before.
        FILETIME written = {};
        HANDLE h = ::CreateFileA(photos["edited"].c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        ::GetFileTime(h, nullptr, nullptr, &written);
        ::CloseHandle(h);
        WriteFile(photos["edited"], tagged);
        h = ::CreateFileA(photos["edited"].c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        ::SetFileTime(h, nullptr, nullptr, &written);
        ::CloseHandle(h);
        ASSERT_TRUE(::DeleteFileA(photos["replaced"].c_str()));
        WriteFile(photos["replaced"], tagged);
        photos["new"] = folder + "\\new.jpg";
        WriteFile(photos["new"], tagged);
        opens.Clear();
        walk();
        const std::string log = WithoutTimes(Log());
        const std::string by = route == Route::kScan ? "scanner" : "monitor";
        for (const char* name : {"edited", "replaced", "new"}) {
            EXPECT_TRUE(WaitFor([&] { return ReadFile(photos[name]) == secure; }, 30000)) << name;
            EXPECT_EQ(
                CountOf(WithoutTimes(Log()), "Found and secured by " + by + " [T]: <" + photos[name] + "?"),
                1u)
                << name << "\n"
                << log;
        }
        EXPECT_EQ(opens.Of(photos["kept"]), 0);
        DestroyCore();
        SetChangeBufferSizeForTests(0);
    }
}

// A catch-up walk and a user's scan of one folder at the same time secure
// each photo once; the record saved afterwards, over one that was garbled,
// knows every photo.
TEST_F(KnownRecordTest, TwoWalksAtOnceSecureEachPhotoOnceAndTheRecordIsRebuilt) {
    std::string folder = Folder("shared");
    const int kPhotos = 60;
    for (int i = 0; i < kPhotos; ++i)
        WriteFile(folder + "\\p" + std::to_string(i) + ".jpg", GeotaggedPhoto(uint32_t(40 + i), i % 2 == 0));
    CreateCore();
    g_pTamsel->AddProtectedFolder(folder.c_str());
    DestroyCore();
    const std::string record = GetKnownPhotosPath().str();
    WriteFile(record, Bytes(300, 0x5A));

    CreateCore(); // the catch-up walk starts
    ScanToTheEnd(folder);
    ASSERT_TRUE(WaitFor([&] { return g_pTamsel->GetMonitor()->GetWalkingFolderCount() == 0; }, 60000));
    const std::string log = WithoutTimes(Log());
    for (int i = 0; i < kPhotos; ++i)
        EXPECT_EQ(CountOf(log, " <" + folder + "\\p" + std::to_string(i) + ".jpg?"), 1u) << i;
    WaitUntilSettled();
    DestroyCore(); // saved at exit, the photos secured by the walks settled

    KnownPhotos saved;
    ASSERT_EQ(saved.Load(record.c_str()), KnownPhotos::LoadResult::kLoaded);
    for (int i = 0; i < kPhotos; ++i) {
        fileos::FileKey key;
        ASSERT_TRUE(fileos::GetFileKey((folder + "\\p" + std::to_string(i) + ".jpg").c_str(), key));
        EXPECT_TRUE(saved.Lookup(key)) << i;
    }
}

// Files whose data is only online are never opened, by a scan or on a
// notice, never counted as secure, and the scan's end entry says how many.
TEST_F(KnownRecordTest, CloudOnlyFilesAreNeverOpened) {
    fileos::CloudOnlyForTests([](const std::string& name) { return name.compare(0, 5, "cloud") == 0; });
    std::string folder = Folder("synced");
    const Bytes tagged = GeotaggedPhoto(3);
    WriteFile(folder + "\\cloud1.jpg", tagged);
    WriteFile(folder + "\\cloud2.jpg", tagged);
    WriteFile(folder + "\\here.jpg", SecurePhoto());
    OpenCounter opens;
    CreateCore();
    ScanToTheEnd(folder, true);
    ScanCounters counters = Counters();
    EXPECT_EQ(counters.nJpegFiles, 1);
    EXPECT_EQ(counters.nSecureFiles, 1);
    EXPECT_EQ(counters.nCloudOnlyFiles, 2);
    EXPECT_NE(
        WithoutTimes(Log()).find("were processed.\n\t2 files are kept only online and were not read.\n"),
        std::string::npos)
        << Log();

    g_pTamsel->AddProtectedFolder(folder.c_str());
    ASSERT_TRUE(WaitFor([&] { return g_pTamsel->GetMonitor()->GetWalkingFolderCount() == 0; }, 60000));
    WriteFile(folder + "\\cloud3.jpg", tagged);
    WriteFile(folder + "\\late.jpg", tagged); // after cloud3: once it is secured, cloud3 was looked at
    ASSERT_TRUE(WaitFor([&] { return CountOf(Log(), "Found and secured by monitor") == 1; }, 30000));
    for (const char* name : {"cloud1.jpg", "cloud2.jpg", "cloud3.jpg"}) {
        EXPECT_EQ(opens.Of(folder + "\\" + name), 0) << name;
        EXPECT_TRUE(ReadFile(folder + "\\" + name) == tagged) << name;
    }
    DestroyCore();
    fileos::CloudOnlyForTests(nullptr);
}

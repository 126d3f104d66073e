// The scan job on real folder trees: what it counts, logs and rewrites,
// what it posts to real windows, how it stops, and trees that try to trap it.
#include "core/CWatch.h"
#include "core/CoreTestHooks.h"
#include "core/PhotoSecuring.h"
#include "engine/FileOsFaults.h"
#include "support/LeftoverCases.h"

#include "support/CoreFixture.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

using namespace core_test;

namespace {

class ScanTest : public CoreTest {
protected:
    void SetUp() override { CreateCore(); }

    // Runs one scan of folder to its end, with window as the receiver of
    // everything the scan posts.
    void Scan(const std::string& folder, ReceiverWindow& window, bool waitForFinish = true) {
        window.m_pTamsel = g_pTamsel;
        g_pTamsel->SetFolderForScan(folder.c_str());
        g_pTamsel->SetFinishWindow(window.Get());
        g_pTamsel->SetProgressWindow(window.Get());
        ASSERT_NE(g_pTamsel->StartScan(), 0);
        ASSERT_TRUE(g_pTamsel->WaitForWorker(120000)) << "the scan never ended";
        if (waitForFinish) {
            EXPECT_TRUE(WaitFor([&] { return window.m_nFinish.load() == 1; }, 10000));
        }
        EXPECT_FALSE(g_pTamsel->IsScanning());
    }
    std::string Put(const std::string& path, const Bytes& bytes) {
        WriteFile(path, bytes);
        return path;
    }
    std::string Scratch() { return m_dir.file("scratch.jpg"); }
};

// Stops the running scan at the first photo it secures.
class StopAtFirstSecured : public event_client {
public:
    void OnEvent(UINT nId, int, int, int) override {
        if (nId == ID_SET_INWORK_MODE && g_pTamsel)
            g_pTamsel->StopScan();
    }
};

} // namespace

TEST_F(ScanTest, TreeIsCountedLoggedAndSecuredByTheRules) {
    std::string root = Folder("tree");
    Folder("tree\\.thumbnails");
    Folder("tree\\sub\\deeper");
    std::string greek =
        Folder("tree\\\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1 \xE5\x8C\x97\xE4\xBA\xAC");
    // Paths are formed from the folder as given, trailing backslash and all.
    std::string given = root + "\\";
    auto at = [&](const std::string& relative) { return given + "\\" + relative; };

    struct Expected {
        std::string path;
        Bytes original;
        bool secured;
    };
    std::vector<Expected> photos = {
        {at("a.JPG"), GeotaggedPhoto(1), true},
        {at("b.Jpeg"), GeotaggedPhoto(2, true), true},
        {at("c.jpg.png"), GeotaggedPhoto(3), true},
        {at(".hidden.jpg"), GeotaggedPhoto(4), true},
        {at("sub\\deeper\\g.jpg"), GeotaggedPhoto(5, true), true},
        {given + "\\" + greek.substr(root.size() + 1) + "\\h.jpg", GeotaggedPhoto(6), true},
        {at("d.jpg.bak"), GeotaggedPhoto(7), false},
        {at("e.gif.jpgx"), GeotaggedPhoto(8), false},
        {at(".thumbnails\\t.jpg"), GeotaggedPhoto(9), false},
        {at("secure.jpg"), SecurePhoto(), false},
        {at("plain.jpg"), PhotoWithoutGps(), false},
        {at("notjpeg.jpg"), Bytes{'h', 'e', 'l', 'l', 'o'}, false},
        {at("f.png"), Bytes{0x89, 'P', 'N', 'G'}, false}, // a photo by its name, cut short: read, left
    };
    for (const Expected& p : photos)
        Put(p.path, p.original);

    ReceiverWindow window;
    Scan(given, window);

    EXPECT_EQ(Counters().nFilesFound, 12); // all but the one in .thumbnails
    EXPECT_EQ(Counters().nJpegFiles, 10);
    EXPECT_EQ(Counters().nSecureFiles, 1);
    EXPECT_EQ(Counters().nSecuredFiles, 6);
    EXPECT_EQ(Counters().nProgressRange, 1000);
    EXPECT_GE(window.m_nProgress.load(), 1) << "every listing's end posts progress";

    std::string log = WithoutTimes(Log());
    EXPECT_EQ(log.rfind("Scanning started at [T]:\n\t" + given + "\n", 0), 0u) << log;
    const std::string finish =
        "Scanner finished [T]:\n\t6 files with geotags were secured. 10 jpeg files of 12 found files were "
        "processed.\n";
    ASSERT_GE(log.size(), finish.size());
    EXPECT_EQ(log.substr(log.size() - finish.size()), finish) << log;
    EXPECT_EQ(CountOf(log, "Found and secured by scanner"), 6u) << log;

    for (const Expected& p : photos) {
        if (!p.secured) {
            EXPECT_TRUE(ReadFile(p.path) == p.original) << p.path << " must stay as it was";
            continue;
        }
        std::string removed;
        Bytes secured = SecuredBytes(p.original, Scratch(), &removed);
        EXPECT_TRUE(ReadFile(p.path) == secured) << p.path;
        EXPECT_EQ(CheckGpsTags(p.path.c_str()), 8) << p.path;
        EXPECT_EQ(CountOf(log, "Found and secured by scanner [T]: <" + p.path + removed + ">\n"), 1u)
            << p.path << "\n"
            << log;
    }
}

// A photo that needed securing and was not is never passed over in silence:
// each gets an entry with the reason, and the scan counts them.
TEST_F(ScanTest, PhotosThatCannotBeSecuredAreLoggedWithTheirReasonAndCounted) {
    // Sharing modes bind every user (the read-only attribute does not bind
    // root under Wine): a viewer that shares no writing, a program that
    // shares nothing, a writer that shares reading only.
    std::string root = Folder("stuck");
    struct Held {
        std::string name;
        DWORD access, share;
        std::string reason;
    };
    const std::vector<Held> held = {
        {"viewer.jpg", GENERIC_READ, FILE_SHARE_READ,
         "the photo is read-only or another program holds it; it is unchanged"},
        {"locked.jpg", GENERIC_READ, 0, "the photo cannot be opened: another program holds it"},
        {"written.jpg", GENERIC_WRITE, FILE_SHARE_READ,
         "the photo is read-only or another program holds it; it is unchanged"},
    };
    std::vector<HANDLE> handles;
    for (const Held& h : held) {
        std::string path = Put(root + "\\" + h.name, GeotaggedPhoto(41));
        handles.push_back(::CreateFileA(path.c_str(), h.access, h.share, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_NE(handles.back(), INVALID_HANDLE_VALUE) << h.name;
    }
    ReceiverWindow window;
    Scan(root, window);
    for (HANDLE h : handles)
        ::CloseHandle(h);

    EXPECT_EQ(Counters().nSecuredFiles, 0);
    EXPECT_EQ(Counters().nNotSecuredFiles, 3);
    std::string log = WithoutTimes(Log());
    for (const Held& h : held) {
        std::string path = root + "\\" + h.name;
        EXPECT_EQ(CountOf(log, "Found but not secured by scanner [T]: <" + path + "> " + h.reason + "\n"), 1u)
            << path << "\n"
            << log;
        EXPECT_EQ(CheckGpsTags(path.c_str()), 0) << path;
    }
    EXPECT_NE(log.find("\t3 files could not be secured. 0 files still hold a location Norvane cannot clear.\n"),
              std::string::npos)
        << log;

    // A disk that fills: each photo stays as it was, and the log says why.
    struct Guard {
        ~Guard() { fileos::WriteFaultForTests(-1); }
    } guard;
    fileos::WriteFaultForTests(0);
    Scan(root, window, false);
    fileos::WriteFaultForTests(-1);
    log = WithoutTimes(Log());
    EXPECT_EQ(CountOf(log, "> the photo could not be written (is the disk full?); it is unchanged\n"), 3u) << log;
    EXPECT_EQ(Counters().nNotSecuredFiles, 3);
    EXPECT_EQ(CheckGpsTags((root + "\\viewer.jpg").c_str()), 0);
}

// A photo that still holds a location Norvane cannot clear (here a FLIR GPS
// record of a layout it does not know) is never counted or logged as
// secure: alone it is left as it is, beside EXIF positions those are
// cleared; each gets an entry that says what was left.
TEST_F(ScanTest, PhotosThatKeepALocationAreLoggedAndCountedNeverSecure) {
    std::vector<uint8_t> flir = {'F', 'L', 'I', 'R', 0, 1, 0, 0};
    std::vector<uint8_t> fff(0xC8, 0);
    auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            fff[at + i] = uint8_t(v >> (8 * i));
    };
    std::memcpy(fff.data(), "FFF", 3);
    put(0x14, 300, 4); // no version this layout belongs to
    put(0x18, 0x40, 4);
    put(0x1C, 1, 4);
    put(0x40, 0x2B, 2); // the GPS record
    put(0x4C, 0x60, 4);
    put(0x50, 0x68, 4);
    fff[0x70] = 0x40, fff[0x78] = 0x41;
    flir.insert(flir.end(), fff.begin(), fff.end());
    testing_support::TiffBuilder t(false);
    Bytes gps = testing_support::ExifWithGps(false, {t.Rationals(2, {{35, 1}, {40, 1}, {15, 1}})});

    std::string root = Folder("kept");
    std::string alone = Put(root + "\\thermal.jpg", testing_support::JpegBuilder()
                                                          .Jfif()
                                                          .Segment(0xE1, flir)
                                                          .Tables()
                                                          .Scan(500)
                                                          .End()
                                                          .bytes);
    std::string beside = Put(root + "\\thermal-gps.jpg", testing_support::JpegBuilder()
                                                               .Jfif()
                                                               .Exif(gps)
                                                               .Segment(0xE1, flir)
                                                               .Tables()
                                                               .Scan(500)
                                                               .End()
                                                               .bytes);
    ReceiverWindow window;
    Scan(root, window);

    EXPECT_EQ(Counters().nSecuredFiles, 0);
    EXPECT_EQ(Counters().nSecureFiles, 0);
    EXPECT_EQ(Counters().nLocationLeftFiles, 2);
    std::string log = WithoutTimes(Log());
    EXPECT_EQ(CountOf(log, "Found, location left by scanner [T]: <" + alone + "?0;> not cleared: FLIR GPS record\n"),
              1u)
        << log;
    EXPECT_EQ(CountOf(log, "Found, location left by scanner [T]: <" + beside +
                               "?1;2(0,0,0);> not cleared: FLIR GPS record\n"),
              1u)
        << log;
    EXPECT_NE(log.find("\t0 files could not be secured. 2 files still hold a location Norvane cannot clear.\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(CheckGpsTags(alone.c_str()), 9);
    EXPECT_EQ(CheckGpsTags(beside.c_str()), 9);
}

TEST_F(ScanTest, AnEmptyFolderStillLogsAndFinishes) {
    std::string root = Folder("empty");
    ReceiverWindow window;
    Scan(root, window);
    EXPECT_EQ(WithoutTimes(Log()), "Scanning started at [T]:\n\t" + root +
                                       "\nScanner finished [T]:\n\t0 files with geotags were secured. 0 jpeg "
                                       "files of 0 found files were processed.\n");
}

TEST_F(ScanTest, ProgressNeverCrowdsOutTheFinish) {
    // A window too busy to take messages while 1,500 files go by, progress
    // due after each of them: one progress message waits, and the finish.
    std::string root = Folder("many");
    for (int i = 0; i < 1500; ++i)
        Put(root + "\\note-" + std::to_string(i) + ".txt", Bytes{'x'});
    for (int i = 0; i < 12; ++i)
        Put(root + "\\secure-" + std::to_string(i) + ".jpg", SecurePhoto());

    ReceiverWindow held(true);
    Scan(root, held, false);
    held.Release();
    ASSERT_TRUE(WaitFor([&] { return held.m_nFinishWaiting.load() >= 0; }));
    EXPECT_EQ(held.m_nProgressWaiting.load(), 1);
    EXPECT_EQ(held.m_nFinishWaiting.load(), 1);
    EXPECT_TRUE(WaitFor([&] { return held.m_nFinish.load() == 1; }));
    EXPECT_EQ(Counters().nFilesFound, 1512);
    EXPECT_EQ(Counters().nSecureFiles, 12);

    // Taken at once, progress keeps coming: the receiver reads the counters.
    ReceiverWindow quick;
    Scan(root, quick);
    EXPECT_GT(quick.m_nProgress.load(), 1);
}

TEST_F(ScanTest, ProgressStartsAtItsThresholds) {
    // 150 files that are no photos: nothing is posted before the 100th file
    // (the listing ends after the last). Which later posts go out depends on
    // how fast the window takes them; the window reads the counters anyway.
    std::string root = Folder("notes");
    for (int i = 0; i < 150; ++i)
        Put(root + "\\note-" + std::to_string(i) + ".txt", Bytes{'x'});
    ReceiverWindow window;
    Scan(root, window);
    EXPECT_GE(window.m_nFirstFilesFound.load(), 100);
    EXPECT_GE(window.m_nProgress.load(), 1);
}

TEST_F(ScanTest, StopInADeepFolderEndsEveryLevel) {
    std::string root = Folder("deep");
    std::string level = root;
    int files = 0;
    for (int depth = 0; depth < 4; ++depth) {
        Put(level + "\\note.txt", Bytes{'n'});
        Put(level + "\\plain.jpg", PhotoWithoutGps());
        files += 2;
        level += "\\level" + std::to_string(depth);
        Folder(level.substr(m_dir.path().string().size() + 1));
    }
    // The only photos with a position lie at the bottom: the first of them
    // stops the scan.
    Bytes p = GeotaggedPhoto(1), q = GeotaggedPhoto(2);
    Put(level + "\\p.jpg", p);
    Put(level + "\\q.jpg", q);
    files += 2;

    StopAtFirstSecured stopper;
    ReceiverWindow window;
    Scan(root, window);
    stopper.Unregister();

    EXPECT_EQ(Counters().nSecuredFiles, 1);
    EXPECT_LT(Counters().nFilesFound, files) << "an entry after the stop was handled";
    bool pSecured = ReadFile(level + "\\p.jpg") != p, qSecured = ReadFile(level + "\\q.jpg") != q;
    EXPECT_NE(pSecured, qSecured) << "exactly one of the two photos is secured";
    char finish[160];
    std::snprintf(finish, sizeof finish,
                  "Scanner finished [T]:\n\t1 files with geotags were secured. %ld jpeg files of %ld found "
                  "files were processed.\n",
                  long(Counters().nJpegFiles), long(Counters().nFilesFound));
    std::string log = WithoutTimes(Log());
    EXPECT_NE(log.find(finish), std::string::npos) << log;
}

TEST_F(ScanTest, BackupsHoldThePhotosAsTheyWere) {
    std::string root = Folder("backed");
    std::set<Bytes> originals;
    for (int i = 0; i < 3; ++i) {
        Bytes photo = GeotaggedPhoto(uint32_t(20 + i));
        originals.insert(photo);
        Put(root + "\\p" + std::to_string(i) + ".jpg", photo);
    }
    Put(root + "\\secure.jpg", SecurePhoto());

    std::set<std::string> before = BackupNames();
    g_bBackupBeforeSecuring = true;
    ReceiverWindow window;
    Scan(root, window);
    g_bBackupBeforeSecuring = false;

    EXPECT_EQ(Counters().nSecuredFiles, 3);
    std::set<Bytes> copies;
    for (const std::string& name : BackupNames()) {
        if (before.count(name))
            continue;
        std::string path = std::string("C:\\T\\GEO\\") + name;
        EXPECT_EQ(name.substr(name.size() - 8), ".tmp.jpg");
        copies.insert(ReadFile(path));
        ::DeleteFileA(path.c_str());
    }
    EXPECT_TRUE(copies == originals) << copies.size() << " backups, 3 expected, equal to the originals";
}

// A name of more bytes in UTF-8 than a narrow listing holds, in the middle
// of its folder's listing: the photos listed before and after it are all
// secured. Made by a script beforehand (make-long-name-tree).
TEST_F(ScanTest, ANameLongerThanANarrowListingHoldsEndsNothing) {
    const char* tree = std::getenv("NORVANE_LONG_NAME_TREE");
    if (!tree)
        GTEST_SKIP() << "NORVANE_LONG_NAME_TREE is not set";
    std::string root = tree;
    // The system lists in an order of its own (Wine and NTFS by name): photos
    // are added until the long name ("m...") has some before it and some
    // after it.
    auto listedAround = [&] {
        std::vector<size_t> lengths;
        WIN32_FIND_DATAW entry;
        std::wstring pattern(root.begin(), root.end()); // ASCII
        HANDLE find = ::FindFirstFileW((pattern + L"\\*").c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE)
            return false;
        do
            if (entry.cFileName[0] != L'.')
                lengths.push_back(wcslen(entry.cFileName));
        while (::FindNextFileW(find, &entry));
        ::FindClose(find);
        size_t at = std::find(lengths.begin(), lengths.end(), size_t(204)) - lengths.begin();
        return at > 0 && at + 1 < lengths.size();
    };
    std::vector<std::string> photos;
    for (int i = 0; i < 40 && (photos.size() < 4 || !listedAround()); ++i)
        photos.push_back(Put(root + (i % 2 ? "\\z" : "\\a") + std::to_string(i) + ".jpg",
                             GeotaggedPhoto(uint32_t(41 + i))));
    ASSERT_TRUE(listedAround()) << "the long name is missing or stayed at an end of the listing";

    ReceiverWindow window;
    Scan(root, window);
    EXPECT_EQ(Counters().nFilesFound, LONG(photos.size() + 1));
    EXPECT_EQ(Counters().nSecuredFiles, LONG(photos.size()));
    for (const std::string& photo : photos)
        EXPECT_EQ(CheckGpsTags(photo.c_str()), 8) << photo;
    EXPECT_EQ(CountOf(Log(), "Found and secured by scanner ["), photos.size()) << Log();
}

namespace {
// The backup folder is fixed: one that was there is moved aside for the
// test and put back after it.
class BackupFolderAside {
public:
    BackupFolderAside() {
        m_bMoved = ::MoveFileA(kBackupFolder, kAside) != 0;
        m_bReady = ::GetFileAttributesA(kBackupFolder) == INVALID_FILE_ATTRIBUTES;
    }
    ~BackupFolderAside() {
        for (const std::string& name : BackupNames())
            ::DeleteFileA((std::string(kBackupFolder) + "\\" + name).c_str());
        ::RemoveDirectoryA(kBackupFolder);
        ::DeleteFileA(kBackupFolder);
        if (m_bMoved)
            ::MoveFileA(kAside, kBackupFolder);
    }
    bool m_bReady = false;

private:
    static constexpr const char* kAside = "C:\\T\\GEO.kept-by-test";
    bool m_bMoved = false;
};

std::string CurrentUserSid() {
    HANDLE token = nullptr;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
    char buffer[256];
    DWORD size = 0;
    char* text = nullptr;
    std::string sid;
    if (::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
        ::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
        sid = text;
        ::LocalFree(text);
    }
    ::CloseHandle(token);
    return sid;
}

// The access list of path in SDDL form ("D:P(A;OICI;FA;;;S-1-...)").
std::string AccessList(const char* path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoA(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                nullptr, &descriptor) != ERROR_SUCCESS)
        return "(none)";
    char* text = nullptr;
    std::string sddl = "(unreadable)";
    if (::ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                               DACL_SECURITY_INFORMATION, &text, nullptr)) {
        sddl = text;
        ::LocalFree(text);
    }
    ::LocalFree(descriptor);
    return sddl;
}
} // namespace

// Backups are asked for to keep the originals: a photo whose copy cannot
// be made is not rewritten, and the folder the program makes for the copies
// (which carry their location) is the user's alone.
TEST_F(ScanTest, APhotoWhoseBackupFailsStaysAsItWasAndTheBackupFolderIsTheUsers) {
    BackupFolderAside aside;
    ASSERT_TRUE(aside.m_bReady);
    std::string root = Folder("kept");
    Bytes photo = GeotaggedPhoto(31);
    std::string path = Put(root + "\\a.jpg", photo);
    // A file where the backup folder belongs: no copy can be made.
    WriteFile(kBackupFolder, Bytes{'x'});
    g_bBackupBeforeSecuring = true;
    {
        ReceiverWindow window;
        Scan(root, window);
    }
    EXPECT_TRUE(ReadFile(path) == photo) << "secured without its backup";
    EXPECT_EQ(Counters().nNotSecuredFiles, 1);
    EXPECT_EQ(CountOf(WithoutTimes(Log()), "Found but not secured by scanner [T]: <" + path +
                                               "> its backup copy could not be made; it is unchanged\n"),
              1u)
        << Log();

    ::DeleteFileA(kBackupFolder);
    {
        ReceiverWindow window;
        Scan(root, window);
    }
    g_bBackupBeforeSecuring = false;
    EXPECT_EQ(CheckGpsTags(path.c_str()), 8);
    ASSERT_EQ(BackupNames().size(), 1u);
    std::string sid = CurrentUserSid();
    ASSERT_FALSE(sid.empty());
    // Windows keeps the one entry as given; Wine keeps the access as the
    // folder's Unix mode and shows the system account beside the owner.
    auto others = [&](std::string list) {
        for (const std::string& entry : {"(A;OICI;FA;;;" + sid + ")", std::string("(A;OICI;FA;;;SY)")})
            for (size_t at; (at = list.find(entry)) != std::string::npos;)
                list.erase(at, entry.size());
        return list;
    };
    std::string list = AccessList(kBackupFolder);
    EXPECT_NE(list.find(sid), std::string::npos) << list;
    EXPECT_TRUE(others(list) == "D:P" || others(list) == "D:") << list;
    std::string usual = Folder("usual");
    EXPECT_NE(others(AccessList(usual.c_str())), "D:") << "a folder made as usual is open to others too: "
                                                        << AccessList(usual.c_str());
}

TEST_F(ScanTest, CoreDestroyedDuringAScanLeavesEachPhotoWholeOrUntouched) {
    // Photos whose securing writes them whole, through a file beside them.
    std::string root = Folder("big");
    const int kPhotos = 30;
    std::vector<Bytes> originals;
    for (int i = 0; i < kPhotos; ++i) {
        originals.push_back(SplitExifPhoto(uint32_t(i + 1), 3000000));
        Put(root + "\\big" + std::to_string(i) + ".jpg", originals.back());
    }
    ReceiverWindow window;
    g_pTamsel->SetFolderForScan(root.c_str());
    g_pTamsel->SetFinishWindow(window.Get());
    ASSERT_NE(g_pTamsel->StartScan(), 0);
    ASSERT_TRUE(WaitFor([&] { return CountOf(Log(), "Found and secured by scanner [") > 0; }));
    DestroyCore();

    int secured = 0;
    for (int i = 0; i < kPhotos; ++i) {
        std::string path = root + "\\big" + std::to_string(i) + ".jpg";
        Bytes now = ReadFile(path);
        if (now == originals[size_t(i)])
            continue;
        ++secured;
        EXPECT_TRUE(now == SecuredBytes(originals[size_t(i)], Scratch())) << path << " is torn";
    }
    WIN32_FIND_DATAA entry;
    HANDLE find = ::FindFirstFileA((root + "\\*.norvane-tmp").c_str(), &entry);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "left behind: " << entry.cFileName;
    if (find != INVALID_HANDLE_VALUE)
        ::FindClose(find);
    EXPECT_LT(secured, kPhotos) << "the scan was not stopped";
    std::string log = WithoutTimes(Log());
    EXPECT_EQ(CountOf(log, "Found and secured by scanner [T]"), size_t(secured)) << log;
    char finish[96];
    std::snprintf(finish, sizeof finish, "Scanner finished [T]:\n\t%d files with geotags were secured.",
                  secured);
    EXPECT_NE(log.find(finish), std::string::npos) << log;
    EXPECT_TRUE(WaitFor([&] { return window.m_nFinish.load() == 1; }));
}

TEST_F(ScanTest, LinksBackUpTheTreeAndPipesDoNotTrapTheWalk) {
    // Made by a script beforehand (Wine cannot make Unix links): two photos
    // with a position, links to the tree's own folders, a pipe named x.jpg.
    const char* tree = std::getenv("NORVANE_LINK_TREE");
    if (!tree)
        GTEST_SKIP() << "NORVANE_LINK_TREE is not set";
    ReceiverWindow window;
    Scan(tree, window);
    EXPECT_EQ(Counters().nSecuredFiles, 2);
    EXPECT_EQ(Counters().nFilesFound, 3); // the two photos and the pipe
    EXPECT_EQ(CheckGpsTags((std::string(tree) + "\\photo.jpg").c_str()), 8);
    EXPECT_EQ(CheckGpsTags((std::string(tree) + "\\sub\\p.jpg").c_str()), 8);
}

TEST_F(ScanTest, ScannerAndMonitorSecureEachPhotoOnce) {
    std::string root = Folder("shared");
    std::string source = Folder("source");
    const int kPhotos = 300;
    std::vector<Bytes> originals;
    for (int i = 0; i < kPhotos; ++i) {
        originals.push_back(GeotaggedPhoto(uint32_t(100 + i), i % 2 == 1));
        Put(source + "\\p" + std::to_string(i) + ".jpg", originals.back());
    }
    g_pTamsel->AddProtectedFolder(root.c_str());
    // The monitor takes the photos as they arrive, the scanner walks the
    // same folder meanwhile.
    for (int i = 0; i < kPhotos / 2; ++i) {
        std::string name = "\\p" + std::to_string(i) + ".jpg";
        ASSERT_TRUE(::CopyFileA((source + name).c_str(), (root + name).c_str(), FALSE));
    }
    ReceiverWindow window;
    window.m_pTamsel = g_pTamsel;
    g_pTamsel->SetFolderForScan(root.c_str());
    g_pTamsel->SetFinishWindow(window.Get());
    ASSERT_NE(g_pTamsel->StartScan(), 0);
    for (int i = kPhotos / 2; i < kPhotos; ++i) {
        std::string name = "\\p" + std::to_string(i) + ".jpg";
        ASSERT_TRUE(::CopyFileA((source + name).c_str(), (root + name).c_str(), FALSE));
    }
    ASSERT_TRUE(g_pTamsel->WaitForWorker(120000));
    std::string log;
    ASSERT_TRUE(WaitFor(
        [&] {
            log = WithoutTimes(Log());
            return CountOf(log, "Found and secured by") >= size_t(kPhotos);
        },
        120000))
        << CountOf(log, "Found and secured by") << " photos secured";

    size_t byScanner = CountOf(log, "Found and secured by scanner");
    EXPECT_EQ(byScanner, size_t(Counters().nSecuredFiles));
    for (int i = 0; i < kPhotos; ++i) {
        std::string path = root + "\\p" + std::to_string(i) + ".jpg";
        EXPECT_EQ(CountOf(log, " <" + path + "?"), 1u) << path << " secured more than once or never";
        EXPECT_TRUE(ReadFile(path) == SecuredBytes(originals[size_t(i)], Scratch())) << path;
    }
    EXPECT_EQ(CountPhotoClaimsForTests(), 0u);
}

TEST_F(ScanTest, LeftoversOfAnEndedRewriteAreTakenUpByTheWalk) {
    std::string root = Folder("leftovers");
    const Bytes photo = GeotaggedPhoto(3);
    const Bytes secured = SecuredBytes(photo, Scratch());
    using testing_support::LeftoverCase;
    const std::vector<LeftoverCase> cases = testing_support::LeftoverCases(secured);
    for (const LeftoverCase& c : cases) {
        if (c.photoThere)
            Put(root + "\\" + c.name, photo);
        Put(root + "\\" + c.name + ".norvane-tmp", c.leftover);
        ::SetFileAttributesA((root + "\\" + c.name + ".norvane-tmp").c_str(), FILE_ATTRIBUTE_HIDDEN);
    }
    ReceiverWindow window;
    Scan(root, window);
    EXPECT_EQ(Counters().nJpegFiles, 3) << "the restored photo and the two that were there";
    EXPECT_EQ(Counters().nSecureFiles, 1);
    EXPECT_EQ(Counters().nSecuredFiles, 2);
    for (const LeftoverCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = root + "\\" + c.name, leftover = path + ".norvane-tmp";
        EXPECT_EQ(::GetFileAttributesA(leftover.c_str()) != INVALID_FILE_ATTRIBUTES, c.fate == LeftoverCase::kKept);
        if (c.fate == LeftoverCase::kKept) {
            EXPECT_EQ(::GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
            EXPECT_TRUE(ReadFile(leftover) == c.leftover);
            continue;
        }
        EXPECT_TRUE(ReadFile(path) == secured);
        EXPECT_FALSE(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    }
}

TEST_F(ScanTest, APhotoAnotherProgramWritesMeanwhileIsTakenAgainAsItWroteIt) {
    std::string root = Folder("changing");
    std::string path = Put(root + "\\p.jpg", GeotaggedPhoto(1));
    const Bytes theirs = GeotaggedPhoto(2, true); // another save of the photo, with its position
    const Bytes theirsSecured = SecuredBytes(theirs, Scratch());
    int played = 0;
    fileos::PlayWriterForTests([&](fileos::WriterMoment moment, const char* at) {
        if (moment != fileos::WriterMoment::kBeforeTaking || path != at || played++)
            return;
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f) {
            std::fwrite(theirs.data(), 1, theirs.size(), f);
            std::fclose(f);
        }
    });
    ReceiverWindow window;
    Scan(root, window);
    fileos::PlayWriterForTests(nullptr);
    EXPECT_EQ(played, 2) << "the photo was not taken again after the other program's save";
    EXPECT_TRUE(ReadFile(path) == theirsSecured);
    EXPECT_EQ(Counters().nSecuredFiles, 1);
    EXPECT_EQ(CountOf(WithoutTimes(Log()), "Found and secured by scanner [T]: <" + path + "?"), 1u);
}

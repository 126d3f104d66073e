// norvane-bench: times the core object's scan job and folder monitor inside
// a Windows process, for tools/bench. Figures only; nothing here passes or
// fails on a time.
//
//   norvane-bench scan FOLDER
//       A full scan of FOLDER by the scan job: the time from Start to the
//       worker's end, measured here, and the job's counters.
//   norvane-bench latency FOLDER SOURCE N
//       Protects FOLDER (empty or missing), then copies N photos from SOURCE
//       (its *.jpg files, in name order, taken again from the first when N is
//       larger) into it one at a time. For each, the time from the moment the
//       copy returned (the file is closed) to the moment the monitor's
//       "Found and secured by monitor" entry for it is in the log; the next
//       copy starts only after that, or after a 10 s time-out.
//   norvane-bench return FOLDER SOURCE N
//       Protects FOLDER (empty or missing), moves it away and removes it,
//       makes it again and copies N photos of SOURCE into it: the time from
//       its return to the monitor's watching it again, and to the last photo
//       being secured.
//   norvane-bench parts FOLDER
//       Where the scan's time goes: the steps the scan takes for each file,
//       each timed on its own over the whole tree (nothing is written): the
//       walk alone, the attribute look, the claim of the photo, the check
//       that reads the photo.
//   norvane-bench idle
//       Starts and ends: what starting a Windows program costs (under Wine).
//   norvane-bench library FOLDER NEW SAMPLE
//       A large library in FOLDER, and what the record of photos known to
//       need nothing saves there. In order, each timed here: the first scan
//       (it secures the photos with a position); a second scan of the
//       unchanged library; FOLDER protected (its monitor's first walk); the
//       core ended, NEW's photos copied into ten folders of the library, and
//       a new core made as a start makes it, timed until its monitor's
//       walk has ended and until each new photo has its "Found and secured
//       by monitor" entry; the record (entries, bytes on disk and in
//       memory); a full scan, which reads every photo. Last, the core ended
//       again, the program itself (NORVANE_APP_EXE) is started with FOLDER
//       protected, timed until its main window answers, and its slowest
//       answer over the 5 s that follow. Copies for an outside check go to
//       SAMPLE: 200 photos of the library after the first scan, and the new
//       photos after the walk.
//
// The core keeps its settings and log in the data folder, which comes from
// the user's "Local Settings" shell folder. So that a run never touches a
// user's settings or log, that value points at a new folder of this run's own
// (under the temporary folder, removed at the end) while the core lives,
// and is put back afterwards, as is the autostart value the core writes.
//
// Each command prints one line of name=value pairs for the script to read.

#include "core/Autostart.h"
#include "core/CTamsel.h"
#include "core/CWatch.h"
#include "core/FolderWalk.h"
#include "core/Paths.h"
#include "core/PhotoSecuring.h"
#include "core/SingleInstance.h"
#include "engine/CheckGpsTags.h"
#include "engine/PhotoName.h"
#include "engine/KnownPhotos.h"
#include "support/KeptRegistryValue.h"
#include "support/ProgramProcess.h"

#include <windows.h>

#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using testing_support::KeptRegistryValue;

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                ::DeleteFileA(path.c_str());
        } while (::FindNextFileA(find, &found));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(folder.c_str());
}

// The core (g_pTamsel) over a data folder of this run's own. Members are
// destroyed in reverse: the core first (its monitors and scan stopped, its
// settings saved), then the registry values are put back and the folder goes.
class BenchCore {
public:
    BenchCore()
        : m_localSettings(HKEY_CURRENT_USER, ShellFolderKey(), "Local Settings"),
          m_autostart(HKEY_CURRENT_USER, kRunKey, kAutostartValueName) {
        char temp[MAX_PATH + 1] = {};
        DWORD length = ::GetTempPathA(sizeof temp, temp);
        if (length == 0 || length > MAX_PATH)
            return; // not ready: no engine is made
        std::string base(temp, length);
        while (!base.empty() && base.back() == '\\')
            base.pop_back();
        char name[64];
        std::snprintf(name, sizeof name, "\\norvane-bench-%lu", ::GetCurrentProcessId());
        m_base = base + name;
        RemoveTree(m_base);
        m_ready = CreateDirectories(m_base.c_str()) && m_localSettings.Set(m_base, REG_EXPAND_SZ) &&
                  std::string(GetDataFolder()) == m_base + "\\Norvane";
        if (m_ready)
            g_pTamsel = new CTamsel;
    }
    BenchCore(const BenchCore&) = delete;
    BenchCore& operator=(const BenchCore&) = delete;
    ~BenchCore() {
        delete g_pTamsel;
        g_pTamsel = nullptr;
        m_cleanup.base = m_base;
    }

    bool Ready() const { return m_ready && g_pTamsel; }
    std::string LogPath() const { return m_base + "\\Norvane\\norvane.log"; }

    // The core ended as the program's end ends it, and made again as a
    // start makes it, over the same data folder.
    void EndCore() {
        delete g_pTamsel;
        g_pTamsel = nullptr;
    }
    void StartCore() {
        if (m_ready && !g_pTamsel)
            g_pTamsel = new CTamsel;
    }

private:
    static const char* ShellFolderKey() {
        return "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    }
    // Declared first, so destroyed last: after the values are put back.
    struct Cleanup {
        std::string base;
        ~Cleanup() {
            if (!base.empty())
                RemoveTree(base);
        }
    } m_cleanup;
    KeptRegistryValue m_localSettings;
    KeptRegistryValue m_autostart;
    std::string m_base;
    bool m_ready = false;
};

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t;
}

bool IsFolder(const std::string& path) {
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Names of the entries of folder matching pattern, sorted; "." and ".." left out.
std::vector<std::string> List(const std::string& folder, const char* pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (std::strcmp(found.cFileName, ".") && std::strcmp(found.cFileName, ".."))
            names.push_back(found.cFileName);
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

int Scan(const char* folder) {
    BenchCore bench;
    if (!bench.Ready()) {
        std::fprintf(stderr, "norvane-bench: could not redirect the data folder\n");
        return 1;
    }
    g_pTamsel->SetFolderForScan(folder);
    if (g_pTamsel->GetFolderForScan().IsEmpty()) {
        std::fprintf(stderr, "norvane-bench: no folder %s\n", folder);
        return 2;
    }
    LARGE_INTEGER start = Now();
    if (!g_pTamsel->StartScan()) {
        std::fprintf(stderr, "norvane-bench: the scan did not start\n");
        return 1;
    }
    g_pTamsel->WaitForWorker(INFINITE);
    LARGE_INTEGER end = Now();
    const ScanCounters counters = g_pTamsel->GetScanCounters();
    std::printf("scan_seconds=%.6f files=%ld jpeg=%ld secure=%ld secured=%ld\n", Seconds(start, end),
                long(counters.nFilesFound), long(counters.nJpegFiles), long(counters.nSecureFiles),
                long(counters.nSecuredFiles));
    return 0;
}

// The walk the scan makes, keeping the photos' paths.
class PhotoList : public CFolderWalk {
public:
    std::vector<std::string> m_paths;

protected:
    void OnFile(const CString& path, const char* name, const fileos::FolderEntry&,
                const fileos::FileKey&) override {
        if (IsPhotoName(name))
            m_paths.push_back(path.str());
    }
};

int Parts(const char* folder) {
    LARGE_INTEGER start = Now();
    PhotoList walk;
    walk.Walk(folder);
    LARGE_INTEGER walked = Now();
    const std::vector<std::string>& paths = walk.m_paths;
    if (paths.empty()) {
        std::fprintf(stderr, "norvane-bench: no photos in %s\n", folder);
        return 2;
    }
    int regular = 0, checked = 0;
    for (const std::string& path : paths)
        regular += IsRegularFile(path.c_str());
    LARGE_INTEGER attributes = Now();
    for (const std::string& path : paths)
        CPhotoClaim claim(path.c_str());
    LARGE_INTEGER claims = Now();
    for (const std::string& path : paths)
        checked += CheckGpsTags(path.c_str()) != 4;
    LARGE_INTEGER checks = Now();
    std::printf("photos=%zu walk_seconds=%.6f attributes_seconds=%.6f claim_seconds=%.6f check_seconds=%.6f "
                "regular=%d opened=%d\n",
                paths.size(), Seconds(start, walked), Seconds(walked, attributes),
                Seconds(attributes, claims), Seconds(claims, checks), regular, checked);
    return 0;
}

// Reads what was appended to the log since the last call.
class LogTail {
public:
    explicit LogTail(const std::string& path) : m_path(path) {}
    ~LogTail() {
        if (m_file != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_file);
    }
    LogTail(const LogTail&) = delete;
    LogTail& operator=(const LogTail&) = delete;

    const std::string& Text() {
        if (m_file == INVALID_HANDLE_VALUE) {
            // The core opens and closes the log for each entry; sharing
            // everything never stands in its way.
            m_file = ::CreateFileA(m_path.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (m_file == INVALID_HANDLE_VALUE)
                return m_text;
        }
        char buffer[16384];
        DWORD got = 0;
        while (::ReadFile(m_file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            m_text.append(buffer, got);
        return m_text;
    }

private:
    std::string m_path;
    HANDLE m_file = INVALID_HANDLE_VALUE;
    std::string m_text;
};

const std::string kByMonitor = "Found and secured by monitor [";

// Polls the log every millisecond until has(text) or timeoutMs passed.
template <class Has> bool WaitForLog(LogTail& log, Has has, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    for (;;) {
        if (has(log.Text()))
            return true;
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::Sleep(1);
    }
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t at = size_t(fraction * double(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

int Latency(const std::string& folder, const std::string& source, int count) {
    if (!IsFolder(folder) && !CreateDirectories(folder.c_str())) {
        std::fprintf(stderr, "norvane-bench: cannot make %s\n", folder.c_str());
        return 2;
    }
    if (!List(folder, "*").empty()) {
        std::fprintf(stderr, "norvane-bench: %s is not empty\n", folder.c_str());
        return 2;
    }
    std::vector<std::string> photos = List(source, "*.jpg");
    if (photos.empty() || count <= 0) {
        std::fprintf(stderr, "norvane-bench: no photos in %s\n", source.c_str());
        return 2;
    }
    BenchCore bench;
    if (!bench.Ready()) {
        std::fprintf(stderr, "norvane-bench: could not redirect the data folder\n");
        return 1;
    }
    // Sleep(1) sleeps a whole 15.6 ms tick on Windows unless asked otherwise;
    // Wine sleeps about 1 ms either way.
    ::timeBeginPeriod(1);

    LogTail log(bench.LogPath());
    LARGE_INTEGER protectStart = Now();
    g_pTamsel->AddProtectedFolder(folder.c_str());
    // The monitor writes its start entry once its first read is queued: from
    // then on no photo is missed.
    bool started = WaitForLog(
        log, [](const std::string& text) { return text.find("Monitor started at") != std::string::npos; },
        10000);
    double startSeconds = Seconds(protectStart, Now());

    std::vector<double> latencies, copies;
    int missed = 0, failedCopies = 0, worstPhoto = 0;
    double worst = 0;
    size_t searchFrom = 0;
    for (int i = 0; started && i < count; ++i) {
        const std::string& name = photos[size_t(i) % photos.size()];
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "%04d-", i + 1);
        std::string from = source + "\\" + name;
        std::string to = folder + "\\" + prefix + name;
        std::string wanted = ": <" + to;
        LARGE_INTEGER copyStart = Now();
        if (!::CopyFileA(from.c_str(), to.c_str(), TRUE)) {
            ++failedCopies;
            continue;
        }
        LARGE_INTEGER closed = Now();
        size_t foundAt = std::string::npos;
        bool logged = WaitForLog(
            log,
            [&](const std::string& text) {
                for (size_t at = text.find(wanted, searchFrom); at != std::string::npos;
                     at = text.find(wanted, at + 1)) {
                    // The monitor's entry for this very photo: its line
                    // starts with the monitor's words, and the path ends
                    // where the cleared tags or the bracket begin.
                    size_t line = text.rfind('\n', at);
                    line = line == std::string::npos ? 0 : line + 1;
                    char next = at + wanted.size() < text.size() ? text[at + wanted.size()] : 0;
                    if ((next == '?' || next == '>') &&
                        text.compare(line, kByMonitor.size(), kByMonitor) == 0) {
                        foundAt = at;
                        return true;
                    }
                }
                return false;
            },
            10000);
        LARGE_INTEGER seen = Now();
        copies.push_back(Seconds(copyStart, closed) * 1000);
        if (!logged) {
            ++missed;
            continue;
        }
        searchFrom = foundAt;
        latencies.push_back(Seconds(closed, seen) * 1000);
        if (latencies.back() > worst) {
            worst = latencies.back();
            worstPhoto = i + 1;
        }
    }
    ::timeEndPeriod(1);

    double mean = 0;
    for (double l : latencies)
        mean += l / double(latencies.size());
    std::printf("monitor_start_ms=%.1f photos=%d logged=%zu missed=%d failed_copies=%d median_ms=%.2f "
                "p90_ms=%.2f worst_ms=%.2f worst_photo=%d min_ms=%.2f mean_ms=%.2f copy_median_ms=%.2f\n",
                startSeconds * 1000, count, latencies.size(), missed, failedCopies,
                Percentile(latencies, 0.5), Percentile(latencies, 0.9), worst, worstPhoto,
                Percentile(latencies, 0), mean, Percentile(copies, 0.5));
    return started && missed == 0 && failedCopies == 0 ? 0 : 1;
}

// Protects FOLDER, removes it, makes it again and copies N photos of SOURCE
// into it at once: the time from its return to the monitor's watching it
// again, and to the last of the photos being secured (by the walk that
// follows a return, or by the watch).
int Return(const std::string& folder, const std::string& source, int count) {
    std::vector<std::string> photos = List(source, "*.jpg");
    if (photos.empty() || count <= 0 || (IsFolder(folder) && !List(folder, "*").empty()) ||
        (!IsFolder(folder) && !CreateDirectories(folder.c_str()))) {
        std::fprintf(stderr, "norvane-bench: need an empty %s and photos in %s\n", folder.c_str(),
                     source.c_str());
        return 2;
    }
    BenchCore bench;
    if (!bench.Ready())
        return 1;
    ::timeBeginPeriod(1);
    LogTail log(bench.LogPath());
    auto count_of = [](const std::string& text, const std::string& part) {
        size_t n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    };
    g_pTamsel->AddProtectedFolder(folder.c_str());
    bool ok = WaitForLog(
        log, [&](const std::string& text) { return count_of(text, "Monitor started at") == 1; }, 10000);
    // Moved away and removed, as a drive that is pulled or a share that
    // goes. (A folder removed in place while the monitor holds it open is
    // only marked for deletion until the handle goes, under Wine.)
    const std::string away = folder + " away";
    ok = ok && ::MoveFileA(folder.c_str(), away.c_str()) &&
         WaitForLog(
             log, [&](const std::string& text) { return count_of(text, "Monitor stopped watching") == 1; },
             30000);
    if (!ok)
        std::fprintf(stderr,
                     "norvane-bench: the folder could not be removed, or its monitor never said so:\n%s",
                     log.Text().c_str());
    ok = ok && ::RemoveDirectoryA(away.c_str());
    LARGE_INTEGER back = Now();
    ok = ok && CreateDirectories(folder.c_str());
    for (int i = 0; ok && i < count; ++i) {
        std::string name = photos[size_t(i) % photos.size()];
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "%04d-", i + 1);
        ok = ::CopyFileA((source + "\\" + name).c_str(), (folder + "\\" + prefix + name).c_str(), TRUE) != 0;
    }
    double watchingMs = -1, securedMs = -1;
    if (ok &&
        WaitForLog(
            log, [&](const std::string& text) { return count_of(text, "Monitor started at") == 2; }, 30000))
        watchingMs = Seconds(back, Now()) * 1000;
    if (ok && WaitForLog(
                  log,
                  [&](const std::string& text) {
                      size_t secured = 0;
                      const std::string path = "]: <" + folder + "\\";
                      for (size_t at = text.find(path); at != std::string::npos;
                           at = text.find(path, at + 1)) {
                          size_t line = text.rfind('\n', at);
                          line = line == std::string::npos ? 0 : line + 1;
                          secured += text.compare(line, kByMonitor.size(), kByMonitor) == 0;
                      }
                      return secured >= size_t(count);
                  },
                  30000))
        securedMs = Seconds(back, Now()) * 1000;
    ::timeEndPeriod(1);
    std::printf("photos=%d watching_ms=%.1f secured_ms=%.1f\n", count, watchingMs, securedMs);
    return securedMs >= 0 ? 0 : 1;
}

// Each of paths has its monitor entry in text after from: the monitor's
// words at the start of the line, the path ending where the cleared tags or
// the bracket begin. found marks those seen; from moves past whole lines.
size_t FindMonitorEntries(const std::string& text, size_t& from, const std::vector<std::string>& paths,
                          std::vector<bool>& found) {
    for (size_t i = 0; i < paths.size(); ++i) {
        const std::string wanted = ": <" + paths[i];
        for (size_t at = text.find(wanted, from); !found[i] && at != std::string::npos;
             at = text.find(wanted, at + 1)) {
            size_t line = text.rfind('\n', at);
            line = line == std::string::npos ? 0 : line + 1;
            char next = at + wanted.size() < text.size() ? text[at + wanted.size()] : 0;
            found[i] = (next == '?' || next == '>') && text.compare(line, kByMonitor.size(), kByMonitor) == 0;
        }
    }
    size_t lineEnd = text.rfind('\n');
    if (lineEnd != std::string::npos && lineEnd + 1 > from)
        from = lineEnd + 1;
    return size_t(std::count(found.begin(), found.end(), true));
}

int WalkingFolders() {
    const CWatch* monitor = g_pTamsel ? g_pTamsel->GetMonitor() : nullptr;
    return monitor ? monitor->GetWalkingFolderCount() : 0;
}

// Polls every millisecond until the monitor has walked (walking seen, then
// none) and done() holds; the milliseconds from start to each, -1 for
// what never came. A walk shorter than a poll may never be seen: after
// 10 s with none seen, only done() is waited for.
struct WalkTimes {
    double walkedMs = -1;
    double doneMs = -1;
    bool seen = false;
};
template <class Done> WalkTimes WaitForWalk(const LARGE_INTEGER& start, Done done, DWORD timeoutMs) {
    WalkTimes times;
    DWORD begin = ::GetTickCount();
    for (;;) {
        bool walking = WalkingFolders() > 0;
        times.seen = times.seen || walking;
        if (times.seen && !walking && times.walkedMs < 0)
            times.walkedMs = Seconds(start, Now()) * 1000;
        if (times.doneMs < 0 && done())
            times.doneMs = Seconds(start, Now()) * 1000;
        DWORD spent = ::GetTickCount() - begin;
        if (times.doneMs >= 0 && (times.walkedMs >= 0 || (!times.seen && spent > 10000)))
            return times;
        if (spent > timeoutMs)
            return times;
        ::Sleep(1);
    }
}

struct TimedScan {
    double seconds = -1;
    ScanCounters counters;
};
TimedScan RunScan(const std::string& folder, bool full) {
    TimedScan scan;
    g_pTamsel->SetFolderForScan(folder.c_str());
    LARGE_INTEGER start = Now();
    if (!g_pTamsel->StartScan(full))
        return scan;
    g_pTamsel->WaitForWorker(INFINITE);
    scan.seconds = Seconds(start, Now());
    scan.counters = g_pTamsel->GetScanCounters();
    return scan;
}

long long FileBytes(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (long long)data.nFileSizeHigh << 32 | data.nFileSizeLow;
}

std::string FolderOf(const std::string& path) {
    return path.substr(0, path.rfind('\\'));
}

int Library(const std::string& folder, const std::string& newSource, const std::string& sample) {
    PhotoList walk;
    walk.Walk(folder.c_str());
    std::vector<std::string>& paths = walk.m_paths;
    std::sort(paths.begin(), paths.end());
    std::vector<std::string> newPhotos = List(newSource, "*.jpg");
    const size_t kSample = 200, kFolders = 10;
    if (paths.size() < kSample * 4 || newPhotos.empty() ||
        (!IsFolder(sample) && !CreateDirectories(sample.c_str()))) {
        std::fprintf(stderr, "norvane-bench: need photos in %s and %s, and a folder %s\n", folder.c_str(),
                     newSource.c_str(), sample.c_str());
        return 2;
    }
    BenchCore bench;
    if (!bench.Ready()) {
        std::fprintf(stderr, "norvane-bench: could not redirect the data folder\n");
        return 1;
    }
    ::timeBeginPeriod(1);
    bool ok = true;

    // The first scan, and copies of a sample for the outside check: in name
    // order every step-th photo, moved on by one each time so that the
    // sample takes every kind of the library's photos.
    TimedScan first = RunScan(folder, false);
    ok = ok && first.seconds >= 0;
    const size_t step = paths.size() / kSample;
    int sampled = 0;
    for (size_t k = 0; k < kSample; ++k) {
        const std::string& path = paths[k * step + k % 4];
        std::string name = path.substr(folder.size() + 1);
        std::replace(name.begin(), name.end(), '\\', '-');
        sampled += ::CopyFileA(path.c_str(), (sample + "\\" + name).c_str(), FALSE) != 0;
    }

    TimedScan second = RunScan(folder, false);
    ok = ok && second.seconds >= 0;

    // Protected: the monitor's first walk over the library now known.
    LARGE_INTEGER protectStart = Now();
    g_pTamsel->AddProtectedFolder(folder.c_str());
    auto nothingElse = [] { return true; };
    WalkTimes protect = WaitForWalk(protectStart, nothingElse, 300000);

    // The program ends; photos arrive meanwhile; it starts again.
    bench.EndCore();
    const std::string recordPath = std::string(GetKnownPhotosPath());
    long long recordBytes = FileBytes(recordPath);
    KnownPhotos saved;
    size_t savedEntries =
        saved.Load(recordPath.c_str()) == KnownPhotos::LoadResult::kLoaded ? saved.Count() : 0;
    std::vector<std::string> arrived;
    for (size_t k = 0; k < kFolders; ++k) {
        const std::string& name = newPhotos[k % newPhotos.size()];
        std::string to =
            FolderOf(paths[k * (paths.size() / kFolders) + paths.size() / kFolders / 2]) + "\\" + name;
        if (::CopyFileA((newSource + "\\" + name).c_str(), to.c_str(), TRUE))
            arrived.push_back(to);
    }
    ok = ok && arrived.size() == kFolders;
    LogTail log(bench.LogPath());
    size_t searchFrom = log.Text().size();
    std::vector<bool> found(arrived.size());
    LARGE_INTEGER startAgain = Now();
    bench.StartCore();
    WalkTimes catchUp = WaitForWalk(
        startAgain,
        [&] { return FindMonitorEntries(log.Text(), searchFrom, arrived, found) == arrived.size(); }, 300000);
    size_t securedNew = size_t(std::count(found.begin(), found.end(), true));
    for (const std::string& path : arrived)
        ::CopyFileA(path.c_str(), (sample + "\\new-" + path.substr(path.rfind('\\') + 1)).c_str(), FALSE);
    size_t known = 0, memoryBytes = 0;
    if (g_pTamsel) {
        known = g_pTamsel->GetKnownPhotos().Count();
        memoryBytes = g_pTamsel->GetKnownPhotos().MemoryBytes();
    }

    TimedScan full = RunScan(folder, true);

    // The program itself over the same data folder, the library protected:
    // how soon its window answers, and its slowest answer in the seconds
    // that follow, when its monitor walks the library.
    bench.EndCore();
    double windowMs = -1, answerMs = -1, worstMs = -1;
    int unanswered = 0;
    if (!testing_support::ProgramPath().empty()) {
        LARGE_INTEGER start = Now();
        testing_support::ProgramProcess program;
        HWND window = nullptr;
        DWORD begin = ::GetTickCount();
        while (program.m_bStarted && answerMs < 0 && ::GetTickCount() - begin < 30000) {
            if (!window) {
                HWND marked = FindInstanceWindow();
                if (marked && program.Owns(marked)) {
                    window = marked;
                    windowMs = Seconds(start, Now()) * 1000;
                }
            }
            DWORD_PTR result = 0;
            if (window && ::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 100, &result))
                answerMs = Seconds(start, Now()) * 1000;
            else
                ::Sleep(1);
        }
        for (DWORD watchStart = ::GetTickCount(); answerMs >= 0 && ::GetTickCount() - watchStart < 5000;) {
            LARGE_INTEGER sent = Now();
            DWORD_PTR result = 0;
            if (!::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result))
                ++unanswered;
            worstMs = std::max(worstMs, Seconds(sent, Now()) * 1000);
            ::Sleep(10);
        }
    }
    ::timeEndPeriod(1);

    auto counters = [](const char* name, const TimedScan& scan) {
        std::printf("%s_seconds=%.6f %s_files=%ld %s_secure=%ld %s_secured=%ld ", name, scan.seconds, name,
                    long(scan.counters.nJpegFiles), name, long(scan.counters.nSecureFiles), name,
                    long(scan.counters.nSecuredFiles));
    };
    std::printf("photos=%zu ", paths.size());
    counters("first", first);
    counters("second", second);
    counters("full", full);
    std::printf("sampled=%d protect_walk_ms=%.1f protect_walk_seen=%d record_bytes=%lld record_entries=%zu "
                "known=%zu memory_bytes=%zu new_photos=%zu catchup_walk_ms=%.1f catchup_walk_seen=%d "
                "catchup_secured_ms=%.1f catchup_secured=%zu program_window_ms=%.1f program_answer_ms=%.1f "
                "program_worst_ms=%.1f program_unanswered=%d\n",
                sampled, protect.walkedMs, int(protect.seen), recordBytes, savedEntries, known, memoryBytes,
                arrived.size(), catchUp.walkedMs, int(catchUp.seen), catchUp.doneMs, securedNew, windowMs,
                answerMs, worstMs, unanswered);
    return ok && securedNew == arrived.size() && answerMs >= 0 ? 0 : 1;
}

int Usage() {
    std::fputs("Usage: norvane-bench scan FOLDER\n"
               "       norvane-bench latency FOLDER SOURCE N\n"
               "       norvane-bench return FOLDER SOURCE N\n"
               "       norvane-bench parts FOLDER\n"
               "       norvane-bench idle\n"
               "       norvane-bench library FOLDER NEW SAMPLE\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "scan" && argc == 3)
        return Scan(argv[2]);
    if (command == "latency" && argc == 5)
        return Latency(argv[2], argv[3], std::atoi(argv[4]));
    if (command == "return" && argc == 5)
        return Return(argv[2], argv[3], std::atoi(argv[4]));
    if (command == "parts" && argc == 3)
        return Parts(argv[2]);
    if (command == "library" && argc == 5)
        return Library(argv[2], argv[3], argv[4]);
    if (command == "idle" && argc == 2)
        return 0;
    return Usage();
}

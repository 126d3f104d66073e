// The activity log: where it lies, the exact texts of its entries, whole
// entries from many threads, and a write that fails part-way.
#include "core/ActivityLog.h"
#include "core/CoreTestHooks.h"
#include "core/LogEntries.h"
#include "core/Paths.h"

#include "support/ShellFolderValue.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

using testing_support::TempDir;

namespace {

std::string ReadText(const std::string& path) {
    auto bytes = testing_support::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

RemovedTags Tags(std::initializer_list<Vardle::RemovedTag> list) {
    RemovedTags tags;
    for (const auto& t : list)
        tags.append(t);
    return tags;
}

TEST(ActivityLog, FirstEntryCreatesTheDataFolderAndTheLog) {
    TempDir dir;
    DataFolderAt redirect(dir.file("local"));
    AppendToLog("Monitor started at [01.02.03 04:05:06]:\n\tC:\\Photos\\\n");
    std::string log = dir.file("local\\Norvane\\norvane.log");
    EXPECT_EQ(ReadText(log), "Monitor started at [01.02.03 04:05:06]:\n\tC:\\Photos\\\n");
    AppendToLog("second\n");
    EXPECT_EQ(ReadText(log), "Monitor started at [01.02.03 04:05:06]:\n\tC:\\Photos\\\nsecond\n");
}

TEST(ActivityLog, EntryTextsAreExact) {
    const char* ts = "12.31.24 23:59:58";
    EXPECT_STREQ(ScanStartEntry(ts, "C:\\Users\\Ann\\Pictures"),
                 "Scanning started at [12.31.24 23:59:58]:\n\tC:\\Users\\Ann\\Pictures\n");
    EXPECT_STREQ(
        ScanEndEntry(ts, 2, 14, 30),
        "Scanner finished [12.31.24 23:59:58]:\n\t2 files with geotags were secured. 14 jpeg files of 30 "
        "found files were processed.\n");
    EXPECT_STREQ(MonitorStartEntry(ts, "D:\\Camera\\"),
                 "Monitor started at [12.31.24 23:59:58]:\n\tD:\\Camera\\\n");
    EXPECT_STREQ(MonitorStopEntry(ts, "D:\\Camera\\"),
                 "Monitor is stopped [12.31.24 23:59:58]:\n\tD:\\Camera\\\n");

    auto two = Tags({{2, {0x23, 0x28, 0xF00000001ull}}, {4, {0x8B, 0, 0x1}}});
    EXPECT_STREQ(
        SecuredByScannerEntry(ts, "C:\\P\\a.jpg", two),
        "Found and secured by scanner [12.31.24 23:59:58]: <C:\\P\\a.jpg?2;2(23,28,F00000001);4(8B,0,1);>\n");
    EXPECT_STREQ(SecuredByMonitorEntry(ts, "C:\\P\\b.jpg", Tags({})),
                 "Found and secured by monitor [12.31.24 23:59:58]: <C:\\P\\b.jpg?0;>\n");

    EXPECT_STREQ(ScanEndEntry(ts, 2, 14, 30, 3, 1),
                 "Scanner finished [12.31.24 23:59:58]:\n\t2 files with geotags were secured. 14 jpeg files of 30 "
                 "found files were processed.\n\t3 files could not be secured. 1 files still hold a location "
                 "Norvane cannot clear.\n");
    EXPECT_STREQ(
        ScanEndEntry(ts, 2, 14, 30, 3, 1, 4),
        "Scanner finished [12.31.24 23:59:58]:\n\t2 files with geotags were secured. 14 jpeg files of 30 "
        "found files were processed.\n\t3 files could not be secured. 1 files still hold a location "
        "Norvane cannot clear. 4 files are kept only online and were not read.\n");
    EXPECT_STREQ(
        ScanEndEntry(ts, 2, 14, 30, 0, 0, 4),
        "Scanner finished [12.31.24 23:59:58]:\n\t2 files with geotags were secured. 14 jpeg files of 30 "
        "found files were processed.\n\t4 files are kept only online and were not read.\n");
    EXPECT_STREQ(NotSecuredByScannerEntry(ts, "C:\\P\\c.jpg", "why"),
                 "Found but not secured by scanner [12.31.24 23:59:58]: <C:\\P\\c.jpg> why\n");
    EXPECT_STREQ(NotSecuredByMonitorEntry(ts, "C:\\P\\c.jpg", "why"),
                 "Found but not secured by monitor [12.31.24 23:59:58]: <C:\\P\\c.jpg> why\n");
    EXPECT_STREQ(LocationLeftByScannerEntry(ts, "C:\\P\\d.jpg", Tags({{2, {}}}), {"A", "B C"}),
                 "Found, location left by scanner [12.31.24 23:59:58]: <C:\\P\\d.jpg?1;2(0,0,0);> not cleared: A, B C\n");
    EXPECT_STREQ(LocationLeftByMonitorEntry(ts, "C:\\P\\d.jpg", Tags({}), {"A"}),
                 "Found, location left by monitor [12.31.24 23:59:58]: <C:\\P\\d.jpg?0;> not cleared: A\n");

    // A path in another script goes in byte for byte as the string holds it.
    const char* path = "C:\\\xE5\x8C\x97\xE4\xBA\xAC\\\xD0\x9C\xD0\xB8\xD1\x80.jpg";
    CString entry = SecuredByMonitorEntry(ts, path, Tags({}));
    EXPECT_EQ(std::string(entry.GetString()).find(std::string("<") + path + "?0;>\n"), 50u);
}

TEST(ActivityLog, TimeStampIsTheLocalTimeInTheLogsForm) {
    // Compared with the local time read just before and after, in a try
    // where both fall in the same second.
    for (int attempt = 0; attempt < 5; ++attempt) {
        SYSTEMTIME before, after;
        ::GetLocalTime(&before);
        CString stamp = GetTimeStamp();
        ::GetLocalTime(&after);
        if (before.wSecond != after.wSecond)
            continue;
        char expected[32];
        std::snprintf(expected, sizeof expected, "%02u.%02u.%02u %02u:%02u:%02u", before.wMonth, before.wDay,
                      before.wYear % 100u, before.wHour, before.wMinute, before.wSecond);
        EXPECT_STREQ(stamp, expected);
        return;
    }
    ADD_FAILURE() << "the clock never held still for a second";
}

TEST(ActivityLog, EntriesOfEightThreadsNeverInterleaveOrOverwrite) {
    TempDir dir;
    std::string log = dir.file("norvane.log");
    const int kThreads = 8, kEntries = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            char entry[128];
            for (int i = 0; i < kEntries; ++i) {
                std::snprintf(entry, sizeof entry, "Entry of thread %d number %d:\n\tpayload %d-%d\n", t, i,
                              t, i);
                AppendToLogFile(log.c_str(), entry);
            }
        });
    }
    for (auto& th : threads)
        th.join();

    std::string text = ReadText(log);
    std::set<std::pair<int, int>> seen;
    int next[kThreads] = {};
    size_t pos = 0, wholeEntries = 0;
    while (pos < text.size()) {
        int t = -1, i = -1, t2 = -2, i2 = -2, used = 0;
        int got = std::sscanf(text.c_str() + pos, "Entry of thread %d number %d:\n\tpayload %d-%d\n%n", &t,
                              &i, &t2, &i2, &used);
        ASSERT_EQ(got, 4) << "torn entry at byte " << pos;
        ASSERT_TRUE(t == t2 && i == i2 && t >= 0 && t < kThreads) << "mixed entry at byte " << pos;
        EXPECT_EQ(i, next[t]) << "thread " << t << " out of order";
        next[t] = i + 1;
        seen.insert({t, i});
        ++wholeEntries;
        pos += size_t(used);
    }
    EXPECT_EQ(wholeEntries, size_t(kThreads * kEntries));
    EXPECT_EQ(seen.size(), size_t(kThreads * kEntries));
}

// Writes half the entry, then fails, as a disk that has just filled up.
BOOL WriteHalfThenFail(HANDLE file, const void* data, DWORD size, DWORD* written) {
    ::WriteFile(file, data, size / 2, written, nullptr);
    ::SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

BOOL WriteNothing(HANDLE, const void*, DWORD, DWORD* written) {
    *written = 0;
    ::SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

TEST(ActivityLog, WriteThatComesUpShortLeavesNoTornEntry) {
    TempDir dir;
    std::string log = dir.file("norvane.log");
    ASSERT_TRUE(AppendToLogFile(log.c_str(), "first entry\n"));
    SetLogWriterForTests(&WriteHalfThenFail);
    EXPECT_FALSE(AppendToLogFile(log.c_str(), "this entry does not fit on the disk\n"));
    SetLogWriterForTests(&WriteNothing);
    EXPECT_FALSE(AppendToLogFile(log.c_str(), "nor this one\n"));
    SetLogWriterForTests(nullptr);
    EXPECT_EQ(ReadText(log), "first entry\n");
    ASSERT_TRUE(AppendToLogFile(log.c_str(), "third entry\n"));
    EXPECT_EQ(ReadText(log), "first entry\nthird entry\n");
}

// A log of an older version keeps the positions it removed; the scrub makes
// each such value zeros, digit for digit, and nothing else changes, while
// entries appended meanwhile all arrive whole.
TEST(ActivityLog, ScrubZeroesTheRemovedValuesOfOlderLogsInPlace) {
    TempDir dir;
    std::string log = dir.file("norvane.log");
    const std::string before =
        "Scanning started at [12.31.24 23:59:58]:\n\tC:\\Trip (2A3B)\n"
        "Found and secured by scanner [12.31.24 23:59:58]: <C:\\Trip (2A3B)\\a.jpg?2;2(2500000001,14BE00000064,1);"
        "4(7A00000001,E9700000064,1);>\n"
        "Found and secured by monitor [01.01.25 00:00:01]: <D:\\b (9).jpg?2;6(1A2b,0,0);10002(0,0,0);>\n"
        "Found and secured by monitor [01.01.25 00:00:01]: <D:\\c.jpg?0;>\n"
        "Monitor started at [01.01.25 00:00:00]:\n\tD:\\(FF)\\\n"
        "Found and secured by scanner [12.31.24 23:59:58]: <E:\\cut.jpg?1;2(ABC";
    const std::string after =
        "Scanning started at [12.31.24 23:59:58]:\n\tC:\\Trip (2A3B)\n"
        "Found and secured by scanner [12.31.24 23:59:58]: <C:\\Trip (2A3B)\\a.jpg?2;2(0000000000,000000000000,0);"
        "4(0000000000,00000000000,0);>\n"
        "Found and secured by monitor [01.01.25 00:00:01]: <D:\\b (9).jpg?2;6(0000,0,0);10002(0,0,0);>\n"
        "Found and secured by monitor [01.01.25 00:00:01]: <D:\\c.jpg?0;>\n"
        "Monitor started at [01.01.25 00:00:00]:\n\tD:\\(FF)\\\n"
        "Found and secured by scanner [12.31.24 23:59:58]: <E:\\cut.jpg?1;2(000";
    // Large enough to be read in several blocks, with lines across their ends.
    std::string old, expected;
    while (old.size() < 3u << 20) {
        old += before + "\n";
        expected += after + "\n";
    }
    testing_support::WriteFile(log, testing_support::Bytes(old.begin(), old.end()));

    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&log, t] {
            for (int i = 0; i < 50; ++i)
                AppendToLogFile(log.c_str(), ("entry " + std::to_string(t) + "." + std::to_string(i) + "\n").c_str());
        });
    EXPECT_TRUE(ScrubLogFile(log.c_str()));
    for (std::thread& w : writers)
        w.join();

    std::string now = ReadText(log);
    EXPECT_EQ(now.compare(0, expected.size(), expected), 0) << "appends land behind the old lines";
    std::string scrubbed;
    for (size_t at = 0; at < now.size();) {
        size_t end = now.find('\n', at);
        std::string line = now.substr(at, end - at + 1);
        if (line.rfind("entry ", 0) != 0)
            scrubbed += line;
        at = end + 1;
    }
    EXPECT_TRUE(scrubbed == expected) << "every value zero, every other byte kept";
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 50; ++i)
            EXPECT_NE(now.find("entry " + std::to_string(t) + "." + std::to_string(i) + "\n"), std::string::npos);
    EXPECT_TRUE(ScrubLogFile(dir.file("missing.log").c_str()));
}

TEST(ActivityLog, LogHeldOpenByAReaderStillGrows) {
    TempDir dir;
    std::string log = dir.file("norvane.log");
    ASSERT_TRUE(AppendToLogFile(log.c_str(), "one\n"));
    HANDLE reader = ::CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(AppendToLogFile(log.c_str(), "two\n"));
    char buffer[16] = {};
    DWORD got = 0;
    ::ReadFile(reader, buffer, sizeof buffer - 1, &got, nullptr);
    EXPECT_STREQ(buffer, "one\ntwo\n");
    ::CloseHandle(reader);
}

TEST(ActivityLog, LogThatCannotBeOpenedLosesTheEntryAndTheCallerGoesOn) {
    TempDir dir;
    // A file stands where the data folder should be.
    testing_support::WriteFile(dir.file("Norvane"), {'x'});
    DataFolderAt redirect(dir.path().string());
    AppendToLog("lost\n");
    EXPECT_EQ(ReadText(dir.file("Norvane")), "x");
    EXPECT_FALSE(AppendToLogFile(dir.file("no\\such\\folder\\norvane.log").c_str(), "lost\n"));
}

} // namespace

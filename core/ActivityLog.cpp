// Appends to the activity log.
//
// Every append of the process goes through one lock, held around the open,
// the seek to the end, the write and the close, so entries of different
// threads follow one another whole. The entry is written with one call; when
// that call comes up short (a full disk), the file is cut back to its length
// before the append, so that no torn entry is left for the next one to run
// into. Readers (the log page) only ever see the file grow entry by entry.

#include "core/ActivityLog.h"

#include "core/CoreTestHooks.h"

#include "core/LogScrub.h"
#include "core/Paths.h"
#include "framework/WinHandles.h"

#include <cstring>
#include <ctime>
#include <vector>

namespace {

CCriticalSection& AppendLock() {
    static CCriticalSection lock;
    return lock;
}

BOOL WriteWithSystem(HANDLE file, const void* data, DWORD size, DWORD* written) {
    return ::WriteFile(file, data, size, written, nullptr);
}

LogWriter g_writer = &WriteWithSystem;

} // namespace

void SetLogWriterForTests(LogWriter writer) {
    CCritSecLock lock(AppendLock());
    g_writer = writer ? writer : &WriteWithSystem;
}

bool AppendToLogFile(const char* path, const char* text) {
    size_t length = text ? std::strlen(text) : 0;
    if (length > MAXDWORD)
        return false;
    CCritSecLock lock(AppendLock());
    CHandle file(::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return false;
    LARGE_INTEGER end{};
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(file.Get(), zero, &end, FILE_END))
        return false;
    if (length == 0)
        return true;
    DWORD written = 0;
    BOOL ok = g_writer(file.Get(), text, DWORD(length), &written);
    if (ok && written == length)
        return true;
    if (written > 0) {
        ::SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN);
        ::SetEndOfFile(file.Get());
    }
    return false;
}

namespace {

bool ReadAt(HANDLE file, uint64_t offset, char* data, DWORD size, DWORD& got) {
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(offset);
    return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ::ReadFile(file, data, size, &got, nullptr);
}

bool WriteAt(HANDLE file, uint64_t offset, const char* data, DWORD size) {
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(offset);
    DWORD written = 0;
    return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ::WriteFile(file, data, size, &written, nullptr) &&
           written == size;
}

} // namespace

// The log is read a block of whole lines at a time; where a block changes,
// the bytes from its first changed byte to its last are written back over
// themselves. Only digits become '0', so a write cut short leaves each value
// either as it was or zero, and every entry whole. The append lock is held
// throughout: an entry written meanwhile waits and lands behind the rest.
bool ScrubLogFile(const char* path) {
    constexpr DWORD kBlock = 1 << 20;
    CCritSecLock lock(AppendLock());
    CHandle file(::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    std::vector<char> held; // unread lines start at held[0]
    std::vector<char> before;
    uint64_t heldAt = 0;
    for (bool atEnd = false; !atEnd;) {
        size_t kept = held.size();
        held.resize(kept + kBlock);
        DWORD got = 0;
        if (!ReadAt(file.Get(), heldAt + kept, held.data() + kept, kBlock, got))
            return false;
        held.resize(kept + got);
        atEnd = got == 0;
        size_t whole = held.size();
        if (!atEnd) {
            while (whole > 0 && held[whole - 1] != '\n')
                --whole;
            if (whole == 0)
                continue; // one line longer than a block: read on
        }
        before.assign(held.begin(), held.begin() + whole);
        if (ZeroRemovedTagValues(held.data(), whole) > 0) {
            size_t first = 0, last = whole;
            while (held[first] == before[first])
                ++first;
            while (held[last - 1] == before[last - 1])
                --last;
            if (!WriteAt(file.Get(), heldAt + first, held.data() + first, DWORD(last - first)))
                return false;
        }
        held.erase(held.begin(), held.begin() + whole);
        heldAt += whole;
    }
    return true;
}

void ScrubLog() {
    ScrubLogFile(GetLogFilePath());
}

CString GetLogFilePath() {
    return GetDataFolder() + "\\norvane.log";
}

void AppendToLog(const char* text) {
    AppendToLogFile(GetLogFilePath(), text);
}

CString GetTimeStamp() {
    __time64_t now = _time64(nullptr);
    struct tm local {};
    if (_localtime64_s(&local, &now) != 0)
        return CString("Invalid DateTime");
    char text[64];
    if (std::strftime(text, sizeof text, "%m.%d.%y %H:%M:%S", &local) == 0)
        return CString("Invalid DateTime");
    return CString(text);
}

// Appends to the activity log.
//
// Every append of the process goes through one lock, held around the open,
// the seek to the end, the write and the close, so entries of different
// threads follow one another whole. The entry is written with one call; when
// that call comes up short (a full disk), the file is cut back to its length
// before the append, so that no torn entry is left for the next one to run
// into. Readers (the log page) only ever see the file grow entry by entry.

#include "core/ActivityLog.h"

#include "core/Paths.h"
#include "framework/WinHandles.h"

#include <cstring>
#include <ctime>

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

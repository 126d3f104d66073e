#include "engine/FileOs.h"

#include <windows.h>

#include <atomic>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

namespace fileos {

FILE* OpenShared(const char* path, const char* mode) {
    return _fsopen(path, mode, _SH_DENYNO);
}

bool Seek64(FILE* file, int64_t offset, int origin) {
    return _fseeki64(file, offset, origin) == 0;
}

int64_t Tell64(FILE* file) {
    return _ftelli64(file);
}

namespace {
// A handle of this file's own, closed on every way out of its scope.
struct OwnedHandle {
    explicit OwnedHandle(HANDLE h) : handle(h) {}
    HANDLE handle;
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};
} // namespace

static HANDLE HandleOf(FILE* file) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

bool Truncate(FILE* file, uint64_t size) {
    HANDLE h = HandleOf(file);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(size);
    return SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h);
}

int64_t ModifyTime(FILE* file) {
    struct __stat64 st {};
    if (_fstat64(_fileno(file), &st) != 0)
        return 0;
    return int64_t(st.st_mtime);
}

namespace {
std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/:");
    if (slash == std::string::npos)
        return std::string();
    return path.substr(0, slash + 1);
}
std::atomic<unsigned> g_siblingCounter{0};
} // namespace

FILE* CreateUniqueSibling(const char* target, std::string& siblingPath) {
    std::string folder = FolderOf(target);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char name[64];
        wsprintfA(name, "~norvane-%lu-%u.tmp", GetCurrentProcessId(), g_siblingCounter.fetch_add(1));
        std::string candidate = folder + name;
        HANDLE h = CreateFileA(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                continue;
            return nullptr;
        }
        int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
        FILE* file = fd < 0 ? nullptr : _fdopen(fd, "wb");
        if (!file) {
            if (fd < 0)
                CloseHandle(h);
            else
                _close(fd);
            DeleteFileA(candidate.c_str());
            return nullptr;
        }
        siblingPath = candidate;
        return file;
    }
    return nullptr;
}

bool FlushToDisk(FILE* file) {
    return std::fflush(file) == 0 && FlushFileBuffers(HandleOf(file));
}

bool ReplaceFileWith(const char* target, const char* replacement) {
    // ReplaceFile keeps the target's creation time, attributes and security;
    // it refuses when the target does not exist yet, where a move does.
    // Wine's ReplaceFile also swaps a file in over an empty folder: a folder
    // is never a file to replace.
    DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (ReplaceFileA(target, replacement, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return true;
    if (GetFileAttributesA(target) != INVALID_FILE_ATTRIBUTES)
        return false;
    return MoveFileExA(replacement, target, MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const char* path) {
    return DeleteFileA(path) != 0;
}

bool GetFileId(const char* path, FileId& id) {
    if (!path)
        return false;
    // Backup semantics open folders as well as files; no access is asked
    // for, so a file locked by its writer still tells who it is.
    OwnedHandle h{CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    BY_HANDLE_FILE_INFORMATION info;
    if (h.handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h.handle, &info))
        return false;
    id.volume = info.dwVolumeSerialNumber;
    id.index = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool SameFile(const char* a, const char* b) {
    FileId ia, ib;
    return GetFileId(a, ia) && GetFileId(b, ib) && ia == ib;
}

} // namespace fileos

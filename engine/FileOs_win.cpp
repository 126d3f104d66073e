#include "engine/FileOs.h"

#include <windows.h>

#include <aclapi.h>

#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <vector>

namespace fileos {

namespace {
// A buffered file over a handle of the system's own; the handle is closed
// when no file can be made of it.
FILE* FileOverHandle(HANDLE h, int flags, const char* mode) {
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags);
    if (fd < 0) {
        CloseHandle(h);
        return nullptr;
    }
    FILE* file = _fdopen(fd, mode);
    if (!file)
        _close(fd);
    return file;
}
} // namespace

FILE* OpenShared(const char* path, const char* mode) {
    // The runtime's deny-none (_fsopen with _SH_DENYNO) shares no deleting:
    // an editor that saves by renaming its new file over the photo, or that
    // deletes it, would fail while the engine looks at it. So the handle is
    // the system's own.
    if (!path || !mode)
        return nullptr;
    bool plus = std::strchr(mode, '+') != nullptr;
    int flags = std::strchr(mode, 'b') ? _O_BINARY : _O_TEXT;
    DWORD access = 0, disposition = 0;
    switch (mode[0]) {
    case 'r':
        access = GENERIC_READ | (plus ? GENERIC_WRITE : 0);
        disposition = OPEN_EXISTING;
        flags |= plus ? _O_RDWR : _O_RDONLY;
        break;
    case 'w':
        access = GENERIC_WRITE | (plus ? GENERIC_READ : 0);
        disposition = CREATE_ALWAYS;
        flags |= plus ? _O_RDWR : _O_WRONLY;
        break;
    case 'a':
        access = GENERIC_WRITE | (plus ? GENERIC_READ : 0);
        disposition = OPEN_ALWAYS;
        flags |= (plus ? _O_RDWR : _O_WRONLY) | _O_APPEND;
        break;
    default:
        return nullptr;
    }
    HANDLE h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return FileOverHandle(h, flags, mode);
}

FILE* OpenDenyingWriters(const char* path) {
    // Sharing reading only: the open fails while anyone else has the photo
    // open for writing or deleting, and while it stays open nobody else can
    // write, rename or delete it. Viewers still read.
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    return FileOverHandle(h, _O_RDWR | _O_BINARY, "r+b");
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

FILE* CreateSibling(const char* target, std::string& siblingPath) {
    std::string candidate = std::string(target) + kTemporarySuffix;
    // Hidden while it exists, so a leftover stays out of a user's way; the
    // photo's own attributes replace that before it is swapped in. WRITE_DAC
    // lets it take the photo's access rules through its handle.
    for (int attempt = 0; attempt < 2; ++attempt) {
        HANDLE h = CreateFileA(candidate.c_str(), GENERIC_WRITE | WRITE_DAC, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            FILE* file = FileOverHandle(h, _O_WRONLY | _O_BINARY, "wb");
            if (!file) {
                DeleteFileA(candidate.c_str());
                return nullptr;
            }
            siblingPath = candidate;
            return file;
        }
        DWORD error = GetLastError();
        if (attempt > 0 || (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS))
            return nullptr;
        // Taken already. Opened to be deleted sharing nothing, it opens only
        // when nobody has it open: then it is the leftover of a program that
        // was ended, and the target it belonged to is still there.
        HANDLE stale = CreateFileA(candidate.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (stale == INVALID_HANDLE_VALUE)
            return nullptr;
        CloseHandle(stale);
    }
    return nullptr;
}

bool FlushToDisk(FILE* file) {
    return std::fflush(file) == 0 && FlushFileBuffers(HandleOf(file));
}

namespace {
// The target's own access rules go with the new file: a list that is
// protected from inheritance, or that holds entries of its own on top of
// those it inherits from its folder. A list of inherited entries only the
// new file inherits by itself. Nor is a list of own entries that inherits
// nothing copied: that is how Wine shows a Unix mode, and a list set under
// Wine becomes a mode that gives the group what the owner has (a 644 photo
// would become 775); the new file there gets the folder's usual mode.
void KeepSecurityOf(const char* target, HANDLE to) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(target, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    bool own = false, inherited = false;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (GetAce(dacl, i, &ace))
            (static_cast<ACE_HEADER*>(ace)->AceFlags & INHERITED_ACE ? inherited : own) = true;
    }
    // Set as it is, inherited entries marked as such, with no inheritance
    // worked out again (SetSecurityInfo would merge the folder's
    // inheritable entries in once more).
    if (dacl && ((control & SE_DACL_PROTECTED) || (own && inherited)))
        SetKernelObjectSecurity(to, DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
}
} // namespace

bool KeepMetadataOf(const char* target, FILE* file) {
    // What ReplaceFile kept: the creation time, the attributes and the
    // access rules. The last-write time is the new content's.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(target, GetFileExInfoStandard, &data)) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return false;
    HANDLE h = HandleOf(file);
    FILE_BASIC_INFO basic = {};
    basic.CreationTime.LowPart = data.ftCreationTime.dwLowDateTime;
    basic.CreationTime.HighPart = LONG(data.ftCreationTime.dwHighDateTime);
    // Only the attributes a file may be given; the sibling's hidden mark
    // goes unless the photo had it too. Read-only is not among them: no
    // rename replaces a read-only file, and a sibling that is read-only
    // could not be deleted again.
    DWORD keep = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                 FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    basic.FileAttributes =
        (data.dwFileAttributes & keep) ? (data.dwFileAttributes & keep) : FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic))
        return false;
    KeepSecurityOf(target, h);
    return true;
}

bool MoveOver(const char* replacement, const char* target) {
    // A folder is never a file to replace, whatever a system's rename would
    // make of an empty one (Wine's ReplaceFile, used before, swapped a file
    // in over it).
    DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    return MoveFileExA(replacement, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool PutInPlace(const char* temporary, const char* target) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when target exists.
    if (!MoveFileExA(temporary, target, MOVEFILE_WRITE_THROUGH))
        return false;
    DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN)) {
        attributes &= ~DWORD(FILE_ATTRIBUTE_HIDDEN);
        SetFileAttributesA(target, attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
    }
    return true;
}

bool Exists(const char* path) {
    return path && *path && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveFile(const char* path) {
    return DeleteFileA(path) != 0;
}

bool GetFileId(const char* path, FileId& id) {
    FileStamp stamp;
    if (!GetFileStamp(path, stamp))
        return false;
    id = stamp.id;
    return true;
}

bool SameFile(const char* a, const char* b) {
    FileId ia, ib;
    return GetFileId(a, ia) && GetFileId(b, ib) && ia == ib;
}

static bool StampOf(HANDLE h, FileStamp& stamp) {
    BY_HANDLE_FILE_INFORMATION info;
    if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info))
        return false;
    stamp.id.volume = info.dwVolumeSerialNumber;
    stamp.id.index = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    stamp.size = (uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp.writeTime =
        int64_t((uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime);
    return true;
}

bool GetFileStamp(FILE* file, FileStamp& stamp) {
    return file && StampOf(HandleOf(file), stamp);
}

bool GetFileStamp(const char* path, FileStamp& stamp) {
    if (!path)
        return false;
    // Backup semantics open folders as well as files; no access is asked
    // for, so a file locked by its writer still tells who it is.
    OwnedHandle h{CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    return StampOf(h.handle, stamp);
}

namespace {
// Paths and names between the process code page and the wide functions.
std::wstring WideOf(const char* text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(size_t(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    wide.resize(size_t(n - 1));
    return wide;
}

std::string NarrowOf(const wchar_t* text, int length) {
    int n = length > 0 ? WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr) : 0;
    if (n <= 0)
        return std::string();
    std::string narrow(size_t(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, length, &narrow[0], n, nullptr, nullptr);
    return narrow;
}

// Volume and id of an open file or folder: the 128-bit id where the file
// system gives one (ReFS ids do not fit 64 bits; NTFS's 64-bit id comes
// zero-extended, as a listing's 64-bit FileId does), else the 64-bit index.
// The volume is the one the same call gives, so keys of one system compare
// among themselves; it is not FileId's 32-bit serial.
bool IdentityOf(HANDLE h, FileKey& key) {
    FILE_ID_INFO id;
    if (GetFileInformationByHandleEx(h, FileIdInfo, &id, sizeof id)) {
        key.volume = id.VolumeSerialNumber;
        std::memcpy(&key.idLow, id.FileId.Identifier, 8);
        std::memcpy(&key.idHigh, id.FileId.Identifier + 8, 8);
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info))
        return false;
    key.volume = info.dwVolumeSerialNumber;
    key.idLow = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    key.idHigh = 0;
    return true;
}

bool KeyOf(HANDLE h, FileKey& key, uint32_t* attributes) {
    FILE_BASIC_INFO basic;
    FILE_STANDARD_INFO standard;
    if (!IdentityOf(h, key) || !GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) ||
        !GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard))
        return false;
    key.size = standard.Directory ? 0 : uint64_t(standard.EndOfFile.QuadPart);
    key.writeTime = basic.LastWriteTime.QuadPart;
    key.changeTime = basic.ChangeTime.QuadPart;
    if (attributes)
        *attributes = basic.FileAttributes;
    return true;
}

bool KeyOfPath(const std::wstring& path, FileKey& key, uint32_t* attributes) {
    // Attributes only, and backup semantics for folders: no data is opened,
    // so a placeholder's provider is not asked to download it. Every
    // sharing mode, so no writer, renamer or deleter meets a refusal.
    OwnedHandle h{CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    return h.handle != INVALID_HANDLE_VALUE && KeyOf(h.handle, key, attributes);
}

// One listed entry, whichever of the two record layouts it came in.
void AddEntry(std::vector<FolderEntry>& entries, const std::wstring& folder, const FileKey& folderKey,
              const wchar_t* name, DWORD nameBytes, DWORD attributes, const LARGE_INTEGER& size,
              const LARGE_INTEGER& writeTime, const LARGE_INTEGER& changeTime, uint64_t idLow, uint64_t idHigh) {
    int length = int(nameBytes / sizeof(wchar_t));
    if ((length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.'))
        return;
    FolderEntry entry;
    entry.name = NarrowOf(name, length);
    if (entry.name.empty())
        return;
    entry.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.attributes = attributes;
    if (idLow == 0 && idHigh == 0) {
        // A file system that lists no ids: the entry's own key, one open.
        std::wstring path = folder + L"\\" + std::wstring(name, size_t(length));
        if (!KeyOfPath(path, entry.key, nullptr))
            return;
    } else {
        entry.key.volume = folderKey.volume;
        entry.key.idLow = idLow;
        entry.key.idHigh = idHigh;
        entry.key.size = entry.folder ? 0 : uint64_t(size.QuadPart);
        entry.key.writeTime = writeTime.QuadPart;
        entry.key.changeTime = changeTime.QuadPart;
    }
    entries.push_back(std::move(entry));
}

// Where a folder's handle lists nothing by itself: names from the find
// functions, and each entry's key from an open of its own.
bool ReadFolderByFind(const std::wstring& folder, std::vector<FolderEntry>& entries) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    do {
        const wchar_t* name = found.cFileName;
        if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)))
            continue;
        FolderEntry entry;
        entry.name = NarrowOf(name, int(wcslen(name)));
        if (entry.name.empty() || !KeyOfPath(folder + L"\\" + name, entry.key, nullptr))
            continue;
        entry.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.attributes = found.dwFileAttributes;
        entries.push_back(std::move(entry));
    } while (FindNextFileW(find, &found));
    bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(find);
    return complete;
}
} // namespace

int64_t TimeNow() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return int64_t((uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

bool ReadFileKey(const char* path, FileKey& key, uint32_t* attributes) {
    std::wstring wide = WideOf(path);
    return !wide.empty() && KeyOfPath(wide, key, attributes);
}

// "E:" and "\\server\share": roots whose separator was trimmed.
static bool IsRootWithoutSeparator(const std::wstring& path) {
    if (path.size() == 2 && path[1] == L':')
        return true;
    if (path.size() < 5 || path[0] != L'\\' || path[1] != L'\\')
        return false;
    size_t server = path.find(L'\\', 2);
    return server != std::wstring::npos && server > 2 && server + 1 < path.size() &&
           path.find(L'\\', server + 1) == std::wstring::npos;
}

bool ReadFolder(const char* folder, std::vector<FolderEntry>& entries, FileKey* folderKey) {
    std::wstring wide = WideOf(folder);
    while (!wide.empty() && (wide.back() == L'\\' || wide.back() == L'/'))
        wide.pop_back();
    if (wide.empty())
        return false;
    // A drive's root without its separator ("E:") is that drive's current
    // folder, and a share's root ("\\server\share") opens only with it: both
    // are opened with the separator put back; the names below are joined
    // with one of their own.
    std::wstring open = wide;
    if (IsRootWithoutSeparator(wide))
        open += L'\\';
    OwnedHandle h{CreateFileW(open.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    FileKey own;
    if (h.handle == INVALID_HANDLE_VALUE || !KeyOf(h.handle, own, nullptr))
        return false;
    if (folderKey)
        *folderKey = own;

    // Many entries a call, each with id, size, times and attributes. The
    // extended records carry 128-bit ids (ReFS); a system that has no such
    // records (before Windows 8, Wine) gives the 64-bit ones, and one whose
    // folder handles list nothing by themselves the find functions.
    std::vector<uint64_t> buffer(64 * 1024 / sizeof(uint64_t));
    const DWORD bytes = DWORD(buffer.size() * sizeof(uint64_t));
    bool extended = true, first = true;
    for (;;) {
        FILE_INFO_BY_HANDLE_CLASS type = extended ? (first ? FileIdExtdDirectoryRestartInfo : FileIdExtdDirectoryInfo)
                                                  : (first ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo);
        if (!GetFileInformationByHandleEx(h.handle, type, buffer.data(), bytes)) {
            DWORD error = GetLastError();
            if (error == ERROR_NO_MORE_FILES)
                return true;
            if (!first)
                return false;
            if (extended) {
                extended = false;
                continue;
            }
            return ReadFolderByFind(wide, entries);
        }
        first = false;
        const uint8_t* base = reinterpret_cast<const uint8_t*>(buffer.data());
        for (size_t at = 0;;) {
            if (extended) {
                auto* info = reinterpret_cast<const FILE_ID_EXTD_DIR_INFO*>(base + at);
                uint64_t low, high;
                std::memcpy(&low, info->FileId.Identifier, 8);
                std::memcpy(&high, info->FileId.Identifier + 8, 8);
                AddEntry(entries, wide, own, info->FileName, info->FileNameLength, info->FileAttributes,
                         info->EndOfFile, info->LastWriteTime, info->ChangeTime, low, high);
                if (info->NextEntryOffset == 0 || at + info->NextEntryOffset >= bytes)
                    break;
                at += info->NextEntryOffset;
            } else {
                auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(base + at);
                AddEntry(entries, wide, own, info->FileName, info->FileNameLength, info->FileAttributes,
                         info->EndOfFile, info->LastWriteTime, info->ChangeTime, uint64_t(info->FileId.QuadPart), 0);
                if (info->NextEntryOffset == 0 || at + info->NextEntryOffset >= bytes)
                    break;
                at += info->NextEntryOffset;
            }
        }
    }
}

} // namespace fileos

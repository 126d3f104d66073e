#include "core/Paths.h"

#include "engine/FileOs.h"
#include "engine/PhotoName.h"
#include "framework/WinHandles.h"

#include <windows.h>

#include <sddl.h>

#include <cstring>
#include <ctime>
#include <string>

const char* const kBackupFolder = "C:\\T\\GEO";

namespace {

const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// Values bigger than this are not paths of any file system; refusing them
// keeps a corrupt registry value from asking for gigabytes.
const DWORD kMaxValueBytes = 64 * 1024;

void TrimTrailing(std::string& text, const char* set) {
    size_t end = text.find_last_not_of(set);
    text.erase(end == std::string::npos ? 0 : end + 1);
}

// ExpandEnvironmentStringsA with a buffer that grows to the size it asks for.
std::string ExpandEnvironment(const std::string& text) {
    std::string out(256, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD needed = ::ExpandEnvironmentStringsA(text.c_str(), &out[0], DWORD(out.size()));
        if (needed == 0)
            return text;
        if (needed <= out.size()) {
            out.resize(strlen(out.c_str()));
            return out;
        }
        out.assign(needed, '\0');
    }
    return text;
}

bool ReadRegistryString(HKEY key, const char* valueName, std::string& text) {
    DWORD type = 0, size = 0;
    if (::RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    if (size > kMaxValueBytes)
        return false;
    std::string buffer(size + 1, '\0');
    DWORD got = size;
    if (::RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]), &got) !=
        ERROR_SUCCESS)
        return false;
    text.assign(buffer.c_str()); // up to the first zero: values may or may not hold one
    return true;
}

// The current user's SID in its string form ("S-1-5-21-..."); empty when
// the process token cannot tell.
std::string CurrentUserSid() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return std::string();
    CHandle hold(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0)
        return std::string();
    std::string buffer(size, '\0');
    if (!::GetTokenInformation(token, TokenUser, &buffer[0], size, &size))
        return std::string();
    char* text = nullptr;
    if (!::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(&buffer[0])->User.Sid, &text))
        return std::string();
    std::string sid(text);
    ::LocalFree(text);
    return sid;
}

// Creates the last level of path with a protected access list of one
// entry, full control for the current user, inherited by what is put in
// it. Nothing else is made: a folder open to others is worse than none.
bool CreatePrivateFolder(const char* path) {
    std::string sid = CurrentUserSid();
    if (sid.empty())
        return false;
    std::string sddl = "D:P(A;OICI;FA;;;" + sid + ")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                                nullptr))
        return false;
    SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
    bool made = ::CreateDirectoryA(path, &security) != 0;
    ::LocalFree(descriptor);
    return made;
}

} // namespace

CString ReadShellFolder(const char* valueName) {
    CRegKeyHandle key;
    if (::RegOpenKeyA(HKEY_CURRENT_USER, kShellFoldersKey, key.Receive()) != ERROR_SUCCESS)
        return CString();
    std::string text;
    if (!ReadRegistryString(key.Get(), valueName, text))
        return CString();
    if (text.find('%') != std::string::npos) {
        std::string part = text.substr(0, text.find('\\'));
        std::string expanded = ExpandEnvironment(part);
        CString result(text);
        result.Replace(part.c_str(), expanded.c_str());
        return result;
    }
    return CString(text);
}

CString GetSpecialFolder(int kind) {
    CString folder;
    if (kind == SPECIAL_FOLDER_LOCAL_APPDATA) {
        folder = ReadShellFolder("Local Settings");
        if (folder.IsEmpty())
            folder = ReadShellFolder("Local AppData");
    } else if (kind == SPECIAL_FOLDER_TEMP) {
        DWORD needed = ::GetTempPathA(0, nullptr);
        std::string temp(needed + 1, '\0');
        DWORD got = needed ? ::GetTempPathA(DWORD(temp.size()), &temp[0]) : 0;
        temp.resize(got < temp.size() ? got : 0);
        TrimTrailing(temp, "\\");
        folder = CString(temp);
    } else {
        return CString();
    }
    if (!folder.IsEmpty()) {
        WIN32_FIND_DATAA data;
        CFindHandle find(::FindFirstFileA(folder, &data));
        if (!find.IsValid())
            ::CreateDirectoryA(folder, nullptr);
    }
    return folder;
}

CString GetDataFolder() {
    CString folder = GetSpecialFolder(SPECIAL_FOLDER_LOCAL_APPDATA) + "\\Norvane";
    CreateDirectories(folder);
    return folder;
}

CString GetKnownPhotosPath() {
    return GetDataFolder() + "\\norvane.known";
}

CString GetProgramPath() {
    // GetModuleFileName cuts a path that does not fit and says only that it
    // filled the buffer: the buffer grows until the path fits with room.
    std::string buffer(520, '\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameA(nullptr, &buffer[0], DWORD(buffer.size()));
        if (n == 0)
            return CString();
        if (n < buffer.size())
            return CString(buffer.substr(0, n));
        if (buffer.size() >= 256 * 1024)
            return CString();
        buffer.assign(buffer.size() * 2, '\0');
    }
}

bool CreateDirectories(const char* path) {
    if (!path || !*path)
        return false;
    std::string copy(path);
    TrimTrailing(copy, "\\ ");
    if (fileos::Exists(path))
        return true;
    if (copy.size() <= 2)
        return false;
    if (::CreateDirectoryA(copy.c_str(), nullptr))
        return true;

    // Level by level from the left. The search starts at index 4 so that a
    // drive root such as "C:\" is never created.
    for (size_t pos = copy.find('\\', 4); pos != std::string::npos; pos = copy.find('\\', pos + 1)) {
        std::string level = copy.substr(0, pos);
        // Another thread may make the same level at the same moment.
        if (!fileos::Exists(level.c_str()) && !::CreateDirectoryA(level.c_str(), nullptr) &&
            ::GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        if (copy.size() - pos - 1 < 2)
            break;
    }
    if (!fileos::Exists(copy.c_str()) && !::CreateDirectoryA(copy.c_str(), nullptr) &&
        ::GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    return true;
}

CString GetUniqueTempName(const char* folder, const char* ending) {
    std::string base(folder ? folder : "");
    TrimTrailing(base, "\\");
    unsigned int number = unsigned(_time64(nullptr));
    // A bounded search: a folder that refuses every name must not hang the caller.
    for (int attempt = 0; attempt < 100000; ++attempt, ++number) {
        std::string candidate = base + "\\" + std::to_string(number) + ".tmp";
        if (fileos::Exists(candidate.c_str()))
            continue;
        std::string backup = candidate + ending;
        CHandle claim(::CreateFileA(backup.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (claim.IsValid())
            return CString(candidate);
        DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return CString();
    }
    return CString();
}

bool CopyToBackup(const char* photo, const char* folder) {
    if (!folder || !*folder)
        return false;
    std::string path(folder);
    TrimTrailing(path, "\\");
    if (!fileos::Exists(path.c_str())) {
        size_t last = path.find_last_of('\\');
        if (last != std::string::npos && last > 2 && !CreateDirectories(path.substr(0, last).c_str()))
            return false;
        // Another thread may have made it meanwhile, as private as this one.
        if (!CreatePrivateFolder(path.c_str()) && !fileos::Exists(path.c_str()))
            return false;
    }
    // A JPEG's backup ends in ".jpg" as ever; another photo's keeps its own
    // ending, in lower case.
    std::string ending = ".jpg";
    const char* base = std::strrchr(photo, '\\');
    base = base ? base + 1 : photo;
    const char* dot = std::strrchr(base, '.');
    if (dot && !IsJpegName(base) && IsPhotoName(base))
        ending = LowerAscii(dot, std::strlen(dot));
    CString name = GetUniqueTempName(folder, ending.c_str());
    if (name.IsEmpty())
        return false;
    CString backup = name + ending.c_str();
    // Overwrites only the empty file that claimed the name.
    if (::CopyFileA(photo, backup, FALSE))
        return true;
    ::DeleteFileA(backup);
    return false;
}

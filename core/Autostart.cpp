#include "core/Autostart.h"

#include "framework/WinHandles.h"

#include <windows.h>

#include <string>
#include <vector>

const char* const kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kAutostartValueName = "Norvane";

namespace {
// The program's full path, whatever its length (long paths are allowed).
std::string ProgramPath() {
    std::vector<char> buffer(520);
    for (;;) {
        DWORD n = ::GetModuleFileNameA(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0)
            return std::string();
        if (n < buffer.size())
            return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
        if (buffer.size() > 65536)
            return std::string();
    }
}
} // namespace

bool RegisterAutostart() {
    std::string command = ProgramPath();
    if (command.empty())
        return false;
    command += " -hide";
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
    CRegKeyHandle key;
    DWORD disposition = 0;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                          &security, key.Receive(), &disposition) != ERROR_SUCCESS)
        return false;
    ::RegDeleteValueA(key.Get(), kAutostartValueName);
    return ::RegSetValueExA(key.Get(), kAutostartValueName, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(command.c_str()),
                            DWORD(command.size() + 1)) == ERROR_SUCCESS;
}

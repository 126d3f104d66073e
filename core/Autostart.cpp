#include "core/Autostart.h"

#include "core/Paths.h"
#include "framework/WinHandles.h"

#include <windows.h>

#include <string>

const char* const kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kAutostartValueName = "Norvane";

bool RegisterAutostart() {
    std::string path = GetProgramPath().str();
    if (path.empty())
        return false;
    std::string command = "\"" + path + "\" -hide";
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

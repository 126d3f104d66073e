#include "core/Autostart.h"

#include "core/Paths.h"
#include "framework/WinHandles.h"

#include <windows.h>

#include <string>

const char* const kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kAutostartValueName = "Norvane";
const char* const kChoiceKey = "Software\\Norvane";
const char* const kChoiceValueName = "StartAtLogOn";

namespace {

// True when the installer was told not to start Norvane at log-on.
bool StartAtLogOnDeclined() {
    DWORD choice = 1, size = sizeof choice;
    return ::RegGetValueA(HKEY_CURRENT_USER, kChoiceKey, kChoiceValueName, RRF_RT_REG_DWORD, nullptr, &choice,
                          &size) == ERROR_SUCCESS &&
           choice == 0;
}

} // namespace

bool RegisterAutostart() {
    if (StartAtLogOnDeclined()) {
        const LSTATUS status = ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kRunKey, kAutostartValueName);
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
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

#pragma once
// Sets a value of the current user's "User Shell Folders" key for one test
// and puts back what was there (or removes it again) at the end, so the Wine
// prefix keeps its real shell folders for the other tests.

#include <windows.h>

#include <string>
#include <vector>

class ShellFolderValue {
public:
    explicit ShellFolderValue(const char* name) : m_name(name) {
        ::RegCreateKeyA(HKEY_CURRENT_USER, kKey, &m_key);
        DWORD size = 0;
        if (::RegQueryValueExA(m_key, name, nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
            m_old.resize(size);
            m_existed =
                ::RegQueryValueExA(m_key, name, nullptr, &m_type, m_old.data(), &size) == ERROR_SUCCESS;
        }
    }
    ShellFolderValue(const ShellFolderValue&) = delete;
    ShellFolderValue& operator=(const ShellFolderValue&) = delete;
    ~ShellFolderValue() {
        if (m_existed)
            ::RegSetValueExA(m_key, m_name.c_str(), 0, m_type, m_old.data(), DWORD(m_old.size()));
        else
            ::RegDeleteValueA(m_key, m_name.c_str());
        ::RegCloseKey(m_key);
    }

    void Set(const std::string& value, DWORD type = REG_EXPAND_SZ) {
        ::RegSetValueExA(m_key, m_name.c_str(), 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                         DWORD(value.size() + 1));
    }
    void Remove() { ::RegDeleteValueA(m_key, m_name.c_str()); }

    static constexpr const char* kKey =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

private:
    std::string m_name;
    HKEY m_key = nullptr;
    DWORD m_type = 0;
    std::vector<BYTE> m_old;
    bool m_existed = false;
};

// Points the data folder at base: "Local Settings" = base, for one test.
class DataFolderAt {
public:
    explicit DataFolderAt(const std::string& base) : m_value("Local Settings") { m_value.Set(base); }

private:
    ShellFolderValue m_value;
};

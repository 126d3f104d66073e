#pragma once
// Sets a value of the current user's "User Shell Folders" key for one test
// and puts back what was there (or removes it again) at the end, so the Wine
// prefix keeps its real shell folders for the other tests.

#include "support/KeptRegistryValue.h"

#include <string>

class ShellFolderValue {
public:
    explicit ShellFolderValue(const char* name) : m_value(HKEY_CURRENT_USER, kKey, name) {}

    void Set(const std::string& value, DWORD type = REG_EXPAND_SZ) { m_value.Set(value, type); }
    void Remove() { m_value.Remove(); }

    static constexpr const char* kKey =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

private:
    testing_support::KeptRegistryValue m_value;
};

// Points the data folder at base: "Local Settings" = base, for one test.
class DataFolderAt {
public:
    explicit DataFolderAt(const std::string& base) : m_value("Local Settings") { m_value.Set(base); }

private:
    ShellFolderValue m_value;
};

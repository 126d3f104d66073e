#pragma once
// One registry value changed for the life of an object: what was there
// before (or its absence) is put back at the end, so a test or a benchmark
// leaves the Wine prefix's registry as it found it.

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

class KeptRegistryValue {
public:
    KeptRegistryValue(HKEY root, const char* key, const char* name) : m_name(name ? name : "") {
        if (::RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &m_key,
                              nullptr) != ERROR_SUCCESS) {
            m_key = nullptr;
            return;
        }
        DWORD size = 0;
        if (::RegQueryValueExA(m_key, Name(), nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
            m_old.resize(size);
            m_existed =
                ::RegQueryValueExA(m_key, Name(), nullptr, &m_type, m_old.data(), &size) == ERROR_SUCCESS;
            m_old.resize(size);
        }
    }
    KeptRegistryValue(const KeptRegistryValue&) = delete;
    KeptRegistryValue& operator=(const KeptRegistryValue&) = delete;
    ~KeptRegistryValue() {
        if (!m_key)
            return;
        if (m_existed)
            ::RegSetValueExA(m_key, Name(), 0, m_type, m_old.data(), DWORD(m_old.size()));
        else
            ::RegDeleteValueA(m_key, Name());
        ::RegCloseKey(m_key);
    }

    bool Set(const std::string& text, DWORD type) {
        return m_key && ::RegSetValueExA(m_key, Name(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                                         DWORD(text.size() + 1)) == ERROR_SUCCESS;
    }
    void Remove() {
        if (m_key)
            ::RegDeleteValueA(m_key, Name());
    }

private:
    // The key's default value when the name is empty.
    const char* Name() const { return m_name.empty() ? nullptr : m_name.c_str(); }

    std::string m_name;
    HKEY m_key = nullptr;
    DWORD m_type = 0;
    std::vector<BYTE> m_old;
    bool m_existed = false;
};

} // namespace testing_support

#include "framework/CodePage.h"

#include <windows.h>

std::wstring Widen(const char* text) {
    int n = text ? ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0) : 0;
    if (n <= 0)
        return std::wstring();
    std::wstring wide(size_t(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    wide.resize(size_t(n - 1)); // the terminating zero
    return wide;
}

std::string Narrow(const wchar_t* text, int length) {
    int n = text && length != 0 ? ::WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr) : 0;
    if (n <= 0)
        return std::string();
    std::string narrow(size_t(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, length, &narrow[0], n, nullptr, nullptr);
    if (length < 0)
        narrow.resize(size_t(n - 1)); // the terminating zero
    return narrow;
}

#pragma once
// Saves what the screen shows in an area as a 24-bit BMP, for the pictures
// window tests keep of what they saw.

#include <windows.h>

#include <string>

namespace testing_support {

inline bool SaveScreenPicture(const RECT& area, const std::string& path) {
    int cx = area.right - area.left, cy = area.bottom - area.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = cx;
    info.bmiHeader.biHeight = cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    bool ok = ::BitBlt(memory, 0, 0, cx, cy, screen, area.left, area.top, SRCCOPY);
    ::SelectObject(memory, old);
    DWORD stride = (DWORD(cx) * 3 + 3) & ~3u, image = stride * DWORD(cy);
    BITMAPFILEHEADER file = {0x4D42, DWORD(sizeof file + sizeof info.bmiHeader + image), 0, 0,
                             DWORD(sizeof file + sizeof info.bmiHeader)};
    HANDLE out = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ok = ok && out != INVALID_HANDLE_VALUE && ::WriteFile(out, &file, sizeof file, &written, nullptr) &&
         ::WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
         ::WriteFile(out, bits, image, &written, nullptr);
    if (out != INVALID_HANDLE_VALUE)
        ::CloseHandle(out);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return ok;
}

} // namespace testing_support

#pragma once
// Saves what the display shows as a PNG in the build tree's screenshots
// folder, for a person to look at after a window test: cut texts and
// overlapping controls show there and nowhere else. The picture is read
// from the screen through GDI (under Wine, the X display) and written as an
// uncompressed PNG, so no image library is needed.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace testing_support {

namespace png_detail {

inline uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(v >> shift));
}

inline void PutChunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& body) {
    PutBe32(out, uint32_t(body.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    PutBe32(out, Crc32(out.data() + start, out.size() - start));
}

// A zlib stream of stored (uncompressed) deflate blocks.
inline std::vector<uint8_t> StoredZlib(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> z = {0x78, 0x01};
    size_t pos = 0;
    do {
        size_t n = std::min<size_t>(raw.size() - pos, 65535);
        bool last = pos + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(uint8_t(n));
        z.push_back(uint8_t(n >> 8));
        z.push_back(uint8_t(~n));
        z.push_back(uint8_t(~n >> 8));
        z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
        pos += n;
    } while (pos < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBe32(z, (b << 16) | a);
    return z;
}

} // namespace png_detail

// The folder screenshots go to ("" when the test runs outside the build).
inline std::string ScreenshotFolder() {
    const char* build = std::getenv("NORVANE_BINARY_DIR");
    if (!build || !*build)
        return "";
    std::string folder = std::string(build[0] == '/' ? "Z:" : "") + build + "\\screenshots";
    for (char& c : folder)
        c = c == '/' ? '\\' : c;
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

// What the screen shows in area, cut to the screen: rows top first, pixels
// as blue, green, red and an unused byte. Empty when nothing could be read;
// the area actually read in read.
inline std::vector<uint8_t> ScreenPixels(const RECT& area, RECT* read = nullptr) {
    RECT screenRect = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    RECT r = {};
    if (!::IntersectRect(&r, &area, &screenRect))
        return {};
    const int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<uint8_t> pixels;
    if (bitmap) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        // One copy of the whole area: a read per pixel is a round trip to
        // the X server each.
        if (::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY)) {
            ::GdiFlush();
            const auto* first = static_cast<const uint8_t*>(bits);
            pixels.assign(first, first + size_t(width) * size_t(height) * 4);
        }
        ::SelectObject(memory, old);
        ::DeleteObject(bitmap);
    }
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (read)
        *read = r;
    return pixels;
}

// Writes what the screen shows in area (the whole screen without one) to
// <screenshots>\<name>.png; returns its path, or "" when there was nowhere to
// write or nothing could be read.
inline std::string SaveScreenshot(const std::string& name, const RECT* area = nullptr) {
    std::string folder = ScreenshotFolder();
    if (folder.empty())
        return "";
    RECT r = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    std::vector<uint8_t> pixels = ScreenPixels(area ? *area : r, &r);
    if (pixels.empty())
        return "";
    const int width = r.right - r.left, height = r.bottom - r.top;
    std::vector<uint8_t> raw;
    raw.reserve(size_t(height) * (size_t(width) * 3 + 1));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0); // no filter
        const uint8_t* row = pixels.data() + size_t(y) * size_t(width) * 4;
        for (int x = 0; x < width; ++x) {
            raw.push_back(row[x * 4 + 2]);
            raw.push_back(row[x * 4 + 1]);
            raw.push_back(row[x * 4 + 0]);
        }
    }

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    png_detail::PutBe32(header, uint32_t(width));
    png_detail::PutBe32(header, uint32_t(height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit RGB
    png_detail::PutChunk(png, "IHDR", header);
    png_detail::PutChunk(png, "IDAT", png_detail::StoredZlib(raw));
    png_detail::PutChunk(png, "IEND", {});

    std::string path = folder + "\\" + name + ".png";
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    DWORD written = 0;
    bool ok = ::WriteFile(file, png.data(), DWORD(png.size()), &written, nullptr) && written == png.size();
    ::CloseHandle(file);
    return ok ? path : "";
}

// Saves one window as the screen shows it: raised above whatever windows
// other tests show at the same time, and painted first (a window of another
// process too: the paint is sent to its thread, which answers before the
// picture is taken).
inline std::string SaveWindowScreenshot(HWND window, const std::string& name) {
    const UINT keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, keep);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    DWORD_PTR answer = 0;
    ::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &answer);
    RECT r = {};
    std::string path = ::GetWindowRect(window, &r) ? SaveScreenshot(name, &r) : "";
    ::SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, keep);
    return path;
}

} // namespace testing_support

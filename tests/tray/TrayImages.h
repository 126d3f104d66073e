#pragma once
// The images of icons as the shell receives them: the colour bits of the
// icon's bitmap, as Shell_NotifyIconA takes them with GetBitmapBits.

#include "FakeShell.h"

#include <windows.h>

#include <string>

namespace tray_test {

inline Bits ImageBits(HICON icon) {
    ICONINFO info = {};
    if (!icon || !::GetIconInfo(icon, &info))
        return Bits();
    Bits bits;
    BITMAP color = {};
    if (info.hbmColor && ::GetObjectA(info.hbmColor, sizeof color, &color)) {
        LONG size = (color.bmPlanes * color.bmWidth * color.bmHeight * color.bmBitsPixel + 15) / 16 * 2;
        bits.resize(size_t(size));
        ::GetBitmapBits(info.hbmColor, size, bits.data());
    }
    if (info.hbmColor)
        ::DeleteObject(info.hbmColor);
    if (info.hbmMask)
        ::DeleteObject(info.hbmMask);
    return bits;
}

} // namespace tray_test

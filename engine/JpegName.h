#pragma once
// Which file names are taken for JPEG photos: a quick test of the last
// character, then ".jpg" or ".jpeg" anywhere in the lower-cased name (a.jpg.png
// passes, a.jpg.bak does not). Lower-casing touches ASCII letters only, which
// is multibyte-safe in UTF-8, the process code page.

#include <cstring>
#include <string>

inline bool IsJpegName(const char* name) {
    size_t n = name ? std::strlen(name) : 0;
    if (n == 0 || (name[n - 1] != 'g' && name[n - 1] != 'G'))
        return false;
    std::string lower(name, n);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return lower.find(".jpg") != std::string::npos || lower.find(".jpeg") != std::string::npos;
}

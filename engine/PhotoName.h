#pragma once
// Which file names are taken for photos. JPEG: a quick test of the last
// character, then ".jpg" or ".jpeg" anywhere in the lower-cased name
// (a.jpg.png passes, a.jpg.bak does not), as ever. The other formats Norvane
// clears by the name's ending: HEIF and AVIF, PNG, WebP, TIFF and DNG, and
// the TIFF-based raw files and CR3; and the videos beside them (MOV, MP4). The name only chooses which files
// are looked at; the check reads what a file is from its content. Lower-casing touches ASCII letters only,
// which is multibyte-safe in UTF-8, the process code page.

#include <cstring>
#include <string>

inline std::string LowerAscii(const char* text, size_t n) {
    std::string lower(text, n);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return lower;
}

inline bool IsJpegName(const char* name) {
    size_t n = name ? std::strlen(name) : 0;
    if (n == 0 || (name[n - 1] != 'g' && name[n - 1] != 'G'))
        return false;
    std::string lower = LowerAscii(name, n);
    return lower.find(".jpg") != std::string::npos || lower.find(".jpeg") != std::string::npos;
}

// The endings of the photo formats besides JPEG, lower case.
inline constexpr const char* kOtherPhotoEndings[] = {".heic", ".heif", ".hif", ".avif", ".png", ".webp",
                                                     ".tif", ".tiff", ".dng", ".cr2", ".cr3", ".nef", ".arw",
                                                     ".orf", ".rw2", ".pef",
                                                     // the videos a phone or camera puts beside its photos
                                                     ".mov", ".mp4", ".m4v", ".3gp", ".3g2"};

inline bool IsPhotoName(const char* name) {
    if (IsJpegName(name))
        return true;
    size_t n = name ? std::strlen(name) : 0;
    if (n < 4)
        return false;
    // The longest ending has five characters.
    size_t tail = n < 5 ? n : 5;
    std::string lower = LowerAscii(name + n - tail, tail);
    for (const char* ending : kOtherPhotoEndings) {
        size_t e = std::strlen(ending);
        if (e < n && lower.compare(tail - e, e, ending) == 0)
            return true;
    }
    return false;
}

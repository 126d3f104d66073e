#pragma once
// Folder paths are compared without regard to letter case, the way the
// file system treats them.

#include <mbstring.h>

inline bool SameFolderName(const char* a, const char* b) {
    return a && b &&
           _mbsicmp(reinterpret_cast<const unsigned char*>(a), reinterpret_cast<const unsigned char*>(b)) ==
               0;
}

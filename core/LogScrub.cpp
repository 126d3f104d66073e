#include "core/LogScrub.h"

#include <cstring>

namespace {

bool StartsWith(const char* line, size_t size, const char* words) {
    size_t n = std::strlen(words);
    return size >= n && std::memcmp(line, words, n) == 0;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// One line without its line feed. The path cannot hold "?" on Windows, so
// the first "?" after "<" begins the tag list, and only the parenthesised
// groups after it hold values.
size_t ZeroLine(char* line, size_t size) {
    if (!StartsWith(line, size, "Found and secured by scanner [") &&
        !StartsWith(line, size, "Found and secured by monitor ["))
        return 0;
    const char* open = static_cast<const char*>(std::memchr(line, '<', size));
    if (!open)
        return 0;
    const char* mark = static_cast<const char*>(std::memchr(open, '?', size_t(line + size - open)));
    if (!mark)
        return 0;
    size_t changed = 0;
    bool inGroup = false;
    for (char* c = line + (mark - line); c < line + size; ++c) {
        if (*c == '(')
            inGroup = true;
        else if (*c == ')')
            inGroup = false;
        else if (inGroup && *c != '0' && IsHexDigit(*c)) {
            *c = '0';
            ++changed;
        }
    }
    return changed;
}

} // namespace

size_t ZeroRemovedTagValues(char* text, size_t size) {
    size_t changed = 0;
    for (size_t at = 0; at < size;) {
        const char* end = static_cast<const char*>(std::memchr(text + at, '\n', size - at));
        size_t length = end ? size_t(end - (text + at)) : size - at;
        changed += ZeroLine(text + at, length);
        at += length + 1;
    }
    return changed;
}

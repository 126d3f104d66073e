#include "settings/CStdString.h"

#include <cstring>
#include <string>

namespace {
size_t Length(const char* text) {
    return text ? std::strlen(text) : 0;
}
} // namespace

void CStdString::SetText(const char* text, size_t length) {
    if (length >= std::numeric_limits<uint32_t>::max())
        throw gen::genlib_out_of_memory();
    assign(text ? text : "", uint32_t(length));
}

CStdString::CStdString(const char* text) {
    SetText(text, Length(text));
}

CStdString& CStdString::operator=(const CStdString& other) {
    if (this != &other)
        SetText(other.c_str(), other.length());
    return *this;
}

CStdString& CStdString::operator=(const char* text) {
    SetText(text, Length(text));
    return *this;
}

bool operator==(const CStdString& a, const CStdString& b) {
    return a.length() == b.length() && std::memcmp(a.c_str(), b.c_str(), a.length()) == 0;
}

CStdString operator+(const CStdString& a, const CStdString& b) {
    CStdString joined(a);
    joined += b;
    return joined;
}

CStdString& CStdString::operator+=(const CStdString& other) {
    std::string joined(c_str(), length());
    joined.append(other.c_str(), other.length());
    SetText(joined.c_str(), joined.size());
    return *this;
}

CStdString CStdString::Left(int count) const {
    size_t n = count < 0 ? 0 : size_t(count) < length() ? size_t(count) : length();
    CStdString left;
    left.SetText(c_str(), n);
    return left;
}

int CStdString::Find(char ch, int start) const {
    if (start < 0 || uint32_t(start) >= length())
        throw gen::genlib_out_of_range(uint32_t(start), length());
    const char* hit = static_cast<const char*>(std::memchr(c_str() + start, ch, length() - uint32_t(start)));
    return hit ? int(hit - c_str()) : -1;
}

int CStdString::Find(const char* text, int start) const {
    if (!text || start < 0 || uint32_t(start) >= length())
        return -1;
    const char* hit = std::strstr(c_str() + start, text);
    return hit ? int(hit - c_str()) : -1;
}

int CStdString::Replace(const char* oldText, const char* newText) {
    size_t oldLength = Length(oldText);
    if (oldLength == 0)
        return 0; // an empty text occurs everywhere; nothing sensible to replace
    std::string text(c_str(), length()), replacement(newText ? newText : "");
    int replaced = 0;
    for (size_t at = text.find(oldText); at != std::string::npos;
         at = text.find(oldText, at + replacement.size())) {
        text.replace(at, oldLength, replacement);
        ++replaced;
    }
    if (replaced)
        SetText(text.c_str(), text.size());
    return replaced;
}

void CStdString::Delete(int count, int start) {
    uint32_t n = length();
    if (start < 0 || uint32_t(start) >= n)
        throw gen::genlib_out_of_range(uint32_t(start), n);
    uint32_t from = uint32_t(start);
    uint32_t removed = count == -1 ? n - from : uint32_t(count);
    if (count < -1 || (removed > 0 && uint64_t(from) + removed - 1 >= n))
        throw gen::genlib_out_of_range(uint32_t(uint64_t(from) + removed - 1), n);
    std::string text(c_str(), n);
    text.erase(from, removed);
    SetText(text.c_str(), text.size());
}

void CStdString::TrimLeft(char ch) {
    size_t skip = 0;
    while (skip < length() && c_str()[skip] == ch)
        ++skip;
    if (skip)
        SetText(std::string(c_str() + skip, length() - skip).c_str(), length() - skip);
}

void CStdString::TrimRight(char ch) {
    const char set[2] = {ch, '\0'};
    TrimRight(set);
}

void CStdString::TrimRight(const char* set) {
    size_t n = length();
    while (n > 0 && set && c_str()[n - 1] != '\0' && std::strchr(set, c_str()[n - 1]))
        --n;
    if (n < length()) {
        this->items[n] = '\0';
        this->count = uint32_t(n) + 1;
    }
}

char* CStdString::GetBuffer(int minLength) {
    uint32_t want = minLength < 0 ? 0 : uint32_t(minLength);
    uint32_t have = length();
    if (count == 0)
        SetText("", 0);
    if (want > have) {
        reserve(want + 1);
        std::memset(this->items + have, 0, size_t(want - have) + 1);
        this->count = want + 1;
    }
    return this->items;
}

void CStdString::ReleaseBuffer(int newLength) {
    if (count == 0)
        SetText("", 0);
    size_t n = newLength == -1 ? std::strlen(this->items) : size_t(newLength);
    if (newLength < -1 || n >= capacity)
        throw gen::genlib_out_of_range(uint32_t(n), length());
    this->items[n] = '\0';
    this->count = uint32_t(n) + 1;
}

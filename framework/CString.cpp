#include "framework/CString.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <mbstring.h>
#endif

namespace {

std::string VFormat(const char* format, va_list args) {
    if (!format)
        return {};
    va_list again;
    va_copy(again, args);
    char small[512];
    int n = std::vsnprintf(small, sizeof small, format, args);
    std::string out;
    if (n >= 0 && size_t(n) < sizeof small) {
        out.assign(small, size_t(n));
    } else if (n > 0) {
        std::vector<char> big(size_t(n) + 1);
        std::vsnprintf(big.data(), big.size(), format, again);
        out.assign(big.data(), size_t(n));
    }
    va_end(again);
    return out;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

} // namespace

int CString::Compare(const char* text) const { return std::strcmp(m_str.c_str(), text ? text : ""); }

int CString::CompareNoCase(const char* text) const {
    const char* other = text ? text : "";
#ifdef _WIN32
    return _mbsicmp(reinterpret_cast<const unsigned char*>(m_str.c_str()),
                    reinterpret_cast<const unsigned char*>(other));
#else
    const unsigned char* a = reinterpret_cast<const unsigned char*>(m_str.c_str());
    const unsigned char* b = reinterpret_cast<const unsigned char*>(other);
    for (;; ++a, ++b) {
        int ca = std::tolower(*a), cb = std::tolower(*b);
        if (ca != cb || !ca)
            return ca - cb;
    }
#endif
}

int CString::Find(char ch, int start) const {
    if (start < 0 || size_t(start) > m_str.size())
        return -1;
    size_t at = m_str.find(ch, size_t(start));
    return at == std::string::npos ? -1 : int(at);
}

int CString::Find(const char* text, int start) const {
    if (!text || start < 0 || size_t(start) > m_str.size())
        return -1;
    size_t at = m_str.find(text, size_t(start));
    return at == std::string::npos ? -1 : int(at);
}

int CString::ReverseFind(char ch) const {
    size_t at = m_str.rfind(ch);
    return at == std::string::npos ? -1 : int(at);
}

CString CString::Left(int count) const {
    count = std::clamp(count, 0, GetLength());
    return CString(m_str.substr(0, size_t(count)));
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
    first = std::clamp(first, 0, GetLength());
    count = std::clamp(count, 0, GetLength() - first);
    return CString(m_str.substr(size_t(first), size_t(count)));
}

CString CString::Right(int count) const {
    count = std::clamp(count, 0, GetLength());
    return CString(m_str.substr(m_str.size() - size_t(count)));
}

CString& CString::MakeLower() {
    for (char& c : m_str)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return *this;
}

CString& CString::MakeUpper() {
    for (char& c : m_str)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return *this;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }

CString& CString::TrimLeft() {
    size_t i = 0;
    while (i < m_str.size() && IsSpace(m_str[i]))
        ++i;
    m_str.erase(0, i);
    return *this;
}

CString& CString::TrimRight() {
    while (!m_str.empty() && IsSpace(m_str.back()))
        m_str.pop_back();
    return *this;
}

CString& CString::TrimRight(char ch) {
    while (!m_str.empty() && m_str.back() == ch)
        m_str.pop_back();
    return *this;
}

int CString::Replace(const char* from, const char* to) {
    if (!from || !*from)
        return 0;
    std::string what(from), with(to ? to : "");
    int n = 0;
    for (size_t at = m_str.find(what); at != std::string::npos; at = m_str.find(what, at + with.size())) {
        m_str.replace(at, what.size(), with);
        ++n;
    }
    return n;
}

void CString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    m_str = VFormat(format, args);
    va_end(args);
}

void CString::AppendFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    m_str += VFormat(format, args);
    va_end(args);
}

char* CString::GetBuffer(int minLength) {
    if (minLength > 0 && size_t(minLength) > m_str.size())
        m_str.resize(size_t(minLength));
    return &m_str[0];
}

void CString::ReleaseBuffer(int newLength) {
    if (newLength < 0)
        newLength = int(std::strlen(m_str.c_str()));
    m_str.resize(std::min(size_t(newLength), m_str.size()));
}

#pragma once
// The framework's narrow string: text in the process code page, in the shape
// the application code expects (implicit const char*, Format, Find, Mid...).
// Portable; the settings code uses it natively as well.

#include <cstddef>
#include <string>

class CString {
public:
    CString() = default;
    CString(const char* text) : m_str(text ? text : "") {}
    CString(const char* text, int length) : m_str(text ? text : "", text && length > 0 ? size_t(length) : 0) {}
    CString(char ch, int repeat) : m_str(repeat > 0 ? size_t(repeat) : 0, ch) {}
    CString(const std::string& text) : m_str(text) {}

    operator const char*() const { return m_str.c_str(); }
    const char* GetString() const { return m_str.c_str(); }
    const std::string& str() const { return m_str; }

    int GetLength() const { return int(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    char GetAt(int index) const { return m_str.at(size_t(index)); }
    void SetAt(int index, char ch) { m_str.at(size_t(index)) = ch; }

    CString& operator=(const char* text) {
        m_str = text ? text : "";
        return *this;
    }
    CString& operator=(char ch) {
        m_str.assign(1, ch);
        return *this;
    }
    CString& operator+=(const CString& other) {
        m_str += other.m_str;
        return *this;
    }
    CString& operator+=(const char* text) {
        if (text)
            m_str += text;
        return *this;
    }
    CString& operator+=(char ch) {
        m_str += ch;
        return *this;
    }
    void Append(const char* text) { *this += text; }

    // Byte-wise comparison; CompareNoCase ignores letter case (of ASCII
    // letters natively, of the code page's letters on Windows).
    int Compare(const char* text) const;
    int CompareNoCase(const char* text) const;

    // Index of the first occurrence at or after start, or -1.
    int Find(char ch, int start = 0) const;
    int Find(const char* text, int start = 0) const;
    int ReverseFind(char ch) const;

    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;

    CString& MakeLower();
    CString& MakeUpper();
    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();
    CString& TrimRight(char ch);
    int Replace(const char* from, const char* to);

    void Format(const char* format, ...)
#if defined(__GNUC__) && !defined(_WIN32)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    void AppendFormat(const char* format, ...)
#if defined(__GNUC__) && !defined(_WIN32)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    // Room for at least minLength characters to be written in place; the
    // length is set again by ReleaseBuffer (-1: up to the first zero).
    char* GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1);

    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_str + b.m_str); }
    friend CString operator+(const CString& a, const char* b) { return CString(a.m_str + (b ? b : "")); }
    friend CString operator+(const char* a, const CString& b) { return CString((a ? a : "") + b.m_str); }
    friend CString operator+(const CString& a, char b) { return CString(a.m_str + b); }
    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
    friend bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_str < b.m_str; }

private:
    std::string m_str;
};

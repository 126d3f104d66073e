#pragma once
// The narrow string of the application code, on the engine's string. Every
// position is a 0-based byte index and every comparison is byte for byte;
// positions that an operation tests raise gen::genlib_out_of_range with the
// position asked for and the length.

#include "engine/GenString.h"

class CStdString : public gen::basic_string<char> {
public:
    CStdString() = default;
    CStdString(const char* text);
    CStdString(const CStdString& other) : CStdString(other.c_str()) {}
    CStdString& operator=(const CStdString& other);
    CStdString& operator=(const char* text);

    operator const char*() const { return c_str(); }
    int GetLength() const { return int(length()); }
    bool IsEmpty() const { return length() == 0; }

    friend bool operator==(const CStdString& a, const CStdString& b);
    friend bool operator!=(const CStdString& a, const CStdString& b) { return !(a == b); }
    friend CStdString operator+(const CStdString& a, const CStdString& b);
    CStdString& operator+=(const CStdString& other);

    CStdString Left(int count) const;
    // Raises genlib_out_of_range unless start is below the length.
    int Find(char ch, int start = 0) const;
    // -1 also when start is not below the length.
    int Find(const char* text, int start = 0) const;
    int Replace(const char* oldText, const char* newText);
    // count -1 removes up to the end.
    void Delete(int count, int start);

    void TrimLeft(char ch);
    void TrimLeft() { TrimLeft(' '); }
    void TrimRight(char ch);
    // Removes trailing characters while the last one is in set.
    void TrimRight(const char* set);

    // At least length characters (new ones are zero bytes) to write in place;
    // ReleaseBuffer then sets the length (-1: up to the first zero byte).
    char* GetBuffer(int length);
    void ReleaseBuffer(int length = -1);

private:
    void SetText(const char* text, size_t length);
};

#pragma once
// The lexer of the text format. It reads its stream a line at a time into a
// fixed buffer: a line that does not fit (4095 bytes and more before its line
// feed), a NUL byte in the file and the end of the stream all end the input
// at that point. Every scan stops at the NUL that ends the buffer, and tokens
// are never longer than a line, so neither buffer can be overrun.

#include "framework/CString.h"

#include <cstdio>

namespace TextStorage {

class Tokenizer {
public:
    enum Kind { Integer = 0, Real = 1, String = 2, Identifier = 3, Punctuation = 4, End = 5 };
    static const int kBufferSize = 4096;

    // Reads the first line at once.
    explicit Tokenizer(FILE* stream);
    Tokenizer(const Tokenizer&) = delete;
    Tokenizer& operator=(const Tokenizer&) = delete;

    Kind NextToken();
    Kind GetKind() const { return m_kind; }
    const CString& GetIdentifier() const { return m_strIdentifier; }
    // The joined pieces of the last string, escape sequences still in place.
    const CString& GetString() const { return m_strValue; }
    char GetPunctuation() const { return m_szToken[0]; }
    double GetNumber() const { return m_dNumber; }

    // 1-based line number and 0-based position in the current line.
    int GetRow() const { return m_nRow; }
    int GetColumn() const { return m_nColumn; }

private:
    void ReadLine();
    void SkipBlanksAndComments();
    void ReadString();
    void ReadStringPiece();
    void ReadNumber();
    void ReadIdentifier();
    [[noreturn]] void Fail(const char* what) const;
    char Current() const { return m_szLine[m_nColumn]; }

    FILE* m_stream;
    char m_szLine[kBufferSize];
    int m_nRow = 0;
    int m_nColumn = 0;
    Kind m_kind = End;
    char m_szToken[kBufferSize];
    CString m_strValue;
    CString m_strIdentifier;
    double m_dNumber = 0;
};

// Reads a number as the runtime's atoi does (leading blanks, an optional
// sign, digits up to the first other character), clamped to the signed
// 32-bit range instead of overflowing.
int ReadIntLikeAtoi(const char* text);

} // namespace TextStorage

#include "settings/Tokenizer.h"

#include "settings/StorageException.h"

#include <climits>
#include <cstdlib>

namespace TextStorage {

namespace {
bool IsAsciiLetter(char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}
bool IsAsciiDigit(char ch) {
    return ch >= '0' && ch <= '9';
}
bool IsLineEnd(char ch) {
    return ch == '\n' || ch == '\0';
}
} // namespace

int ReadIntLikeAtoi(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    long long value = 0;
    for (; IsAsciiDigit(*text); ++text) {
        value = value * 10 + (*text - '0');
        if (value > (long long)INT_MAX + 1)
            value = (long long)INT_MAX + 1; // saturate; the clamp below decides
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return int(value);
}

Tokenizer::Tokenizer(FILE* stream) : m_stream(stream) {
    m_szToken[0] = '\0';
    ReadLine();
}

void Tokenizer::ReadLine() {
    m_nColumn = 0;
    if (m_stream && std::fgets(m_szLine, kBufferSize, m_stream)) {
        ++m_nRow;
        return;
    }
    m_szLine[0] = '\0';
}

void Tokenizer::Fail(const char* what) const {
    throw Exception("Tokenizer:: %s, at row %d, col %d", what, m_nRow, m_nColumn + 1);
}

void Tokenizer::SkipBlanksAndComments() {
    for (;;) {
        int row = m_nRow, column = m_nColumn;
        while (Current() == ' ' || Current() == '\t')
            ++m_nColumn;
        while (Current() == '\n' || Current() == '#')
            ReadLine();
        if (row == m_nRow && column == m_nColumn)
            return;
    }
}

Tokenizer::Kind Tokenizer::NextToken() {
    SkipBlanksAndComments();
    char ch = Current();
    if (ch == '\0') {
        m_szToken[0] = '\0';
        return m_kind = End;
    }
    if (ch == '"') {
        ReadString();
        return m_kind = String;
    }
    if (ch == ':' || ch == ';' || ch == '{' || ch == '}') {
        m_szToken[0] = ch;
        m_szToken[1] = '\0';
        ++m_nColumn;
        return m_kind = Punctuation;
    }
    if (IsAsciiLetter(ch)) {
        ReadIdentifier();
        return m_kind = Identifier;
    }
    if (IsAsciiDigit(ch) || ch == '+' || ch == '-' || ch == '.') {
        ReadNumber();
        return m_kind;
    }
    Fail("unknown character");
}

void Tokenizer::ReadIdentifier() {
    int n = 0;
    while (IsAsciiLetter(Current()) || IsAsciiDigit(Current()) || Current() == '_')
        m_szToken[n++] = m_szLine[m_nColumn++]; // a line holds fewer than kBufferSize bytes
    m_szToken[n] = '\0';
    m_strIdentifier = m_szToken;
}

void Tokenizer::ReadNumber() {
    int n = 0;
    if (Current() == '+' || Current() == '-')
        m_szToken[n++] = m_szLine[m_nColumn++];
    while (IsAsciiDigit(Current()))
        m_szToken[n++] = m_szLine[m_nColumn++];
    bool real = Current() == '.';
    if (real) {
        m_szToken[n++] = m_szLine[m_nColumn++];
        while (IsAsciiDigit(Current()))
            m_szToken[n++] = m_szLine[m_nColumn++];
    }
    m_szToken[n] = '\0';
    m_kind = real ? Real : Integer;
    m_dNumber = real ? std::strtod(m_szToken, nullptr) : double(ReadIntLikeAtoi(m_szToken));
}

// Copies one quoted piece, from its opening quote (taken without a check)
// to its closing quote, into the token buffer.
void Tokenizer::ReadStringPiece() {
    int n = 0;
    if (Current() != '\0')
        m_szToken[n++] = m_szLine[m_nColumn++];
    for (;;) {
        char ch = Current();
        if (IsLineEnd(ch))
            Fail("bad string");
        if (ch == '"') {
            ++m_nColumn;
            break;
        }
        if (ch == '\\') {
            if (IsLineEnd(m_szLine[m_nColumn + 1])) {
                ++m_nColumn;
                Fail("bad string");
            }
            m_szToken[n++] = m_szLine[m_nColumn++];
        }
        m_szToken[n++] = m_szLine[m_nColumn++];
    }
    m_szToken[n] = '\0';
}

// A string is one or more quoted pieces: a backslash anywhere after a
// closing quote on its line continues the value with the next piece, which
// may stand after blank and comment lines. Anything else after the closing
// quote is ignored.
void Tokenizer::ReadString() {
    std::string value;
    for (;;) {
        ReadStringPiece();
        // The piece without its quotes: the opening one is the first byte,
        // the closing one is not copied.
        value.append(m_szToken + 1);
        bool continued = false;
        while (!IsLineEnd(Current())) {
            if (Current() == '\\')
                continued = true;
            ++m_nColumn;
        }
        if (!continued)
            break;
        SkipBlanksAndComments();
    }
    m_strValue = CString(value);
}

} // namespace TextStorage

#include "settings/TextEscape.h"

#include "settings/StorageException.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace TextStorage {

namespace {

using Units = std::u16string;

#ifndef _WIN32
const unsigned long kUnknownCodePageError = 0x57; // what Windows reports: ERROR_INVALID_PARAMETER
#endif

Units Widen(const std::string& text, int codePage) {
    if (codePage == -1) {
        Units units(text.size(), u'\0');
        for (size_t i = 0; i < text.size(); ++i)
            units[i] = char16_t(static_cast<unsigned char>(text[i]));
        return units;
    }
#ifdef _WIN32
    // Lengths are passed explicitly so that a zero unit inside a value
    // survives; an empty text needs no call (and the call would fail).
    if (text.empty()) {
        if (!IsValidCodePage(UINT(codePage)))
            throw Exception("MultiByteToWideChar error = %x", unsigned(ERROR_INVALID_PARAMETER));
        return Units();
    }
    int n = MultiByteToWideChar(UINT(codePage), 0, text.data(), int(text.size()), nullptr, 0);
    if (n <= 0)
        throw Exception("MultiByteToWideChar error = %x", unsigned(GetLastError()));
    std::wstring wide(size_t(n), L'\0');
    if (MultiByteToWideChar(UINT(codePage), 0, text.data(), int(text.size()), &wide[0], n) != n)
        throw Exception("MultiByteToWideChar error = %x", unsigned(GetLastError()));
    return Units(wide.begin(), wide.end());
#else
    throw Exception("MultiByteToWideChar error = %x", unsigned(kUnknownCodePageError));
#endif
}

std::string Narrow(const Units& units, int codePage) {
    if (codePage == -1) {
        std::string text(units.size(), '\0');
        for (size_t i = 0; i < units.size(); ++i)
            text[i] = char(units[i] & 0xFF);
        return text;
    }
#ifdef _WIN32
    if (units.empty())
        return std::string();
    std::wstring wide(units.begin(), units.end());
    int n =
        WideCharToMultiByte(UINT(codePage), 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        throw Exception("WideCharToMultiByte error = %x", unsigned(GetLastError()));
    std::string text(size_t(n), '\0');
    if (WideCharToMultiByte(UINT(codePage), 0, wide.data(), int(wide.size()), &text[0], n, nullptr,
                            nullptr) != n)
        throw Exception("WideCharToMultiByte error = %x", unsigned(GetLastError()));
    return text;
#else
    throw Exception("WideCharToMultiByte error = %x", unsigned(kUnknownCodePageError));
#endif
}

bool IsDigit(char16_t unit) {
    return unit >= u'0' && unit <= u'9';
}

void AppendAscii(Units& out, const char* text) {
    while (*text)
        out += char16_t(*text++);
}

} // namespace

CString EscapeTextPiece(const CString& text, int codePage, bool followedByDigit) {
    Units in = Widen(text.str(), codePage), out;
    for (size_t i = 0; i < in.size(); ++i) {
        char16_t unit = in[i];
        switch (unit) {
        case u'\n':
            AppendAscii(out, "\\n");
            break;
        case u'\r':
            AppendAscii(out, "\\r");
            break;
        case u'\t':
            AppendAscii(out, "\\t");
            break;
        case u'\\':
            AppendAscii(out, "\\\\");
            break;
        case u'"':
            AppendAscii(out, "\\\"");
            break;
        default:
            if (unit <= 31) {
                bool digitNext = i + 1 < in.size() ? IsDigit(in[i + 1]) : followedByDigit;
                char number[8];
                std::snprintf(number, sizeof number, digitNext ? "\\%03u" : "\\%u", unsigned(unit));
                AppendAscii(out, number);
            } else {
                out += unit;
            }
        }
    }
    return CString(Narrow(out, codePage));
}

CString EscapeText(const CString& text, int codePage) {
    return EscapeTextPiece(text, codePage, false);
}

CString UnescapeText(const CString& text, int codePage) {
    static const char kErrorMark[] = "#err#";
    Units in = Widen(text.str(), codePage), out;
    for (size_t i = 0; i < in.size();) {
        if (in[i] != u'\\') {
            out += in[i++];
            continue;
        }
        if (i + 1 == in.size()) {
            AppendAscii(out, kErrorMark);
            ++i;
            continue;
        }
        char16_t next = in[i + 1];
        if (IsDigit(next)) {
            unsigned value = 0;
            size_t j = i + 1;
            for (int digits = 0; digits < 3 && j < in.size() && IsDigit(in[j]); ++digits, ++j)
                value = value * 10 + unsigned(in[j] - u'0');
            out += char16_t(value);
            i = j;
            continue;
        }
        switch (next) {
        case u'n':
            out += u'\n';
            break;
        case u'r':
            out += u'\r';
            break;
        case u't':
            out += u'\t';
            break;
        case u'\\':
            out += u'\\';
            break;
        case u'"':
            out += u'"';
            break;
        default:
            AppendAscii(out, kErrorMark);
        }
        i += 2;
    }
    return CString(Narrow(out, codePage));
}

CString MakeTagName(const CString& text) {
    static const char kReplaced[] = " {},\\/\"!:.";
    std::string name = text.str();
    for (char& ch : name)
        for (const char* r = kReplaced; *r; ++r)
            if (ch == *r)
                ch = '_';
    return CString(name);
}

} // namespace TextStorage

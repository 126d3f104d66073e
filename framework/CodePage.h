#pragma once
// Text between the process code page (UTF-8 under the program's manifest)
// and the UTF-16 of the wide Win32 functions, whole however long it is.

#include <string>

// Empty for null or text that does not convert.
std::wstring Widen(const char* text);
// length in UTF-16 units, or -1 for text that ends with a zero.
std::string Narrow(const wchar_t* text, int length = -1);

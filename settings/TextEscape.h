#pragma once
// Escaping of values for the text format, and the tag-name cleaner.
//
// codePage -1 takes every byte as one character. Any other value names a
// Windows code page through which the text is widened before escaping and
// narrowed afterwards; the native build knows no code pages and refuses them
// with the same error a Windows build gives for an unknown one.

#include "framework/CString.h"

namespace TextStorage {

CString EscapeText(const CString& text, int codePage);
CString UnescapeText(const CString& text, int codePage);

// Escapes one piece of a value that the writer cuts into several. A numeric
// escape is read greedily (up to three digits), so a control character
// written as "\1" before a digit would read back as another character; when
// the piece is followed by a digit, or a digit follows inside it, the number
// is written with three digits ("\001") instead.
CString EscapeTextPiece(const CString& text, int codePage, bool followedByDigit);

// The text with each of  space { } , \ / " ! : .  replaced by "_".
CString MakeTagName(const CString& text);

} // namespace TextStorage

#include "engine/Stream.h"

namespace stdlib {

bool Stream::OpenW(const wchar_t*, const wchar_t*) { return true; }
bool Stream::Open(const char*, const char*) { return true; }
bool Stream::IsError() { return false; }
void Stream::Flush() {}
void Stream::Close() {}
int64_t Stream::GetModifyTime() { return 0; }

} // namespace stdlib

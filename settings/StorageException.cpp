#include "settings/StorageException.h"

#include <cstdarg>
#include <cstdio>

namespace TextStorage {

Exception::Exception(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(m_szMessage, sizeof m_szMessage, format, args);
    va_end(args);
}

} // namespace TextStorage

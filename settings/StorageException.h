#pragma once
// The one error type of the text storage: a printf-formatted message in a
// fixed buffer, thrown by value and caught by the file-level load and save.

namespace TextStorage {

class Exception {
public:
    explicit Exception(const char* format, ...)
#if defined(__GNUC__) && !defined(_WIN32)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    const char* GetMessage() const {
        return m_szMessage;
    }

private:
    char m_szMessage[1024];
};

} // namespace TextStorage

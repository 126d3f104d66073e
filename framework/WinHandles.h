#pragma once
// Move-only owners of Win32 handles and a scoped lock for critical sections:
// nothing is closed twice and nothing leaks on an early return.

#include <windows.h>

#include <utility>

// A kernel object handle. Both null and INVALID_HANDLE_VALUE mean "none",
// because CreateFile and CreateThread disagree on which one they return.
class CHandle {
public:
    CHandle() = default;
    explicit CHandle(HANDLE h) : m_h(h) {}
    CHandle(CHandle&& other) noexcept : m_h(other.Detach()) {}
    CHandle& operator=(CHandle&& other) noexcept {
        if (this != &other)
            Attach(other.Detach());
        return *this;
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    ~CHandle() { Close(); }

    bool IsValid() const { return m_h && m_h != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_h; }
    void Attach(HANDLE h) {
        Close();
        m_h = h;
    }
    HANDLE Detach() { return std::exchange(m_h, nullptr); }
    void Close() {
        if (IsValid())
            ::CloseHandle(m_h);
        m_h = nullptr;
    }

private:
    HANDLE m_h = nullptr;
};

// A handle of FindFirstFile, which is closed with FindClose instead.
class CFindHandle {
public:
    explicit CFindHandle(HANDLE h) : m_h(h) {}
    CFindHandle(const CFindHandle&) = delete;
    CFindHandle& operator=(const CFindHandle&) = delete;
    ~CFindHandle() {
        if (IsValid())
            ::FindClose(m_h);
    }
    bool IsValid() const { return m_h != INVALID_HANDLE_VALUE && m_h; }
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h;
};

// An open registry key.
class CRegKeyHandle {
public:
    CRegKeyHandle() = default;
    CRegKeyHandle(const CRegKeyHandle&) = delete;
    CRegKeyHandle& operator=(const CRegKeyHandle&) = delete;
    ~CRegKeyHandle() {
        if (m_hKey)
            ::RegCloseKey(m_hKey);
    }
    HKEY* Receive() { return &m_hKey; }
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

// A critical section that lives as long as its owner.
class CCriticalSection {
public:
    CCriticalSection() { ::InitializeCriticalSection(&m_cs); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;
    ~CCriticalSection() { ::DeleteCriticalSection(&m_cs); }
    CRITICAL_SECTION* Get() { return &m_cs; }

private:
    CRITICAL_SECTION m_cs;
};

// Holds a critical section for one scope, also when the scope is left by an
// exception.
class CCritSecLock {
public:
    explicit CCritSecLock(CRITICAL_SECTION* cs) : m_cs(cs) { ::EnterCriticalSection(m_cs); }
    explicit CCritSecLock(CCriticalSection& cs) : CCritSecLock(cs.Get()) {}
    CCritSecLock(const CCritSecLock&) = delete;
    CCritSecLock& operator=(const CCritSecLock&) = delete;
    ~CCritSecLock() { ::LeaveCriticalSection(m_cs); }

private:
    CRITICAL_SECTION* m_cs;
};

// An icon the program made or loaded (LoadImage, CreateIconIndirect), which
// is destroyed with DestroyIcon. Not for shared icons (LoadIcon of a system
// icon), which must never be destroyed.
class CIconHandle {
public:
    CIconHandle() = default;
    explicit CIconHandle(HICON h) : m_h(h) {}
    CIconHandle(CIconHandle&& other) noexcept : m_h(std::exchange(other.m_h, nullptr)) {}
    CIconHandle& operator=(CIconHandle&& other) noexcept {
        if (this != &other) {
            Close();
            m_h = std::exchange(other.m_h, nullptr);
        }
        return *this;
    }
    CIconHandle(const CIconHandle&) = delete;
    CIconHandle& operator=(const CIconHandle&) = delete;
    ~CIconHandle() { Close(); }

    HICON Get() const { return m_h; }
    void Close() {
        if (m_h)
            ::DestroyIcon(m_h);
        m_h = nullptr;
    }

private:
    HICON m_h = nullptr;
};

#pragma once
// A heap of one class's own: made with the first object of the class,
// destroyed with the last, so a long-lived class keeps its blocks together
// and hands all of its memory back when its last object goes.
//
// The heap is not serialised: objects of a class that uses it are created
// and destroyed on one thread only (the user-interface thread).
//
//     class CWatch {
//     public:
//         DECLARE_PRIVATE_HEAP()
//     };
//     IMPLEMENT_PRIVATE_HEAP(CWatch)

#include <windows.h>

#include <cstddef>

class CPrivateHeap {
public:
    constexpr CPrivateHeap() = default;
    CPrivateHeap(const CPrivateHeap&) = delete;
    CPrivateHeap& operator=(const CPrivateHeap&) = delete;

    // Null when the heap cannot be made or has no room.
    void* Alloc(size_t size) noexcept {
        if (!m_hHeap && !(m_hHeap = ::HeapCreate(HEAP_NO_SERIALIZE, 0, 0)))
            return nullptr;
        void* p = ::HeapAlloc(m_hHeap, 0, size);
        if (p)
            ++m_nObjects;
        return p;
    }
    void Free(void* p) noexcept {
        if (!p || !m_hHeap || !::HeapFree(m_hHeap, 0, p))
            return;
        if (--m_nObjects == 0) {
            ::HeapDestroy(m_hHeap);
            m_hHeap = nullptr;
        }
    }

    HANDLE GetHeap() const { return m_hHeap; }
    long GetObjectCount() const { return m_nObjects; }

private:
    HANDLE m_hHeap = nullptr;
    long m_nObjects = 0;
};

// Class-specific allocation from the class's private heap. The operators
// are noexcept, so a failed allocation yields null and constructs nothing.
#define DECLARE_PRIVATE_HEAP()                                                                               \
    static void* operator new(size_t size) noexcept {                                                        \
        return s_heap.Alloc(size);                                                                           \
    }                                                                                                        \
    static void operator delete(void* p) noexcept {                                                          \
        s_heap.Free(p);                                                                                      \
    }                                                                                                        \
    static CPrivateHeap s_heap;

#define IMPLEMENT_PRIVATE_HEAP(Class) CPrivateHeap Class::s_heap;

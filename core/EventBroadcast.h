#pragma once
// The process-wide event broadcast: a list of receivers guarded by one
// re-entrant critical section, and BroadcastEvent, which calls every receiver
// in registration order on the broadcasting thread while holding that lock.
// A handler may broadcast again; it must not wait for a thread that is about
// to broadcast, register or unregister.

#include "core/EventIds.h"

#include <windows.h>

// Base of every receiver: registered (at the tail) by its constructor,
// unregistered by its destructor.
class event_client {
public:
    event_client();
    event_client(const event_client&) = delete;
    event_client& operator=(const event_client&) = delete;
    virtual ~event_client();

    // Called by BroadcastEvent with the event id; the three further
    // arguments are always 0.
    virtual void OnEvent(UINT nId, int nArg1, int nArg2, int nArg3) = 0;

    // Takes the receiver out of the list before its destructor would; an
    // owner calls it first thing in its own destructor so that no event
    // reaches a half-destroyed owner. Harmless when already out.
    void Unregister();

    event_client* next;
};

// Calls every registered receiver's handler with (nId, 0, 0, 0).
void BroadcastEvent(UINT nId);

extern "C" {
// Exported from the program's image: the head of the receiver list (null
// when empty) and the address of its lock.
__declspec(dllexport) event_client* GetHeadPtr();
__declspec(dllexport) CRITICAL_SECTION* GetSectionPtr();
}

// Declares, inside an owner class, the receiver template _class_client_<T>
// that forwards each event id to the owner's OnEvent(UINT). The owner holds
// a _class_client_<Owner> member and passes itself to it in its constructor:
//
//     class CWatch {
//     public:
//         DECLARE_EVENT_CLIENT()
//         CWatch() : m_client(this) {}
//         void OnEvent(UINT nId);
//     private:
//         _class_client_<CWatch> m_client;
//     };
//
// The receiver is registered a moment before its owner pointer is set; an
// event of another thread that arrives in between finds no owner and is
// dropped. The pointer is set under the broadcast lock so that the
// broadcasting thread sees it whole.
#define DECLARE_EVENT_CLIENT()                                                                          \
    template <class T> class _class_client_ : public event_client {                                     \
    public:                                                                                             \
        explicit _class_client_(T* pOwner) {                                                            \
            ::EnterCriticalSection(GetSectionPtr());                                                    \
            m_pOwner = pOwner;                                                                          \
            ::LeaveCriticalSection(GetSectionPtr());                                                    \
        }                                                                                               \
        void OnEvent(UINT nId, int, int, int) override {                                                \
            if (m_pOwner)                                                                               \
                m_pOwner->OnEvent(nId);                                                                 \
        }                                                                                               \
        T* m_pOwner = nullptr;                                                                          \
    };

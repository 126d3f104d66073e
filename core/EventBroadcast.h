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

protected:
    // For receivers that must be whole before they can be called: a
    // broadcast of another thread may reach a receiver the moment it is in
    // the list, and until the derived constructor has run its handler is the
    // pure one. Such receivers construct the base with register_later and
    // call Register at the end of their own constructor.
    struct register_later_t {};
    static constexpr register_later_t register_later{};
    explicit event_client(register_later_t);
    void Register();
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
// The receiver joins the list only once its owner pointer is set. Declared
// as the owner's last member, it joins after the rest of the owner is built;
// the owner's destructor calls m_client.Unregister() first, so that no event
// arrives while the owner is being torn down.
#define DECLARE_EVENT_CLIENT()                                                                               \
    template <class T> class _class_client_ : public event_client {                                          \
    public:                                                                                                  \
        explicit _class_client_(T* pOwner) : event_client(register_later), m_pOwner(pOwner) { Register(); }  \
        void OnEvent(UINT nId, int, int, int) override { m_pOwner->OnEvent(nId); }                           \
        T* m_pOwner;                                                                                         \
    };

#include "core/EventBroadcast.h"

#include "framework/WinHandles.h"

namespace {

// The lock must exist before any receiver does, also receivers that are
// themselves static objects, so it is made first of all static objects of
// the program and deleted last.
struct ReceiverList {
    CCriticalSection cs;
    event_client* head = nullptr;
};
__attribute__((init_priority(101))) ReceiverList g_receivers;

} // namespace

event_client* GetHeadPtr() {
    return g_receivers.head;
}

CRITICAL_SECTION* GetSectionPtr() {
    return g_receivers.cs.Get();
}

event_client::event_client() : next(nullptr) {
    Register();
}

event_client::event_client(register_later_t) : next(nullptr) {}

void event_client::Register() {
    CCritSecLock lock(g_receivers.cs);
    if (!g_receivers.head) {
        g_receivers.head = this;
        return;
    }
    event_client* last = g_receivers.head;
    while (last->next)
        last = last->next;
    last->next = this;
}

event_client::~event_client() {
    Unregister();
}

void event_client::Unregister() {
    CCritSecLock lock(g_receivers.cs);
    if (!g_receivers.head)
        return;
    if (g_receivers.head == this) {
        g_receivers.head = next;
    } else {
        event_client* before = g_receivers.head;
        while (before->next && before->next != this)
            before = before->next;
        if (before->next != this)
            return; // not in the list
        before->next = next;
    }
    next = nullptr;
}

void BroadcastEvent(UINT nId) {
    CCritSecLock lock(g_receivers.cs);
    // The follower is read before the call, so a handler may take its own
    // receiver out of the list (or delete it) without ending the walk.
    for (event_client* client = g_receivers.head; client;) {
        event_client* following = client->next;
        client->OnEvent(nId, 0, 0, 0);
        client = following;
    }
}

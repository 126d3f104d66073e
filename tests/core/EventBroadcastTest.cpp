// The event broadcast: order, unregistration anywhere in the list,
// re-entrant broadcasts and broadcasts from a worker thread.
#include "core/EventBroadcast.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// Records "name:id" for each event it receives, and the receiving thread.
class Recorder : public event_client {
public:
    Recorder(std::vector<std::string>& log, const char* name) : m_log(log), m_name(name) {}
    void OnEvent(UINT nId, int a, int b, int c) override {
        m_log.push_back(m_name + ":" + std::to_string(nId));
        m_lastThread = ::GetCurrentThreadId();
        m_argsAllZero = a == 0 && b == 0 && c == 0;
    }
    DWORD m_lastThread = 0;
    bool m_argsAllZero = false;

private:
    std::vector<std::string>& m_log;
    std::string m_name;
};

int ListLength() {
    int n = 0;
    for (event_client* c = GetHeadPtr(); c; c = c->next)
        ++n;
    return n;
}

TEST(EventBroadcast, CallsReceiversInRegistrationOrderWithZeroArguments) {
    ASSERT_EQ(GetHeadPtr(), nullptr);
    BroadcastEvent(ID_UPDATE_WATCH_LIST); // nobody listens: nothing happens

    std::vector<std::string> log;
    {
        Recorder a(log, "a"), b(log, "b"), c(log, "c");
        EXPECT_EQ(GetHeadPtr(), &a);
        BroadcastEvent(ID_SET_INWORK_MODE);
        EXPECT_EQ(log, (std::vector<std::string>{"a:32797", "b:32797", "c:32797"}));
        EXPECT_TRUE(a.m_argsAllZero && b.m_argsAllZero && c.m_argsAllZero);
    }
    EXPECT_EQ(GetHeadPtr(), nullptr);
}

TEST(EventBroadcast, UnregisteringHeadMiddleOrTailKeepsTheOthersLinked) {
    std::vector<std::string> log;
    Recorder a(log, "a");
    auto* b = new Recorder(log, "b");
    auto* c = new Recorder(log, "c");
    auto* d = new Recorder(log, "d");
    Recorder e(log, "e");

    delete c; // middle
    BroadcastEvent(1);
    EXPECT_EQ(log, (std::vector<std::string>{"a:1", "b:1", "d:1", "e:1"}));

    a.Unregister(); // head
    log.clear();
    BroadcastEvent(2);
    EXPECT_EQ(log, (std::vector<std::string>{"b:2", "d:2", "e:2"}));
    EXPECT_EQ(GetHeadPtr(), b);

    e.Unregister(); // tail
    log.clear();
    BroadcastEvent(3);
    EXPECT_EQ(log, (std::vector<std::string>{"b:3", "d:3"}));
    EXPECT_EQ(d->next, nullptr);

    // An object no longer in the list is left alone, and so is the list.
    e.Unregister();
    a.Unregister();
    EXPECT_EQ(ListLength(), 2);

    delete b;
    delete d;
    EXPECT_EQ(GetHeadPtr(), nullptr);
}

TEST(EventBroadcast, ReceiverAddedAfterwardsGoesToTheTail) {
    std::vector<std::string> log;
    Recorder a(log, "a");
    {
        Recorder b(log, "b");
        EXPECT_EQ(a.next, &b);
    }
    Recorder c(log, "c");
    EXPECT_EQ(a.next, &c);
    BroadcastEvent(7);
    EXPECT_EQ(log, (std::vector<std::string>{"a:7", "c:7"}));
}

// Like the folder monitor: on one event, broadcasts two more from inside
// the broadcast, on the same thread.
class Rebroadcaster : public event_client {
public:
    void OnEvent(UINT nId, int, int, int) override {
        if (nId == ID_UPDATE_WATCH_LIST) {
            BroadcastEvent(ID_WATCH_UPDATE_TOOLTIP);
            BroadcastEvent(ID_WATCH_UPDATE_ICON);
        }
    }
};

TEST(EventBroadcast, HandlerMayBroadcastAgainOnTheSameThread) {
    std::vector<std::string> log;
    Recorder first(log, "first");
    Rebroadcaster monitor;
    Recorder last(log, "last");
    BroadcastEvent(ID_UPDATE_WATCH_LIST);
    EXPECT_EQ(log, (std::vector<std::string>{"first:32776", "first:32778", "last:32778", "first:32780",
                                             "last:32780", "last:32776"}));
}

class SelfRemover : public event_client {
public:
    void OnEvent(UINT, int, int, int) override { Unregister(); }
};

TEST(EventBroadcast, HandlerMayTakeItselfOutDuringTheBroadcast) {
    std::vector<std::string> log;
    SelfRemover remover;
    Recorder after(log, "after");
    BroadcastEvent(5);
    BroadcastEvent(6);
    EXPECT_EQ(log, (std::vector<std::string>{"after:5", "after:6"}));
    EXPECT_EQ(GetHeadPtr(), &after);
}

class ThrowingReceiver : public event_client {
public:
    void OnEvent(UINT, int, int, int) override { throw 42; }
};

TEST(EventBroadcast, LockIsLeftWhenAHandlerThrows) {
    {
        ThrowingReceiver thrower;
        EXPECT_THROW(BroadcastEvent(9), int);
    }
    // Another thread can take the lock, so this one holds it no longer.
    bool entered = false;
    std::thread other([&] {
        if (::TryEnterCriticalSection(GetSectionPtr())) {
            entered = true;
            ::LeaveCriticalSection(GetSectionPtr());
        }
    });
    other.join();
    EXPECT_TRUE(entered);
}

TEST(EventBroadcast, BroadcastFromAWorkerRunsTheReceiversOnTheWorker) {
    std::vector<std::string> log;
    Recorder a(log, "a");
    DWORD worker = 0;
    std::thread t([&] {
        worker = ::GetCurrentThreadId();
        BroadcastEvent(ID_SET_INWORK_MODE);
    });
    t.join();
    EXPECT_EQ(log, (std::vector<std::string>{"a:32797"}));
    EXPECT_EQ(a.m_lastThread, worker);
    EXPECT_NE(a.m_lastThread, ::GetCurrentThreadId());
}

// An owner in the shape of the system's windows and monitor.
class Owner {
public:
    DECLARE_EVENT_CLIENT()
    Owner() : m_client(this) {}
    ~Owner() { m_client.Unregister(); }
    void OnEvent(UINT nId) { m_ids.push_back(nId); }
    void StopReceiving() { m_client.Unregister(); }
    std::vector<UINT> m_ids;

private:
    _class_client_<Owner> m_client;
};

TEST(EventBroadcast, ClassClientForwardsTheIdToItsOwner) {
    Owner owner;
    BroadcastEvent(ID_WATCH_UPDATE_ICON);
    BroadcastEvent(ID_WATCH_UPDATE_TOOLTIP);
    EXPECT_EQ(owner.m_ids, (std::vector<UINT>{ID_WATCH_UPDATE_ICON, ID_WATCH_UPDATE_TOOLTIP}));
}

TEST(EventBroadcast, ReceiversComeAndGoWhileAnotherThreadBroadcasts) {
    std::atomic<bool> stop{false};
    std::atomic<int> broadcasts{0};
    std::thread broadcaster([&] {
        while (!stop) {
            BroadcastEvent(ID_SET_INWORK_MODE);
            ++broadcasts;
        }
    });
    while (broadcasts == 0) // the broadcaster is under way before receivers come and go
        ::SwitchToThread();
    for (int i = 0; i < 2000; ++i) {
        Owner owner;
        ::SwitchToThread();
        owner.StopReceiving(); // the ids are read on this thread only after that
        for (UINT id : owner.m_ids)
            EXPECT_EQ(id, UINT(ID_SET_INWORK_MODE));
    }
    stop = true;
    broadcaster.join();
    EXPECT_EQ(GetHeadPtr(), nullptr);
}

TEST(EventBroadcast, ListFunctionsAreExportedFromTheProgram) {
    HMODULE self = ::GetModuleHandleA(nullptr);
    // Through void* first: FARPROC and the real types are unrelated function types.
    auto head =
        reinterpret_cast<event_client* (*)()>(reinterpret_cast<void*>(::GetProcAddress(self, "GetHeadPtr")));
    auto section = reinterpret_cast<CRITICAL_SECTION* (*)()>(
        reinterpret_cast<void*>(::GetProcAddress(self, "GetSectionPtr")));
    ASSERT_NE(head, nullptr);
    ASSERT_NE(section, nullptr);
    std::vector<std::string> log;
    Recorder a(log, "a");
    EXPECT_EQ(head(), &a);
    EXPECT_EQ(section(), GetSectionPtr());
}

} // namespace

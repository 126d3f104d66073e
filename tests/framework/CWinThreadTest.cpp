// The framework's worker-thread object on real Win32 threads.
#include "framework/CWinThread.h"
#include "framework/WaitForThread.h"
#include "framework/WinHandles.h"
#include "framework/WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

struct Shared {
    std::atomic<int> runs{0};
    std::atomic<DWORD> thread{0};
    int priorityInside = 0;
    HANDLE destroyed = nullptr;
};

UINT CountRun(LPVOID p) {
    auto* shared = static_cast<Shared*>(p);
    shared->thread = ::GetCurrentThreadId();
    shared->priorityInside = ::GetThreadPriority(::GetCurrentThread());
    ++shared->runs;
    return 77;
}

class TracedThread : public CWinThread {
public:
    TracedThread(Shared* shared) : CWinThread(&CountRun, shared), m_shared(shared) {}
    ~TracedThread() override { ::SetEvent(m_shared->destroyed); }

private:
    Shared* m_shared;
};

TEST(CWinThread, SuspendedThreadWaitsThenRunsAtItsPriorityAndDeletesItself) {
    Shared shared;
    CHandle destroyed(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    shared.destroyed = destroyed.Get();
    auto* thread = new TracedThread(&shared);
    ASSERT_TRUE(thread->CreateThread(CREATE_SUSPENDED));
    ASSERT_NE(thread->m_hThread, nullptr);
    EXPECT_NE(thread->m_nThreadID, 0u);
    // Our own handle: the object closes its handle as it deletes itself.
    HANDLE h = nullptr;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), thread->m_hThread, ::GetCurrentProcess(), &h, 0,
                                  FALSE, DUPLICATE_SAME_ACCESS));
    CHandle own(h);
    EXPECT_TRUE(thread->SetThreadPriority(THREAD_PRIORITY_BELOW_NORMAL));
    EXPECT_EQ(thread->GetThreadPriority(), THREAD_PRIORITY_BELOW_NORMAL);
    EXPECT_EQ(::WaitForSingleObject(own.Get(), 100), DWORD(WAIT_TIMEOUT));
    EXPECT_EQ(shared.runs, 0);
    DWORD id = thread->m_nThreadID;

    thread->ResumeThread();
    ASSERT_EQ(::WaitForSingleObject(own.Get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(::WaitForSingleObject(destroyed.Get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(shared.runs, 1);
    EXPECT_EQ(shared.thread, id);
    EXPECT_EQ(shared.priorityInside, THREAD_PRIORITY_BELOW_NORMAL);
    DWORD code = 0;
    ::GetExitCodeThread(own.Get(), &code);
    EXPECT_EQ(code, 77u);
}

TEST(CWinThread, WithoutAutoDeleteTheObjectOutlivesItsThread) {
    Shared shared;
    CHandle destroyed(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    shared.destroyed = destroyed.Get();
    auto* thread = new TracedThread(&shared);
    thread->m_bAutoDelete = FALSE;
    ASSERT_TRUE(thread->CreateThread());
    ASSERT_EQ(::WaitForSingleObject(thread->m_hThread, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(::WaitForSingleObject(destroyed.Get(), 0), DWORD(WAIT_TIMEOUT));
    EXPECT_EQ(shared.runs, 1);
    EXPECT_FALSE(thread->CreateThread()); // one thread per object
    EXPECT_FALSE(thread->InitInstance()); // nothing to set up in the base
    delete thread;
    EXPECT_EQ(::WaitForSingleObject(destroyed.Get(), 0), WAIT_OBJECT_0);
}

TEST(CWinThread, StartedWorkerIsWaitedForByItsOwnHandleAfterItsObjectIsGone) {
    Shared shared;
    CHandle destroyed(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    shared.destroyed = destroyed.Get();
    DWORD id = 0;
    CHandle thread = StartWorkerThread(new TracedThread(&shared), THREAD_PRIORITY_BELOW_NORMAL, &id);
    ASSERT_TRUE(thread.IsValid());
    ASSERT_TRUE(WaitForThread(thread, 10000));
    EXPECT_EQ(::WaitForSingleObject(destroyed.Get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(shared.thread, id);
    EXPECT_EQ(shared.priorityInside, THREAD_PRIORITY_BELOW_NORMAL);
    DWORD code = 0;
    ::GetExitCodeThread(thread.Get(), &code);
    EXPECT_EQ(code, 77u);
    // No thread: nothing to wait for.
    EXPECT_FALSE(StartWorkerThread(static_cast<CWinThread*>(nullptr)).IsValid());
    EXPECT_TRUE(WaitForThreadAnsweringSentMessages(CHandle(), 0));
}

} // namespace

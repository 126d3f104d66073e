// Worker jobs on real threads: start and restart, priorities, and hardware
// faults inside the body turned into CSeException for OnException.
#include "core/CSeException.h"
#include "core/CThreadJob.h"
#include "core/CWinThreadException.h"
#include "core/SeTranslator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <thread>

namespace {

class TestJob : public CThreadJob {
public:
    ~TestJob() override { WaitForWorker(); }

    int Run() override {
        m_nRunThread = ::GetCurrentThreadId();
        m_nRunPriority = ::GetThreadPriority(::GetCurrentThread());
        m_bTranslatorOnInRun = IsSeTranslatorInstalled();
        // Our own handle, to read the thread's exit code after it ended.
        ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &m_hThread,
                          SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, 0);
        return m_body ? m_body() : 0;
    }
    void OnException(CSeException* e) override {
        ++m_nExceptions;
        m_bNullException = e == nullptr;
        m_nCode = e ? e->GetSeCode() : 0;
        m_bPointersValid = e && e->GetSePointers() && e->GetSePointers()->ExceptionRecord &&
                           e->GetSePointers()->ExceptionRecord->ExceptionCode == e->m_nSeCode;
        if (m_onException)
            m_onException();
    }
    int GetResultAfterException() override { return -7; }

    // Waits for the worker and returns its thread's exit code.
    DWORD Finish() {
        EXPECT_TRUE(WaitForWorker(10000));
        DWORD code = 0xDEAD;
        if (m_hThread) {
            ::WaitForSingleObject(m_hThread, 10000);
            ::GetExitCodeThread(m_hThread, &code);
            ::CloseHandle(m_hThread);
            m_hThread = nullptr;
        }
        return code;
    }

    int Param() const { return m_nParam; }
    HWND OwnerWnd() const { return m_hOwnerWnd; }
    int UserFlag() const { return m_nUserFlag; }
    int Result() const { return m_nResult; }

    std::function<int()> m_body;
    std::function<void()> m_onException;
    DWORD m_nRunThread = 0;
    int m_nRunPriority = 0;
    bool m_bTranslatorOnInRun = false;
    std::atomic<int> m_nExceptions{0};
    bool m_bNullException = false;
    bool m_bPointersValid = false;
    UINT m_nCode = 0;

private:
    HANDLE m_hThread = nullptr;
};

struct SetOnUnwind {
    bool* done;
    ~SetOnUnwind() { *done = true; }
};

__attribute__((noinline)) int WriteThroughNull(bool* unwound) {
    SetOnUnwind guard{unwound};
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 5;
}

__attribute__((noinline)) int DivideByZero(bool* unwound) {
    SetOnUnwind guard{unwound};
    volatile int zero = 0;
    volatile int ten = 10;
    return ten / zero;
}

// A leaf function: it faults with the stack as its caller's call left it.
__attribute__((noinline)) int ReadThrough(volatile int* p) {
    return *p;
}

TEST(ThreadJob, RunsTheBodyOnItsOwnThreadAtIdlePriority) {
    TestJob job;
    job.m_body = [] { return 42; };
    job.SetUserFlag(9);
    HWND owner = reinterpret_cast<HWND>(0x1234);
    ASSERT_TRUE(job.Start(owner, 17));
    EXPECT_EQ(job.Finish(), 42u);
    EXPECT_EQ(job.Result(), 42);
    EXPECT_EQ(job.Param(), 17);
    EXPECT_EQ(job.OwnerWnd(), owner);
    EXPECT_EQ(job.UserFlag(), 0); // cleared by Start
    EXPECT_NE(job.m_nRunThread, ::GetCurrentThreadId());
    EXPECT_EQ(job.m_nRunPriority, THREAD_PRIORITY_IDLE);
    EXPECT_TRUE(job.m_bTranslatorOnInRun);
    EXPECT_FALSE(IsSeTranslatorInstalled()); // only job threads translate
    EXPECT_EQ(job.m_nExceptions, 0);
    EXPECT_FALSE(job.IsWorking());

    EXPECT_STREQ(job.GetRuntimeClass()->m_lpszClassName, "CThreadJob");
    EXPECT_EQ(job.GetRuntimeClass()->m_wSchema, 0xFFFFu);
}

TEST(ThreadJob, SecondStartFailsWhileTheWorkerRunsAndSucceedsAfterIt) {
    TestJob job;
    HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    job.m_body = [release] {
        ::WaitForSingleObject(release, 10000);
        return 1;
    };
    ASSERT_TRUE(job.Start(nullptr, 1));
    EXPECT_FALSE(job.Start(nullptr, 2));
    EXPECT_EQ(job.Param(), 2); // the only thing a refused Start changes
    EXPECT_TRUE(job.IsWorking());
    ::SetEvent(release);
    EXPECT_EQ(job.Finish(), 1u);

    job.m_body = [] { return 2; };
    ASSERT_TRUE(job.Start(nullptr, 3));
    EXPECT_EQ(job.Finish(), 2u);
    ::CloseHandle(release);
}

TEST(ThreadJob, AccessViolationReachesOnExceptionAfterUnwindingAndTheJobRestarts) {
    TestJob job;
    bool unwound = false;
    job.m_body = [&] { return WriteThroughNull(&unwound); };
    ASSERT_TRUE(job.Start(nullptr, 0));
    EXPECT_EQ(job.Finish(), DWORD(-7)); // the result after an exception
    EXPECT_EQ(job.m_nExceptions, 1);
    EXPECT_EQ(job.m_nCode, UINT(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_TRUE(job.m_bPointersValid);
    EXPECT_TRUE(unwound) << "the faulting frame's destructors did not run";

    // Again and again on fresh threads, then a normal run.
    for (int i = 0; i < 3; ++i) {
        unwound = false;
        ASSERT_TRUE(job.Start(nullptr, 0));
        job.Finish();
        EXPECT_TRUE(unwound);
    }
    EXPECT_EQ(job.m_nExceptions, 4);
    job.m_body = [] { return 3; };
    ASSERT_TRUE(job.Start(nullptr, 0));
    EXPECT_EQ(job.Finish(), 3u);
    EXPECT_EQ(job.m_nExceptions, 4);
}

TEST(ThreadJob, DivisionByZeroAndAFaultInALeafFunctionAreTranslatedToo) {
    TestJob job;
    bool unwound = false;
    job.m_body = [&] { return DivideByZero(&unwound); };
    ASSERT_TRUE(job.Start(nullptr, 0));
    job.Finish();
    EXPECT_EQ(job.m_nCode, UINT(EXCEPTION_INT_DIVIDE_BY_ZERO));
    EXPECT_TRUE(unwound);

    job.m_body = [] { return ReadThrough(nullptr); };
    ASSERT_TRUE(job.Start(nullptr, 0));
    EXPECT_EQ(job.Finish(), DWORD(-7));
    EXPECT_EQ(job.m_nCode, UINT(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(job.m_nExceptions, 2);
}

TEST(ThreadJob, OrdinaryExceptionReachesOnExceptionAsNull) {
    TestJob job;
    job.m_body = []() -> int { throw std::runtime_error("body failed"); };
    ASSERT_TRUE(job.Start(nullptr, 0));
    EXPECT_EQ(job.Finish(), DWORD(-7));
    EXPECT_EQ(job.m_nExceptions, 1);
    EXPECT_TRUE(job.m_bNullException);
}

TEST(ThreadJob, NoSecondReportWhileAnotherJobsOnExceptionRuns) {
    TestJob first, second;
    HANDLE inHandler = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE secondDone = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    first.m_body = []() -> int { throw 1; };
    first.m_onException = [&] {
        ::SetEvent(inHandler);
        ::WaitForSingleObject(secondDone, 10000);
    };
    second.m_body = []() -> int { throw 2; };
    ASSERT_TRUE(first.Start(nullptr, 0));
    ASSERT_EQ(::WaitForSingleObject(inHandler, 10000), WAIT_OBJECT_0);
    ASSERT_TRUE(second.Start(nullptr, 0));
    second.Finish();
    ::SetEvent(secondDone);
    first.Finish();
    EXPECT_EQ(first.m_nExceptions, 1);
    EXPECT_EQ(second.m_nExceptions, 0);

    // Once the first handler is done, failures are reported again.
    ASSERT_TRUE(second.Start(nullptr, 0));
    second.Finish();
    EXPECT_EQ(second.m_nExceptions, 1);
    ::CloseHandle(inHandler);
    ::CloseHandle(secondDone);
}

TEST(ThreadJob, DestroyingAJobWaitsForItsWorker) {
    std::atomic<bool> finished{false};
    auto* job = new TestJob;
    job->m_body = [&] {
        ::Sleep(200);
        finished = true;
        return 0;
    };
    ASSERT_TRUE(job->Start(nullptr, 0));
    delete job;
    EXPECT_TRUE(finished);
}

} // namespace

namespace {

TEST(ThreadJobDeathTest, ExceptionThatReachesAWindowProcedureEndsTheProcessWithCode3) {
    EXPECT_EXIT(
        {
            CWinThreadException thread(nullptr, nullptr);
            thread.ProcessWndProcException(new CSeException(EXCEPTION_ACCESS_VIOLATION, nullptr), nullptr);
        },
        ::testing::ExitedWithCode(3), "");
}

LONG WINAPI EndWithCode9(EXCEPTION_POINTERS*) {
    ::ExitProcess(9);
}

TEST(ThreadJobDeathTest, FaultOnAThreadThatIsNoJobIsNotTranslated) {
    // Translated, the fault would become a C++ exception that leaves the
    // thread and ends the process through std::terminate (code 3). Left
    // alone, it reaches the unhandled-exception filter.
    EXPECT_EXIT(
        {
            ::SetUnhandledExceptionFilter(&EndWithCode9);
            TestJob job; // a job thread first, so the translation is active
            job.m_body = [] { return ReadThrough(nullptr); };
            job.Start(nullptr, 0);
            job.Finish();
            if (job.m_nCode != EXCEPTION_ACCESS_VIOLATION)
                ::ExitProcess(1);
            std::thread plain([] { ReadThrough(nullptr); });
            plain.join();
            ::ExitProcess(0);
        },
        ::testing::ExitedWithCode(9), "");
}

} // namespace

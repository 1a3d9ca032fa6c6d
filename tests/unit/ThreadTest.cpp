#include "framework/Thread.h"

#include <gtest/gtest.h>

namespace {

struct Work {
    HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD threadId = 0;
    int seen = 0;
    ~Work() { ::CloseHandle(done); }
};

UINT RecordAndSignal(LPVOID param)
{
    auto* work = static_cast<Work*>(param);
    work->threadId = ::GetCurrentThreadId();
    work->seen = 42;
    ::SetEvent(work->done);
    return 0;
}

TEST(AfxBeginThread, RunsTheProcedureWithItsParameterOnAnotherThread)
{
    Work work;
    CWinThread* thread = AfxBeginThread(&RecordAndSignal, &work);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(work.done, 10000));
    EXPECT_EQ(42, work.seen);
    EXPECT_NE(0u, work.threadId);
    EXPECT_NE(::GetCurrentThreadId(), work.threadId);
}

TEST(AfxBeginThread, ASuspendedThreadWaitsForResume)
{
    Work work;
    CWinThread* thread = AfxBeginThread(&RecordAndSignal, &work, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(work.done, 100));
    // The object lives until the procedure returns, so its fields are still valid here.
    const DWORD id = thread->m_nThreadID;
    ::ResumeThread(thread->m_hThread);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(work.done, 10000));
    EXPECT_EQ(id, work.threadId);
}

}  // namespace

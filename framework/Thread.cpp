#include "framework/Thread.h"

#include <process.h>

CWinThread::~CWinThread()
{
    if (m_hThread) ::CloseHandle(m_hThread);
}

unsigned __stdcall CWinThread::Start(void* self)
{
    auto* thread = static_cast<CWinThread*>(self);
    const UINT result = thread->m_pfnThreadProc(thread->m_pThreadParams);
    delete thread;
    return result;
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority, UINT stackSize, DWORD createFlags,
                           LPSECURITY_ATTRIBUTES security)
{
    auto* thread = new CWinThread(proc, param);
    unsigned id = 0;
    // Created suspended so that the object is complete before the procedure can end and delete it.
    const uintptr_t handle = ::_beginthreadex(security, stackSize, &CWinThread::Start, thread, CREATE_SUSPENDED, &id);
    if (handle == 0) {
        delete thread;
        return nullptr;
    }
    thread->m_hThread = reinterpret_cast<HANDLE>(handle);
    thread->m_nThreadID = id;
    ::SetThreadPriority(thread->m_hThread, priority);
    if (!(createFlags & CREATE_SUSPENDED))
        ::ResumeThread(thread->m_hThread);
    return thread;
}

// Worker threads in the framework's form: a procedure taking one untyped pointer.
#pragma once

#include "framework/Afx.h"

using AFX_THREADPROC = UINT (*)(LPVOID);

// A running thread. It deletes itself (closing its handle) when its procedure returns, so a
// pointer to it must not be used once the thread may have ended.
class CWinThread {
public:
    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;

private:
    friend CWinThread* AfxBeginThread(AFX_THREADPROC, LPVOID, int, UINT, DWORD, LPSECURITY_ATTRIBUTES);
    CWinThread(AFX_THREADPROC proc, LPVOID param) : m_pfnThreadProc(proc), m_pThreadParams(param) {}
    ~CWinThread();
    static unsigned __stdcall Start(void* self);

    AFX_THREADPROC m_pfnThreadProc;
    LPVOID m_pThreadParams;
};

// Starts proc(param) on a new thread; nullptr when the thread cannot be created.
CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD createFlags = 0, LPSECURITY_ATTRIBUTES security = nullptr);

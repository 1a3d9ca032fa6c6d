// CWinApp: the one application object. The entry point calls its InitInstance; when that
// returns FALSE the process ends with ExitInstance's result as its exit code.
#pragma once

#include "framework/Afx.h"
#include "framework/Wnd.h"

constexpr DWORD AFX_RESTART_MANAGER_SUPPORT_RESTART = 0x01;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Registers with the restart manager when asked to.
    virtual BOOL InitInstance();
    // The exit code given to AfxPostQuitMessage, or 0.
    virtual int ExitInstance();

    CWnd* m_pMainWnd = nullptr;
    DWORD m_dwRestartManagerSupportFlags = 0;
};

CWinApp* AfxGetApp();
// Owner for the calling thread's message boxes: the window the thread named with
// AfxSetThreadMessageOwner, else the application's main window, when there is one.
HWND AfxGetMessageOwner();
// A worker thread names the window it works for, so that its message boxes belong to it.
void AfxSetThreadMessageOwner(HWND owner);
// Records the process exit code for ExitInstance (a WM_QUIT on the calling thread).
void AfxPostQuitMessage(int exitCode);

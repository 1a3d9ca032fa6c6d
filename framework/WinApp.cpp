#include "framework/WinApp.h"

#include <string>

namespace {
CWinApp* g_app = nullptr;
thread_local HWND t_messageOwner = nullptr;
}

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp()
{
    if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance()
{
    if (m_dwRestartManagerSupportFlags & AFX_RESTART_MANAGER_SUPPORT_RESTART) {
        // Windows Vista and later only: looked up at run time so the installer still starts on XP.
        using RegisterRestart = HRESULT(WINAPI*)(PCWSTR, DWORD);
        if (HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll")) {
            auto registerRestart =
                reinterpret_cast<RegisterRestart>(reinterpret_cast<void*>(::GetProcAddress(kernel, "RegisterApplicationRestart")));
            if (registerRestart) registerRestart(L"", 0);
        }
    }
    return TRUE;
}

int CWinApp::ExitInstance()
{
    MSG message;
    if (::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return static_cast<int>(message.wParam);
    return 0;
}

CWinApp* AfxGetApp() { return g_app; }

void AfxSetThreadMessageOwner(HWND owner) { t_messageOwner = owner; }

HWND AfxGetMessageOwner()
{
    if (t_messageOwner) return t_messageOwner;
    const CWinApp* app = AfxGetApp();
    return app && app->m_pMainWnd ? app->m_pMainWnd->m_hWnd : nullptr;
}

void AfxPostQuitMessage(int exitCode) { ::PostQuitMessage(exitCode); }

HINSTANCE AfxGetInstanceHandle() { return ::GetModuleHandleW(nullptr); }

LPCWSTR AfxGetAppName()
{
    static const std::wstring name = [] {
        wchar_t path[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring file(path);
        const size_t slash = file.find_last_of(L"\\/");
        if (slash != std::wstring::npos) file.erase(0, slash + 1);
        const size_t dot = file.rfind(L'.');
        if (dot != std::wstring::npos) file.erase(dot);
        return file;
    }();
    return name.c_str();
}

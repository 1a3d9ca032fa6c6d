#include "platform/Platform.h"

#include <atomic>
#include <ctime>
#include <shellapi.h>

namespace {

class CSystemPlatform final : public IPlatform {
public:
    HRESULT InitializeCom(DWORD coInit) override { return ::CoInitializeEx(nullptr, coInit); }
    void UninitializeCom() override { ::CoUninitialize(); }
    int64_t CurrentTime() override { return static_cast<int64_t>(::_time64(nullptr)); }
    void Sleep(DWORD milliseconds) override { ::Sleep(milliseconds); }
    int ShowMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) override
    {
        return ::MessageBoxW(owner, text, caption, type);
    }

    BOOL QueryVersion(OSVERSIONINFOEXW& info) override
    {
        return ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
    }
    void QueryNativeSystemInfo(SYSTEM_INFO& info) override { ::GetNativeSystemInfo(&info); }
    void QuerySystemInfo(SYSTEM_INFO& info) override { ::GetSystemInfo(&info); }
    int QuerySystemMetrics(int index) override { return ::GetSystemMetrics(index); }
    BOOL QueryMemoryStatus(MEMORYSTATUSEX& status) override { return ::GlobalMemoryStatusEx(&status); }

    BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, PSID domainSid, PSID sid, DWORD* size) override
    {
        return ::CreateWellKnownSid(type, domainSid, sid, size);
    }
    BOOL CheckTokenMembership(PSID sid, BOOL* isMember) override
    {
        return ::CheckTokenMembership(nullptr, sid, isMember);
    }
    BOOL QueryElevationType(TOKEN_ELEVATION_TYPE& type) override
    {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_READ, &token)) return FALSE;
        DWORD returned = 0;
        const BOOL ok = ::GetTokenInformation(token, TokenElevationType, &type, sizeof(type), &returned);
        ::CloseHandle(token);
        return ok;
    }
    HINSTANCE LaunchShellVerb(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                           int show) override
    {
        return ::ShellExecuteW(owner, verb, file, parameters, directory, show);
    }
    BOOL EnableShutdownPrivilege() override
    {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return FALSE;
        TOKEN_PRIVILEGES privileges = {};
        ::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        const DWORD error = ::GetLastError();
        ::CloseHandle(token);
        ::SetLastError(error);
        return error == ERROR_SUCCESS;
    }
    BOOL ExitWindowsEx(UINT flags, DWORD reason) override { return ::ExitWindowsEx(flags, reason); }
};

CSystemPlatform g_systemPlatform;
std::atomic<IPlatform*> g_platform{&g_systemPlatform};

}  // namespace

IPlatform& Platform() { return *g_platform.load(); }

void SetPlatformForTesting(IPlatform* platform) { g_platform.store(platform ? platform : &g_systemPlatform); }

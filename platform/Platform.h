// The seam over the operating-system calls that tests must control: COM start-up, the
// clock, sleeping, message boxes, the version, processor and memory records, token
// membership and elevation, the elevated restart and the computer restart. Production code
// calls Platform(); unit tests install a fake with SetPlatformForTesting.
#pragma once

#include "framework/Afx.h"

#include <cstdint>

class IPlatform {
public:
    virtual ~IPlatform() = default;

    // CoInitializeEx(nullptr, coInit) on the calling thread.
    virtual HRESULT InitializeCom(DWORD coInit) = 0;
    // CoUninitialize, once for every successful InitializeCom.
    virtual void UninitializeCom() = 0;
    // Seconds since 1970-01-01 00:00 UTC.
    virtual int64_t CurrentTime() = 0;
    virtual void Sleep(DWORD milliseconds) = 0;
    // MessageBoxW: the button the user chose.
    virtual int ShowMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) = 0;

    // GetVersionExW into a record whose size field the caller has set.
    virtual BOOL QueryVersion(OSVERSIONINFOEXW& info) = 0;
    virtual void QueryNativeSystemInfo(SYSTEM_INFO& info) = 0;
    virtual void QuerySystemInfo(SYSTEM_INFO& info) = 0;
    virtual int QuerySystemMetrics(int index) = 0;
    // GlobalMemoryStatusEx into a record whose length field the caller has set.
    virtual BOOL QueryMemoryStatus(MEMORYSTATUSEX& status) = 0;

    virtual BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, PSID domainSid, PSID sid, DWORD* size) = 0;
    // CheckTokenMembership with the caller's own token.
    virtual BOOL CheckTokenMembership(PSID sid, BOOL* isMember) = 0;
    // The elevation type of the process token; FALSE when the token cannot be opened or asked.
    virtual BOOL QueryElevationType(TOKEN_ELEVATION_TYPE& type) = 0;
    // ShellExecuteW for the elevated restart of the installer ("runas").
    virtual HINSTANCE LaunchShellVerb(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                   LPCWSTR directory, int show) = 0;
    // Enables SeShutdownPrivilege on the process token; FALSE with the thread's last error set
    // when it cannot.
    virtual BOOL EnableShutdownPrivilege() = 0;
    virtual BOOL ExitWindowsEx(UINT flags, DWORD reason) = 0;
};

IPlatform& Platform();

// Installs a replacement (a test fake); nullptr restores the real system.
void SetPlatformForTesting(IPlatform* platform);

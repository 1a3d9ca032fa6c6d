// A scripted IPlatform for unit tests: answers come from public fields set before the code
// under test runs; every call that matters is recorded. The clock, the message-box queue and
// the records are guarded, so the code under test may call it from worker threads.
#pragma once

#include "platform/Platform.h"

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class FakePlatform final : public IPlatform {
public:
    struct MessageBoxCall {
        HWND owner;
        std::wstring text;
        std::wstring caption;
        UINT type;
    };
    struct ShellVerbCall {
        HWND owner;
        std::wstring verb, file, parameters, directory;
        int show;
    };
    struct ExitWindowsCall {
        UINT flags;
        DWORD reason;
    };

    // Defaults: Windows 7 SP1 workstation on x64 (native and plain), 4 processors, 8 GiB of
    // memory, the user an administrator with a full (elevated) token, every call succeeding.
    FakePlatform();

    // Scripted answers.
    HRESULT comResult = S_OK;
    OSVERSIONINFOEXW version{};
    BOOL versionSucceeds = TRUE;
    SYSTEM_INFO nativeSystemInfo{};
    SYSTEM_INFO systemInfo{};
    std::map<int, int> systemMetrics;   // indexes not listed answer 0, as the system does
    MEMORYSTATUSEX memoryStatus{};
    BOOL memoryStatusSucceeds = TRUE;
    BOOL createSidSucceeds = TRUE;      // otherwise fails with ERROR_INVALID_PARAMETER
    BOOL membershipCheckSucceeds = TRUE;
    std::vector<WELL_KNOWN_SID_TYPE> memberOf{WinBuiltinAdministratorsSid};
    BOOL elevationQuerySucceeds = TRUE;
    TOKEN_ELEVATION_TYPE elevationType = TokenElevationTypeFull;
    INT_PTR shellVerbResult = 42;       // above 32 means success
    BOOL shutdownPrivilegeSucceeds = TRUE;
    DWORD shutdownPrivilegeError = ERROR_NOT_ALL_ASSIGNED;
    BOOL exitWindowsSucceeds = TRUE;
    DWORD exitWindowsError = ERROR_PRIVILEGE_NOT_HELD;
    int defaultMessageBoxAnswer = IDOK; // when the queue is empty

    // The clock starts at 2024-01-01 00:00 UTC; Sleep advances it.
    void SetCurrentTime(int64_t secondsSince1970);
    void QueueMessageBoxAnswer(int answer);

    // Copies of what was recorded so far.
    std::vector<DWORD> ComInitializations() const;
    int ComUninitializations() const;
    std::vector<DWORD> Sleeps() const;
    std::vector<MessageBoxCall> MessageBoxes() const;
    std::vector<std::wstring> MembershipChecks() const;   // SIDs as "S-1-5-32-544"
    std::vector<ShellVerbCall> ShellVerbCalls() const;
    int ShutdownPrivilegeRequests() const;
    std::vector<ExitWindowsCall> ExitWindowsCalls() const;

    HRESULT InitializeCom(DWORD coInit) override;
    void UninitializeCom() override;
    int64_t CurrentTime() override;
    void Sleep(DWORD milliseconds) override;
    int ShowMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) override;
    BOOL QueryVersion(OSVERSIONINFOEXW& info) override;
    void QueryNativeSystemInfo(SYSTEM_INFO& info) override;
    void QuerySystemInfo(SYSTEM_INFO& info) override;
    int QuerySystemMetrics(int index) override;
    BOOL QueryMemoryStatus(MEMORYSTATUSEX& status) override;
    BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, PSID domainSid, PSID sid, DWORD* size) override;
    BOOL CheckTokenMembership(PSID sid, BOOL* isMember) override;
    BOOL QueryElevationType(TOKEN_ELEVATION_TYPE& type) override;
    HINSTANCE LaunchShellVerb(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                              int show) override;
    BOOL EnableShutdownPrivilege() override;
    BOOL ExitWindowsEx(UINT flags, DWORD reason) override;

private:
    mutable std::mutex m_lock;
    int64_t m_nowMilliseconds;
    std::deque<int> m_messageBoxAnswers;
    std::vector<DWORD> m_comInitializations;
    int m_comUninitializations = 0;
    std::vector<DWORD> m_sleeps;
    std::vector<MessageBoxCall> m_messageBoxes;
    std::vector<std::wstring> m_membershipChecks;
    std::vector<ShellVerbCall> m_shellVerbCalls;
    int m_shutdownPrivilegeRequests = 0;
    std::vector<ExitWindowsCall> m_exitWindowsCalls;
};

// Installs a platform (usually a FakePlatform) for its scope and puts the previous one back.
class ScopedFakePlatform {
public:
    explicit ScopedFakePlatform(IPlatform& replacement) : m_previous(&Platform())
    {
        SetPlatformForTesting(&replacement);
    }
    ~ScopedFakePlatform() { SetPlatformForTesting(m_previous); }
    ScopedFakePlatform(const ScopedFakePlatform&) = delete;
    ScopedFakePlatform& operator=(const ScopedFakePlatform&) = delete;

private:
    IPlatform* m_previous;
};

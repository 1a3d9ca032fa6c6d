#include "support/FakePlatform.h"

#include <sddl.h>

#include <algorithm>

namespace {
constexpr int64_t kStartOf2024 = 1704067200;

std::wstring SidText(PSID sid)
{
    LPWSTR text = nullptr;
    if (!sid || !::ConvertSidToStringSidW(sid, &text)) return L"(invalid SID)";
    std::wstring result(text);
    ::LocalFree(text);
    return result;
}
}  // namespace

FakePlatform::FakePlatform() : m_nowMilliseconds(kStartOf2024 * 1000)
{
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = 6;
    version.dwMinorVersion = 1;
    version.dwBuildNumber = 7601;
    version.dwPlatformId = VER_PLATFORM_WIN32_NT;
    ::lstrcpynW(version.szCSDVersion, L"Service Pack 1", ARRAYSIZE(version.szCSDVersion));
    version.wServicePackMajor = 1;
    version.wSuiteMask = VER_SUITE_SINGLEUSERTS;
    version.wProductType = VER_NT_WORKSTATION;

    nativeSystemInfo.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    nativeSystemInfo.dwPageSize = 4096;
    nativeSystemInfo.dwNumberOfProcessors = 4;
    nativeSystemInfo.dwActiveProcessorMask = 0xF;
    nativeSystemInfo.dwProcessorType = PROCESSOR_AMD_X8664;
    nativeSystemInfo.dwAllocationGranularity = 65536;
    systemInfo = nativeSystemInfo;

    memoryStatus.dwLength = sizeof(memoryStatus);
    memoryStatus.dwMemoryLoad = 50;
    memoryStatus.ullTotalPhys = 8ull << 30;
    memoryStatus.ullAvailPhys = 4ull << 30;
    memoryStatus.ullTotalPageFile = 16ull << 30;
    memoryStatus.ullAvailPageFile = 12ull << 30;
    memoryStatus.ullTotalVirtual = 128ull << 40;
    memoryStatus.ullAvailVirtual = 127ull << 40;
}

void FakePlatform::SetCurrentTime(int64_t secondsSince1970)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_nowMilliseconds = secondsSince1970 * 1000;
}

void FakePlatform::QueueMessageBoxAnswer(int answer)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_messageBoxAnswers.push_back(answer);
}

std::vector<DWORD> FakePlatform::ComInitializations() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_comInitializations;
}

int FakePlatform::ComUninitializations() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_comUninitializations;
}

std::vector<DWORD> FakePlatform::Sleeps() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_sleeps;
}

std::vector<FakePlatform::MessageBoxCall> FakePlatform::MessageBoxes() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_messageBoxes;
}

std::vector<std::wstring> FakePlatform::MembershipChecks() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_membershipChecks;
}

std::vector<FakePlatform::ShellVerbCall> FakePlatform::ShellVerbCalls() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_shellVerbCalls;
}

int FakePlatform::ShutdownPrivilegeRequests() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_shutdownPrivilegeRequests;
}

std::vector<FakePlatform::ExitWindowsCall> FakePlatform::ExitWindowsCalls() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_exitWindowsCalls;
}

HRESULT FakePlatform::InitializeCom(DWORD coInit)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_comInitializations.push_back(coInit);
    return comResult;
}

void FakePlatform::UninitializeCom()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_comUninitializations;
}

int64_t FakePlatform::CurrentTime()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_nowMilliseconds / 1000;
}

void FakePlatform::Sleep(DWORD milliseconds)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_sleeps.push_back(milliseconds);
    m_nowMilliseconds += milliseconds;
}

int FakePlatform::ShowMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_messageBoxes.push_back({owner, text ? text : L"", caption ? caption : L"", type});
    if (m_messageBoxAnswers.empty()) return defaultMessageBoxAnswer;
    const int answer = m_messageBoxAnswers.front();
    m_messageBoxAnswers.pop_front();
    return answer;
}

// Like GetVersionExW: the caller must have set the size of either record form.
BOOL FakePlatform::QueryVersion(OSVERSIONINFOEXW& info)
{
    const DWORD size = info.dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW)) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (!versionSucceeds) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    memcpy(&info, &version, size);
    info.dwOSVersionInfoSize = size;
    return TRUE;
}

void FakePlatform::QueryNativeSystemInfo(SYSTEM_INFO& info) { info = nativeSystemInfo; }

void FakePlatform::QuerySystemInfo(SYSTEM_INFO& info) { info = systemInfo; }

int FakePlatform::QuerySystemMetrics(int index)
{
    const auto found = systemMetrics.find(index);
    return found == systemMetrics.end() ? 0 : found->second;
}

// Like GlobalMemoryStatusEx: the caller must have set the record's length.
BOOL FakePlatform::QueryMemoryStatus(MEMORYSTATUSEX& status)
{
    if (status.dwLength != sizeof(MEMORYSTATUSEX) || !memoryStatusSucceeds) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    status = memoryStatus;
    return TRUE;
}

// Building a SID is pure computation, so the real call gives the real bytes and size rules.
BOOL FakePlatform::CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, PSID domainSid, PSID sid, DWORD* size)
{
    if (!createSidSucceeds) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ::CreateWellKnownSid(type, domainSid, sid, size);
}

BOOL FakePlatform::CheckTokenMembership(PSID sid, BOOL* isMember)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_membershipChecks.push_back(SidText(sid));
    }
    if (!membershipCheckSucceeds) {
        ::SetLastError(ERROR_NO_TOKEN);
        return FALSE;
    }
    *isMember = sid && std::any_of(memberOf.begin(), memberOf.end(),
                                   [sid](WELL_KNOWN_SID_TYPE type) { return ::IsWellKnownSid(sid, type); });
    return TRUE;
}

BOOL FakePlatform::QueryElevationType(TOKEN_ELEVATION_TYPE& type)
{
    if (!elevationQuerySucceeds) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    type = elevationType;
    return TRUE;
}

HINSTANCE FakePlatform::LaunchShellVerb(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                        LPCWSTR directory, int show)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_shellVerbCalls.push_back({owner, verb ? verb : L"", file ? file : L"", parameters ? parameters : L"",
                                directory ? directory : L"", show});
    return reinterpret_cast<HINSTANCE>(shellVerbResult);
}

BOOL FakePlatform::EnableShutdownPrivilege()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_shutdownPrivilegeRequests;
    }
    ::SetLastError(shutdownPrivilegeSucceeds ? ERROR_SUCCESS : shutdownPrivilegeError);
    return shutdownPrivilegeSucceeds;
}

BOOL FakePlatform::ExitWindowsEx(UINT flags, DWORD reason)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_exitWindowsCalls.push_back({flags, reason});
    }
    if (exitWindowsSucceeds) return TRUE;
    ::SetLastError(exitWindowsError);
    return FALSE;
}

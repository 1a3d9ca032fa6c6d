#include "workflow/SystemRequirements.h"

#include "platform/Platform.h"
#include "services/InstallerException.h"
#include "services/ProductNames.h"

#include <cmath>

namespace {

const double kMinimumVersionCode = 51.0;
const unsigned kMinimumMemoryMiB = 400;
const wchar_t kMinimumWindowsName[] = L"Windows XP";

CString EditionName(const OSVERSIONINFOEXW& version, const SYSTEM_INFO& system, int versionCode)
{
    const bool workstation = version.wProductType == VER_NT_WORKSTATION;
    switch (versionCode) {
    case 50: return L"Windows 2000";
    case 51: return L"Windows XP";
    case 52:
        if (workstation && system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64)
            return L"Windows XP Professional x64 Edition";
        if (version.wSuiteMask & VER_SUITE_WH_SERVER) return L"Windows Home Server";
        if (Platform().QuerySystemMetrics(SM_SERVERR2) == 0) return L"Windows Server 2003";
        return L"Windows Server 2003 R2";
    case 60: return workstation ? L"Windows Vista" : L"Windows Server 2008";
    case 61: return workstation ? L"Windows 7" : L"Windows Server 2008 R2";
    default: {
        CString name;
        name.Format(L"Windows %d.%d", version.dwMajorVersion, version.dwMinorVersion);
        return name;
    }
    }
}

const wchar_t* ProcessorSuffix(WORD architecture)
{
    switch (architecture) {
    case PROCESSOR_ARCHITECTURE_INTEL: return L" x86";
    case PROCESSOR_ARCHITECTURE_IA64:
    case PROCESSOR_ARCHITECTURE_AMD64: return L" x64";
    default: return L" [Unknown Processor]";
    }
}

// Total physical memory in MiB, rounded up after passing through single precision, so that
// a computer a few bytes short of a whole number still counts as having it.
unsigned MemoryMiB(const MEMORYSTATUSEX& memory)
{
    const float mebibytes = static_cast<float>(static_cast<double>(memory.ullTotalPhys) * (1.0 / 1048576.0));
    return static_cast<unsigned>(std::ceil(mebibytes));
}

}  // namespace

void CheckSystemRequirements(const CWorkerUi& ui, int& versionCode, CString& description)
{
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!Platform().QueryVersion(version)) ThrowInstallerException(L"Can not get Windows version.");
    versionCode = static_cast<int>(version.dwMajorVersion * 10 + version.dwMinorVersion);

    SYSTEM_INFO system = {};
    if (versionCode > 50)
        Platform().QueryNativeSystemInfo(system);
    else
        Platform().QuerySystemInfo(system);

    description = EditionName(version, system, versionCode);
    description += ProcessorSuffix(system.wProcessorArchitecture);
    description.AppendFormat(L" (%d cores)", static_cast<int>(system.dwNumberOfProcessors));
    if (version.wServicePackMajor != 0)
        description.AppendFormat(L" Service Pack %d.%d", version.wServicePackMajor, version.wServicePackMinor);
    ui.SendEvent(L"Windows Version", description);

    if (versionCode < static_cast<int>(std::ceil(kMinimumVersionCode))) {
        CString message;
        message.Format(L"Can not install %s %s on this computer, because its Windows version is obsolete. "
                       L"%s %s requires %s or newer. Update your Windows to newer version or install %s %s on "
                       L"another computer.",
                       kCompanyName, kProductName, kCompanyName, kProductName, kMinimumWindowsName, kCompanyName,
                       kProductName);
        ThrowInstallerException(message);
    }

    MEMORYSTATUSEX memory = {};
    memory.dwLength = sizeof(memory);
    if (!Platform().QueryMemoryStatus(memory)) ThrowInstallerException(L"Can not get physical memory amount.");
    const unsigned memoryMiB = MemoryMiB(memory);
    CString amount;
    amount.Format(L"%d M", memoryMiB);
    ui.SendEvent(L"Memory Amount", amount);

    if (memoryMiB < kMinimumMemoryMiB) {
        CString message;
        message.Format(L"Can not install %s %s on this computer, because it has not enough memory. %s %s requires "
                       L"%d M of memory. Add more memory to your computer or install %s %s on another one.",
                       kCompanyName, kProductName, kCompanyName, kProductName, kMinimumMemoryMiB, kCompanyName,
                       kProductName);
        ThrowInstallerException(message);
    }
}

#include "workflow/SystemRequirements.h"

#include "services/InstallerException.h"
#include "support/FakePlatform.h"
#include "support/HttpReading.h"
#include "support/RecordingTracker.h"

#include <gtest/gtest.h>

namespace {

struct WindowsCase {
    DWORD major, minor;
    BYTE productType;
    WORD suiteMask;
    WORD architecture;
    int serverR2;
    WORD servicePackMajor, servicePackMinor;
    DWORD processors;
    const wchar_t* description;
};

class SystemRequirementsTest : public ::testing::Test {
protected:
    void SetWindows(const WindowsCase& c)
    {
        platform.version.dwMajorVersion = c.major;
        platform.version.dwMinorVersion = c.minor;
        platform.version.wProductType = c.productType;
        platform.version.wSuiteMask = c.suiteMask;
        platform.version.wServicePackMajor = c.servicePackMajor;
        platform.version.wServicePackMinor = c.servicePackMinor;
        platform.nativeSystemInfo.wProcessorArchitecture = c.architecture;
        platform.nativeSystemInfo.dwNumberOfProcessors = c.processors;
        platform.systemInfo = platform.nativeSystemInfo;
        platform.systemMetrics[SM_SERVERR2] = c.serverR2;
    }

    // Runs the check; the failure's message, or "" when the computer is accepted.
    std::wstring Check()
    {
        try {
            CheckSystemRequirements(CWorkerUi(&dialog), versionCode, description);
            return L"";
        } catch (CException* e) {
            CExceptionPtr guard(e);
            return ErrorMessageOf(*e);
        }
    }

    FakePlatform platform;
    ScopedFakePlatform scoped{platform};
    RecordingDialog dialog;
    int versionCode = 0;
    CString description;
};

const WindowsCase kWindowsCases[] = {
    {5, 0, VER_NT_WORKSTATION, 0, PROCESSOR_ARCHITECTURE_INTEL, 0, 4, 0, 1, L"Windows 2000 x86 (1 cores) Service Pack 4.0"},
    {5, 1, VER_NT_WORKSTATION, 0, PROCESSOR_ARCHITECTURE_INTEL, 0, 0, 0, 2, L"Windows XP x86 (2 cores)"},
    {5, 1, VER_NT_WORKSTATION, 0, PROCESSOR_ARCHITECTURE_INTEL, 0, 0, 3, 2, L"Windows XP x86 (2 cores)"},
    {5, 2, VER_NT_WORKSTATION, 0, PROCESSOR_ARCHITECTURE_AMD64, 0, 2, 0, 2,
     L"Windows XP Professional x64 Edition x64 (2 cores) Service Pack 2.0"},
    {5, 2, VER_NT_SERVER, VER_SUITE_WH_SERVER, PROCESSOR_ARCHITECTURE_INTEL, 1, 0, 0, 1, L"Windows Home Server x86 (1 cores)"},
    {5, 2, VER_NT_SERVER, 0, PROCESSOR_ARCHITECTURE_INTEL, 0, 1, 0, 4, L"Windows Server 2003 x86 (4 cores) Service Pack 1.0"},
    {5, 2, VER_NT_SERVER, 0, PROCESSOR_ARCHITECTURE_AMD64, 1, 2, 0, 8, L"Windows Server 2003 R2 x64 (8 cores) Service Pack 2.0"},
    {6, 0, VER_NT_WORKSTATION, 0, PROCESSOR_ARCHITECTURE_INTEL, 0, 2, 0, 2, L"Windows Vista x86 (2 cores) Service Pack 2.0"},
    {6, 0, VER_NT_SERVER, 0, PROCESSOR_ARCHITECTURE_AMD64, 0, 0, 0, 4, L"Windows Server 2008 x64 (4 cores)"},
    {6, 1, VER_NT_WORKSTATION, 0, PROCESSOR_ARCHITECTURE_AMD64, 0, 1, 0, 4, L"Windows 7 x64 (4 cores) Service Pack 1.0"},
    {6, 1, VER_NT_DOMAIN_CONTROLLER, 0, PROCESSOR_ARCHITECTURE_IA64, 0, 0, 0, 16, L"Windows Server 2008 R2 x64 (16 cores)"},
    {6, 2, VER_NT_WORKSTATION, 0, PROCESSOR_ARCHITECTURE_AMD64, 0, 0, 0, 2, L"Windows 6.2 x64 (2 cores)"},
    {10, 0, VER_NT_WORKSTATION, 0, PROCESSOR_ARCHITECTURE_ARM64, 0, 0, 0, 8, L"Windows 10.0 [Unknown Processor] (8 cores)"},
};

TEST_F(SystemRequirementsTest, DescribesEveryEditionAndReportsItFirst)
{
    for (const WindowsCase& c : kWindowsCases) {
        SetWindows(c);
        dialog.Tracker().Clear();
        const std::wstring failure = Check();
        SCOPED_TRACE(c.description);
        EXPECT_EQ(std::wstring(c.description), description.GetString());
        EXPECT_EQ(static_cast<int>(c.major * 10 + c.minor), versionCode);
        ASSERT_FALSE(dialog.Tracker().Events().empty());
        EXPECT_EQ(RecordingTracker::Event(L"Windows Version", c.description), dialog.Tracker().Events()[0]);
        EXPECT_EQ(c.major * 10 + c.minor < 51, !failure.empty()) << failure;
    }
}

TEST_F(SystemRequirementsTest, OldWindowsIsRefusedAfterItsReport)
{
    SetWindows(kWindowsCases[0]);
    EXPECT_EQ(L"Can not install Kelvara Lantern Rise on this computer, because its Windows version is obsolete. "
              L"Kelvara Lantern Rise requires Windows XP or newer. Update your Windows to newer version or install "
              L"Kelvara Lantern Rise on another computer.",
              Check());
    EXPECT_EQ(std::vector<std::wstring>{L"Windows Version"}, dialog.Tracker().Categories());
    // Windows 2000 asks the plain processor record, later versions the native one.
    platform.systemInfo.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    platform.nativeSystemInfo.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    Check();
    EXPECT_EQ(L"Windows 2000 x86 (1 cores) Service Pack 4.0", std::wstring(description));
}

TEST_F(SystemRequirementsTest, MemoryIsRoundedUpBeforeTheGate)
{
    const struct {
        ULONGLONG bytes;
        const wchar_t* reported;
        bool accepted;
    } cases[] = {
        {399ull << 20, L"399 M", false},
        {(399ull << 20) + 1, L"399 M", false},
        {(400ull << 20) - 16, L"400 M", true},
        {400ull << 20, L"400 M", true},
        {(400ull << 20) + (1u << 19), L"401 M", true},
        {8ull << 30, L"8192 M", true},
    };
    for (const auto& c : cases) {
        platform.memoryStatus.ullTotalPhys = c.bytes;
        const std::wstring failure = Check();
        SCOPED_TRACE(c.reported);
        EXPECT_EQ(RecordingTracker::Event(L"Memory Amount", c.reported), dialog.Tracker().Events().back());
        if (c.accepted)
            EXPECT_EQ(L"", failure);
        else
            EXPECT_EQ(L"Can not install Kelvara Lantern Rise on this computer, because it has not enough memory. "
                      L"Kelvara Lantern Rise requires 400 M of memory. Add more memory to your computer or install "
                      L"Kelvara Lantern Rise on another one.",
                      failure);
    }
}

TEST_F(SystemRequirementsTest, FailedSystemQueriesAreReported)
{
    platform.memoryStatusSucceeds = FALSE;
    EXPECT_EQ(L"Can not get physical memory amount.", Check());
    EXPECT_EQ(std::vector<std::wstring>{L"Windows Version"}, dialog.Tracker().Categories());

    platform.versionSucceeds = FALSE;
    EXPECT_EQ(L"Can not get Windows version.", Check());
    EXPECT_EQ(1u, dialog.Tracker().Events().size());
}

}  // namespace

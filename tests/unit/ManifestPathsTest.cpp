#include "workflow/ManifestPaths.h"

#include "support/HttpReading.h"

#include <gtest/gtest.h>

namespace {

TEST(ManifestPaths, OnlyPathsInsideTheMirrorAreSafe)
{
    const struct {
        const wchar_t* path;
        bool safe;
    } cases[] = {
        {L"Application Files\\LanternRise_1_0_0_0\\LanternRise.exe.manifest", true},
        {L"de\\LanternRise.resources.dll", true},
        {L"LanternRise.exe", true},
        {L"..lantern\\x..y.dll", true},
        {L"..\\..\\Windows\\evil.dll", false},
        {L"a\\..\\..\\b", false},
        {L"a/../b", false},
        {L"\\Windows\\evil.dll", false},
        {L"/etc/passwd", false},
        {L"\\\\server\\share\\x", false},
        {L"C:\\Windows\\evil.dll", false},
        {L"C:evil.dll", false},
        {L"file.txt:stream", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.safe, IsSafeRelativePath(c.path)) << c.path;
}

TEST(ManifestPaths, AnUnsafePathStopsTheInstallationWithItsName)
{
    try {
        RequireSafeRelativePath(L"..\\evil.dll");
        FAIL();
    } catch (CException* e) {
        CExceptionPtr guard(e);
        EXPECT_EQ(L"Can not install Kelvara Lantern Rise, because its manifest names an unsafe path. Contact support. "
                  L"Path: ..\\evil.dll",
                  ErrorMessageOf(*e));
    }
}

}  // namespace

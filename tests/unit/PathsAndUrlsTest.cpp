#include "services/PathsAndUrls.h"

#include "services/InstallerException.h"
#include "support/FakePlatform.h"
#include "support/HttpReading.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring TempFolder()
{
    wchar_t path[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, path);
    return path;
}

std::wstring CurrentDirectory()
{
    wchar_t path[MAX_PATH + 1] = {};
    ::GetCurrentDirectoryW(MAX_PATH + 1, path);
    return path;
}

// Makes a folder current for its scope, so that a test can tell whether it stayed current.
class ScopedCurrentDirectory {
public:
    explicit ScopedCurrentDirectory(const std::wstring& path) : m_previous(CurrentDirectory())
    {
        ::SetCurrentDirectoryW(path.c_str());
    }
    ~ScopedCurrentDirectory() { ::SetCurrentDirectoryW(m_previous.c_str()); }
    ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
    ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

private:
    std::wstring m_previous;
};

// A folder in the temporary folder that exists for its scope.
class ScopedTempEntry {
public:
    explicit ScopedTempEntry(const std::wstring& name) : m_path(TempFolder() + name)
    {
        EXPECT_TRUE(::CreateDirectoryW(m_path.c_str(), nullptr)) << "cannot create the folder";
    }
    ~ScopedTempEntry() { ::RemoveDirectoryW(m_path.c_str()); }
    ScopedTempEntry(const ScopedTempEntry&) = delete;
    ScopedTempEntry& operator=(const ScopedTempEntry&) = delete;

private:
    std::wstring m_path;
};

std::vector<std::wstring> Items(const CStringArray& tokens)
{
    std::vector<std::wstring> items;
    for (INT_PTR i = 0; i < tokens.GetSize(); ++i) items.push_back(tokens[i].GetString());
    return items;
}

class UniqueTempFolderPathTest : public ::testing::Test {
protected:
    FakePlatform platform;
    ScopedFakePlatform installed{platform};
};

TEST_F(UniqueTempFolderPathTest, NamesTheFolderAfterTheLow32BitsOfTheTime)
{
    platform.SetCurrentTime(0x1A2B3C4D5Fll);   // past 2038: only the low 32 bits count
    CString path;
    GetUniqueTempFolderPath(path);
    EXPECT_EQ(TempFolder() + L"000000002B3C4D5F\\", path.GetString());

    platform.SetCurrentTime(0x12);
    GetUniqueTempFolderPath(path);
    EXPECT_EQ(TempFolder() + L"0000000000000012\\", path.GetString());
}

TEST_F(UniqueTempFolderPathTest, TakenNamesMoveOnToTheNextFreeOne)
{
    platform.SetCurrentTime(0x7E570001);
    const ScopedTempEntry first(L"000000007E570001");
    const ScopedTempEntry second(L"000000007E570002");
    CString path;
    GetUniqueTempFolderPath(path);
    EXPECT_EQ(TempFolder() + L"000000007E570003\\", path.GetString());
}

TEST_F(UniqueTempFolderPathTest, LeavesTheCurrentDirectoryAsItWas)
{
    TemporaryFolder folder;
    const ScopedCurrentDirectory current(folder.Path());
    const std::wstring before = CurrentDirectory();
    ASSERT_NE(before, TempFolder());
    CString path;
    GetUniqueTempFolderPath(path);
    EXPECT_EQ(before, CurrentDirectory());
}

TEST(GetFileNameFromUrl, TakesTheTextAfterTheLastSlash)
{
    const struct {
        const wchar_t* url;
        const wchar_t* name;
    } cases[] = {
        {L"http://download.kelvara.example/software/lantern-rise/clickonce/KelvaraLanternRise.application",
         L"KelvaraLanternRise.application"},
        {L"http://download.kelvara.example/software/lantern-rise/", L""},
        {L"http://download.kelvara.example/setup.exe?version=2&lang=en#top", L"setup.exe?version=2&lang=en#top"},
        {L"Application Files\\LanternRise_1_0_0_0/de/LanternRise.resources.dll.deploy",
         L"LanternRise.resources.dll.deploy"},
    };
    for (const auto& c : cases) {
        CString name = L"previous";
        GetFileNameFromUrl(c.url, name);
        EXPECT_EQ(std::wstring(c.name), name.GetString()) << c.url;
    }
}

TEST(GetFileNameFromUrl, ThrowsForATextWithoutSlash)
{
    for (const wchar_t* url : {L"setup.exe", L"", L"C:\\Temp\\setup.exe"}) {
        try {
            CString name;
            GetFileNameFromUrl(url, name);
            ADD_FAILURE() << "nothing was thrown for " << url;
        } catch (CException* e) {
            CExceptionPtr guard(e);
            EXPECT_NE(nullptr, dynamic_cast<CInstallerException*>(e)) << url;
            EXPECT_EQ(L"Invalid URL.", ErrorMessageOf(*e)) << url;
        }
    }
}

TEST(SplitString, AppendsTheNonEmptyTokens)
{
    const struct {
        const wchar_t* text;
        const wchar_t* delimiters;
        std::vector<std::wstring> tokens;
    } cases[] = {
        {L"Application Files\\LanternRise_1_0_0_0\\de", L"\\", {L"Application Files", L"LanternRise_1_0_0_0", L"de"}},
        {L"\\one\\\\two\\", L"\\", {L"one", L"two"}},
        {L"", L"\\", {}},
        {L"\\\\\\", L"\\", {}},
        {L"a/b\\c", L"\\/", {L"a", L"b", L"c"}},
        {L"no delimiter", L"\\", {L"no delimiter"}},
    };
    for (const auto& c : cases) {
        CStringArray tokens;
        SplitString(c.text, c.delimiters, tokens);
        EXPECT_EQ(c.tokens, Items(tokens)) << c.text;
    }
}

TEST(SplitString, KeepsWhatTheListAlreadyHeld)
{
    CStringArray tokens;
    tokens.Add(L"earlier");
    SplitString(L"x\\y", L"\\", tokens);
    EXPECT_EQ((std::vector<std::wstring>{L"earlier", L"x", L"y"}), Items(tokens));
}

}  // namespace

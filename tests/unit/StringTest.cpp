#include "framework/String.h"

#include <gtest/gtest.h>

#include <vector>

#if __has_include("resource.h")
#include "resource.h"   // the installer's string table, linked into the tests with it
#endif

namespace {

std::vector<std::wstring> Tokens(const CString& text, LPCWSTR delimiters)
{
    std::vector<std::wstring> tokens;
    int pos = 0;
    for (int guard = 0; guard < 100; ++guard) {
        const CString token = text.Tokenize(delimiters, pos);
        if (pos == -1) {
            EXPECT_TRUE(token.IsEmpty()) << "the end must come with an empty token";
            break;
        }
        tokens.push_back(token.Str());
    }
    return tokens;
}

TEST(CString, TokenizeSkipsLeadingDoubledAndTrailingDelimiters)
{
    struct Case {
        const wchar_t* text;
        const wchar_t* delimiters;
        std::vector<std::wstring> expected;
    };
    const Case cases[] = {
        {L"a,b,c", L",", {L"a", L"b", L"c"}},
        {L",,first,,second,", L",", {L"first", L"second"}},
        {L" x64; 4.0 ;", L"; ", {L"x64", L"4.0"}},
        {L"single", L",", {L"single"}},
        {L"", L",", {}},
        {L",,,", L",", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, Tokens(c.text, c.delimiters)) << "text: " << c.text;

    int pos = -1;
    EXPECT_TRUE(CString(L"a,b").Tokenize(L",", pos).IsEmpty());
    EXPECT_EQ(-1, pos);
}

TEST(CString, ReplaceCountsAndNeverRescansReplacedText)
{
    struct Case {
        const wchar_t* text;
        const wchar_t* from;
        const wchar_t* to;
        const wchar_t* expected;
        int count;
    };
    const Case cases[] = {
        {L"a/b/c", L"/", L"\\", L"a\\b\\c", 2},
        {L"aXa", L"a", L"aa", L"aaXaa", 2},
        {L"abcabc", L"bc", L"", L"aa", 2},
        {L"aaa", L"aa", L"b", L"ba", 1},
        {L"abc", L"x", L"y", L"abc", 0},
        {L"abc", L"", L"x", L"abc", 0},
    };
    for (const auto& c : cases) {
        CString text(c.text);
        EXPECT_EQ(c.count, text.Replace(c.from, c.to)) << c.text << " / " << c.from;
        EXPECT_EQ(CString(c.expected), text) << c.text << " / " << c.from;
    }
    CString path(L"C:/Program Files/Kelvara/");
    EXPECT_EQ(3, path.Replace(L'/', L'\\'));
    EXPECT_EQ(CString(L"C:\\Program Files\\Kelvara\\"), path);
}

TEST(CString, SearchAndExtractionStayInsideTheText)
{
    const CString text(L"abcabc");
    const struct {
        const char* what;
        int actual;
        int expected;
    } positions[] = {
        {"Find char", text.Find(L'c'), 2},
        {"Find char from 3", text.Find(L'c', 3), 5},
        {"Find char from the end", text.Find(L'c', 6), -1},
        {"Find char past the end", text.Find(L'c', 7), -1},
        {"Find char from -1", text.Find(L'c', -1), -1},
        {"Find text", text.Find(L"ca"), 2},
        {"Find text from 3", text.Find(L"bc", 3), 4},
        {"Find missing text", text.Find(L"cb"), -1},
        {"ReverseFind", text.ReverseFind(L'a'), 3},
        {"ReverseFind missing", text.ReverseFind(L'z'), -1},
        {"ReverseFind in empty", CString().ReverseFind(L'a'), -1},
    };
    for (const auto& p : positions) EXPECT_EQ(p.expected, p.actual) << p.what;

    const struct {
        const char* what;
        CString actual;
        const wchar_t* expected;
    } parts[] = {
        {"Mid(2)", text.Mid(2), L"cabc"},
        {"Mid past the end", text.Mid(10), L""},
        {"Mid negative", text.Mid(-3), L"abcabc"},
        {"Mid(1, 2)", text.Mid(1, 2), L"bc"},
        {"Mid count past the end", text.Mid(4, 100), L"bc"},
        {"Mid negative count", text.Mid(1, -1), L""},
        {"Left(0)", text.Left(0), L""},
        {"Left(2)", text.Left(2), L"ab"},
        {"Left past the end", text.Left(100), L"abcabc"},
        {"Left negative", text.Left(-1), L""},
        {"Right(2)", text.Right(2), L"bc"},
        {"Right past the end", text.Right(100), L"abcabc"},
    };
    for (const auto& p : parts) EXPECT_EQ(CString(p.expected), p.actual) << p.what;
}

TEST(CString, CompareNoCaseFoldsToLowerCase)
{
    EXPECT_EQ(0, CString(L"Lantern Rise").CompareNoCase(L"LANTERN rise"));
    EXPECT_EQ(0, CString().CompareNoCase(L""));
    EXPECT_LT(CString(L"abc").CompareNoCase(L"ABD"), 0);
    EXPECT_GT(CString(L"abd").CompareNoCase(L"ABC"), 0);
    EXPECT_LT(CString(L"ab").CompareNoCase(L"ABC"), 0);
    EXPECT_GT(CString(L"a").CompareNoCase(L""), 0);
    // '_' sorts before letters only when both sides are folded to lower case, as Windows does.
    EXPECT_LT(CString(L"_").CompareNoCase(L"A"), 0);
}

TEST(CString, LoadStringOfAMissingIdFailsAndEmpties)
{
    CString text(L"previous");
    EXPECT_FALSE(text.LoadString(0xFFF0));
    EXPECT_TRUE(text.IsEmpty());
}

#ifdef IDS_CHECKING_PREREQUISITES
// CString reads the string table in place; the copying API must agree with it.
TEST(CString, LoadStringAndFormatByIdUseTheStringTable)
{
    wchar_t copied[512] = {};
    ASSERT_GT(::LoadStringW(AfxGetInstanceHandle(), IDS_CHECKING_PREREQUISITES, copied, 512), 0);
    CString loaded;
    ASSERT_TRUE(loaded.LoadString(IDS_CHECKING_PREREQUISITES));
    EXPECT_EQ(CString(copied), loaded);

    CString byId, byText;
    byId.Format(IDS_CHECKING_PREREQUISITES, 2, 5);
    byText.Format(copied, 2, 5);
    EXPECT_EQ(byText, byId);
    EXPECT_EQ(-1, byId.Find(L'%'));
}
#endif

}  // namespace

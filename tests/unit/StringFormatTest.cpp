// CString::Format: our own formatter must follow the Windows wide-character conventions
// on every compiler (mingw's swprintf does not: there %s is narrow).
#include "framework/String.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

namespace {

template <class... Args>
std::wstring Formatted(LPCWSTR format, Args... args)
{
    CString text;
    text.Format(format, args...);
    return text.Str();
}

struct FormatCase {
    const wchar_t* format;
    std::wstring actual;
    std::wstring expected;
};

TEST(CStringFormat, ConversionsMatchTheWindowsRuntime)
{
    const FormatCase cases[] = {
        {L"%s", Formatted(L"%s", L"wide text"), L"wide text"},
        {L"%ls", Formatted(L"%ls", L"wide"), L"wide"},
        {L"%hs", Formatted(L"%hs", "narrow"), L"narrow"},
        {L"%S", Formatted(L"%S", "narrow"), L"narrow"},
        {L"%s null", Formatted(L"%s", static_cast<const wchar_t*>(nullptr)), L"(null)"},
        {L"%c %hc %C", Formatted(L"%c %hc %C", L'W', 'n', 'N'), L"W n N"},
        {L"%d negative", Formatted(L"%d", -42), L"-42"},
        {L"%d INT_MIN", Formatted(L"%d", INT_MIN), L"-2147483648"},
        {L"%u", Formatted(L"%u", 4294967295u), L"4294967295"},
        {L"%lu", Formatted(L"%lu", 123456ul), L"123456"},
        {L"%08X", Formatted(L"%08X", 0xABCu), L"00000ABC"},
        {L"%02x short", Formatted(L"%02x", 5u), L"05"},
        {L"%02x wider than width", Formatted(L"%02x", 0x1FFu), L"1ff"},
        {L"%016X 32-bit value", Formatted(L"%016X", 0xDEADBEEFu), L"00000000DEADBEEF"},
        {L"%I64u", Formatted(L"%I64u", 18446744073709551615ull), L"18446744073709551615"},
        {L"%llu", Formatted(L"%llu", 18446744073709551615ull), L"18446744073709551615"},
        {L"%lld", Formatted(L"%lld", LLONG_MIN), L"-9223372036854775808"},
        {L"%I64X", Formatted(L"%I64X", 0x0123456789ABCDEFull), L"123456789ABCDEF"},
        {L"%zu", Formatted(L"%zu", static_cast<size_t>(4000000000u)), L"4000000000"},
        {L"%-5d|", Formatted(L"%-5d|", 42), L"42   |"},
        {L"%5d", Formatted(L"%5d", 42), L"   42"},
        {L"%05d negative", Formatted(L"%05d", -42), L"-0042"},
        {L"%*d", Formatted(L"%*d", 4, 7), L"   7"},
        {L"%#x", Formatted(L"%#x", 255u), L"0xff"},
        {L"%x zero", Formatted(L"%x", 0u), L"0"},
        {L"%% alone", Formatted(L"100%%"), L"100%"},
        {L"%.3s", Formatted(L"%.3s", L"abcdef"), L"abc"},
        {L"%.2hs", Formatted(L"%.2hs", "xyz"), L"xy"},
        {L"%.10s longer than text", Formatted(L"%.10s", L"ab"), L"ab"},
        {L"%.*s", Formatted(L"%.*s", 2, L"abc"), L"ab"},
        {L"%-6s|", Formatted(L"%-6s|", L"ab"), L"ab    |"},
        {L"%6s", Formatted(L"%6s", L"ab"), L"    ab"},
        {L"mixed", Formatted(L"%s needs %d MB (%hs, %u%%)", L"Lantern Rise", 512, "x64", 75u),
         L"Lantern Rise needs 512 MB (x64, 75%)"},
        {L"lone % at the end", Formatted(L"abc%"), L"abc%"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, c.actual) << "format: " << c.format;
}

TEST(CStringFormat, HasNoLengthLimit)
{
    const std::wstring longText(5000, L'x');
    EXPECT_EQ(L"[" + longText + L"]", Formatted(L"[%s]", longText.c_str()));
}

TEST(CStringFormat, MayUseItsOwnTextAsArgumentAndAppendFormatAppends)
{
    CString text(L"Lantern");
    text.Format(L"%s Rise", text.GetString());
    EXPECT_EQ(CString(L"Lantern Rise"), text);
    text.AppendFormat(L" %d.%d", 1, 2);
    EXPECT_EQ(CString(L"Lantern Rise 1.2"), text);
}

}  // namespace

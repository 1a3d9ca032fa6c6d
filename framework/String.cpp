#include "framework/String.h"

#include "framework/Format.h"

#include <cwctype>

namespace {
size_t Clamp(int value, size_t limit)
{
    if (value < 0) return 0;
    return static_cast<size_t>(value) > limit ? limit : static_cast<size_t>(value);
}
}  // namespace

int CString::Find(wchar_t ch, int start) const
{
    if (start < 0 || start > GetLength()) return -1;
    const size_t pos = m_str.find(ch, static_cast<size_t>(start));
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(LPCWSTR sub, int start) const
{
    if (!sub || start < 0 || start > GetLength()) return -1;
    const size_t pos = m_str.find(sub, static_cast<size_t>(start));
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(wchar_t ch) const
{
    const size_t pos = m_str.rfind(ch);
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

CString CString::Left(int count) const { return CString(m_str.substr(0, Clamp(count, m_str.size()))); }

CString CString::Mid(int first) const
{
    const size_t from = Clamp(first, m_str.size());
    return CString(m_str.substr(from));
}

CString CString::Mid(int first, int count) const
{
    const size_t from = Clamp(first, m_str.size());
    return CString(m_str.substr(from, Clamp(count, m_str.size() - from)));
}

CString CString::Right(int count) const
{
    const size_t n = Clamp(count, m_str.size());
    return CString(m_str.substr(m_str.size() - n));
}

int CString::Replace(wchar_t oldChar, wchar_t newChar)
{
    int count = 0;
    for (auto& ch : m_str)
        if (ch == oldChar) { ch = newChar; ++count; }
    return count;
}

int CString::Replace(LPCWSTR oldText, LPCWSTR newText)
{
    if (!oldText || !*oldText) return 0;
    const std::wstring from(oldText), to(newText ? newText : L"");
    int count = 0;
    for (size_t pos = m_str.find(from); pos != std::wstring::npos; pos = m_str.find(from, pos + to.size())) {
        m_str.replace(pos, from.size(), to);
        ++count;
    }
    return count;
}

CString CString::Tokenize(LPCWSTR delimiters, int& pos) const
{
    if (pos < 0) return CString();
    const std::wstring delims(delimiters ? delimiters : L"");
    const size_t begin = m_str.find_first_not_of(delims, static_cast<size_t>(pos));
    if (begin == std::wstring::npos) {
        pos = -1;
        return CString();
    }
    size_t end = m_str.find_first_of(delims, begin);
    if (end == std::wstring::npos) end = m_str.size();
    pos = static_cast<int>(end < m_str.size() ? end + 1 : end);
    return CString(m_str.substr(begin, end - begin));
}

int CString::Compare(LPCWSTR other) const { return m_str.compare(other ? other : L""); }

int CString::CompareNoCase(LPCWSTR other) const
{
    const wchar_t* a = m_str.c_str();
    const wchar_t* b = other ? other : L"";
    for (;; ++a, ++b) {
        const wint_t ca = std::towlower(*a), cb = std::towlower(*b);
        if (ca != cb) return ca < cb ? -1 : 1;
        if (!ca) return 0;
    }
}

CString& CString::MakeUpper()
{
    for (auto& ch : m_str) ch = static_cast<wchar_t>(std::towupper(ch));
    return *this;
}

CString& CString::MakeLower()
{
    for (auto& ch : m_str) ch = static_cast<wchar_t>(std::towlower(ch));
    return *this;
}

void CString::FormatV(LPCWSTR format, va_list args)
{
    std::wstring text;
    AppendFormatV(text, format, args);
    m_str.swap(text);
}

void CString::Format(LPCWSTR format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::AppendFormat(LPCWSTR format, ...)
{
    va_list args;
    va_start(args, format);
    AppendFormatV(m_str, format, args);
    va_end(args);
}

void CString::Format(UINT formatId, ...)
{
    CString format;
    format.LoadString(formatId);
    va_list args;
    va_start(args, formatId);
    FormatV(format, args);
    va_end(args);
}

BOOL CString::LoadString(UINT id)
{
    // With a zero buffer size LoadStringW hands out a read-only pointer into the resource.
    const wchar_t* resource = nullptr;
    const int length = ::LoadStringW(AfxGetInstanceHandle(), id, reinterpret_cast<LPWSTR>(&resource), 0);
    if (length <= 0 || !resource) {
        m_str.clear();
        return FALSE;
    }
    m_str.assign(resource, static_cast<size_t>(length));
    return TRUE;
}

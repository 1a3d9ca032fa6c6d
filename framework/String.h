// CString: the framework's UTF-16 string, over std::wstring.
#pragma once

#include "framework/Afx.h"

#include <string>

class CString {
public:
    CString() = default;
    CString(LPCWSTR text) : m_str(text ? text : L"") {}   // NOLINT: implicit like the framework's
    CString(LPCWSTR text, int length) : m_str(text ? std::wstring(text, static_cast<size_t>(length)) : std::wstring()) {}
    CString(wchar_t ch, int repeat = 1) : m_str(static_cast<size_t>(repeat > 0 ? repeat : 0), ch) {}
    explicit CString(const std::wstring& text) : m_str(text) {}

    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    LPCWSTR GetString() const { return m_str.c_str(); }
    operator LPCWSTR() const { return m_str.c_str(); }   // NOLINT: the framework's conversion
    const std::wstring& Str() const { return m_str; }
    wchar_t GetAt(int index) const { return m_str.at(static_cast<size_t>(index)); }
    wchar_t operator[](int index) const { return GetAt(index); }

    // Position of the first/last occurrence, or -1.
    int Find(wchar_t ch, int start = 0) const;
    int Find(LPCWSTR sub, int start = 0) const;
    int ReverseFind(wchar_t ch) const;

    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;

    // Replaces every occurrence; returns how many were replaced.
    int Replace(wchar_t oldChar, wchar_t newChar);
    int Replace(LPCWSTR oldText, LPCWSTR newText);

    // The framework's tokenizer: skips leading delimiters, returns the next token and moves
    // pos past it; at the end returns an empty string and sets pos to -1.
    CString Tokenize(LPCWSTR delimiters, int& pos) const;

    int Compare(LPCWSTR other) const;
    int CompareNoCase(LPCWSTR other) const;
    CString& MakeUpper();
    CString& MakeLower();

    // printf-style, with the Windows wide conventions (%s is a wide string); see Format.h.
    void Format(LPCWSTR format, ...);
    void FormatV(LPCWSTR format, va_list args);
    void AppendFormat(LPCWSTR format, ...);
    // Formats with a format text from the string table.
    void Format(UINT formatId, ...);

    // Loads a string table entry of the application's module; false when there is none.
    BOOL LoadString(UINT id);

    CString& operator=(LPCWSTR text) { m_str = text ? text : L""; return *this; }
    CString& operator+=(const CString& other) { m_str += other.m_str; return *this; }
    CString& operator+=(LPCWSTR text) { if (text) m_str += text; return *this; }
    CString& operator+=(wchar_t ch) { m_str += ch; return *this; }

    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_str + b.m_str); }
    friend CString operator+(const CString& a, LPCWSTR b) { CString r(a); r += b; return r; }
    friend CString operator+(LPCWSTR a, const CString& b) { CString r(a); r += b; return r; }
    friend CString operator+(const CString& a, wchar_t b) { CString r(a); r += b; return r; }
    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
    friend bool operator==(const CString& a, LPCWSTR b) { return a.m_str == (b ? b : L""); }
    friend bool operator==(LPCWSTR a, const CString& b) { return b == a; }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, LPCWSTR b) { return !(a == b); }

private:
    std::wstring m_str;
};

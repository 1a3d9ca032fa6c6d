// CRegKey: an open registry key, closed by its object.
#pragma once

#include "framework/Afx.h"
#include "framework/String.h"

class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    // Each returns the Win32 error code (ERROR_SUCCESS on success). Opening replaces
    // (and closes) the key held before.
    LONG Open(HKEY parent, LPCWSTR keyName, REGSAM access = KEY_READ | KEY_WRITE);
    LONG Create(HKEY parent, LPCWSTR keyName, REGSAM access = KEY_READ | KEY_WRITE);
    LONG SetStringValue(LPCWSTR valueName, LPCWSTR value);
    LONG QueryStringValue(LPCWSTR valueName, CString& value);
    LONG QueryDWORDValue(LPCWSTR valueName, DWORD& value);
    LONG Close();

    operator HKEY() const { return m_hKey; }   // NOLINT: the framework's conversion
    HKEY m_hKey = nullptr;
};

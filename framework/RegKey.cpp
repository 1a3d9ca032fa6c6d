#include "framework/RegKey.h"

#include <vector>

LONG CRegKey::Open(HKEY parent, LPCWSTR keyName, REGSAM access)
{
    HKEY key = nullptr;
    const LONG result = ::RegOpenKeyExW(parent, keyName, 0, access, &key);
    if (result == ERROR_SUCCESS) {
        Close();
        m_hKey = key;
    }
    return result;
}

LONG CRegKey::Create(HKEY parent, LPCWSTR keyName, REGSAM access)
{
    HKEY key = nullptr;
    const LONG result = ::RegCreateKeyExW(parent, keyName, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                          &key, nullptr);
    if (result == ERROR_SUCCESS) {
        Close();
        m_hKey = key;
    }
    return result;
}

LONG CRegKey::SetStringValue(LPCWSTR valueName, LPCWSTR value)
{
    const DWORD bytes = static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(m_hKey, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes);
}

LONG CRegKey::QueryStringValue(LPCWSTR valueName, CString& value)
{
    DWORD type = 0, bytes = 0;
    LONG result = ::RegQueryValueExW(m_hKey, valueName, nullptr, &type, nullptr, &bytes);
    if (result != ERROR_SUCCESS) return result;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1);
    result = ::RegQueryValueExW(m_hKey, valueName, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes);
    if (result != ERROR_SUCCESS) return result;
    text[bytes / sizeof(wchar_t)] = L'\0';   // the stored value need not be terminated
    value = text.data();
    return ERROR_SUCCESS;
}

LONG CRegKey::QueryDWORDValue(LPCWSTR valueName, DWORD& value)
{
    DWORD type = 0, bytes = sizeof(value);
    const LONG result = ::RegQueryValueExW(m_hKey, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes);
    if (result != ERROR_SUCCESS) return result;
    return type == REG_DWORD ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

LONG CRegKey::Close()
{
    if (!m_hKey) return ERROR_SUCCESS;
    const LONG result = ::RegCloseKey(m_hKey);
    m_hKey = nullptr;
    return result;
}

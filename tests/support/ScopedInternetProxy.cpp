#include "support/ScopedInternetProxy.h"

#include "framework/RegKey.h"

#include <wininet.h>

#include <stdexcept>
#include <string>

namespace {
constexpr wchar_t kSettingsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr wchar_t kEnableValue[] = L"ProxyEnable";
constexpr wchar_t kServerValue[] = L"ProxyServer";

// Tells WinINet (on Windows) that the settings changed; sessions opened afterwards use them.
void AnnounceSettingsChange()
{
    ::InternetSetOptionW(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
    ::InternetSetOptionW(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0);
}
}  // namespace

ScopedInternetProxy::TurnLock::TurnLock()
    : mutex(::CreateMutexW(nullptr, FALSE, L"Local\\FetchwrightTestInternetProxy"))
{
    if (!mutex) throw std::runtime_error("cannot create the proxy settings mutex");
    // An abandoned mutex (a test process that crashed) is ours all the same.
    const DWORD wait = ::WaitForSingleObject(mutex, 120 * 1000);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        ::CloseHandle(mutex);
        throw std::runtime_error("another test kept the proxy settings for two minutes");
    }
}

ScopedInternetProxy::TurnLock::~TurnLock()
{
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
}

ScopedInternetProxy::ScopedInternetProxy(uint16_t port)
{
    CRegKey settings;
    if (settings.Create(HKEY_CURRENT_USER, kSettingsKey) != ERROR_SUCCESS)
        throw std::runtime_error("cannot open the Internet Settings key");
    m_enable = Save(settings, kEnableValue);
    m_server = Save(settings, kServerValue);

    const DWORD enable = 1;
    const std::wstring server = L"127.0.0.1:" + std::to_wstring(port);
    if (::RegSetValueExW(settings, kEnableValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable),
                         sizeof(enable)) != ERROR_SUCCESS ||
        settings.SetStringValue(kServerValue, server.c_str()) != ERROR_SUCCESS) {
        Restore(settings, kEnableValue, m_enable);
        Restore(settings, kServerValue, m_server);
        throw std::runtime_error("cannot write the proxy settings");
    }
    AnnounceSettingsChange();
}

ScopedInternetProxy::~ScopedInternetProxy()
{
    CRegKey settings;
    if (settings.Open(HKEY_CURRENT_USER, kSettingsKey) == ERROR_SUCCESS) {
        Restore(settings, kEnableValue, m_enable);
        Restore(settings, kServerValue, m_server);
    }
    AnnounceSettingsChange();
}

ScopedInternetProxy::SavedValue ScopedInternetProxy::Save(HKEY key, LPCWSTR name)
{
    SavedValue saved;
    DWORD size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &saved.type, nullptr, &size) != ERROR_SUCCESS) return saved;
    saved.bytes.resize(size);
    if (::RegQueryValueExW(key, name, nullptr, &saved.type, saved.bytes.data(), &size) != ERROR_SUCCESS) return saved;
    saved.bytes.resize(size);
    saved.existed = true;
    return saved;
}

void ScopedInternetProxy::Restore(HKEY key, LPCWSTR name, const SavedValue& value)
{
    if (!value.existed) {
        ::RegDeleteValueW(key, name);
        return;
    }
    ::RegSetValueExW(key, name, 0, value.type, value.bytes.data(),
                     static_cast<DWORD>(value.bytes.size()));
}

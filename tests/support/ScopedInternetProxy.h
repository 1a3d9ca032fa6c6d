// Points this Wine prefix's (or this user's) WinINet proxy at a loopback port for its scope
// and restores the previous settings afterwards. WinINet reads them when a session opens
// with INTERNET_OPEN_TYPE_PRECONFIG, so open the session inside the scope. The settings are
// shared by every process of the user, so test processes running side by side take turns:
// a named mutex is held for the scope (nesting in one thread is fine).
#pragma once

#include "framework/Afx.h"

#include <cstdint>
#include <vector>

class ScopedInternetProxy {
public:
    // Throws std::runtime_error when the settings cannot be written.
    explicit ScopedInternetProxy(uint16_t port);
    ~ScopedInternetProxy();
    ScopedInternetProxy(const ScopedInternetProxy&) = delete;
    ScopedInternetProxy& operator=(const ScopedInternetProxy&) = delete;

private:
    struct SavedValue {
        bool existed = false;
        DWORD type = 0;
        std::vector<BYTE> bytes;   // the raw data, whatever its type
    };
    static SavedValue Save(HKEY key, LPCWSTR name);
    static void Restore(HKEY key, LPCWSTR name, const SavedValue& value);

    struct TurnLock {
        TurnLock();
        ~TurnLock();
        TurnLock(const TurnLock&) = delete;
        TurnLock& operator=(const TurnLock&) = delete;
        HANDLE mutex;
    } m_turn;
    SavedValue m_enable;
    SavedValue m_server;
};

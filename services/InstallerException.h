// The installer's two failure types. Each carries one complete English message; they are
// thrown by pointer and caught as CException pointers like the framework's own.
#pragma once

#include "framework/Exception.h"
#include "framework/String.h"

// A failure that carries its own message text.
class CMessageException : public CException {
public:
    BOOL GetErrorMessage(LPWSTR buffer, UINT capacity, PUINT helpContext = nullptr) const override;

    CString m_strMessage;

protected:
    explicit CMessageException(LPCWSTR message) : m_strMessage(message) {}
};

// A failed step of the installation.
class CInstallerException : public CMessageException {
public:
    explicit CInstallerException(LPCWSTR message) : CMessageException(message) {}
};

// A failed event report.
class CEventsTrackerException : public CMessageException {
public:
    explicit CEventsTrackerException(LPCWSTR message) : CMessageException(message) {}
};

// Builds the message and throws a new CInstallerException.
[[noreturn]] void ThrowInstallerException(LPCWSTR message);
[[noreturn]] void ThrowEventsTrackerException(LPCWSTR message);

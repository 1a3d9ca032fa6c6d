// CException and the framework's own exceptions. As in the framework we replace, failures
// are heap objects thrown by pointer; the handler that deals with one disposes of it once
// with Delete (CExceptionPtr does that on every path).
#pragma once

#include "framework/Afx.h"
#include "framework/String.h"

#include <memory>

class CException {
public:
    // Capacity in characters with which failures are read for the user and for reports.
    static constexpr UINT kReportedMessageCapacity = 4096;

    virtual ~CException() = default;

    // Copies the message, cut to capacity - 1 characters and terminated. Returns TRUE when
    // a message is available.
    virtual BOOL GetErrorMessage(LPWSTR buffer, UINT capacity, PUINT helpContext = nullptr) const;

    // Shows the message (up to kReportedMessageCapacity - 1 characters) in a message box owned
    // by the application's main window (or the window registered for the calling thread).
    // MB_OK alone gets MB_ICONEXCLAMATION; the caption is the application's name. The fallback
    // text is used when there is no message.
    virtual int ReportError(UINT type = MB_OK, UINT fallbackMessageId = 0) const;

    // Disposes of a heap exception; shared ones (out of memory) ignore it.
    void Delete();

protected:
    explicit CException(bool autoDelete = true) : m_bAutoDelete(autoDelete) {}
    CException(const CException&) = default;
    CException& operator=(const CException&) = default;

    // Copies text into buffer the way GetErrorMessage promises.
    static void CopyMessage(const CString& text, LPWSTR buffer, UINT capacity);

private:
    bool m_bAutoDelete;
};

// Deletes the exception it holds when it goes out of scope.
struct CExceptionDeleter {
    void operator()(CException* e) const { if (e) e->Delete(); }
};
using CExceptionPtr = std::unique_ptr<CException, CExceptionDeleter>;

// Out of memory: one shared object, so that reporting it needs no allocation.
class CMemoryException : public CException {
public:
    CMemoryException() : CException(false) {}
    BOOL GetErrorMessage(LPWSTR buffer, UINT capacity, PUINT helpContext = nullptr) const override;
};

// The shared out-of-memory exception, and throwing it.
CException* AfxGetMemoryException();
[[noreturn]] void AfxThrowMemoryException();

// Message text of a system error code, without the trailing line break; empty when the
// system has none.
CString AfxFormatSystemMessage(DWORD error, HMODULE source = nullptr);

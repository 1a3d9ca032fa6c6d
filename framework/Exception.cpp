#include "framework/Exception.h"

#include "framework/WinApp.h"
#include "platform/Platform.h"

#include <vector>

BOOL CException::GetErrorMessage(LPWSTR buffer, UINT capacity, PUINT helpContext) const
{
    if (helpContext) *helpContext = 0;
    if (buffer && capacity > 0) *buffer = L'\0';
    return FALSE;
}

int CException::ReportError(UINT type, UINT fallbackMessageId) const
{
    // As much of the message as its report as an event carries: the user sees all of it.
    std::vector<wchar_t> message(kReportedMessageCapacity);
    CString text;
    if (GetErrorMessage(message.data(), kReportedMessageCapacity))
        text = message.data();
    else if (fallbackMessageId != 0)
        text.LoadString(fallbackMessageId);
    else
        text = L"An unsupported operation was attempted.";
    if (type == MB_OK) type |= MB_ICONEXCLAMATION;
    return Platform().ShowMessageBox(AfxGetMessageOwner(), text, AfxGetAppName(), type);
}

void CException::Delete()
{
    if (m_bAutoDelete) delete this;
}

void CException::CopyMessage(const CString& text, LPWSTR buffer, UINT capacity)
{
    if (!buffer || capacity == 0) return;
    const UINT length = static_cast<UINT>(text.GetLength()) < capacity - 1 ? static_cast<UINT>(text.GetLength())
                                                                          : capacity - 1;
    wmemcpy(buffer, text.GetString(), length);
    buffer[length] = L'\0';
}

BOOL CMemoryException::GetErrorMessage(LPWSTR buffer, UINT capacity, PUINT helpContext) const
{
    if (helpContext) *helpContext = 0;
    CopyMessage(L"Out of memory.", buffer, capacity);
    return TRUE;
}

CException* AfxGetMemoryException()
{
    static CMemoryException shared;
    return &shared;
}

void AfxThrowMemoryException() { throw AfxGetMemoryException(); }

CString AfxFormatSystemMessage(DWORD error, HMODULE source)
{
    LPWSTR text = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                        (source ? FORMAT_MESSAGE_FROM_HMODULE : 0) | FORMAT_MESSAGE_FROM_SYSTEM;
    const DWORD length = ::FormatMessageW(flags, source, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    CString message(text, static_cast<int>(length));
    if (text) ::LocalFree(text);
    while (!message.IsEmpty() && (message.Right(1) == L"\n" || message.Right(1) == L"\r" || message.Right(1) == L" "))
        message = message.Left(message.GetLength() - 1);
    return message;
}

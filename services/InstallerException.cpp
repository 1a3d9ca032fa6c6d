#include "services/InstallerException.h"

BOOL CMessageException::GetErrorMessage(LPWSTR buffer, UINT capacity, PUINT helpContext) const
{
    if (helpContext) *helpContext = 0;
    CopyMessage(m_strMessage, buffer, capacity);
    return TRUE;
}

void ThrowInstallerException(LPCWSTR message)
{
    throw static_cast<CException*>(new CInstallerException(message));
}

void ThrowEventsTrackerException(LPCWSTR message)
{
    throw static_cast<CException*>(new CEventsTrackerException(message));
}

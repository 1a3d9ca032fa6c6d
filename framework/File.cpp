#include "framework/File.h"

int CFileException::OsErrorToCause(LONG osError)
{
    switch (osError) {
    case ERROR_SUCCESS: return none;
    case ERROR_FILE_NOT_FOUND: return fileNotFound;
    case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_NAME: case ERROR_BAD_PATHNAME: case ERROR_INVALID_DRIVE:
        return badPath;
    case ERROR_TOO_MANY_OPEN_FILES: return tooManyOpenFiles;
    case ERROR_ACCESS_DENIED: case ERROR_WRITE_PROTECT: return accessDenied;
    case ERROR_INVALID_HANDLE: return invalidFile;
    case ERROR_CURRENT_DIRECTORY: return removeCurrentDir;
    case ERROR_CANNOT_MAKE: return directoryFull;
    case ERROR_SEEK: case ERROR_NEGATIVE_SEEK: return badSeek;
    case ERROR_SHARING_VIOLATION: return sharingViolation;
    case ERROR_LOCK_VIOLATION: return lockViolation;
    case ERROR_HANDLE_DISK_FULL: case ERROR_DISK_FULL: return diskFull;
    case ERROR_HANDLE_EOF: return endOfFile;
    default: return genericException;
    }
}

BOOL CFileException::GetErrorMessage(LPWSTR buffer, UINT capacity, PUINT helpContext) const
{
    if (helpContext) *helpContext = 0;
    const wchar_t* name = m_strFileName.IsEmpty() ? L"an unnamed file" : m_strFileName.GetString();
    CString text;
    switch (m_cause) {
    case fileNotFound: text.Format(L"%s was not found.", name); break;
    case badPath: text.Format(L"%s contains an incorrect path.", name); break;
    case tooManyOpenFiles: text.Format(L"Could not open %s because there are too many open files.", name); break;
    case accessDenied: text.Format(L"Access to %s was denied.", name); break;
    case sharingViolation: text.Format(L"Sharing violation while accessing %s.", name); break;
    case diskFull: text.Format(L"There is not enough space on the disk for %s.", name); break;
    default: text.Format(L"An error occurred while accessing %s.", name); break;
    }
    const CString system = AfxFormatSystemMessage(static_cast<DWORD>(m_lOsError));
    if (m_lOsError != 0 && !system.IsEmpty()) text += L" " + system;
    CopyMessage(text, buffer, capacity);
    return TRUE;
}

void AfxThrowFileException(int cause, LONG osError, LPCWSTR fileName)
{
    throw static_cast<CException*>(new CFileException(cause, osError, fileName));
}

CFile::CFile(LPCWSTR fileName, UINT openFlags)
{
    CFileException error(CFileException::none, 0, fileName);
    if (!Open(fileName, openFlags, &error))
        AfxThrowFileException(error.m_cause, error.m_lOsError, fileName);
}

CFile::~CFile()
{
    if (m_hFile != INVALID_HANDLE_VALUE) ::CloseHandle(m_hFile);
}

BOOL CFile::Open(LPCWSTR fileName, UINT openFlags, CFileException* error)
{
    if (m_hFile != INVALID_HANDLE_VALUE) Close();
    m_strFileName = fileName;

    DWORD access = GENERIC_READ;
    switch (openFlags & 3) {
    case modeWrite: access = GENERIC_WRITE; break;
    case modeReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
    default: break;
    }
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    switch (openFlags & 0x70) {
    case shareExclusive: share = 0; break;
    case shareDenyWrite: share = FILE_SHARE_READ; break;
    case shareDenyRead: share = FILE_SHARE_WRITE; break;
    default: break;
    }
    DWORD disposition = OPEN_EXISTING;
    if (openFlags & modeCreate)
        disposition = (openFlags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;

    m_hFile = ::CreateFileW(fileName, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE) {
        if (error) {
            error->m_lOsError = static_cast<LONG>(::GetLastError());
            error->m_cause = CFileException::OsErrorToCause(error->m_lOsError);
            error->m_strFileName = fileName;
        }
        return FALSE;
    }
    return TRUE;
}

UINT CFile::Read(void* buffer, UINT count)
{
    DWORD read = 0;
    if (!::ReadFile(m_hFile, buffer, count, &read, nullptr)) ThrowLastError();
    return read;
}

void CFile::Write(const void* buffer, UINT count)
{
    DWORD written = 0;
    if (!::WriteFile(m_hFile, buffer, count, &written, nullptr)) ThrowLastError();
    if (written != count) AfxThrowFileException(CFileException::diskFull, ERROR_DISK_FULL, m_strFileName);
}

uint64_t CFile::GetLength() const
{
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(m_hFile, &size)) ThrowLastError();
    return static_cast<uint64_t>(size.QuadPart);
}

void CFile::Close()
{
    if (m_hFile == INVALID_HANDLE_VALUE) return;
    const BOOL closed = ::CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    if (!closed) ThrowLastError();
}

void CFile::ThrowLastError() const
{
    const LONG error = static_cast<LONG>(::GetLastError());
    AfxThrowFileException(CFileException::OsErrorToCause(error), error, m_strFileName);
}

// CFile and CFileException: binary files over the Win32 file API.
#pragma once

#include "framework/Afx.h"
#include "framework/Exception.h"
#include "framework/String.h"

#include <cstdint>

class CFileException : public CException {
public:
    enum Cause { none, genericException, fileNotFound, badPath, tooManyOpenFiles, accessDenied,
                 invalidFile, removeCurrentDir, directoryFull, badSeek, hardIO, sharingViolation,
                 lockViolation, diskFull, endOfFile };

    CFileException(int cause, LONG osError, LPCWSTR fileName) : m_cause(cause), m_lOsError(osError), m_strFileName(fileName) {}
    BOOL GetErrorMessage(LPWSTR buffer, UINT capacity, PUINT helpContext = nullptr) const override;

    static int OsErrorToCause(LONG osError);

    int m_cause;
    LONG m_lOsError;
    CString m_strFileName;
};

[[noreturn]] void AfxThrowFileException(int cause, LONG osError, LPCWSTR fileName);

class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000, modeWrite = 0x0001, modeReadWrite = 0x0002,
        shareCompat = 0x0000, shareExclusive = 0x0010, shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030, shareDenyNone = 0x0040,
        modeNoTruncate = 0x2000, modeCreate = 0x1000, typeBinary = 0x8000,
    };

    CFile() = default;
    // Opens or throws CFileException.
    CFile(LPCWSTR fileName, UINT openFlags);
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens; on failure fills error (when given) and returns FALSE.
    BOOL Open(LPCWSTR fileName, UINT openFlags, CFileException* error = nullptr);
    UINT Read(void* buffer, UINT count);
    void Write(const void* buffer, UINT count);
    uint64_t GetLength() const;
    void Close();

private:
    [[noreturn]] void ThrowLastError() const;

    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    CString m_strFileName;
};

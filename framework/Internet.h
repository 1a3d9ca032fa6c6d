// The framework's WinINet classes: a session, HTTP connections and requests, and URL parsing.
// Every failure is thrown as CInternetException; every handle is closed by its object.
#pragma once

#include "framework/Afx.h"
#include "framework/Exception.h"
#include "framework/String.h"

#include <wininet.h>

constexpr DWORD AFX_INET_SERVICE_FTP = INTERNET_SERVICE_FTP;
constexpr DWORD AFX_INET_SERVICE_HTTP = INTERNET_SERVICE_HTTP;
constexpr DWORD AFX_INET_SERVICE_HTTPS = 4107;
constexpr DWORD AFX_INET_SERVICE_UNK = 0x1000;

class CInternetException : public CException {
public:
    explicit CInternetException(DWORD error, DWORD_PTR context = 1) : m_dwError(error), m_dwContext(context) {}
    BOOL GetErrorMessage(LPWSTR buffer, UINT capacity, PUINT helpContext = nullptr) const override;

    DWORD m_dwError;
    DWORD_PTR m_dwContext;
};

// Throws CInternetException with the calling thread's last error.
[[noreturn]] void AfxThrowInternetException(DWORD_PTR context, DWORD error = 0);

// Splits a URL. FALSE when it cannot be parsed; serviceType is then AFX_INET_SERVICE_UNK.
BOOL AfxParseURL(LPCWSTR url, DWORD& serviceType, CString& server, CString& object, INTERNET_PORT& port);

// An open WinINet handle, closed once.
class CInternetHandle {
public:
    CInternetHandle() = default;
    explicit CInternetHandle(HINTERNET handle) : m_hInternet(handle) {}
    ~CInternetHandle() { Close(); }
    CInternetHandle(const CInternetHandle&) = delete;
    CInternetHandle& operator=(const CInternetHandle&) = delete;

    operator HINTERNET() const { return m_hInternet; }   // NOLINT: the framework's conversion
    void Close();
    // InternetSetOption with a DWORD value.
    BOOL SetOption(DWORD option, DWORD value);

protected:
    HINTERNET m_hInternet = nullptr;
};

class CHttpFile : public CInternetHandle {
public:
    CHttpFile(HINTERNET request, DWORD_PTR context) : CInternetHandle(request), m_dwContext(context) {}

    // HttpAddRequestHeaders: a block of header lines, each ending with CR LF.
    BOOL AddRequestHeaders(LPCWSTR headers, DWORD modifiers = HTTP_ADDREQ_FLAG_ADD_IF_NEW, int length = -1);
    // HttpSendRequest; throws CInternetException when the request cannot be sent.
    BOOL SendRequest(LPCWSTR headers = nullptr, DWORD headersLength = 0, LPVOID optional = nullptr,
                     DWORD optionalLength = 0);
    BOOL QueryInfo(DWORD infoLevel, DWORD& result);
    BOOL QueryInfoStatusCode(DWORD& statusCode);
    // Bytes available to read without blocking past them; throws on failure.
    DWORD GetLength();
    // Reads up to count bytes; 0 at the end of the body. Throws on failure.
    UINT Read(void* buffer, UINT count);

private:
    DWORD_PTR m_dwContext;
};

constexpr int HTTP_VERB_POST = 0;
constexpr int HTTP_VERB_GET = 1;

class CHttpConnection : public CInternetHandle {
public:
    CHttpConnection(HINTERNET connection, DWORD_PTR context) : CInternetHandle(connection), m_dwContext(context) {}

    // HttpOpenRequest; throws on failure. The caller owns the result.
    CHttpFile* OpenRequest(int verb, LPCWSTR objectName, LPCWSTR referer = nullptr, DWORD_PTR context = 1,
                           LPCWSTR* acceptTypes = nullptr, LPCWSTR version = nullptr,
                           DWORD flags = INTERNET_FLAG_EXISTING_CONNECT);

private:
    DWORD_PTR m_dwContext;
};

class CInternetSession : public CInternetHandle {
public:
    // InternetOpen; throws CInternetException when the session cannot be opened.
    explicit CInternetSession(LPCWSTR agent = nullptr, DWORD_PTR context = 1,
                              DWORD accessType = PRE_CONFIG_INTERNET_ACCESS, LPCWSTR proxyName = nullptr,
                              LPCWSTR proxyBypass = nullptr, DWORD flags = 0);

    // InternetOpenUrl for an http URL; throws on failure. The caller owns the result.
    CHttpFile* OpenURL(LPCWSTR url, DWORD_PTR context = 1, DWORD flags = INTERNET_FLAG_TRANSFER_ASCII,
                       LPCWSTR headers = nullptr, DWORD headersLength = 0);
    // InternetConnect to an HTTP server; throws on failure. The caller owns the result.
    CHttpConnection* GetHttpConnection(LPCWSTR server, INTERNET_PORT port = INTERNET_INVALID_PORT_NUMBER,
                                       LPCWSTR userName = nullptr, LPCWSTR password = nullptr);

    DWORD_PTR GetContext() const { return m_dwContext; }

private:
    DWORD_PTR m_dwContext;
};

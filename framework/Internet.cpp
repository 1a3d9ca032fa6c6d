#include "framework/Internet.h"

BOOL CInternetException::GetErrorMessage(LPWSTR buffer, UINT capacity, PUINT helpContext) const
{
    if (helpContext) *helpContext = 0;
    CString text = AfxFormatSystemMessage(m_dwError, ::GetModuleHandleW(L"wininet.dll"));
    if (text.IsEmpty())
        text.Format(L"An Internet error occurred. Error code: %lu.", m_dwError);
    CopyMessage(text, buffer, capacity);
    return TRUE;
}

void AfxThrowInternetException(DWORD_PTR context, DWORD error)
{
    if (error == 0) error = ::GetLastError();
    throw static_cast<CException*>(new CInternetException(error, context));
}

BOOL AfxParseURL(LPCWSTR url, DWORD& serviceType, CString& server, CString& object, INTERNET_PORT& port)
{
    serviceType = AFX_INET_SERVICE_UNK;
    if (!url || !*url) return FALSE;

    wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = static_cast<DWORD>(std::size(host));
    parts.dwUrlPathLength = 1;    // non-zero lengths without buffers: point into the URL
    parts.dwExtraInfoLength = 1;
    if (!::InternetCrackUrlW(url, 0, 0, &parts)) return FALSE;

    switch (parts.nScheme) {
    case INTERNET_SCHEME_HTTP: serviceType = AFX_INET_SERVICE_HTTP; break;
    case INTERNET_SCHEME_HTTPS: serviceType = AFX_INET_SERVICE_HTTPS; break;
    case INTERNET_SCHEME_FTP: serviceType = AFX_INET_SERVICE_FTP; break;
    default: serviceType = AFX_INET_SERVICE_UNK; break;
    }
    server = host;
    object = CString(parts.lpszUrlPath, static_cast<int>(parts.dwUrlPathLength)) +
             CString(parts.lpszExtraInfo, static_cast<int>(parts.dwExtraInfoLength));
    if (object.IsEmpty()) object = L"/";
    port = parts.nPort;
    if (server.IsEmpty()) {
        serviceType = AFX_INET_SERVICE_UNK;
        return FALSE;
    }
    return TRUE;
}

void CInternetHandle::Close()
{
    if (m_hInternet) {
        ::InternetCloseHandle(m_hInternet);
        m_hInternet = nullptr;
    }
}

BOOL CInternetHandle::SetOption(DWORD option, DWORD value)
{
    return ::InternetSetOptionW(m_hInternet, option, &value, sizeof(value));
}

BOOL CHttpFile::AddRequestHeaders(LPCWSTR headers, DWORD modifiers, int length)
{
    return ::HttpAddRequestHeadersW(m_hInternet, headers, static_cast<DWORD>(length), modifiers);
}

BOOL CHttpFile::SendRequest(LPCWSTR headers, DWORD headersLength, LPVOID optional, DWORD optionalLength)
{
    if (!::HttpSendRequestW(m_hInternet, headers, headersLength, optional, optionalLength))
        AfxThrowInternetException(m_dwContext);
    return TRUE;
}

BOOL CHttpFile::QueryInfo(DWORD infoLevel, DWORD& result)
{
    DWORD size = sizeof(result);
    return ::HttpQueryInfoW(m_hInternet, infoLevel, &result, &size, nullptr);
}

BOOL CHttpFile::QueryInfoStatusCode(DWORD& statusCode)
{
    statusCode = 0;
    return QueryInfo(HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, statusCode);
}

DWORD CHttpFile::GetLength()
{
    DWORD available = 0;
    if (!::InternetQueryDataAvailable(m_hInternet, &available, 0, 0))
        AfxThrowInternetException(m_dwContext);
    return available;
}

UINT CHttpFile::Read(void* buffer, UINT count)
{
    DWORD read = 0;
    if (!::InternetReadFile(m_hInternet, buffer, count, &read))
        AfxThrowInternetException(m_dwContext);
    return read;
}

CHttpFile* CHttpConnection::OpenRequest(int verb, LPCWSTR objectName, LPCWSTR referer, DWORD_PTR context,
                                        LPCWSTR* acceptTypes, LPCWSTR version, DWORD flags)
{
    const wchar_t* verbName = verb == HTTP_VERB_POST ? L"POST" : L"GET";
    HINTERNET request = ::HttpOpenRequestW(m_hInternet, verbName, objectName, version, referer, acceptTypes,
                                           flags, context);
    if (!request) AfxThrowInternetException(context);
    return new CHttpFile(request, context);
}

CInternetSession::CInternetSession(LPCWSTR agent, DWORD_PTR context, DWORD accessType, LPCWSTR proxyName,
                                   LPCWSTR proxyBypass, DWORD flags)
    : m_dwContext(context)
{
    m_hInternet = ::InternetOpenW(agent, accessType, proxyName, proxyBypass, flags);
    if (!m_hInternet) AfxThrowInternetException(context);
}

CHttpFile* CInternetSession::OpenURL(LPCWSTR url, DWORD_PTR context, DWORD flags, LPCWSTR headers,
                                     DWORD headersLength)
{
    (void)context;   // like the framework, requests carry the session's own context
    HINTERNET request = ::InternetOpenUrlW(m_hInternet, url, headers, headersLength, flags, m_dwContext);
    if (!request) AfxThrowInternetException(m_dwContext);
    return new CHttpFile(request, m_dwContext);
}

CHttpConnection* CInternetSession::GetHttpConnection(LPCWSTR server, INTERNET_PORT port, LPCWSTR userName,
                                                     LPCWSTR password)
{
    HINTERNET connection = ::InternetConnectW(m_hInternet, server, port, userName, password,
                                              INTERNET_SERVICE_HTTP, 0, m_dwContext);
    if (!connection) AfxThrowInternetException(m_dwContext);
    return new CHttpConnection(connection, m_dwContext);
}

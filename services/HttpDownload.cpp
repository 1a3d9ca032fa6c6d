#include "services/HttpDownload.h"

#include "framework/Exception.h"
#include "framework/File.h"
#include "framework/String.h"
#include "platform/Platform.h"
#include "services/ProductNames.h"
#include "services/RunCancellation.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

constexpr int kAttemptsPerRun = 5;
// Large reads: WinINet on small reads is an order of magnitude slower.
constexpr UINT kReadChunkSize = 64 * 1024;

bool IsSuccessStatus(DWORD status) { return status >= 200 && status <= 299; }

// One GET of url into buffer, filled from offset 0. False when the response is not usable
// (an error status or a body shorter than announced); network failures throw.
bool ReceiveBody(CInternetSession& session, LPCWSTR url, CByteArray& buffer, std::vector<BYTE>& chunk,
                 DownloadProgressCallback callback, void* param)
{
    chunk.resize(kReadChunkSize);
    // Nothing fetched here is ever read twice: keeping it out of the Internet cache spares the
    // user's disk a second copy of every package and halves WinINet's cost per small file.
    const std::unique_ptr<CHttpFile> response(
        session.OpenURL(url, 1, INTERNET_FLAG_TRANSFER_ASCII | INTERNET_FLAG_NO_CACHE_WRITE));

    DWORD status = 0;
    response->QueryInfoStatusCode(status);
    if (!IsSuccessStatus(status)) return false;

    // Without a Content-Length header the query fails and the length stays 0.
    DWORD announced = 0;
    response->QueryInfo(HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, announced);
    buffer.SetSize(announced);

    uint64_t received = 0;
    for (;;) {
        const UINT count = response->Read(chunk.data(), kReadChunkSize);
        if (count == 0) break;
        const uint64_t offset = received;
        received += count;
        if (static_cast<uint64_t>(buffer.GetSize()) < received) buffer.SetSize(static_cast<INT_PTR>(received));
        std::memcpy(buffer.GetData() + offset, chunk.data(), count);
        if (announced != 0 && callback) callback(announced, received, param);
    }
    if (received < announced) return false;   // the connection ended early

    response->Close();
    return true;
}

// ReceiveBody with every failure of the attempt turned into false. The response object is
// gone (closed) by the time this returns.
bool TryDownloadOnce(CInternetSession& session, LPCWSTR url, CByteArray& buffer, std::vector<BYTE>& chunk,
                     DownloadProgressCallback callback, void* param)
{
    try {
        return ReceiveBody(session, url, buffer, chunk, callback, param);
    } catch (CException* e) {
        CExceptionPtr failure(e);
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool UserChoosesRetry(HWND owner)
{
    CString text;
    text.Format(L"Can not download files required to install %s %s! Please check your Internet connection, as "
                L"well as make you sure that your firewall, antivirus or other security software doesn't block "
                L"%s %s Installer from accessing Internet, and try again.",
                kCompanyName, kProductName, kCompanyName, kProductName);
    CString caption;
    caption.Format(L"%s %s Installer", kCompanyName, kProductName);
    return Platform().ShowMessageBox(owner, text, caption, MB_RETRYCANCEL | MB_ICONERROR) == IDRETRY;
}

}  // namespace

bool DownloadToBuffer(CInternetSession& session, LPCWSTR url, CByteArray& buffer,
                      DownloadProgressCallback callback, void* param, HWND owner)
{
    std::vector<BYTE> chunk;
    int counter = kAttemptsPerRun;
    // A cancelled run starts no attempt, waits no pause and asks nothing.
    while (!IsRunCancelled()) {
        if (TryDownloadOnce(session, url, buffer, chunk, callback, param)) return true;
        if (IsRunCancelled()) break;

        // The pauses grow: 5 s after the first failure of a run, 9 s after the last.
        Platform().Sleep(static_cast<DWORD>(10 - counter) * 1000);
        if (counter <= 1) {
            if (IsRunCancelled()) break;
            if (UserChoosesRetry(owner)) counter = kAttemptsPerRun;
        }
        // Right after a Retry too, so every later run has one attempt less than the first.
        if (--counter <= 0) break;
    }
    return false;
}

bool DownloadToFile(CInternetSession& session, LPCWSTR url, LPCWSTR path, DownloadProgressCallback callback,
                    void* param, HWND owner)
{
    CByteArray body;
    if (!DownloadToBuffer(session, url, body, callback, param, owner)) return false;

    CFile file(path, CFile::modeCreate | CFile::modeWrite | CFile::shareDenyWrite);
    if (!body.IsEmpty()) file.Write(body.GetData(), static_cast<UINT>(body.GetSize()));
    file.Close();
    return true;
}

uint64_t GetFileLength(LPCWSTR path)
{
    CFile file(path, CFile::modeRead);
    const uint64_t length = file.GetLength();
    file.Close();
    return length;
}

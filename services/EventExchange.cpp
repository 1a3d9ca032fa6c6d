#include "services/EventExchange.h"

#include "services/InstallerException.h"

#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// What the caller and the exchange thread share. Whoever comes second (the thread finishing,
// or the caller giving up) owns the failure.
struct SharedExchange {
    enum State { Running, Finished, Abandoned };

    SharedExchange(std::shared_ptr<CInternetSession> s, EventExchangeRequest r, DWORD deadline)
        : session(std::move(s)), request(std::move(r)), deadlineMilliseconds(deadline),
          done(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~SharedExchange()
    {
        if (done) ::CloseHandle(done);
    }
    SharedExchange(const SharedExchange&) = delete;
    SharedExchange& operator=(const SharedExchange&) = delete;

    std::shared_ptr<CInternetSession> session;
    const EventExchangeRequest request;
    const DWORD deadlineMilliseconds;
    HANDLE done;
    std::atomic<int> state{Running};
    std::atomic<bool> answered{false};
    CException* failure = nullptr;
};

void SetTimeouts(CInternetHandle& handle, DWORD milliseconds)
{
    handle.SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, milliseconds);
    handle.SetOption(INTERNET_OPTION_SEND_TIMEOUT, milliseconds);
    handle.SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, milliseconds);
}

void Post(SharedExchange& exchange)
{
    const EventExchangeRequest& request = exchange.request;
    std::unique_ptr<CHttpConnection> connection(exchange.session->GetHttpConnection(request.host, request.port));
    SetTimeouts(*connection, exchange.deadlineMilliseconds);

    DWORD flags = INTERNET_FLAG_EXISTING_CONNECT;
    if (request.secure) flags |= INTERNET_FLAG_SECURE;
    std::unique_ptr<CHttpFile> file(
        connection->OpenRequest(HTTP_VERB_POST, request.object, nullptr, 1, nullptr, L"HTTP/1.1", flags));
    SetTimeouts(*file, exchange.deadlineMilliseconds);

    file->AddRequestHeaders(L"Content-Type: text/xml; charset=utf-8\r\n"
                            L"SOAPAction: \"urn:EventsTrackerAction\"\r\n"
                            L"Accept-Encoding: identity\r\n",
                            HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    std::vector<char> body(request.body.begin(), request.body.end());
    if (!file->SendRequest(nullptr, 0, body.data(), static_cast<DWORD>(body.size())))
        ThrowEventsTrackerException(L"Can not send request to Kelvara Event Tracker web service.");
    // A connection closed without a status line is no answer (Wine's WinINet reports success).
    DWORD status = 0;
    if (!file->QueryInfoStatusCode(status) || status == 0) AfxThrowInternetException(1, ERROR_HTTP_INVALID_SERVER_RESPONSE);
    exchange.answered = true;

    // The answer is read once and not examined.
    const DWORD available = file->GetLength();
    std::vector<char> response(static_cast<size_t>(available) + 1);
    file->Read(response.data(), available);
    response[available] = '\0';
    file->Close();
    connection->Close();
}

void RunExchange(const std::shared_ptr<SharedExchange>& exchange)
{
    try {
        Post(*exchange);
    } catch (CException* e) {
        exchange->failure = e;
    }
    if (exchange->state.exchange(SharedExchange::Finished) == SharedExchange::Abandoned) {
        // Nobody waits any longer.
        if (exchange->failure) exchange->failure->Delete();
        exchange->failure = nullptr;
    }
    ::SetEvent(exchange->done);
}

}  // namespace

EventExchangeResult ExchangeEvent(const std::shared_ptr<CInternetSession>& session,
                                  const EventExchangeRequest& request, DWORD deadlineMilliseconds)
{
    auto exchange = std::make_shared<SharedExchange>(session, request, deadlineMilliseconds);
    if (!exchange->done) AfxThrowInternetException(1);
    try {
        std::thread(RunExchange, exchange).detach();
    } catch (const std::system_error&) {
        ThrowEventsTrackerException(L"Can not start a request to Kelvara Event Tracker web service.");
    }

    EventExchangeResult result;
    if (::WaitForSingleObject(exchange->done, deadlineMilliseconds) != WAIT_OBJECT_0 &&
        exchange->state.exchange(SharedExchange::Abandoned) != SharedExchange::Finished) {
        result.failure.reset(new CInternetException(ERROR_INTERNET_TIMEOUT));
        return result;
    }
    // Finished: the thread has stored its result before it changed the state.
    result.answered = exchange->answered;
    result.failure.reset(exchange->failure);
    exchange->failure = nullptr;
    return result;
}

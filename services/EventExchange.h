// One POST to the event-tracking web service, bounded by a deadline whatever the network
// does. WinINet's own timeouts are only partly honoured (a connect to a host that never
// accepts can hang for minutes), so the exchange runs on a thread of its own; when it
// overruns, the caller goes on and the exchange is abandoned, cleaning up after itself.
#pragma once

#include "framework/Internet.h"

#include <memory>
#include <string>

struct EventExchangeRequest {
    CString host;
    INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
    CString object;
    bool secure = false;
    std::string body;   // UTF-8
};

struct EventExchangeResult {
    // True when the service sent a response (any status); false when the request could not
    // be sent or no response came before the deadline.
    bool answered = false;
    // What went wrong, if anything; a deadline overrun is ERROR_INTERNET_TIMEOUT.
    CExceptionPtr failure;
};

EventExchangeResult ExchangeEvent(const std::shared_ptr<CInternetSession>& session,
                                  const EventExchangeRequest& request, DWORD deadlineMilliseconds);

#include "services/EventsTracker.h"

#include "BuiltInAddresses.h"
#include "services/EventExchange.h"
#include "services/EventRequest.h"
#include "services/InstallerException.h"
#include "services/ProductNames.h"

#include <new>
#include <vector>

namespace {

// UTF-8 form of the body, without the terminating zero.
std::string EncodeUtf8(const CString& text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size == 0)
        ThrowEventsTrackerException(L"Can not calculate buffer site required to convert request from Unicode to UTF-8.");
    std::vector<char> buffer(static_cast<size_t>(size));
    if (::WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer.data(), size, nullptr, nullptr) == 0)
        ThrowEventsTrackerException(L"Can not convert request from Unicode to UTF-8.");
    return std::string(buffer.data(), static_cast<size_t>(size) - 1);
}

}  // namespace

CEventsTracker::CEventsTracker()
    : m_pSession(std::make_shared<CInternetSession>(L"Kelvara Events Tracker", 1, PRE_CONFIG_INTERNET_ACCESS))
{
    m_strKey = L"Pq7wLm2XvB9hTz4NcR8yKd";
    m_strServiceUrl = FETCHWRIGHT_EVENTS_URL;
    AcquireCryptContext();
    m_bEnabled = true;
    m_nMaxDataLength = 1024;
}

CEventsTracker::~CEventsTracker()
{
    m_pSession.reset();
    if (m_hProvider) ::CryptReleaseContext(m_hProvider, 0);
}

void CEventsTracker::SendEvent(LPCWSTR category, LPCWSTR data)
{
    if (!m_bEnabled || m_nUnansweredSends.load() >= kUnansweredSendsBeforeGivingUp) return;

    if (!category) ThrowEventsTrackerException(L"Event category string can not be null.");
    if (wcslen(category) > static_cast<size_t>(kMaxCategoryLength))
        ThrowEventsTrackerException(L"Event category string can not be longer than 50 characters.");
    if (!data) ThrowEventsTrackerException(L"Event data string can not be null.");
    if (wcslen(data) > static_cast<size_t>(m_nMaxDataLength)) {
        CString message;
        message.Format(L"Event data string can not be longer than %d characters.", m_nMaxDataLength);
        ThrowEventsTrackerException(message);
    }

    DWORD serviceType = 0;
    EventExchangeRequest request;
    if (!AfxParseURL(m_strServiceUrl, serviceType, request.host, request.object, request.port))
        ThrowEventsTrackerException(L"Invalid Kelvara Event Tracker web service URL.");
    if (serviceType != AFX_INET_SERVICE_HTTP && serviceType != AFX_INET_SERVICE_HTTPS)
        ThrowEventsTrackerException(L"Invalid Kelvara Event Tracker web service protocol, HTTP or HTTPS is expected.");
    request.secure = serviceType == AFX_INET_SERVICE_HTTPS;

    CString txnId, mac;
    GenerateTxnId(txnId);
    ComputeMac(txnId, mac);
    request.body = EncodeUtf8(BuildEventRequestBody(kProductName, category, data, txnId, mac));

    EventExchangeResult result = ExchangeEvent(m_pSession, request, kSendDeadlineMilliseconds);
    if (result.answered)
        m_nUnansweredSends.store(0);
    else
        m_nUnansweredSends.fetch_add(1);
    if (result.failure) throw result.failure.release();
}

void TrySendEvent(CEventsTracker* tracker, LPCWSTR category, LPCWSTR data)
{
    if (!tracker) return;
    try {
        tracker->SendEvent(category, data);
    } catch (CException* e) {
        e->Delete();
    } catch (const std::bad_alloc&) {
        // Lost like any other failed report.
    }
}

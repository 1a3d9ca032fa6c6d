// The client of the maker's event-tracking web service: every step of the installation is
// reported as one SOAP AddEvent request with a fresh transaction id and its mac.
#pragma once

#include "framework/Internet.h"
#include "framework/String.h"

#include <wincrypt.h>

#include <atomic>
#include <memory>

class CEventsTracker {
public:
    // Opens the tracker's Internet session and its cryptographic context. Throws
    // CInternetException or CEventsTrackerException when either cannot be had.
    CEventsTracker();
    virtual ~CEventsTracker();
    CEventsTracker(const CEventsTracker&) = delete;
    CEventsTracker& operator=(const CEventsTracker&) = delete;

    // Sends one event and returns when the service has answered or the deadline has passed.
    // Throws on every failure; callers dispose of the exception and carry on. After two
    // sends in a row that got no answer, the tracker sends nothing more.
    virtual void SendEvent(LPCWSTR category, LPCWSTR data);

    // Appends 20 uppercase hexadecimal digits of fresh random bytes.
    void GenerateTxnId(CString& txnId);
    // Appends the lowercase hexadecimal SHA-1 of the transaction id followed by the key.
    void ComputeMac(CString txnId, CString& mac);

    // How long one send may take, whatever the network does.
    static constexpr DWORD kSendDeadlineMilliseconds = 5000;
    static constexpr int kMaxCategoryLength = 50;
    static constexpr int kUnansweredSendsBeforeGivingUp = 2;

private:
    void AcquireCryptContext();

    CString m_strKey;
    CString m_strServiceUrl;
    bool m_bEnabled = false;
    int m_nMaxDataLength = 0;
    // Shared with exchanges that outlive their deadline.
    std::shared_ptr<CInternetSession> m_pSession;
    HCRYPTPROV m_hProvider = 0;
    std::atomic<int> m_nUnansweredSends{0};
};

// Sends an event through the tracker, if there is one, and disposes of any failure: a failed
// report never changes the installation.
void TrySendEvent(CEventsTracker* tracker, LPCWSTR category, LPCWSTR data);

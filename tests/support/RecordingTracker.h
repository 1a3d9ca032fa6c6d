// An events tracker that records what it is asked to send instead of sending it, and a
// dialog object (never shown unless a test runs it) that reports to one.
#pragma once

#include "app/FetchwrightDlg.h"

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class RecordingTracker final : public CEventsTracker {
public:
    using Event = std::pair<std::wstring, std::wstring>;   // category, data

    void SendEvent(LPCWSTR category, LPCWSTR data) override;
    std::vector<Event> Events() const;
    std::vector<std::wstring> Categories() const;
    void Clear();

    // Called with each event as it is recorded, on the sending thread.
    std::function<void(const Event&)> onEvent;

private:
    mutable std::mutex m_lock;
    std::vector<Event> m_events;
};

// The installer dialog with its tracker replaced by a RecordingTracker. The run's
// cancellation state is reset for each test.
class RecordingDialog : public CFetchwrightDlg {
public:
    RecordingDialog();
    RecordingTracker& Tracker() { return *m_pTracker; }

private:
    RecordingTracker* m_pTracker;
};

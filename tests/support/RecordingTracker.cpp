#include "support/RecordingTracker.h"

#include "services/RunCancellation.h"

void RecordingTracker::SendEvent(LPCWSTR category, LPCWSTR data)
{
    Event event(category ? category : L"(null)", data ? data : L"(null)");
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_events.push_back(event);
    }
    if (onEvent) onEvent(event);
}

std::vector<RecordingTracker::Event> RecordingTracker::Events() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_events;
}

void RecordingTracker::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_events.clear();
}

std::vector<std::wstring> RecordingTracker::Categories() const
{
    std::vector<std::wstring> categories;
    for (const Event& event : Events()) categories.push_back(event.first);
    return categories;
}

RecordingDialog::RecordingDialog()
{
    ResetRunCancellationForTesting();
    delete m_pEventsTracker;
    m_pTracker = new RecordingTracker();
    m_pEventsTracker = m_pTracker;
}

#include "services/RunCancellation.h"

#include "framework/Afx.h"

#include <atomic>

namespace {
std::atomic<bool> g_cancelled{false};
std::atomic<bool> g_dialogRetired{false};
std::atomic<int> g_activeUses{0};
}  // namespace

void CancelRun() { g_cancelled.store(true); }

bool IsRunCancelled() { return g_cancelled.load(); }

CDialogUse::CDialogUse()
{
    // Count first, then look: a use that sees the run still going is visible to
    // WaitForDialogUses before the dialog can go.
    g_activeUses.fetch_add(1);
    m_bGranted = !g_cancelled.load() && !g_dialogRetired.load();
    if (!m_bGranted) g_activeUses.fetch_sub(1);
}

CDialogUse::~CDialogUse()
{
    if (m_bGranted) g_activeUses.fetch_sub(1);
}

void RetireDialog()
{
    g_dialogRetired.store(true);
    while (g_activeUses.load() != 0) ::Sleep(1);
}

void ResetRunCancellationForTesting()
{
    g_cancelled.store(false);
    g_dialogRetired.store(false);
}

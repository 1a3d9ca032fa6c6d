// Cancel ends the installation for the whole process. Once it is requested, the worker
// threads make no further control update, event report, download attempt or launch; the
// main thread does not wait for them.
//
// A worker thread reaches the dialog only inside a CDialogUse. Uses are refused once the run
// is cancelled, and the dialog, before it is destroyed, waits for the uses that began
// earlier. Each use is short (a window message to a control, an event report bounded by the
// events tracker's deadline), so that wait is short too.
#pragma once

void CancelRun();
bool IsRunCancelled();

class CDialogUse {
public:
    CDialogUse();
    ~CDialogUse();
    CDialogUse(const CDialogUse&) = delete;
    CDialogUse& operator=(const CDialogUse&) = delete;

    // False when the run has been cancelled: the dialog must not be touched.
    explicit operator bool() const { return m_bGranted; }

private:
    bool m_bGranted;
};

// Called by the dialog's destructor: refuses every later use and waits for the ones that
// began earlier, so nothing reaches the dialog once it is gone.
void RetireDialog();

// Unit tests run many installations in one process.
void ResetRunCancellationForTesting();

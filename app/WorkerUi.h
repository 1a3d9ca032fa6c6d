// What the worker threads do to the installer dialog. Each operation is a window message
// handled on the dialog's thread, or an event report; once the run is cancelled (or the
// dialog is gone) every operation does nothing.
#pragma once

#include "app/FetchwrightDlg.h"
#include "services/RunCancellation.h"

class CWorkerUi {
public:
    explicit CWorkerUi(CFetchwrightDlg* dialog) : m_pDialog(dialog) {}

    bool IsCancelled() const { return IsRunCancelled(); }

    // Reports an event; a failed report is disposed of and ignored.
    void SendEvent(LPCWSTR category, LPCWSTR data = L"") const;

    template <class Control>
    void Show(Control CFetchwrightDlg::*control) const
    {
        if (CDialogUse use{}) (m_pDialog->*control).ShowWindow(SW_SHOW);
    }
    void SetText(CStatic CFetchwrightDlg::*label, LPCWSTR text) const;
    // Range 0 to 100, the position, and shown.
    void StartProgress(CProgressCtrl CFetchwrightDlg::*bar, int position) const;
    void SetProgress(CProgressCtrl CFetchwrightDlg::*bar, int position) const;
    void EndDialog(int result) const;

    // The dialog's window, owner of the worker's message boxes and launched programs;
    // nullptr once the run is cancelled.
    HWND GetOwner() const;

    // For the progress records that the reporters read; reached only through a CWorkerUi.
    CFetchwrightDlg* GetDialog() const { return m_pDialog; }

private:
    CFetchwrightDlg* m_pDialog;
};

// The installer's one window: four stages, each a label over a progress bar, and Cancel.
// The dialog owns the events tracker and starts the worker thread when it is first shown;
// the worker decides what is shown and ends the dialog.
#pragma once

#include "framework/Thread.h"
#include "framework/Wnd.h"
#include "services/EventsTracker.h"

class CFetchwrightDlg : public CDialogEx {
public:
    CFetchwrightDlg();
    ~CFetchwrightDlg() override;

    HICON m_hIcon;
    CStatic m_ctlCheckText;
    CProgressCtrl m_ctlCheckProgress;
    CStatic m_ctlPrereqDownloadText;
    CProgressCtrl m_ctlPrereqDownloadProgress;
    CStatic m_ctlPrereqInstallText;
    CProgressCtrl m_ctlPrereqInstallProgress;
    // Owned; null when the tracker could not be created (the installer then runs without events).
    CEventsTracker* m_pEventsTracker;
    CStatic m_ctlAppDownloadText;
    CProgressCtrl m_ctlAppDownloadProgress;
    // Not owned: a thread object deletes itself when its thread ends, so these are never
    // dereferenced; they only tell which threads were started.
    CWinThread* m_pInstallThread;
    CWinThread* m_pProgressThread;

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;
    BOOL OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnShowWindow(BOOL show, UINT status);
    void OnBnClickedCancel();
};

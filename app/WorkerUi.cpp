#include "app/WorkerUi.h"

void CWorkerUi::SendEvent(LPCWSTR category, LPCWSTR data) const
{
    if (CDialogUse use{}) TrySendEvent(m_pDialog->m_pEventsTracker, category, data);
}

void CWorkerUi::SetText(CStatic CFetchwrightDlg::*label, LPCWSTR text) const
{
    if (CDialogUse use{}) (m_pDialog->*label).SetWindowText(text);
}

void CWorkerUi::StartProgress(CProgressCtrl CFetchwrightDlg::*bar, int position) const
{
    if (CDialogUse use{}) {
        CProgressCtrl& control = m_pDialog->*bar;
        control.SetRange(0, 100);
        control.SetPos(position);
        control.ShowWindow(SW_SHOW);
    }
}

void CWorkerUi::SetProgress(CProgressCtrl CFetchwrightDlg::*bar, int position) const
{
    if (CDialogUse use{}) (m_pDialog->*bar).SetPos(position);
}

void CWorkerUi::EndDialog(int result) const
{
    if (CDialogUse use{}) m_pDialog->EndDialog(result);
}

HWND CWorkerUi::GetOwner() const
{
    if (CDialogUse use{}) return m_pDialog->m_hWnd;
    return nullptr;
}

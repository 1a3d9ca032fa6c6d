#include "framework/Wnd.h"

#include "framework/WinApp.h"

#include <vector>

CString CWnd::GetWindowText() const
{
    const int length = ::GetWindowTextLengthW(m_hWnd);
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
    const int copied = ::GetWindowTextW(m_hWnd, text.data(), length + 1);
    return CString(text.data(), copied);
}

void DDX_Control(CDataExchange* exchange, int controlId, CWnd& control)
{
    control.m_hWnd = ::GetDlgItem(exchange->m_pDlgWnd->m_hWnd, controlId);
}

INT_PTR CDialog::DoModal()
{
    const HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    return ::DialogBoxParamW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), parent, &CDialog::DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::OnInitDialog()
{
    CDataExchange exchange{this};
    DoDataExchange(&exchange);
    return TRUE;
}

BOOL CDialog::OnDialogMessage(UINT message, WPARAM wParam, LPARAM, LRESULT&)
{
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDCANCEL) { OnCancel(); return TRUE; }
        if (LOWORD(wParam) == IDOK) { OnOK(); return TRUE; }
    }
    return FALSE;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
        return dialog->OnInitDialog();
    }
    auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (!dialog) return FALSE;
    if (message == WM_NCDESTROY) {
        dialog->m_hWnd = nullptr;
        if (CWinApp* app = AfxGetApp(); app && app->m_pMainWnd == dialog) app->m_pMainWnd = nullptr;
        return FALSE;
    }
    LRESULT result = 0;
    if (!dialog->OnDialogMessage(message, wParam, lParam, result)) return FALSE;
    // These few messages take their answer as the dialog procedure's own result.
    if (message == WM_QUERYDRAGICON || message == WM_COMPAREITEM || message == WM_VKEYTOITEM ||
        message == WM_CHARTOITEM || (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC))
        return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
}

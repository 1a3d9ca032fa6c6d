// Windows and the modal dialog over the Win32 dialog manager.
#pragma once

#include "framework/Afx.h"
#include "framework/String.h"

#include <commctrl.h>

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }   // NOLINT: the framework's conversion

    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    void SetWindowText(LPCWSTR text) { ::SetWindowTextW(m_hWnd, text); }
    CString GetWindowText() const;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }

    HWND m_hWnd = nullptr;
};

class CStatic : public CWnd {};

class CProgressCtrl : public CWnd {
public:
    void SetRange(short lower, short upper) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(lower, upper)); }
    int SetPos(int position) { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(position), 0)); }
    int GetPos() { return static_cast<int>(SendMessage(PBM_GETPOS, 0, 0)); }
};

class CDialog;

struct CDataExchange {
    CDialog* m_pDlgWnd;
};

// Binds a control member to the dialog's control of that ID.
void DDX_Control(CDataExchange* exchange, int controlId, CWnd& control);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

    // Runs the dialog; its result, or -1 when it cannot be created.
    virtual INT_PTR DoModal();
    // Ends the modal loop with the result; may be called from any thread.
    void EndDialog(int result) { ::EndDialog(m_hWnd, result); }

protected:
    virtual void DoDataExchange(CDataExchange*) {}
    // Called once the controls exist; TRUE lets the dialog manager set the focus.
    virtual BOOL OnInitDialog();
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual void OnOK() { EndDialog(IDOK); }
    // The dialog's message map: handles a message and returns TRUE, or FALSE for the default.
    virtual BOOL OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
};

class CDialogEx : public CDialog {
public:
    using CDialog::CDialog;
};

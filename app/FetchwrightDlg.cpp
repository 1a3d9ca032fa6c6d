#include "app/FetchwrightDlg.h"

#include "res/resource.h"
#include "services/ProductNames.h"
#include "services/RunCancellation.h"
#include "workflow/InstallThreadProc.h"

namespace {

CEventsTracker* CreateEventsTracker()
{
    // Without a tracker the installation still runs; only its reports are lost.
    try {
        return new CEventsTracker();
    } catch (CException* e) {
        e->Delete();
        return nullptr;
    }
}

}  // namespace

CFetchwrightDlg::CFetchwrightDlg()
    : CDialogEx(IDD_FETCHWRIGHT_DIALOG),
      m_hIcon(::LoadIconW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_pEventsTracker(CreateEventsTracker()),
      m_pInstallThread(nullptr),
      m_pProgressThread(nullptr)
{
}

CFetchwrightDlg::~CFetchwrightDlg()
{
    // Worker threads may still run (after Cancel, or finishing their clean-up): make sure
    // none of them is inside the dialog or its tracker before they go.
    RetireDialog();
    delete m_pEventsTracker;
}

void CFetchwrightDlg::DoDataExchange(CDataExchange* exchange)
{
    DDX_Control(exchange, IDC_CHECK_TEXT, m_ctlCheckText);
    DDX_Control(exchange, IDC_CHECK_PROGRESS, m_ctlCheckProgress);
    DDX_Control(exchange, IDC_PREREQ_DOWNLOAD_TEXT, m_ctlPrereqDownloadText);
    DDX_Control(exchange, IDC_PREREQ_DOWNLOAD_PROGRESS, m_ctlPrereqDownloadProgress);
    DDX_Control(exchange, IDC_PREREQ_INSTALL_TEXT, m_ctlPrereqInstallText);
    DDX_Control(exchange, IDC_PREREQ_INSTALL_PROGRESS, m_ctlPrereqInstallProgress);
    DDX_Control(exchange, IDC_APP_DOWNLOAD_TEXT, m_ctlAppDownloadText);
    DDX_Control(exchange, IDC_APP_DOWNLOAD_PROGRESS, m_ctlAppDownloadProgress);
}

BOOL CFetchwrightDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    CString title;
    title.Format(IDS_WINDOW_TITLE_FORMAT, kCompanyName, kProductName);
    SetWindowText(title);
    return TRUE;
}

BOOL CFetchwrightDlg::OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_PAINT:
        if (!::IsIconic(m_hWnd)) return FALSE;   // the dialog manager paints the normal window
        OnPaint();
        return TRUE;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(OnQueryDragIcon());
        return TRUE;
    case WM_SHOWWINDOW:
        OnShowWindow(static_cast<BOOL>(wParam), static_cast<UINT>(lParam));
        return FALSE;   // the default handling follows
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL && HIWORD(wParam) == BN_CLICKED) {
            OnBnClickedCancel();
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

void CFetchwrightDlg::OnPaint()
{
    // Minimised: the icon, centred in the client area.
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int iconWidth = ::GetSystemMetrics(SM_CXICON);
    const int iconHeight = ::GetSystemMetrics(SM_CYICON);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &paint);
}

HCURSOR CFetchwrightDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CFetchwrightDlg::OnShowWindow(BOOL show, UINT)
{
    // The dialog is shown once; ending it may hide it first, which must not start a second worker.
    if (!show || m_pInstallThread) return;
    m_pInstallThread = AfxBeginThread(InstallThreadProc, this);
}

void CFetchwrightDlg::OnBnClickedCancel()
{
    // First of all: from here on the worker threads change nothing and report nothing.
    CancelRun();
    TrySendEvent(m_pEventsTracker, L"User clicked Cancel", L"");
    CDialogEx::OnCancel();
}

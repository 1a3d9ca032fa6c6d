#include "app/FetchwrightApp.h"

#include "app/FetchwrightDlg.h"

#include <commctrl.h>

CFetchwrightApp theApp;

CFetchwrightApp::CFetchwrightApp() { m_dwRestartManagerSupportFlags = AFX_RESTART_MANAGER_SUPPORT_RESTART; }

BOOL CFetchwrightApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&controls);

    CWinApp::InitInstance();

    int exitCode = 1;
    {
        CFetchwrightDlg dialog;
        m_pMainWnd = &dialog;
        TrySendEvent(dialog.m_pEventsTracker, L"Installer started", L"");

        const INT_PTR result = dialog.DoModal();
        if (result == IDOK)
            TrySendEvent(dialog.m_pEventsTracker, L"Installation succeeded", L"");
        else if (result == IDCANCEL)
            TrySendEvent(dialog.m_pEventsTracker, L"Installation failed", L"");
        if (result == IDOK) exitCode = 0;

        TrySendEvent(dialog.m_pEventsTracker, L"Installer exited", L"");
        m_pMainWnd = nullptr;
    }
    AfxPostQuitMessage(exitCode);
    return FALSE;
}

#include "workflow/InstallThreadProc.h"

#include "app/WorkerUi.h"
#include "framework/Exception.h"
#include "framework/WinApp.h"
#include "workflow/ComApartment.h"

namespace {

// The one failure handler: the user sees the message, the service gets it as "Exception",
// and the dialog ends with IDCANCEL. After Cancel nothing of this happens.
void ReportFailure(const CWorkerUi& ui, CException* failure)
{
    CExceptionPtr guard(failure);
    if (ui.IsCancelled()) return;
    failure->ReportError(MB_OK);
    wchar_t message[4096];
    failure->GetErrorMessage(message, 4096);
    guard.reset();
    ui.SendEvent(L"Exception", message);
    ui.EndDialog(IDCANCEL);
}

void RunInstallation(const CWorkerUi&)
{
    const CComApartment com;
    // The stages follow here as they are built; until the deployment stage ends it, the
    // dialog stays open.
}

}  // namespace

UINT InstallThreadProc(LPVOID dialog)
{
    const CWorkerUi ui(static_cast<CFetchwrightDlg*>(dialog));
    AfxSetThreadMessageOwner(ui.GetOwner());
    try {
        RunInstallation(ui);
    } catch (CException* failure) {
        ReportFailure(ui, failure);
    }
    return 0;
}

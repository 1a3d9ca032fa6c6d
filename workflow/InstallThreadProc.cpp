#include "workflow/InstallThreadProc.h"

#include "app/WorkerUi.h"
#include "framework/Exception.h"
#include "framework/WinApp.h"
#include "services/RootCertificate.h"
#include "workflow/ComApartment.h"
#include "workflow/DeploymentStage.h"
#include "workflow/SystemRequirements.h"

#include <new>

namespace {

// The one failure handler: the user sees the message, the service gets it as "Exception",
// and the dialog ends with IDCANCEL. After Cancel nothing of this happens.
void ReportFailure(const CWorkerUi& ui, CException* failure)
{
    CExceptionPtr guard(failure);
    if (ui.IsCancelled()) return;
    failure->ReportError(MB_OK);
    wchar_t message[CException::kReportedMessageCapacity];
    failure->GetErrorMessage(message, CException::kReportedMessageCapacity);
    guard.reset();
    ui.SendEvent(L"Exception", message);
    ui.EndDialog(IDCANCEL);
}

void RunInstallation(const CWorkerUi& ui)
{
    const CComApartment com;

    int versionCode = 0;
    CString windowsDescription;
    CheckSystemRequirements(ui, versionCode, windowsDescription);

    // The certificate is for the user's security, not for the installation: a failure is
    // reported and the installation goes on.
    if (InstallRootCertificate(ui.GetOwner()))
        ui.SendEvent(L"Certificate installation succeeded");
    else
        ui.SendEvent(L"Certificate installation failed");

    RunDeploymentStage(ui);
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
    } catch (const std::bad_alloc&) {
        // The standard library's way of running out of memory (strings, containers).
        ReportFailure(ui, AfxGetMemoryException());
    }
    return 0;
}

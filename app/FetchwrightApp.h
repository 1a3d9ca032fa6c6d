// The application object: runs the installer dialog and reports the start, the outcome and
// the end of the run.
#pragma once

#include "framework/WinApp.h"

class CFetchwrightApp : public CWinApp {
public:
    CFetchwrightApp();
    ~CFetchwrightApp() override = default;

    // Runs the whole installation; returns FALSE so that the process ends with the dialog.
    // The process exit code is 0 when the installation succeeded, 1 otherwise.
    BOOL InitInstance() override;
};

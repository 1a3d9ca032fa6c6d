// The last stage: mirror the ClickOnce deployment into a new folder in the temporary folder
// and hand the local deployment manifest to the system's ClickOnce engine.
#pragma once

#include "app/WorkerUi.h"

// Ends the dialog itself: IDOK when the engine's process ended with 0 (or none came back),
// IDCANCEL for any other exit code. Throws CInstallerException on every failure.
void RunDeploymentStage(const CWorkerUi& ui);

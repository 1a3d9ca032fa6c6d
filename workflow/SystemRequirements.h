// The first stage: name the running Windows, report it and the memory, and refuse computers
// older than Windows XP or with less than 400 MiB.
#pragma once

#include "app/WorkerUi.h"
#include "framework/String.h"

// Gives back the version code (major × 10 + minor) and the description sent as
// "Windows Version"; throws CInstallerException when the computer is refused.
void CheckSystemRequirements(const CWorkerUi& ui, int& versionCode, CString& description);

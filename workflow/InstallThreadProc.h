// The worker thread: the whole installation, stage by stage, with one failure handler.
#pragma once

#include "framework/Afx.h"

// Thread procedure; the parameter is the installer dialog. Always returns 0.
UINT InstallThreadProc(LPVOID dialog);

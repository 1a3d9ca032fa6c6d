// Common Windows headers and the few framework-wide helpers of our MFC-shaped layer.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// The application's module (the executable): resources, icon, file name.
HINSTANCE AfxGetInstanceHandle();
// Name of the running executable without folder and extension, as the framework's
// default application title.
LPCWSTR AfxGetAppName();

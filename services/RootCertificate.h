// The maker's root certification authority certificate in the current user's trusted roots.
#pragma once

#include "framework/Afx.h"

// Downloads the certificate and adds it to the current user's "ROOT" store unless a
// certificate with its serial number is there already, telling the user first (the box is
// owned by owner). True when it is present afterwards; false on any failure. Never throws.
bool InstallRootCertificate(HWND owner);

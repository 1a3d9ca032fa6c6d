// Relative paths taken from the ClickOnce manifests. The manifests arrive over plain HTTP,
// so a path that could lead out of the mirror folder is refused before anything is written.
#pragma once

#include "framework/String.h"

// False for a path that is absolute (leading separator), carries a drive or any colon, or
// has a ".." segment; separators are "\" and "/".
bool IsSafeRelativePath(const CString& path);

// Throws "Can not install Kelvara Lantern Rise, because its manifest names an unsafe path..."
// for a path that is not safe.
void RequireSafeRelativePath(const CString& path);

// Creates the folders in front of the file name of a relative path, under the current folder.
void CreateFoldersOfPath(const CString& relativePath);

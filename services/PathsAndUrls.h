// Small path and URL operations for mirroring a deployment into a working folder.
#pragma once

#include "framework/Array.h"
#include "framework/String.h"

using CStringArray = CArray<CString, const CString&>;

// Full path (ending in a backslash) of a folder in the temporary folder that does not exist
// yet, named after the current time. Does not create it; leaves the current directory as it was.
void GetUniqueTempFolderPath(CString& path);

// The text after the URL's last "/"; throws "Invalid URL." when there is none.
void GetFileNameFromUrl(LPCWSTR url, CString& fileName);

// Appends the non-empty tokens of text between any of the delimiter characters.
void SplitString(CString text, LPCWSTR delimiters, CStringArray& tokens);

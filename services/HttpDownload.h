// Every file the installer fetches (apart from event reports and the root certificate)
// comes through here: an HTTP GET into memory with retries and growing pauses, and after a
// run of failed attempts a Retry/Cancel box. Network failures never throw: the routines
// return false once the user gives up (or the run was cancelled).
#pragma once

#include "framework/Array.h"
#include "framework/Internet.h"

#include <cstdint>

// Announced length of the body, bytes received so far in this attempt, the caller's value.
using DownloadProgressCallback = void (*)(uint64_t total, uint64_t done, void* param);

// Fetches url into buffer. True with the whole body; false when the user chose Cancel in the
// Retry/Cancel box (owned by owner) or the run was cancelled.
bool DownloadToBuffer(CInternetSession& session, LPCWSTR url, CByteArray& buffer,
                      DownloadProgressCallback callback, void* param, HWND owner);

// Downloads url and writes it to path (created or truncated) in one piece. False as above,
// leaving path untouched. A file that cannot be written throws CFileException.
bool DownloadToFile(CInternetSession& session, LPCWSTR url, LPCWSTR path, DownloadProgressCallback callback,
                    void* param, HWND owner);

// Length of a file in bytes; throws CFileException when it cannot be opened.
uint64_t GetFileLength(LPCWSTR path);

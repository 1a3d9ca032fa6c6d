// The reporters that turn download and installation progress into bar positions. Each only
// reads its context record, which the worker owns for one download or installation.
#pragma once

#include <cstdint>

class CFetchwrightDlg;

struct PrereqDownloadProgressContext {
    CFetchwrightDlg* pDialog;
    int nCount;   // prerequisites to download
    int nIndex;   // zero-based, the one downloading now
};

struct AppDownloadProgressContext {
    uint64_t nTotalBytes;       // the two manifests and every listed file
    uint64_t nCompletedBytes;   // fetched before the current file
    CFetchwrightDlg* pDialog;
};

struct PrereqInstallProgressContext {
    int nCount;   // prerequisites to install
    int nIndex;   // zero-based, the one installing now
    CFetchwrightDlg* pDialog;
};

// Each prerequisite has an equal share of the bar; the finished ones count in full and the
// current one in proportion to its bytes.
void PrereqDownloadProgress(uint64_t total, uint64_t done, PrereqDownloadProgressContext* context);
// The application bar counts bytes over the whole download, capped at 100.
void AppDownloadProgress(uint64_t done, AppDownloadProgressContext* context);
// Installation progress of the current prerequisite within its share. The sum may reach
// 101 through rounding, which the bar's range absorbs. The type of an install-progress
// callback; context is a PrereqInstallProgressContext.
void PrereqInstallProgress(int percent, void* context);

// Download-progress adapters (announced length, bytes so far, context).
void PrereqDownloadProgressAdapter(uint64_t total, uint64_t done, void* context);
void AppDownloadProgressAdapter(uint64_t total, uint64_t done, void* context);

// The positions alone, for the reporters above.
int PrereqDownloadPosition(uint64_t total, uint64_t done, int count, int index);
int AppDownloadPosition(uint64_t done, uint64_t completed, uint64_t total);
int PrereqInstallPosition(int percent, int count, int index);

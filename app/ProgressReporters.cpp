#include "app/ProgressReporters.h"

#include "app/WorkerUi.h"

#include <cmath>

int PrereqDownloadPosition(uint64_t total, uint64_t done, int count, int index)
{
    const float step = static_cast<float>(100.0 / count);
    const float received = static_cast<float>(static_cast<double>(done) * step / static_cast<double>(total));
    const float finished = static_cast<float>(step * index);
    const float value = received + finished;
    const int position = static_cast<int>(std::ceil(value));
    return position < 100 ? position : 100;
}

int AppDownloadPosition(uint64_t done, uint64_t completed, uint64_t total)
{
    const int position = static_cast<int>(std::ceil(static_cast<double>(done + completed) * 100.0 / static_cast<double>(total)));
    return position <= 100 ? position : 100;
}

int PrereqInstallPosition(int percent, int count, int index)
{
    const int finished = static_cast<int>(std::ceil(index * 100.0 / count));
    const int current = static_cast<int>(std::ceil(static_cast<float>(percent / static_cast<double>(count))));
    return finished + current;
}

void PrereqDownloadProgress(uint64_t total, uint64_t done, PrereqDownloadProgressContext* context)
{
    CWorkerUi(context->pDialog)
        .SetProgress(&CFetchwrightDlg::m_ctlPrereqDownloadProgress,
                     PrereqDownloadPosition(total, done, context->nCount, context->nIndex));
}

void AppDownloadProgress(uint64_t done, AppDownloadProgressContext* context)
{
    CWorkerUi(context->pDialog)
        .SetProgress(&CFetchwrightDlg::m_ctlAppDownloadProgress,
                     AppDownloadPosition(done, context->nCompletedBytes, context->nTotalBytes));
}

void PrereqInstallProgress(int percent, void* context)
{
    auto* install = static_cast<PrereqInstallProgressContext*>(context);
    CWorkerUi(install->pDialog)
        .SetProgress(&CFetchwrightDlg::m_ctlPrereqInstallProgress,
                     PrereqInstallPosition(percent, install->nCount, install->nIndex));
}

void PrereqDownloadProgressAdapter(uint64_t total, uint64_t done, void* context)
{
    PrereqDownloadProgress(total, done, static_cast<PrereqDownloadProgressContext*>(context));
}

void AppDownloadProgressAdapter(uint64_t, uint64_t done, void* context)
{
    AppDownloadProgress(done, static_cast<AppDownloadProgressContext*>(context));
}

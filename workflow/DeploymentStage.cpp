#include "workflow/DeploymentStage.h"

#include "BuiltInAddresses.h"
#include "app/ProgressReporters.h"
#include "framework/ComPtr.h"
#include "framework/File.h"
#include "services/HttpDownload.h"
#include "services/InstallerException.h"
#include "services/PathsAndUrls.h"
#include "services/ProductNames.h"
#include "services/XmlDocument.h"
#include "workflow/ManifestPaths.h"

#include <direct.h>
#include <shellapi.h>

#include <memory>

namespace {

const wchar_t kDeploymentUrl[] =
    L"http://" FETCHWRIGHT_DOWNLOAD_HOST L"/software/lantern-rise/clickonce/KelvaraLanternRise.application";

[[noreturn]] void ThrowProductMessage(LPCWSTR format)
{
    CString message;
    message.Format(format, kCompanyName, kProductName);
    ThrowInstallerException(message);
}

// What the two manifests tell: where the application manifest lies and which files it lists.
struct Deployment {
    CString localManifestName;     // the deployment manifest's file name
    CString baseUrl;               // the deployment provider's folder URL, ending in "/"
    CString appManifestPath;       // relative, backslash-separated
    CStringArray files;            // relative paths listed by the application manifest
    uint64_t totalBytes = 0;
};

CString FirstElementAttribute(IXMLDOMDocument2* document, LPCWSTR elementName, LPCWSTR attribute,
                              LPCWSTR missingMessage)
{
    CXmlElementList elements;
    GetElementsByName(document, elementName, elements.Elements());
    if (elements.GetSize() == 0) ThrowInstallerException(missingMessage);
    CString text;
    GetAttributeText(elements[0], attribute, text);
    return text;
}

void ReadDeploymentManifest(Deployment& deployment)
{
    CComPtr<IXMLDOMDocument2> document;
    document.Attach(LoadXmlDocument(deployment.localManifestName, L"Can not parse application manifest XML file. %s"));

    const CString codebase = FirstElementAttribute(document, L"deploymentProvider", L"codebase",
                                                   L"Can not find deployment provider node in manifest.");
    const int lastSlash = codebase.ReverseFind(L'/');
    if (lastSlash < 0) ThrowInstallerException(L"Invalid application codebase.");
    deployment.baseUrl = codebase.Left(lastSlash + 1);

    deployment.appManifestPath = FirstElementAttribute(document, L"dependentAssembly", L"codebase",
                                                       L"Can not find executable file node in manifest.");
    RequireSafeRelativePath(deployment.appManifestPath);
}

// Adds a listed file and its announced size (as _wtoi64 reads it: 0 when it is no number).
void AddListedFile(Deployment& deployment, IXMLDOMElement* element, LPCWSTR pathAttribute)
{
    CString path, size;
    GetAttributeText(element, pathAttribute, path);
    RequireSafeRelativePath(path);
    deployment.files.Add(path);
    GetAttributeText(element, L"size", size);
    deployment.totalBytes += static_cast<uint64_t>(::_wtoi64(size));
}

void ReadApplicationManifest(Deployment& deployment, LPCWSTR localName)
{
    CComPtr<IXMLDOMDocument2> document;
    document.Attach(LoadXmlDocument(localName, L"Can not parse executable file manifest XML. %s"));

    CXmlElementList assemblies;
    GetElementsByName(document, L"dependentAssembly", assemblies.Elements());
    for (INT_PTR i = 0; i < assemblies.GetSize(); ++i) {
        CString dependencyType;
        GetAttributeText(assemblies[i], L"dependencyType", dependencyType);
        if (dependencyType.CompareNoCase(L"install") == 0) AddListedFile(deployment, assemblies[i], L"codebase");
    }

    CXmlElementList files;
    GetElementsByName(document, L"file", files.Elements());
    for (INT_PTR i = 0; i < files.GetSize(); ++i) AddListedFile(deployment, files[i], L"name");
}

void PrepareDialog(const CWorkerUi& ui)
{
    ui.Show(&CFetchwrightDlg::m_ctlAppDownloadProgress);
    ui.Show(&CFetchwrightDlg::m_ctlPrereqDownloadText);
    ui.StartProgress(&CFetchwrightDlg::m_ctlPrereqDownloadProgress, 100);
    ui.Show(&CFetchwrightDlg::m_ctlPrereqInstallText);
    ui.StartProgress(&CFetchwrightDlg::m_ctlPrereqInstallProgress, 100);
    CString label;
    label.Format(L"Downloading %s", kProductName);
    ui.SetText(&CFetchwrightDlg::m_ctlAppDownloadText, label);
    ui.Show(&CFetchwrightDlg::m_ctlAppDownloadText);
    ui.StartProgress(&CFetchwrightDlg::m_ctlAppDownloadProgress, 0);
}

void DownloadDeploymentManifest(const CWorkerUi& ui, CInternetSession& session, LPCWSTR localName)
{
    CByteArray manifest;
    if (!DownloadToBuffer(session, kDeploymentUrl, manifest, nullptr, nullptr, ui.GetOwner()))
        ThrowProductMessage(L"%s %s application manifest downloading failed. Check your Internet connection and "
                            L"try again. Contact support if you need help.");
    CFile file(localName, CFile::modeCreate | CFile::modeWrite | CFile::shareDenyWrite);
    file.Write(manifest.GetData(), static_cast<UINT>(manifest.GetSize()));
    file.Close();
}

// Makes each folder of the application manifest's path current in turn: the version folder.
void EnterVersionFolder(const CString& appManifestPath)
{
    CStringArray parts;
    SplitString(appManifestPath, L"\\", parts);
    for (INT_PTR i = 0; i + 1 < parts.GetSize(); ++i) {
        ::_wmkdir(parts[i]);
        ::_wchdir(parts[i]);
    }
}

void DownloadApplicationFiles(const CWorkerUi& ui, CInternetSession& session, const Deployment& deployment,
                              const CString& appBaseUrl, AppDownloadProgressContext& progress)
{
    for (INT_PTR i = 0; i < deployment.files.GetSize(); ++i) {
        const CString localPath = deployment.files[i] + L".deploy";
        CString url = appBaseUrl + localPath;
        url.Replace(L'\\', L'/');
        CreateFoldersOfPath(localPath);
        if (!DownloadToFile(session, url, localPath, AppDownloadProgressAdapter, &progress, ui.GetOwner())) {
            CString message;
            message.Format(L"Can not download file required to install %s %s. Check your Internet connection and try "
                           L"again. Contact support if you need help. File name: %s",
                           kCompanyName, kProductName, localPath.GetString());
            ThrowInstallerException(message);
        }
        progress.nCompletedBytes += GetFileLength(localPath);
    }
}

// Closes a process handle on every path.
struct ProcessHandle {
    HANDLE handle;
    ~ProcessHandle()
    {
        if (handle) ::CloseHandle(handle);
    }
};

void LaunchClickOnce(const CWorkerUi& ui, const CString& mirrorFolder, const CString& localName)
{
    if (ui.IsCancelled()) return;
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_NOCLOSEPROCESS;
    execute.hwnd = ui.GetOwner();
    execute.lpVerb = L"open";
    execute.lpFile = localName;
    execute.lpDirectory = mirrorFolder;
    execute.nShow = SW_SHOW;
    if (!::ShellExecuteExW(&execute)) {
        CString code;
        code.Format(L"Error code: %d", static_cast<int>(reinterpret_cast<INT_PTR>(execute.hInstApp)));
        ui.SendEvent(L"Can not execute ClickOnce manifest", code);
        ThrowInstallerException(L"Can not execute ClickOnce manifest. Contact support.");
    }
    if (!execute.hProcess) {
        ui.SendEvent(L"ClickOnce installer executed", L"Status: unknown");
        ui.EndDialog(IDOK);
        return;
    }

    const ProcessHandle process{execute.hProcess};
    ::WaitForSingleObject(process.handle, INFINITE);
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process.handle, &exitCode);
    if (exitCode == 0) {
        ui.SendEvent(L"ClickOnce installer executed", L"Status: success");
        ui.EndDialog(IDOK);
    } else {
        CString status;
        status.Format(L"Status: error code: %d", static_cast<int>(exitCode));
        ui.SendEvent(L"ClickOnce installer executed", status);
        ui.EndDialog(IDCANCEL);
    }
}

}  // namespace

void RunDeploymentStage(const CWorkerUi& ui)
{
    ui.SendEvent(L"ClickOnce Installation Started");

    CString mirrorFolder;
    GetUniqueTempFolderPath(mirrorFolder);
    ::_wmkdir(mirrorFolder);
    ::_wchdir(mirrorFolder);
    PrepareDialog(ui);

    CString agent;
    agent.Format(L"%s Installer", kProductName);
    auto session = std::make_unique<CInternetSession>(agent, 1, PRE_CONFIG_INTERNET_ACCESS);

    Deployment deployment;
    GetFileNameFromUrl(kDeploymentUrl, deployment.localManifestName);
    DownloadDeploymentManifest(ui, *session, deployment.localManifestName);
    ui.SendEvent(L"Application manifest downloaded");

    ReadDeploymentManifest(deployment);
    ui.SendEvent(L"Application manifest parsed");

    EnterVersionFolder(deployment.appManifestPath);
    // The engine expects the deployment manifest beside the application manifest as well.
    ::CopyFileW(mirrorFolder + deployment.localManifestName, deployment.localManifestName, TRUE);

    CString appManifestUrl = deployment.appManifestPath;
    appManifestUrl.Replace(L'\\', L'/');
    appManifestUrl = deployment.baseUrl + appManifestUrl;
    const CString appBaseUrl = appManifestUrl.Left(appManifestUrl.ReverseFind(L'/') + 1);
    CString appManifestName;
    GetFileNameFromUrl(appManifestUrl, appManifestName);

    if (!DownloadToFile(*session, appManifestUrl, appManifestName, nullptr, nullptr, ui.GetOwner()))
        ThrowProductMessage(L"%s %s executable manifest downloading failed. Check your Internet connection and try "
                            L"again. Contact support if you need help.");
    ui.SendEvent(L"Executable manifest downloaded");

    // The two manifests are done before the first file, and count towards the total.
    const uint64_t manifestBytes = GetFileLength(deployment.localManifestName) + GetFileLength(appManifestName);
    deployment.totalBytes = manifestBytes;
    ReadApplicationManifest(deployment, appManifestName);
    ui.SendEvent(L"Executable manifest parsed");

    AppDownloadProgressContext progress{deployment.totalBytes, manifestBytes, ui.GetDialog()};
    AppDownloadProgress(0, &progress);
    DownloadApplicationFiles(ui, *session, deployment, appBaseUrl, progress);
    ui.SendEvent(L"Application files downloaded");
    session.reset();

    LaunchClickOnce(ui, mirrorFolder, deployment.localManifestName);
}

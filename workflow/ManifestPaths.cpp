#include "workflow/ManifestPaths.h"

#include "services/InstallerException.h"
#include "services/PathsAndUrls.h"
#include "services/ProductNames.h"

#include <direct.h>

bool IsSafeRelativePath(const CString& path)
{
    if (path.IsEmpty()) return true;
    if (path[0] == L'\\' || path[0] == L'/' || path.Find(L':') >= 0) return false;
    CStringArray segments;
    SplitString(path, L"\\/", segments);
    for (INT_PTR i = 0; i < segments.GetSize(); ++i)
        if (segments[i] == L"..") return false;
    return true;
}

void RequireSafeRelativePath(const CString& path)
{
    if (IsSafeRelativePath(path)) return;
    CString message;
    message.Format(L"Can not install %s %s, because its manifest names an unsafe path. Contact support. Path: %s",
                   kCompanyName, kProductName, path.GetString());
    ThrowInstallerException(message);
}

void CreateFoldersOfPath(const CString& relativePath)
{
    CStringArray segments;
    SplitString(relativePath, L"\\/", segments);
    CString folder;
    for (INT_PTR i = 0; i + 1 < segments.GetSize(); ++i) {
        if (!folder.IsEmpty()) folder += L'\\';
        folder += segments[i];
        ::_wmkdir(folder);   // an existing folder is fine
    }
}

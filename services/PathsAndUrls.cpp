#include "services/PathsAndUrls.h"

#include "platform/Platform.h"
#include "services/InstallerException.h"

#include <shlwapi.h>

#include <cstdint>
#include <vector>

namespace {

// Puts the process's current directory back when it goes out of scope.
class CCurrentDirectoryRestorer {
public:
    CCurrentDirectoryRestorer()
    {
        const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
        m_saved.resize(size + 1);
        ::GetCurrentDirectoryW(static_cast<DWORD>(m_saved.size()), m_saved.data());
    }
    ~CCurrentDirectoryRestorer() { ::SetCurrentDirectoryW(m_saved.data()); }
    CCurrentDirectoryRestorer(const CCurrentDirectoryRestorer&) = delete;
    CCurrentDirectoryRestorer& operator=(const CCurrentDirectoryRestorer&) = delete;

private:
    std::vector<wchar_t> m_saved;
};

CString FolderNameFor(uint32_t stamp)
{
    CString name;
    name.Format(L"%016X", stamp);
    return name;
}

}  // namespace

void GetUniqueTempFolderPath(CString& path)
{
    const CCurrentDirectoryRestorer restorer;
    wchar_t tempFolder[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, tempFolder);
    // Bare names are then tested inside the temporary folder.
    ::SetCurrentDirectoryW(tempFolder);

    // The low 32 bits of the time; a taken name (another installer started in the same
    // second) moves on to the next second's name.
    auto stamp = static_cast<uint32_t>(Platform().CurrentTime());
    CString name = FolderNameFor(stamp);
    while (::PathFileExistsW(name)) name = FolderNameFor(++stamp);

    path = CString(tempFolder) + name + L"\\";
}

void GetFileNameFromUrl(LPCWSTR url, CString& fileName)
{
    const CString text(url);
    const int slash = text.ReverseFind(L'/');
    if (slash < 0) ThrowInstallerException(L"Invalid URL.");
    fileName = text.Mid(slash + 1);
}

void SplitString(CString text, LPCWSTR delimiters, CStringArray& tokens)
{
    int position = 0;
    for (;;) {
        const CString token = text.Tokenize(delimiters, position);
        if (position < 0) break;
        tokens.Add(token);
    }
}

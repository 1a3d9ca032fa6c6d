#include "support/TemporaryFolder.h"

#include "framework/Afx.h"

#include <atomic>
#include <stdexcept>

namespace {
void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name(entry.cFileName);
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(search, &entry));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(folder.c_str());
}
}  // namespace

TemporaryFolder::TemporaryFolder()
{
    static std::atomic<unsigned> sequence{0};
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) throw std::runtime_error("no temporary folder");
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_path = std::wstring(temp) + L"fetchwright-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++sequence);
        if (::CreateDirectoryW(m_path.c_str(), nullptr)) return;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TemporaryFolder::~TemporaryFolder() { RemoveTree(m_path); }

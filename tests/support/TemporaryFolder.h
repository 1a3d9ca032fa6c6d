// A fresh folder under the user's temporary folder, removed with everything in it at the
// end of its scope.
#pragma once

#include <string>

class TemporaryFolder {
public:
    // Throws std::runtime_error when the folder cannot be created.
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    // The folder's path joined with a name.
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};

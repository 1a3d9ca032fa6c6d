// FakeClickOnce: stands in for the ClickOnce engine in the end-to-end tests. The test prefix
// associates ".application" with it, so the installer's shell launch starts it with the local
// deployment manifest's name as its argument and the mirror folder as its working folder.
//
// It checks that its working folder holds what the manifests name (the deployment manifest,
// its copy and the application manifest in the version folder, every listed file + ".deploy"),
// writes what it saw as JSON to the file named by FAKE_CLICKONCE_RECORD, and exits with the
// code in FAKE_CLICKONCE_EXIT_CODE (default 0).
//
// The manifests are our own test publication, so a plain search for tags and attributes
// is enough; no XML parser is needed.
#include "../tools/JsonText.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

struct LocalFreeDeleter {
    void operator()(LPWSTR* block) const { LocalFree(block); }
};

struct Record {
    std::wstring argument;
    std::wstring workingFolder;
    std::wstring applicationManifest;
    std::vector<std::wstring> found;
    std::vector<std::wstring> missing;
    std::vector<std::wstring> errors;
};

bool ReadWholeFile(const std::wstring& path, std::string& content) {
    std::ifstream stream(path.c_str(), std::ios::binary);  // MSVC and mingw take a wide path
    if (!stream) {
        return false;
    }
    content.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    return true;
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The opening tags "<element ...>" of every element with exactly this name.
std::vector<std::string> FindTags(const std::string& xml, const std::string& element) {
    std::vector<std::string> tags;
    const std::string opening = "<" + element;
    for (size_t start = xml.find(opening); start != std::string::npos; start = xml.find(opening, start + 1)) {
        const size_t after = start + opening.size();
        if (after < xml.size() && (xml[after] == ' ' || xml[after] == '\t' || xml[after] == '\r' ||
                                   xml[after] == '\n' || xml[after] == '>' || xml[after] == '/')) {
            const size_t end = xml.find('>', after);
            tags.push_back(xml.substr(start, end == std::string::npos ? std::string::npos : end - start + 1));
        }
    }
    return tags;
}

// The value of name="..." in an opening tag; empty when it is missing.
std::wstring AttributeValue(const std::string& tag, const std::string& name) {
    const std::string key = name + "=\"";
    for (size_t at = tag.find(key); at != std::string::npos; at = tag.find(key, at + 1)) {
        const char before = at > 0 ? tag[at - 1] : ' ';
        if (before == ' ' || before == '\t' || before == '\r' || before == '\n') {
            const size_t valueStart = at + key.size();
            const size_t valueEnd = tag.find('"', valueStart);
            return FromUtf8(tag.substr(valueStart, valueEnd - valueStart));
        }
    }
    return {};
}

bool EqualsIgnoringCase(const std::wstring& left, const std::wstring& right) {
    return left.size() == right.size() && _wcsicmp(left.c_str(), right.c_str()) == 0;
}

void CheckFile(Record& record, const std::wstring& relativePath) {
    (IsFile(relativePath) ? record.found : record.missing).push_back(relativePath);
}

// The version folder's files that the application manifest lists.
void CheckApplicationFiles(Record& record, const std::string& manifest, const std::wstring& folder) {
    for (const std::string& tag : FindTags(manifest, "dependentAssembly")) {
        if (EqualsIgnoringCase(AttributeValue(tag, "dependencyType"), L"install")) {
            CheckFile(record, folder + AttributeValue(tag, "codebase") + L".deploy");
        }
    }
    for (const std::string& tag : FindTags(manifest, "file")) {
        CheckFile(record, folder + AttributeValue(tag, "name") + L".deploy");
    }
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

// The argument may be the bare file name or a full path: Wine's shell passes the full path
// when the launching process's current folder holds a file of that name.
void InspectMirror(Record& record) {
    std::string deployment;
    if (!ReadWholeFile(record.argument, deployment)) {
        record.errors.push_back(L"cannot read the deployment manifest");
        return;
    }
    const std::wstring manifestName = FileNameOf(record.argument);
    CheckFile(record, manifestName);

    const std::vector<std::string> assemblies = FindTags(deployment, "dependentAssembly");
    record.applicationManifest = assemblies.empty() ? std::wstring() : AttributeValue(assemblies.front(), "codebase");
    if (record.applicationManifest.empty()) {
        record.errors.push_back(L"no dependentAssembly codebase in the deployment manifest");
        return;
    }
    const size_t lastSeparator = record.applicationManifest.rfind(L'\\');
    const std::wstring folder =
        lastSeparator == std::wstring::npos ? std::wstring() : record.applicationManifest.substr(0, lastSeparator + 1);
    if (!folder.empty()) {
        CheckFile(record, folder + manifestName);
    }

    std::string application;
    if (!ReadWholeFile(record.applicationManifest, application)) {
        record.missing.push_back(record.applicationManifest);
        record.errors.push_back(L"cannot read the application manifest");
        return;
    }
    record.found.push_back(record.applicationManifest);
    CheckApplicationFiles(record, application, folder);
}

std::string JsonList(const std::vector<std::wstring>& items) {
    std::string list = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        list += (i ? ", " : "") + JsonString(items[i]);
    }
    return list + "]";
}

std::wstring EnvironmentValue(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, &value[0], size));
    return value;
}

void WriteRecord(const Record& record, const std::wstring& path) {
    const std::string json = "{\"argument\": " + JsonString(record.argument) +
                             ", \"workingFolder\": " + JsonString(record.workingFolder) +
                             ", \"applicationManifest\": " + JsonString(record.applicationManifest) +
                             ", \"found\": " + JsonList(record.found) + ", \"missing\": " + JsonList(record.missing) +
                             ", \"errors\": " + JsonList(record.errors) + "}\n";
    std::ofstream stream(path.c_str(), std::ios::binary | std::ios::trunc);
    stream.write(json.data(), static_cast<std::streamsize>(json.size()));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    Record record;
    int argc = 0;
    const std::unique_ptr<LPWSTR, LocalFreeDeleter> argv(CommandLineToArgvW(GetCommandLineW(), &argc));
    if (argv && argc > 1) {
        record.argument = argv.get()[1];
    }
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    record.workingFolder = folder;

    if (record.argument.empty()) {
        record.errors.push_back(L"no argument");
    } else {
        InspectMirror(record);
    }

    const std::wstring recordPath = EnvironmentValue(L"FAKE_CLICKONCE_RECORD");
    if (!recordPath.empty()) {
        WriteRecord(record, recordPath);
    }
    const std::wstring exitCode = EnvironmentValue(L"FAKE_CLICKONCE_EXIT_CODE");
    return exitCode.empty() ? 0 : static_cast<int>(std::wcstol(exitCode.c_str(), nullptr, 10));
}

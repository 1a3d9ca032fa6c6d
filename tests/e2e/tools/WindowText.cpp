// WindowText: prints every visible top-level window of this desktop, one JSON object per line,
// with its title and all its child controls, hidden ones included (class, ID, text, visibility,
// screen rectangle). Wine draws message boxes itself, so this is how the end-to-end tests read
// a box's text and find its buttons.
//   WindowText.exe [--all]     --all: hidden top-level windows too
#include "JsonText.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

bool g_includeHidden = false;

// Text of a window of any process. GetWindowText does not ask other processes' controls,
// so send WM_GETTEXT, bounded in case the owner is busy.
std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 500, &length) || length == 0) {
        return {};
    }
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, 500, &copied)) {
        return {};
    }
    return std::wstring(buffer.data(), static_cast<size_t>(copied));
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::string RectJson(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    char text[96];
    std::snprintf(text, sizeof text, "[%ld, %ld, %ld, %ld]", rect.left, rect.top, rect.right, rect.bottom);
    return text;
}

// A top-level window's caption, read without asking its (possibly busy) thread.
std::wstring CaptionOf(HWND window) {
    wchar_t caption[512] = {};
    GetWindowTextW(window, caption, 512);
    return caption;
}

std::string CommonFields(HWND window, const std::wstring& text) {
    return "\"class\": " + JsonString(ClassOf(window)) + ", \"text\": " + JsonString(text) +
           ", \"visible\": " + (IsWindowVisible(window) ? "true" : "false") + ", \"rect\": " + RectJson(window);
}

BOOL CALLBACK AddChild(HWND child, LPARAM collected) {
    auto& controls = *reinterpret_cast<std::vector<std::string>*>(collected);
    controls.push_back("{\"id\": " + std::to_string(GetDlgCtrlID(child)) + ", " + CommonFields(child, TextOf(child)) +
                       "}");
    return TRUE;
}

BOOL CALLBACK PrintTopLevel(HWND window, LPARAM) {
    if (!g_includeHidden && !IsWindowVisible(window)) {
        return TRUE;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    std::vector<std::string> controls;
    EnumChildWindows(window, AddChild, reinterpret_cast<LPARAM>(&controls));

    std::string line = "{\"hwnd\": " + std::to_string(reinterpret_cast<UINT_PTR>(window)) +
                       ", \"pid\": " + std::to_string(processId) + ", " + CommonFields(window, CaptionOf(window)) +
                       ", \"controls\": [";
    for (size_t i = 0; i < controls.size(); ++i) {
        line += (i ? ", " : "") + controls[i];
    }
    line += "]}\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--all") == 0) {
            g_includeHidden = true;
        } else {
            std::fwprintf(stderr, L"usage: WindowText.exe [--all]\n");
            return 2;
        }
    }
    EnumWindows(PrintTopLevel, 0);
    std::fflush(stdout);
    return 0;
}

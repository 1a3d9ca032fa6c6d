// The process entry point: runs the application object.
#include "framework/WinApp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    CWinApp* app = AfxGetApp();
    if (!app) return 1;
    if (app->InitInstance()) {
        // The installer never enters a message loop of its own: its dialog runs modally
        // inside InitInstance, which returns FALSE.
        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        return static_cast<int>(message.wParam);
    }
    return app->ExitInstance();
}

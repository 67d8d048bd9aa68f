// Process entry: hands control to the one application object.
#include "framework/app.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    CWinApp* app = AfxGetApp();
    if (!app) return 1;
    if (!app->InitInstance()) return app->ExitInstance();
    return app->Run();
}

// Process entry: hands control to the one application object. A dialog-based
// program does all its work inside InitInstance (the modal dialog has its own
// loop), so there is no message loop here.
#include "framework/app.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    CWinApp* app = AfxGetApp();
    if (!app) return 1;
    app->InitInstance();
    return app->ExitInstance();
}

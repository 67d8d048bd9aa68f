#include "app/Patch_Veltris5v13.h"

#include "app/Patch_Veltris5v13Dlg.h"

CPatch_Veltris5v13App theApp;

BOOL CPatch_Veltris5v13App::InitInstance() {
    CPatch_Veltris5v13Dlg dialog;
    dialog.DoModal();
    // No message loop of our own: returning false ends the application.
    return FALSE;
}

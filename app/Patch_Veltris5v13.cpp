#include "app/Patch_Veltris5v13.h"

#include "app/Patch_Veltris5v13Dlg.h"
#include "app/update_lock.h"
#include "framework/common_controls.h"
#include "framework/message_box.h"

CPatch_Veltris5v13App theApp;

namespace {
const char kNoCommonControlsMessage[] =
    "Não foi possível carregar os controlos comuns do Windows (comctl32.dll) da pasta do sistema.\n\n"
    "A actualização não pode mostrar a sua janela e termina sem alterar nada.";
}  // namespace

BOOL CPatch_Veltris5v13App::InitInstance() {
    // An update deliberately reads no messages while it works. Windows would
    // put a "Not responding" ghost over the dialog after five seconds (a virus
    // scanner examining each program written can make a run that long), and
    // its close box offers to end the program half-way, with no chance to
    // restore. Nothing else about the wait changes.
    DisableProcessWindowsGhosting();

    UpdateLock lock;
    if (!lock.held()) {
        // Nothing has been read or touched: the other copy is left to finish.
        AfxMessageBox(kUpdateAlreadyOpenMessage);
        return FALSE;
    }

    // Without the list view and the progress bar the dialog cannot be made.
    // The message box needs only user32, which is always there.
    if (!fw::commonControls()) {
        AfxMessageBox(kNoCommonControlsMessage);
        return FALSE;
    }

    CPatch_Veltris5v13Dlg dialog;
    dialog.DoModal();
    // No message loop of our own: returning false ends the application.
    return FALSE;
}

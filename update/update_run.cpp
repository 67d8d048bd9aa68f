// "Actualizar". Until the update engine is in place the button only ends the
// dialog the way the finished run does.
#include "app/Patch_Veltris5v13Dlg.h"

void CPatch_Veltris5v13Dlg::runUpdate() { CDialog::OnOK(); }

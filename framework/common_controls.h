// The common controls the dialogs need (list view and progress bar classes,
// image lists). The updater does not import them: comctl32.dll is not one of
// the libraries Windows always takes from its system folder, so an imported
// copy would be looked for first in the folder the updater was saved to. It
// is loaded at run time from the system folder instead (system_libraries.h)
// and its functions are taken from that module.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace fw {

struct CommonControls {
    BOOL(WINAPI* initCommonControlsEx)(const INITCOMMONCONTROLSEX*);
    HIMAGELIST(WINAPI* imageListLoadImage)(HINSTANCE, LPCSTR, int, int, COLORREF, UINT, UINT);
    BOOL(WINAPI* imageListDestroy)(HIMAGELIST);
};

// Loaded on first use and kept until the process ends. Null when the library
// or one of its functions cannot be had: then no dialog can be shown.
const CommonControls* commonControls();

}  // namespace fw

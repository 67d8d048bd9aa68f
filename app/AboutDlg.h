#pragma once

#include "framework/dialog.h"
#include "resources/resource.h"

// The About box: standard behaviour only ("OK", Escape or the close box).
class CAboutDlg : public CDialog {
public:
    enum { IDD = IDD_ABOUTBOX };
    CAboutDlg() : CDialog(IDD) {}
};

#pragma once

#include "framework/app.h"

// The application: runs the main dialog once and ends.
class CPatch_Veltris5v13App : public CWinApp {
public:
    BOOL InitInstance() override;
};

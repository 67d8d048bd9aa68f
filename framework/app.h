// The application object. There is one; WinMain hands control to its
// InitInstance and ends the process when that returns (a dialog-based
// program has no message loop of its own).
#pragma once

#include <windows.h>

#include <string>

class CWinApp {
public:
    // With no name, the application title is the base name of the executable,
    // without its extension.
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    const char* title() const { return title_.c_str(); }

private:
    std::string title_;
};

CWinApp* AfxGetApp();

// The application title: the running application's, or, where there is no
// application object (test programs), the base name of the executable.
const char* AfxGetAppName();

HINSTANCE AfxGetInstanceHandle();

std::string moduleBaseName(HMODULE module);

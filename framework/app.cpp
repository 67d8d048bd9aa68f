#include "framework/app.h"

namespace {
CWinApp* g_app = nullptr;
}

std::string moduleBaseName(HMODULE module) {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    std::string name(path, length < MAX_PATH ? length : 0);
    std::string::size_type slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    std::string::size_type dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

CWinApp::CWinApp(const char* appName) {
    title_ = appName ? appName : moduleBaseName(nullptr);
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

CWinApp* AfxGetApp() { return g_app; }

const char* AfxGetAppName() {
    static std::string fallback;
    if (g_app && *g_app->title()) return g_app->title();
    if (fallback.empty()) fallback = moduleBaseName(nullptr);
    return fallback.c_str();
}

HINSTANCE AfxGetInstanceHandle() { return GetModuleHandleA(nullptr); }

#include "framework/system_libraries.h"

#include <cstring>
#include <string>

namespace fw {
namespace {

// Constant-initialised, so no constructor can reset what the start of the
// process set.
LibrarySearch g_search = LibrarySearch::unlimited;

ModuleHandle loadFromSystemFolder(const char* name) {
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length + 1 + std::strlen(name) >= MAX_PATH) return ModuleHandle();
    const std::string path = std::string(folder, length) + "\\" + name;
    // By full path the library itself comes from the system folder; with
    // the altered search path, its own imports are looked for in its folder
    // (the system folder) in place of the program's.
    return ModuleHandle(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

// Windows calls the callbacks of the executable's TLS directory on process
// attach before its entry point, that is before the C runtime starts and
// before any global constructor runs; only the libraries the executable
// imports (all of them known system libraries) are loaded before. The
// search is therefore limited here rather than in WinMain, where code of
// the runtime and of constructors would already have run. It is in this
// file so that every program that loads libraries through it gets it.
void NTAPI limitAtProcessStart(PVOID, DWORD reason, PVOID) {
    if (reason == DLL_PROCESS_ATTACH) limitLibrarySearch();
}

// .CRT$XLB sorts before the runtime's own callbacks (.CRT$XLC onwards).
__attribute__((section(".CRT$XLB"), used)) PIMAGE_TLS_CALLBACK g_limitAtProcessStart = limitAtProcessStart;

}  // namespace

LibrarySearch limitLibrarySearch(bool systemFolderOnly) {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    // Windows 7 SP1 has it only with update KB2533623: looked up, not imported.
    const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(
        systemFolderOnly ? GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories") : nullptr));
    if (setDefaultDllDirectories && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
        g_search = LibrarySearch::systemFolderOnly;
    else
        g_search = SetDllDirectoryA("") ? LibrarySearch::currentFolderRemoved : LibrarySearch::unlimited;
    return g_search;
}

ModuleHandle loadSystemLibrary(const char* name) {
    switch (g_search) {
    case LibrarySearch::systemFolderOnly:
        // The process looks nowhere else, for the library and its imports.
        return ModuleHandle(LoadLibraryA(name));
    case LibrarySearch::currentFolderRemoved:
        // The program's own folder is still searched first: only a full
        // path keeps it out.
        return loadFromSystemFolder(name);
    default:
        // The library or what it imports could come from the program's
        // folder: better no window than a planted library.
        return ModuleHandle();
    }
}

}  // namespace fw

// Where the process looks for libraries. Windows takes a library that is not
// one of its known system libraries first from the folder of the program
// being started, and the updater is started from wherever it was saved (a
// download or a shared folder, which can hold files nobody meant to keep),
// often as administrator. A library of the right name there would run
// inside the updater with its rights. So the process looks for libraries in
// the system folder only, and loads every library it needs from there.
#pragma once

#include "framework/handles.h"

namespace fw {

enum class LibrarySearch {
    unlimited,             // nothing limited the search: no library is loaded
    systemFolderOnly,      // SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)
    currentFolderRemoved,  // SetDllDirectoryA(""): Windows 7 SP1 without KB2533623
};

// Limits the search. It runs by itself before anything else in the process
// (system_libraries.cpp says how); calling it again changes nothing.
// `systemFolderOnly` false makes it act as on a Windows that lacks
// SetDefaultDllDirectories, so that tests can reach the fallback.
LibrarySearch limitLibrarySearch(bool systemFolderOnly = true);

// A library that is part of Windows, from the system folder and nowhere
// else, it and what it imports. Empty when it cannot be loaded, and while
// the search is unlimited.
ModuleHandle loadSystemLibrary(const char* name);

}  // namespace fw

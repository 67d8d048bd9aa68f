// Once the search is limited, a library that lies only beside this program,
// as one planted beside the updater would, is not found, and a system
// library comes from the system folder: with SetDefaultDllDirectories, and
// without it as on Windows 7 SP1 lacking KB2533623.
#include "framework/system_libraries.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string folderOf(HMODULE module) {
    char path[MAX_PATH] = {};
    const std::string file(path, GetModuleFileNameA(module, path, MAX_PATH));
    return file.substr(0, file.find_last_of('\\'));
}

TEST(LibrarySearch, FindsNothingBesideTheProgramAndSystemLibrariesInTheSystemFolder) {
    const char kPlanted[] = "planted_beside_the_program.dll";
    const std::string planted = folderOf(nullptr) + "\\" + kPlanted;
    ASSERT_TRUE(CopyFileA((std::string("Z:") + PATCH_PLANTED_LIBRARY).c_str(), planted.c_str(), FALSE));
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    for (const bool systemFolderOnly : {true, false}) {
        SCOPED_TRACE(systemFolderOnly ? "with SetDefaultDllDirectories" : "without it");
        // Without it, Windows looks in the program's folder first.
        EXPECT_TRUE(systemFolderOnly || SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
        EXPECT_EQ(systemFolderOnly ? fw::LibrarySearch::systemFolderOnly : fw::LibrarySearch::currentFolderRemoved,
                  fw::limitLibrarySearch(systemFolderOnly));
        EXPECT_EQ(!systemFolderOnly, fw::ModuleHandle(LoadLibraryA(kPlanted)).valid()) << "found by name";
        EXPECT_FALSE(fw::loadSystemLibrary(kPlanted).valid());
        const fw::ModuleHandle controls = fw::loadSystemLibrary("comctl32.dll");
        EXPECT_EQ(0, _stricmp(system, folderOf(controls.get()).c_str())) << folderOf(controls.get());
    }
    fw::limitLibrarySearch();
    DeleteFileA(planted.c_str());
    DeleteFileA((planted + ".ran").c_str());
}

}  // namespace

// The backups of the component being updated: two parallel lists, position i
// of both describing one pair (backup copy, installed file it was copied from).
#pragma once

#include <string>
#include <vector>

struct BackupSet {
    std::vector<std::string> backupPaths;
    std::vector<std::string> installedPaths;

    void clear() {
        installedPaths.clear();
        backupPaths.clear();
    }
};

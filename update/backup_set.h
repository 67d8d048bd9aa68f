// The backups of the component being updated: two parallel lists, position i
// of both describing one pair (backup copy, installed file it was copied from),
// and the component's files that were not there when the backup was made.
#pragma once

#include <string>
#include <vector>

struct BackupSet {
    std::vector<std::string> backupPaths;
    std::vector<std::string> installedPaths;
    // Files of the component's table that did not exist at backup time: an
    // update that fails removes whatever it created there.
    std::vector<std::string> missingPaths;

    void clear() {
        installedPaths.clear();
        backupPaths.clear();
        missingPaths.clear();
    }
};

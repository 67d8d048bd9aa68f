// The files each component's update may replace, with the name each one is
// backed up under. Both names of every pair are written out: the backup of a
// file is not derived at run time.
#pragma once

#include "survey/components.h"

#include <cstddef>

struct BackupEntry {
    const char* installed;  // relative to the component directory, joined by plain concatenation
    const char* backup;     // beside it, under the same convention
};

struct BackupTable {
    const BackupEntry* first;
    size_t count;
    const BackupEntry* begin() const { return first; }
    const BackupEntry* end() const { return first + count; }
};

// In the order the files are backed up (and so restored and deleted).
BackupTable backupTableOf(ComponentKind kind);

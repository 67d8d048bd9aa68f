// Which payload becomes which file: the catalogue of the release, grouped
// into install steps, in the order each step writes its files.
#pragma once

#include <windows.h>

#include <cstddef>

using PayloadId = int;

enum class InstallStep {
    brenix,
    quorra,
    sulvet,
    dravel,
    fenmor,
    halvinor,
    merisca,
    publicFenmor,
    indexingTables,
    displayFormats,
    bulletinTemplate,
    administration,  // extracted by the administration module's own sequence
};

struct CatalogueEntry {
    InstallStep step;
    const char* target;  // relative to the component directory, joined by plain concatenation
    PayloadId id;
    DWORD uncompressedSize;
    DWORD compressedSize;
};

extern const CatalogueEntry kCatalogue[];
extern const size_t kCatalogueSize;

// The entries of one step, in catalogue order: a contiguous run of kCatalogue.
struct CatalogueRange {
    const CatalogueEntry* first;
    size_t count;
    const CatalogueEntry* begin() const { return first; }
    const CatalogueEntry* end() const { return first + count; }
};
CatalogueRange entriesOf(InstallStep step);

// The installation's two display-format configuration files, which the last
// step of the professional and public updates copies to their new names,
// never over an existing file.
struct ConfigCopy {
    const char* from;
    const char* to;
};
extern const ConfigCopy kConfigCopies[2];

// A full installation of the product at 1.6.05 in scratch folders, and what
// the folders hold, read back as a map so that the state before and after an
// update can be compared file by file.
#pragma once

#include "payload/catalogue.h"
#include "survey/components.h"

#include <map>
#include <string>
#include <vector>

namespace faults {

extern const char kOldVersion[];  // what the installation is registered at

// The folder of each component below the installation root, as the demo
// installation lays it out.
const char* folderOf(ComponentKind kind);
const char* shortName(ComponentKind kind);  // "P", "U", "A" for scenario names

// One file of the installation that the test put there.
struct InstalledFile {
    ComponentKind component;
    std::string relative;    // relative to the component folder, as the catalogue spells it
    std::string oldContent;  // distinct for every file
    bool inRelease = false;  // written by the update (the catalogue names it)
    PayloadId payload = 0;   // what the update writes there, when inRelease
};

// A path as the file system resolves it: letter case and doubled separators
// do not matter.
std::string pathKey(const std::string& path);

// dir + "\" + relative, with the relative path's own leading separator dropped.
std::string joinPath(const std::string& dir, const std::string& relative);

class Installation {
public:
    // Lays out every component below `root` (which must exist) and registers
    // the three components at 1.6.05 on "Isis-Access".
    explicit Installation(const std::string& root);

    const std::string& root() const { return root_; }
    // The folder as registered, without a trailing separator.
    std::string directory(ComponentKind kind) const;
    std::string pathOf(ComponentKind kind, const std::string& relative) const;

    const std::vector<InstalledFile>& files() const { return files_; }
    // The file at this path, or null.
    const InstalledFile* find(const std::string& path) const;
    bool ready() const { return ready_; }

private:
    std::string root_;
    std::vector<InstalledFile> files_;
    std::map<std::string, size_t> byKey_;
    bool ready_ = true;
};

// What one path of the tree held when it was read.
struct TreeEntry {
    std::string path;  // as found, below the root
    bool folder = false;
    std::string content;
    bool readable = true;
};
// Everything below the root (folders included), by pathKey.
using Tree = std::map<std::string, TreeEntry>;
Tree readTree(const std::string& root);

// The inflated payload, read once from this program's own resources (the same
// resources as the updater's).
const std::string& payload(PayloadId id);

}  // namespace faults

// What an update run must leave behind, however it failed: every file of the
// installation either in its new release (its component was updated) or
// exactly as it was (its component was not), and no backup lying around that
// the user was not told about.
#pragma once

#include "tests/faults/installation.h"

#include <string>
#include <vector>

namespace faults {

// What the run said it did, and the paths it listed for the user to put right.
struct RunAccount {
    bool updated[3] = {false, false, false};  // by ComponentKind number
    std::vector<std::string> restoreListed;   // installed files whose backup could not go back
    std::vector<std::string> cleanupListed;   // backups that could not be deleted
};

struct Verdict {
    std::vector<std::string> lostFiles;  // in neither the old nor the new state, or gone
    std::vector<std::string> problems;   // every other broken rule, one line each
    bool clean() const { return lostFiles.empty() && problems.empty(); }
};

// Compares the tree after the run with the tree before it. `before` is read
// once the faults that change the tree (folders) are in place, so a planted
// folder counts as part of the installation.
Verdict judge(const Installation& installation, const Tree& before, const Tree& after, const RunAccount& account);

// The paths listed under a box's header, one per line; false when the text
// does not begin with the header or does not end its last line.
bool listedPaths(const std::string& boxText, const std::string& header, std::vector<std::string>& paths);

}  // namespace faults

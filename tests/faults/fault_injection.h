// The ways a user's machine makes a step of the update fail, put in place by
// this program (a process of its own, beside the updater) and taken away again
// once the updater has ended.
#pragma once

#include "framework/handles.h"
#include "tests/faults/installation.h"

#include <string>
#include <vector>

namespace faults {

enum class FaultKind {
    // A running program's file: open for reading, others may read it, nobody
    // may write, rename or delete it. The backup can still copy it.
    heldForReading,
    // The read-only attribute.
    readOnly,
    // Open with no sharing at all: not even the backup copy can read it.
    heldExclusively,
    // A folder stands where the file belongs (with a file of its own inside).
    folderAtFile,
    // A folder stands at the backup's name (with a file of its own inside).
    folderAtBackup,
};
const char* toString(FaultKind kind);

// Whether the fault stops the component's backup (the component is then not
// updated and none of its steps runs) or the step that writes the file.
bool stopsBackup(FaultKind kind);

struct Fault {
    FaultKind kind;
    ComponentKind component;
    InstallStep step;      // the step that writes the file
    std::string relative;  // the installed file, as the catalogue spells it
    std::string backup;    // the backup's name beside it, where the scenario needs it
    bool written = true;   // false for a file that is backed up but that no step writes
};

// Put in place in two stages: what changes the tree before it is read as the
// "before" state, then what only changes how the files may be used. Undone in
// reverse by release(), or when the object goes away.
class InjectedFaults {
public:
    InjectedFaults(const Installation& installation, const std::vector<Fault>& faults);
    ~InjectedFaults() { release(); }
    InjectedFaults(const InjectedFaults&) = delete;
    InjectedFaults& operator=(const InjectedFaults&) = delete;

    // Folders in place of files and at backup names.
    bool plantFolders();
    // Handles held open and read-only attributes.
    bool holdAndProtect();
    // Closes every handle and clears every attribute set; safe to repeat.
    void release();

    const std::string& error() const { return error_; }

private:
    const Installation& installation_;
    std::vector<Fault> faults_;
    std::vector<fw::FileHandle> held_;
    std::vector<std::string> readOnly_;
    std::string error_;
};

}  // namespace faults

// The ways a user's machine makes a step of the update fail, put in place by
// this program (a process of its own, beside the updater) and taken away again
// once the updater has ended.
#pragma once

#include "framework/handles.h"
#include "tests/faults/installation.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
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
    // The file is not installed at all: a module step creates it, and a
    // later failure of the component must take it away again.
    missing,
    // Held like heldForReading, so that its step fails, and let go a few
    // hundred milliseconds after the restore has begun, as a scanner lets go
    // of a file it was reading: the restore must still put it back.
    heldBriefly,
    // The file's backup, opened by someone else as soon as it is made and let
    // go a few hundred milliseconds after the clean-up has begun.
    backupHeldBriefly,
    // The file's backup, opened the same way and held until the run ends: a
    // restore cannot move it back over the file the update replaced.
    backupHeld,
};
const char* toString(FaultKind kind);

// Whether the fault stops the component's backup (the component is then not
// updated and none of its steps runs) or the step that writes the file.
bool stopsBackup(FaultKind kind);
bool stopsStep(FaultKind kind);

struct Fault {
    FaultKind kind;
    ComponentKind component;
    InstallStep step;      // the step that writes the file
    std::string relative;  // the installed file, as the catalogue spells it
    std::string backup;    // the backup's name beside it, where the scenario needs it
    bool written = true;   // false for a file that is backed up but that no step writes
    // For the brief holds: a backup the restore or clean-up handles before
    // this file; once it has come and gone again, the hold is let go. Empty:
    // held until the run ends.
    std::string marker;
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

    // Folders in place of files and at backup names; files taken away.
    bool plantFolders();
    // Handles held open and read-only attributes; the brief holds start
    // watching for their moment to let go.
    bool holdAndProtect();
    // Stops the watchers, closes every handle and clears every attribute
    // set; safe to repeat.
    void release();
    // How many brief holds were let go after their marker had gone (rather
    // than at the end, or never taken).
    int briefHoldsLetGoInTime() const { return inTime_; }

    const std::string& error() const { return error_; }

private:
    const Installation& installation_;
    std::vector<Fault> faults_;
    std::vector<fw::FileHandle> held_;
    std::vector<std::string> readOnly_;
    std::vector<std::thread> watchers_;
    std::atomic<bool> stop_{false};
    std::atomic<int> inTime_{0};
    std::string error_;
};

// A virus scanner beside the updater: until it goes away, each file that
// appears or changes below `root` is opened as soon as it can be and held for
// `holdMs`, sharing reading (and writing, when asked) but never deletion, so
// that neither a move onto it nor its delete gets through meanwhile.
class Scanner {
public:
    Scanner(const std::string& root, DWORD holdMs, bool sharesWriting);
    ~Scanner();
    int filesHeld() const { return held_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<int> held_{0};
    std::thread thread_;
};

}  // namespace faults

#include "tests/faults/fault_injection.h"

#include "tests/support/test_support.h"

#include <windows.h>

namespace faults {

const char* toString(FaultKind kind) {
    switch (kind) {
    case FaultKind::heldForReading:
        return "held-for-reading";
    case FaultKind::readOnly:
        return "read-only";
    case FaultKind::heldExclusively:
        return "held-exclusively";
    case FaultKind::folderAtFile:
        return "folder-at-file";
    case FaultKind::folderAtBackup:
        return "folder-at-backup";
    }
    return "?";
}

bool stopsBackup(FaultKind kind) {
    return kind == FaultKind::heldExclusively || kind == FaultKind::folderAtFile || kind == FaultKind::folderAtBackup;
}

InjectedFaults::InjectedFaults(const Installation& installation, const std::vector<Fault>& faults)
    : installation_(installation), faults_(faults) {}

namespace {

std::string lastError(const std::string& what, const std::string& path) {
    return what + " " + path + ": error " + std::to_string(GetLastError());
}

// A folder with one file inside, so that a folder emptied or removed by the
// updater shows in the comparison as a lost file.
bool makeFolder(const std::string& path, const std::string& ownContent, std::string& error) {
    if (!CreateDirectoryA(path.c_str(), nullptr)) {
        error = lastError("cannot make the folder", path);
        return false;
    }
    std::string inside = path + "\\inside.txt";
    testing_support::writeFile(inside, ownContent);
    std::string check;
    if (!testing_support::readFile(inside, check) || check != ownContent) {
        error = "cannot write " + inside;
        return false;
    }
    return true;
}

}  // namespace

bool InjectedFaults::plantFolders() {
    for (const Fault& fault : faults_) {
        const std::string path = installation_.pathOf(fault.component, fault.relative);
        if (fault.kind == FaultKind::folderAtFile) {
            if (!DeleteFileA(path.c_str())) {
                error_ = lastError("cannot remove", path);
                return false;
            }
            if (!makeFolder(path, "a folder where " + fault.relative + " belongs\r\n", error_)) return false;
        } else if (fault.kind == FaultKind::folderAtBackup) {
            const std::string backup = installation_.pathOf(fault.component, fault.backup);
            if (!makeFolder(backup, "a folder named " + fault.backup + "\r\n", error_)) return false;
        }
    }
    return true;
}

bool InjectedFaults::holdAndProtect() {
    for (const Fault& fault : faults_) {
        const std::string path = installation_.pathOf(fault.component, fault.relative);
        switch (fault.kind) {
        case FaultKind::heldForReading:
        case FaultKind::heldExclusively: {
            DWORD share = fault.kind == FaultKind::heldForReading ? FILE_SHARE_READ : 0;
            fw::FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file) {
                error_ = lastError("cannot hold", path);
                return false;
            }
            held_.push_back(std::move(file));
            break;
        }
        case FaultKind::readOnly:
            if (!SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY)) {
                error_ = lastError("cannot make read-only", path);
                return false;
            }
            readOnly_.push_back(path);
            break;
        default:
            break;
        }
    }
    return true;
}

void InjectedFaults::release() {
    held_.clear();
    // A backup copy may have taken the attribute along; removing the tree
    // clears that one.
    for (const std::string& path : readOnly_) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    readOnly_.clear();
}

}  // namespace faults

#include "tests/faults/fault_injection.h"

#include "tests/support/test_support.h"

#include <windows.h>

#include <deque>
#include <map>

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
    case FaultKind::missing:
        return "missing";
    case FaultKind::heldBriefly:
        return "held-briefly";
    case FaultKind::backupHeldBriefly:
        return "backup-held-briefly";
    case FaultKind::backupHeld:
        return "backup-held";
    }
    return "?";
}

bool stopsBackup(FaultKind kind) {
    return kind == FaultKind::heldExclusively || kind == FaultKind::folderAtFile || kind == FaultKind::folderAtBackup;
}

bool stopsStep(FaultKind kind) {
    return kind == FaultKind::heldForReading || kind == FaultKind::readOnly || kind == FaultKind::heldBriefly;
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

// Neither a move onto the file nor its deletion gets through while this is open.
const DWORD kReaderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool present(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Lets go of `held` (or, when it is not open yet, first opens `path` as soon
// as it appears) once `marker` has been there and is gone again, plus a few
// hundred milliseconds: by then the updater has tried this file and found it
// held. Gives up at the deadline or when told to stop.
void holdUntilMarkerGoes(fw::FileHandle held, std::string path, std::string marker, const std::atomic<bool>& stop,
                         std::atomic<int>& inTime) {
    const ULONGLONG deadline = GetTickCount64() + 60000;
    auto waiting = [&] { return !stop && GetTickCount64() < deadline; };
    while (!held && waiting()) {
        held.reset(CreateFileA(path.c_str(), GENERIC_READ, kReaderSharing, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!held) Sleep(1);
    }
    if (marker.empty()) {
        while (waiting()) Sleep(1);
        return;
    }
    bool seen = false;
    while (waiting()) {
        if (present(marker))
            seen = true;
        else if (seen)
            break;
        Sleep(1);
    }
    if (!waiting()) return;
    Sleep(300);
    if (held) ++inTime;
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
        } else if (fault.kind == FaultKind::missing) {
            if (!DeleteFileA(path.c_str())) {
                error_ = lastError("cannot remove", path);
                return false;
            }
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
        case FaultKind::heldBriefly:
        case FaultKind::backupHeldBriefly:
        case FaultKind::backupHeld: {
            const bool ownFile = fault.kind == FaultKind::heldBriefly;
            const std::string target = ownFile ? path : installation_.pathOf(fault.component, fault.backup);
            fw::FileHandle file;
            if (ownFile) {
                file.reset(CreateFileA(path.c_str(), GENERIC_READ, kReaderSharing, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
                if (!file) {
                    error_ = lastError("cannot hold", path);
                    return false;
                }
            }
            const std::string marker = fault.marker.empty() ? "" : installation_.pathOf(fault.component, fault.marker);
            watchers_.emplace_back(holdUntilMarkerGoes, std::move(file), target, marker, std::cref(stop_),
                                   std::ref(inTime_));
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
    stop_ = true;
    for (std::thread& watcher : watchers_) watcher.join();
    watchers_.clear();
    held_.clear();
    // A backup copy may have taken the attribute along; removing the tree
    // clears that one.
    for (const std::string& path : readOnly_) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    readOnly_.clear();
}

namespace {

// Each file below `dir`, with its last-write time and size: a change of
// either is a change of the file.
using FileStates = std::map<std::string, std::pair<ULONGLONG, DWORD>>;
void listFiles(const std::string& dir, FileStates& files) {
    testing_support::forEachFile(dir, [&](const std::string& path, const WIN32_FIND_DATAA& data) {
        const FILETIME& written = data.ftLastWriteTime;
        files[path] = {(ULONGLONG{written.dwHighDateTime} << 32) | written.dwLowDateTime, data.nFileSizeLow};
    });
}

}  // namespace

Scanner::Scanner(const std::string& root, DWORD holdMs, bool sharesWriting)
    : thread_([this, root, holdMs, share = FILE_SHARE_READ | (sharesWriting ? FILE_SHARE_WRITE : 0u)] {
          FileStates known, now;
          std::deque<std::pair<fw::FileHandle, ULONGLONG>> holds;  // let go in the order taken
          listFiles(root, known);
          while (!stop_) {
              while (!holds.empty() && holds.front().second <= GetTickCount64()) holds.pop_front();
              now.clear();
              listFiles(root, now);
              for (const auto& [path, state] : now) {
                  auto seen = known.find(path);
                  if (seen != known.end() && seen->second == state) continue;
                  // Until its writer lets it be opened, it is tried again at each look.
                  fw::FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
                  if (!file) continue;
                  known[path] = state;
                  holds.emplace_back(std::move(file), GetTickCount64() + holdMs);
                  ++held_;
              }
              Sleep(1);
          }
      }) {}

Scanner::~Scanner() {
    stop_ = true;
    thread_.join();
}

}  // namespace faults

// Backups of the component being updated, and their restoration or removal.
#include "app/Patch_Veltris5v13Dlg.h"

#include "framework/message_box.h"
#include "payload/extract.h"
#include "update/backup_tables.h"

#include <windows.h>

#include <exception>
#include <utility>

namespace {

const char kRestoreHeader[] =
    "Erro: Não foi possível recuperar de falha na instalação.\n\n"
    "Os seguintes ficheiros precisam de ser recuperados manualmente:\n\n";
const char kDeleteHeader[] =
    "Erro: Não foi possível apagar os ficheiros de backup.\n\n"
    "Os seguintes ficheiros precisam de ser apagados manualmente:\n\n";

bool hasAttribute(const std::string& path, DWORD attributes) {
    DWORD found = GetFileAttributesA(path.c_str());
    return found != INVALID_FILE_ATTRIBUTES && (found & attributes) != 0;
}

// The copy as Windows makes it: a destination out of reach of the ANSI file
// functions, or an existing read-only or hidden one, makes it fail. Wine,
// run as root, copies in both cases, and the updater must not depend on that.
bool copyOverwriting(const std::string& from, const std::string& to) {
    if (to.size() >= kMaxPathLength) return false;
    if (hasAttribute(to, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) return false;
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

// A virus scanner or the search indexer often opens a file that was just
// written for a fraction of a second; a move onto it or a delete of it then
// fails with a sharing violation or access denied. Those two failures get
// about a second of second chances before the file is left to the user;
// every other failure is final at once. `attempt` must leave the platform's
// last error as the failing call set it.
constexpr DWORD kSecondChancesFor = 1000;  // ms in all
constexpr DWORD kSecondChancePause = 50;   // ms between two attempts

template <typename Attempt>
bool withSecondChances(Attempt attempt) {
    const ULONGLONG deadline = GetTickCount64() + kSecondChancesFor;
    for (;;) {
        if (attempt()) return true;
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) return false;
        if (GetTickCount64() >= deadline) return false;
        Sleep(kSecondChancePause);
    }
}

// One move that replaces the installed file, so a restore that fails leaves
// the installed file with what it held and the backup under its own name; a
// delete first would lose the file when the move then failed. Windows will
// not replace a read-only file (Wine as root will), hence the test, and no
// second chance: the attribute does not go away by itself.
bool putBack(const std::string& backup, const std::string& installed) {
    if (hasAttribute(installed, FILE_ATTRIBUTE_READONLY)) return false;
    return withSecondChances(
        [&] { return MoveFileExA(backup.c_str(), installed.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE; });
}

// A backup is the updater's own file, but the copy takes the attributes of
// the product's file along; a read-only one would stay behind for the user
// to delete, so the attribute goes first.
bool removeBackup(const std::string& backup) {
    const DWORD attributes = GetFileAttributesA(backup.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !SetFileAttributesA(backup.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
        return false;
    return withSecondChances([&] { return DeleteFileA(backup.c_str()) != FALSE; });
}

// A file that was not there before the update and is there now was written by
// the failed update (a companion, a manifest, a program of the administration
// module), whole or truncated; it goes again. A folder there is nobody's
// doing of the update's and is left alone; a read-only file is the user's.
bool removeCreated(const std::string& path) {
    if (!pathExists(path)) return true;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
    if (attributes & FILE_ATTRIBUTE_READONLY) return false;
    return withSecondChances([&] { return DeleteFileA(path.c_str()) != FALSE; });
}

void makeRoomForOne(std::vector<std::string>& paths) {
    if (paths.size() == paths.capacity()) paths.reserve(paths.size() * 2 + 8);
}

// Restore and clean-up never stop at a file they cannot handle: they go
// through every file and then name, in one box, each path the user has to
// put right by hand, in the order they were met.
class ManualWork {
public:
    explicit ManualWork(const char* header) : header_(header) {}

    void add(const std::string& path) {
        failed_ = true;
        try {
            listed_ += path;
            listed_ += '\n';
        } catch (const std::exception&) {
            // Out of memory: the file is still handled; only its line is lost.
        }
    }

    void show() const {
        if (!failed_) return;
        try {
            AfxMessageBox((header_ + listed_).c_str());
        } catch (const std::exception&) {
            // No room for the list: the header alone still sends the user to look.
            try {
                AfxMessageBox(header_);
            } catch (const std::exception&) {
            }
        }
    }

private:
    const char* header_;
    std::string listed_;
    bool failed_ = false;
};

}  // namespace

bool CPatch_Veltris5v13Dlg::backupFile(const std::string& installed, const std::string& backup) {
    try {
        if (!pathExists(installed)) {
            m_backupSet.missingPaths.push_back(installed);
            return true;
        }
        // Everything that can throw comes before the copy, so a pair is
        // recorded whole once its copy exists, or not at all.
        std::string backupPath = backup;
        std::string installedPath = installed;
        makeRoomForOne(m_backupSet.backupPaths);
        makeRoomForOne(m_backupSet.installedPaths);
        if (!copyOverwriting(installed, backup)) return false;
        m_backupSet.backupPaths.push_back(std::move(backupPath));
        m_backupSet.installedPaths.push_back(std::move(installedPath));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool CPatch_Veltris5v13Dlg::backupTable(const std::string& directory, const BackupTable& table) {
    for (const BackupEntry& entry : table) {
        bool copied = false;
        try {
            copied = backupFile(directory + entry.installed, directory + entry.backup);
        } catch (const std::exception&) {
            copied = false;
        }
        if (!copied) {
            // Nothing has been replaced yet: putting back the copies made so
            // far leaves the component as it was.
            restoreBackups();
            return false;
        }
    }
    return true;
}

bool CPatch_Veltris5v13Dlg::backupProfessionalComponent() {
    return backupTable(m_professional.installDir, backupTableOf(ComponentKind::professional));
}

bool CPatch_Veltris5v13Dlg::backupPublicComponent() {
    return backupTable(m_public.installDir, backupTableOf(ComponentKind::publicComponent));
}

bool CPatch_Veltris5v13Dlg::backupAdministrationModule() {
    return backupTable(m_administration.installDir, backupTableOf(ComponentKind::administration));
}

void CPatch_Veltris5v13Dlg::restoreBackups() {
    ManualWork work(kRestoreHeader);
    const BackupSet& set = m_backupSet;
    for (size_t i = 0; i < set.backupPaths.size(); ++i)
        if (!putBack(set.backupPaths[i], set.installedPaths[i])) work.add(set.installedPaths[i]);
    for (const std::string& created : set.missingPaths)
        if (!removeCreated(created)) work.add(created);
    work.show();
}

void CPatch_Veltris5v13Dlg::deleteBackups() {
    ManualWork work(kDeleteHeader);
    for (const std::string& backup : m_backupSet.backupPaths)
        if (!removeBackup(backup)) work.add(backup);
    work.show();
}

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

// One move that replaces the installed file, so a restore that fails leaves
// the installed file with what it held and the backup under its own name; a
// delete first would lose the file when the move then failed. Windows will
// not replace a read-only file (Wine as root will), hence the test.
bool putBack(const std::string& backup, const std::string& installed) {
    if (hasAttribute(installed, FILE_ATTRIBUTE_READONLY)) return false;
    return MoveFileExA(backup.c_str(), installed.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

void makeRoomForOne(std::vector<std::string>& paths) {
    if (paths.size() == paths.capacity()) paths.reserve(paths.size() * 2 + 8);
}

// Restore and clean-up never stop at a file they cannot handle: they go
// through every pair and then name, in one box, each path the user has to put
// right by hand. `settle` returns that path for a pair it could not handle,
// nullptr otherwise.
template <typename Settle>
void settleEveryPair(const BackupSet& set, const char* header, Settle settle) {
    std::string listed;
    bool failed = false;
    for (size_t i = 0; i < set.backupPaths.size(); ++i) {
        const std::string* unsettled = settle(set.backupPaths[i], set.installedPaths[i]);
        if (!unsettled) continue;
        failed = true;
        try {
            listed += *unsettled;
            listed += '\n';
        } catch (const std::exception&) {
            // Out of memory: the pair is still handled; only its line is lost.
        }
    }
    if (!failed) return;
    try {
        AfxMessageBox((header + listed).c_str());
    } catch (const std::exception&) {
        // No room for the list: the header alone still sends the user to look.
        try {
            AfxMessageBox(header);
        } catch (const std::exception&) {
        }
    }
}

}  // namespace

bool CPatch_Veltris5v13Dlg::backupFile(const std::string& installed, const std::string& backup) {
    try {
        if (!pathExists(installed)) return true;
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
    settleEveryPair(m_backupSet, kRestoreHeader, [](const std::string& backup, const std::string& installed) {
        return putBack(backup, installed) ? nullptr : &installed;
    });
}

void CPatch_Veltris5v13Dlg::deleteBackups() {
    settleEveryPair(m_backupSet, kDeleteHeader, [](const std::string& backup, const std::string&) {
        return DeleteFileA(backup.c_str()) ? nullptr : &backup;
    });
}

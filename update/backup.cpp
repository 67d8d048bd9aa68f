// Backups of the component being updated, and their restoration or removal.
#include "app/Patch_Veltris5v13Dlg.h"

#include "framework/message_box.h"
#include "payload/file_operations.h"
#include "payload/presence.h"
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

// The copy as Windows makes it: a destination out of reach of the ANSI file
// functions, or an existing read-only or hidden one, makes it fail. Wine,
// run as root, copies in both cases, and the updater must not depend on that.
// Usually no backup is left from an earlier run, so the destination is only
// looked at when the copy finds one there.
bool copyOverwriting(const std::string& from, const std::string& to) {
    if (to.size() >= kMaxPathLength) return false;
    if (copyToDisk(from, to, false)) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
    const PathStatus earlier = lookUpPath(to);
    if (!earlier.present() || earlier.has(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) return false;
    return copyToDisk(from, to, true);
}

// One move that replaces the installed file, so a restore that fails leaves
// the installed file with what it held and the backup under its own name; a
// delete first would lose the file when the move then failed. A restore
// reported done must survive a power cut, so each move is on the disk before
// the next.
bool moveBack(const std::string& backup, const std::string& installed) {
    return fileOperations().move(backup.c_str(), installed.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

enum class PutBack { moved, asItWas, failed };

// The commonest reason a backup cannot go back at once is that the update
// never got to change the file: a program of the product still running holds
// it, or it is read-only, which Windows will not replace (Wine as root will,
// hence the test). Such a file reads back byte for byte as its backup, and
// nothing needs putting back; waiting on it would wait for nothing, since a
// running program holds its file for the whole run. Only a file that was
// changed waits, for a scanner that has just taken the fresh file (or the
// backup) to let go; the read-only attribute does not go away by itself.
PutBack putBack(const std::string& backup, const std::string& installed) {
    const bool readOnly = lookUpPath(installed).has(FILE_ATTRIBUTE_READONLY);
    if (!readOnly && moveBack(backup, installed)) return PutBack::moved;
    if (sameContent(installed, backup)) return PutBack::asItWas;
    if (!readOnly && withPatience([&] { return moveBack(backup, installed); })) return PutBack::moved;
    return PutBack::failed;
}

// A file that was not there before the update and is there now was written by
// the failed update (a companion, a manifest, a program of the administration
// module), whole or truncated; it goes again. A folder there is nobody's
// doing of the update's and is left alone; a read-only file is the user's,
// and one that cannot be looked at is left to the user to judge.
bool removeCreated(const std::string& path) {
    const PathStatus status = lookUpPath(path);
    if (status.missing() || status.folder()) return true;
    if (!status.present() || status.has(FILE_ATTRIBUTE_READONLY)) return false;
    return withPatience([&] { return fileOperations().remove(path.c_str()) != FALSE; });
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
        // Only a file the file system calls missing goes without a backup: one
        // that merely could not be looked at may be there, and the update
        // would overwrite it with nothing to put back.
        const PathStatus status = lookUpPath(installed);
        if (status.missing()) {
            m_backupSet.missingPaths.push_back(installed);
            return true;
        }
        if (!status.present()) return false;
        // Everything that can throw comes before the copy, so a pair is
        // recorded whole once its copy exists, or not at all.
        std::string backupPath = backup;
        std::string installedPath = installed;
        makeRoomForOne(m_backupSet.backupPaths);
        makeRoomForOne(m_backupSet.installedPaths);
        // A backup is one only once it is on the disk: the update is about to
        // overwrite the file it saves. One that cannot be put there is no
        // backup, and goes as a failed copy leaves nothing behind.
        if (!copyOverwriting(installed, backup)) return false;
        m_backupSet.backupPaths.push_back(std::move(backupPath));
        m_backupSet.installedPaths.push_back(std::move(installedPath));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool CPatch_Veltris5v13Dlg::backupTable(const std::string& directory, const BackupTable& table) {
    // Every file of a component whose folder is not there would be "missing":
    // the update would write nothing, or write into whatever the name resolves
    // to, and still record the new version. Such a component is not updated.
    if (!isUsableFolder(directory)) return false;
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
    ManualWork restore(kRestoreHeader);
    ManualWork cleanUp(kDeleteHeader);
    const BackupSet& set = m_backupSet;
    for (size_t i = 0; i < set.backupPaths.size(); ++i) {
        const std::string& backup = set.backupPaths[i];
        const std::string& installed = set.installedPaths[i];
        // A file as it was is not the user's to recover, and its backup goes
        // as the clean-up removes backups. Only a file that provably holds its
        // backup's bytes counts: anything else may be damaged and is listed.
        switch (putBack(backup, installed)) {
        case PutBack::moved:
            break;
        case PutBack::asItWas:
            if (!removeOwnCopy(backup)) cleanUp.add(backup);
            break;
        case PutBack::failed:
            restore.add(installed);
            break;
        }
    }
    for (const std::string& created : set.missingPaths)
        if (!removeCreated(created)) restore.add(created);
    restore.show();
    cleanUp.show();
}

void CPatch_Veltris5v13Dlg::deleteBackups() {
    ManualWork work(kDeleteHeader);
    for (const std::string& backup : m_backupSet.backupPaths)
        if (!removeOwnCopy(backup)) work.add(backup);
    work.show();
}

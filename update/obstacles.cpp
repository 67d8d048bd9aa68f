// Before anything is touched, what would stop the update: a program of the
// product still running (a librarian's catalogue left open, the
// administration server that runs all day), a file copied read-only from CD
// media, a disk without room for the backups and the new files. Found after
// the update had begun, each fails a step and costs a restore; found first,
// the user can put it right and press "Actualizar" again.
#include "app/Patch_Veltris5v13Dlg.h"

#include "payload/file_operations.h"
#include "payload/install_steps.h"
#include "update/backup_tables.h"
#include "update/sequences.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <vector>

namespace {

const char kIntro[] = "Não é possível iniciar a actualização. Nenhum ficheiro foi alterado.\n";
const char kInUseHeading[] = "\nFicheiros em uso por outro programa:\n";
const char kReadOnlyHeading[] = "\nFicheiros só de leitura:\n";
const char kSpaceHeading[] = "\nEspaço em disco insuficiente:\n";
const char kWhatToDo[] = "\nO que fazer:\n";
const char kCloseThem[] = "- Feche esses programas; o servidor do Módulo de Administração (QV5Server.exe) tem de ser "
                          "parado.\n";
const char kClearReadOnly[] = "- Retire o atributo só de leitura a esses ficheiros.\n";
const char kFreeSpace[] = "- Liberte espaço nesse disco.\n";
const char kPressAgain[] =
    "Em alternativa, desmarque a componente em causa. Depois prima \"Actualizar\" novamente.";

constexpr ULONGLONG kMiB = 1024 * 1024;
// Room kept over the sum of the files: each small file takes a whole cluster
// of the disk, and the disk has other writers.
constexpr ULONGLONG kSpaceMargin = kMiB;

ULONGLONG sizeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (ULONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

// "14,2 MB": tenths, rounded up for what is needed and down for what is free,
// so the one shown short is short on screen too.
std::string megabytes(ULONGLONG bytes, bool roundUp) {
    const ULONGLONG tenths = (bytes * 10 + (roundUp ? kMiB - 1 : 0)) / kMiB;
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " MB";
}

// A file the update will write and that is there: opened before the run as
// its writer opens it.
struct Candidate {
    std::string path;
    const char* program;  // null for files no program is known by
    OpenMode mode;
};

// The install folders of the ticked components on one volume, and the most
// the update needs there at once. Components are updated one after another:
// a component's backups are gone before the next one's are made, and what
// its new files add stays.
struct Volume {
    std::string root;
    std::vector<std::string> folders;
    ULONGLONG kept = 0;
    ULONGLONG peak = 0;
};

class Survey {
public:
    void component(const std::string& directory, const UpdateSequence& sequence, const BackupTable& backups);
    std::string report();

private:
    void written(const std::string& path, const PathStatus& status, const CatalogueEntry& entry,
                 const char* program);
    void consider(const std::string& path, const PathStatus& status, const char* program, OpenMode mode);
    Volume& volumeOf(const std::string& directory);

    std::vector<Candidate> toOpen_;
    std::vector<std::string> readOnly_;
    std::vector<Volume> volumes_;
    ULONGLONG added_ = 0;  // by the component being surveyed: new files over the old ones, configuration copies
};

void Survey::component(const std::string& directory, const UpdateSequence& sequence, const BackupTable& backups) {
    // A folder that is not there is the backup's to report, as it does today.
    if (!isUsableFolder(directory)) return;
    added_ = 0;
    for (size_t i = 0; i < sequence.stepCount; ++i) {
        const SequenceStep& step = sequence.steps[i];
        // A lookup that cannot tell whether a file is there stops the walk:
        // the step itself fails there and reports it.
        forEachFileWritten(directory, step.files, writeRuleOf(step),
                           [&](const CatalogueEntry& entry, const PathStatus* known) {
                               const std::string path = directory + entry.target;
                               written(path, known ? *known : lookUpPath(path), entry, step.program);
                               return true;
                           });
    }
    if (sequence.migratesConfiguration)
        for (const ConfigCopy& copy : kConfigCopies)
            if (lookUpPath(directory + copy.from).present() && lookUpPath(directory + copy.to).missing())
                added_ += sizeOf(directory + copy.from);
    ULONGLONG backedUp = 0;
    for (const BackupEntry& entry : backups) {
        const PathStatus installed = lookUpPath(directory + entry.installed);
        if (!installed.present() || installed.folder()) continue;
        backedUp += sizeOf(directory + entry.installed);
        // A backup left by an earlier run is overwritten by the copy.
        const PathStatus earlier = lookUpPath(directory + entry.backup);
        if (earlier.present() && !earlier.folder()) consider(directory + entry.backup, earlier, nullptr, kCopyOpen);
    }
    Volume& volume = volumeOf(directory);
    volume.peak = std::max(volume.peak, volume.kept + backedUp + added_);
    volume.kept += added_;
}

void Survey::written(const std::string& path, const PathStatus& status, const CatalogueEntry& entry,
                     const char* program) {
    if (status.missing()) {
        added_ += entry.uncompressedSize;
        return;
    }
    // A folder where a file belongs, or a file that cannot be looked at, is
    // the step's to report.
    if (!status.present() || status.folder()) return;
    const ULONGLONG old = sizeOf(path);
    if (entry.uncompressedSize > old) added_ += entry.uncompressedSize - old;
    consider(path, status, program, kExtractionOpen);
}

// Read-only is told apart from in use: its cure differs. Windows will not
// open a read-only file for writing, so it is not opened here either (Wine as
// root would).
void Survey::consider(const std::string& path, const PathStatus& status, const char* program, OpenMode mode) {
    if (status.has(FILE_ATTRIBUTE_READONLY))
        readOnly_.push_back(path);
    else
        toOpen_.push_back({path, program, mode});
}

Volume& Survey::volumeOf(const std::string& directory) {
    char root[MAX_PATH];
    const std::string key = GetVolumePathNameA(directory.c_str(), root, MAX_PATH) ? root : directory;
    for (Volume& volume : volumes_) {
        if (lstrcmpiA(volume.root.c_str(), key.c_str()) != 0) continue;
        // Two components may share one folder; it is named once.
        if (lstrcmpiA(volume.folders.back().c_str(), directory.c_str()) != 0) volume.folders.push_back(directory);
        return volume;
    }
    volumes_.push_back(Volume{key, {directory}});
    return volumes_.back();
}

std::string Survey::report() {
    // Only a sharing violation means another program has the file. A scanner
    // that has just taken a file lets go within the patience the moves get;
    // a running program does not, and waiting on the files one by one would
    // wait that long for each of its libraries, so they wait together.
    std::vector<Candidate> held = std::move(toOpen_);
    withPatience([&] {
        held.erase(std::remove_if(held.begin(), held.end(),
                                  [](const Candidate& c) {
                                      return opensAs(c.path, c.mode) || GetLastError() != ERROR_SHARING_VIOLATION;
                                  }),
                   held.end());
        if (held.empty()) return true;
        SetLastError(ERROR_SHARING_VIOLATION);
        return false;
    });
    std::string inUse, readOnly, space;
    for (const Candidate& c : held) inUse += c.path + (c.program ? std::string(" (") + c.program + ")" : "") + "\n";
    for (const std::string& path : readOnly_) readOnly += path + "\n";
    for (const Volume& volume : volumes_) {
        ULARGE_INTEGER available{};
        const ULONGLONG needed = volume.peak + kSpaceMargin;
        if (!GetDiskFreeSpaceExA(volume.folders.front().c_str(), &available, nullptr, nullptr) ||
            available.QuadPart >= needed)
            continue;
        std::string folders;
        for (const std::string& folder : volume.folders) folders += (folders.empty() ? "" : ", ") + folder;
        space += folders + " (são necessários " + megabytes(needed, true) + ", estão livres " +
                 megabytes(available.QuadPart, false) + ")\n";
    }
    if (inUse.empty() && readOnly.empty() && space.empty()) return std::string();

    std::string text = kIntro;
    if (!inUse.empty()) text += kInUseHeading + inUse;
    if (!readOnly.empty()) text += kReadOnlyHeading + readOnly;
    if (!space.empty()) text += kSpaceHeading + space;
    text += kWhatToDo;
    if (!inUse.empty()) text += kCloseThem;
    if (!readOnly.empty()) text += kClearReadOnly;
    if (!space.empty()) text += kFreeSpace;
    return text + kPressAgain;
}

}  // namespace

std::string CPatch_Veltris5v13Dlg::describeObstacles() {
    try {
        Survey survey;
        // In the order the run updates them, which is what the peak of each
        // volume depends on.
        for (const ComponentInfo& component : kComponents)
            if (updateMark(component.kind))
                survey.component(record(component.kind).installDir, sequenceOf(component.kind),
                                 backupTableOf(component.kind));
        return survey.report();
    } catch (const std::exception&) {
        // Out of memory: nothing could be checked, and the steps still
        // report whatever stops them, as they always have.
        return std::string();
    }
}

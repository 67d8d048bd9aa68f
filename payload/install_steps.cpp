// The install steps: each replaces one group of product files from the
// catalogue, under the rule of its kind.
#include "payload/install_steps.h"

#include "app/Patch_Veltris5v13Dlg.h"
#include "payload/catalogue.h"
#include "payload/extract.h"
#include "payload/file_operations.h"

namespace {

// `known`: the target's status if the step has just looked it up.
bool extract(const std::string& directory, const CatalogueEntry& entry, const PathStatus* known = nullptr) {
    return extractPayloadOver(directory + entry.target, known, entry.id, entry.uncompressedSize,
                              entry.compressedSize);
}

bool install(const std::string& directory, InstallStep step, WriteRule rule) {
    return forEachFileWritten(directory, step, rule, [&](const CatalogueEntry& entry, const PathStatus* status) {
        return extract(directory, entry, status);
    });
}
bool installModule(const std::string& directory, InstallStep step) {
    return install(directory, step, WriteRule::wholeModule);
}
bool installPresentFiles(const std::string& directory, InstallStep step) {
    return install(directory, step, WriteRule::presentFiles);
}

}  // namespace

bool forEachFileWritten(const std::string& directory, InstallStep step, WriteRule rule, const FileWriter& write) {
    const CatalogueRange entries = entriesOf(step);
    if (rule == WriteRule::wholeModule && entries.count > 0) {
        const PathStatus key = lookUpPath(directory + entries.first->target);
        if (key.missing()) return true;
        if (!key.present() || !write(*entries.first, &key)) return false;
        for (const CatalogueEntry& entry : CatalogueRange{entries.first + 1, entries.count - 1})
            if (!write(entry, nullptr)) return false;
        return true;
    }
    for (const CatalogueEntry& entry : entries) {
        if (rule == WriteRule::everyFile) {
            if (!write(entry, nullptr)) return false;
            continue;
        }
        const PathStatus target = lookUpPath(directory + entry.target);
        if (target.missing()) continue;
        if (!target.present() || !write(entry, &target)) return false;
    }
    return true;
}

BOOL CPatch_Veltris5v13Dlg::installBrenix() { return installModule(m_professional.installDir, InstallStep::brenix); }
BOOL CPatch_Veltris5v13Dlg::installQuorra() { return installModule(m_professional.installDir, InstallStep::quorra); }
BOOL CPatch_Veltris5v13Dlg::installSulvet() { return installModule(m_professional.installDir, InstallStep::sulvet); }
BOOL CPatch_Veltris5v13Dlg::installDravel() { return installModule(m_professional.installDir, InstallStep::dravel); }
BOOL CPatch_Veltris5v13Dlg::installFenmor() { return installModule(m_professional.installDir, InstallStep::fenmor); }
BOOL CPatch_Veltris5v13Dlg::installHalvinor() {
    return installModule(m_professional.installDir, InstallStep::halvinor);
}
BOOL CPatch_Veltris5v13Dlg::installMerisca() { return installModule(m_professional.installDir, InstallStep::merisca); }
BOOL CPatch_Veltris5v13Dlg::installPublicFenmor() {
    return installModule(m_public.installDir, InstallStep::publicFenmor);
}

BOOL CPatch_Veltris5v13Dlg::installIndexingTables(std::string directory) {
    return installPresentFiles(directory, InstallStep::indexingTables);
}
BOOL CPatch_Veltris5v13Dlg::installDisplayFormats(std::string directory) {
    return installPresentFiles(directory, InstallStep::displayFormats);
}
BOOL CPatch_Veltris5v13Dlg::installBulletinTemplate(std::string directory) {
    return installPresentFiles(directory, InstallStep::bulletinTemplate);
}

// Copies the two configuration files to their new names, never over an
// existing file. Reports failure only when a copy that should have been made
// (source there, target not) could not be made, so the caller can tell the
// user; an existing target is kept in silence. A target of 260 characters or
// more cannot be made on Windows, whatever Wine allows, and a copy that cannot
// be put on the disk is not made either.
BOOL CPatch_Veltris5v13Dlg::migrateDisplayFormatConfig(std::string directory) {
    bool allMade = true;
    for (const ConfigCopy& copy : kConfigCopies) {
        const std::string from = directory + copy.from;
        const std::string to = directory + copy.to;
        const PathStatus source = lookUpPath(from);
        if (source.missing()) continue;
        if (!source.present() || to.size() >= kMaxPathLength) {
            allMade = false;
            continue;
        }
        // A copy still in the cache is not made yet: the backups go next. One
        // that cannot be put on the disk goes, so the next update makes it
        // again rather than keep what a power cut may zero.
        if (copyToDisk(from, to, false)) continue;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) allMade = false;
    }
    return allMade;
}

// The update sequences of the three components. One rule runs them all: each
// step in order, restore and stop at the first that fails; otherwise clean up,
// record the new values in the registry and report success.
#include "app/Patch_Veltris5v13Dlg.h"

#include "framework/message_box.h"
#include "payload/catalogue.h"
#include "payload/extract.h"
#include "survey/registry.h"

#include <exception>

// One step of a sequence, advancing the progress bar by one step when it
// succeeds. An extraction step writes each catalogue file of its install step
// itself and advances once per file.
struct SequenceStep {
    enum class Kind { module, directory, extractEach };
    Kind kind;
    BOOL (CPatch_Veltris5v13Dlg::*module)();                  // finds its directory on the dialog
    BOOL (CPatch_Veltris5v13Dlg::*directory)(std::string);    // given the component's directory
    InstallStep files;                                        // for extractEach
    const char* failure;                                      // the report line when it fails
};

struct RegistryValue {
    const char* name;
    const char* data;
};

struct UpdateSequence {
    ComponentKind kind;  // whose directory and registry key
    const SequenceStep* steps;
    size_t stepCount;
    bool migratesConfiguration;
    // Written in order under the component's key once every step has run; the
    // last one, the version, decides whether the success text needs its remark.
    const RegistryValue* values;
    size_t valueCount;
    const char* success;
    const char* successWithoutRegistry;
};

namespace {

using Dlg = CPatch_Veltris5v13Dlg;

// Only an extraction step looks at `files`; the others leave it at any value.
constexpr SequenceStep moduleStep(BOOL (Dlg::*step)(), const char* failure) {
    return {SequenceStep::Kind::module, step, nullptr, InstallStep::administration, failure};
}
constexpr SequenceStep directoryStep(BOOL (Dlg::*step)(std::string), const char* failure) {
    return {SequenceStep::Kind::directory, nullptr, step, InstallStep::administration, failure};
}
constexpr SequenceStep extractionStep(InstallStep files, const char* failure) {
    return {SequenceStep::Kind::extractEach, nullptr, nullptr, files, failure};
}

template <size_t N>
constexpr size_t countOf(const SequenceStep (&)[N]) {
    return N;
}
template <size_t N>
constexpr size_t countOf(const RegistryValue (&)[N]) {
    return N;
}

const char kFenmorFailure[] = "Erro na actualização do Fenmor. O processo não foi concluído com sucesso.";
const char kDisplayFormatsFailure[] =
    "Erro na actualização dos ficheiros de visualização. O processo não foi concluído com sucesso.";
const char kBulletinFailure[] =
    "Erro na actualização dos modelos de boletins. O processo não foi concluído com sucesso.";
const char kConfigurationNotUpdated[] = "Não foi possível actualizar os ficheiros de configuração";

const SequenceStep kProfessionalSteps[] = {
    moduleStep(&Dlg::installBrenix, "Erro na actualização do Brenix. O processo não foi concluído com sucesso."),
    moduleStep(&Dlg::installQuorra, "Erro na actualização do Quorra. O processo não foi concluído com sucesso."),
    moduleStep(&Dlg::installSulvet, "Erro na actualização do Sulvet. O processo não foi concluído com sucesso."),
    moduleStep(&Dlg::installDravel, "Erro na actualização do Dravel. O processo não foi concluído com sucesso."),
    moduleStep(&Dlg::installFenmor, kFenmorFailure),
    moduleStep(&Dlg::installHalvinor,
               "Erro na actualização do Módulo de Difusão. O processo não foi concluído com sucesso."),
    moduleStep(&Dlg::installMerisca,
               "Erro na actualização do Módulo de Estatísticas. O processo não foi concluído com sucesso."),
    directoryStep(&Dlg::installIndexingTables,
                  "Erro na actualização das configurações de indexação. O processo não foi concluído com sucesso."),
    directoryStep(&Dlg::installDisplayFormats, kDisplayFormatsFailure),
    directoryStep(&Dlg::installBulletinTemplate, kBulletinFailure),
};

const SequenceStep kPublicSteps[] = {
    moduleStep(&Dlg::installPublicFenmor, kFenmorFailure),
    directoryStep(&Dlg::installDisplayFormats, kDisplayFormatsFailure),
    directoryStep(&Dlg::installBulletinTemplate, kBulletinFailure),
};

// Both of the module's files are written whether or not they exist; the
// report does not say which one failed.
const SequenceStep kAdministrationSteps[] = {
    extractionStep(InstallStep::administration, "Erro na actualização do Módulo de Administração."),
};

const RegistryValue kVersionOnly[] = {{"Versao", kTargetVersion}};

// The module's database system is recorded in its canonical form, whichever
// accepted spelling was there before.
const RegistryValue kAdministrationValues[] = {{"SGBD", "Isis-Access"}, {"Versao", kTargetVersion}};

const UpdateSequence kProfessionalSequence = {
    ComponentKind::professional,
    kProfessionalSteps,
    countOf(kProfessionalSteps),
    true,
    kVersionOnly,
    countOf(kVersionOnly),
    "Actualização à componente profissional executada com sucesso.",
    "Actualização à componente profissional executada com sucesso, no entanto a informação no registry não foi "
    "correctamente actualizada.",
};

const UpdateSequence kPublicSequence = {
    ComponentKind::publicComponent,
    kPublicSteps,
    countOf(kPublicSteps),
    true,
    kVersionOnly,
    countOf(kVersionOnly),
    "Actualização à componente pública executada com sucesso.",
    "Actualização à componente pública executada com sucesso, no entanto a informação no registry não foi "
    "correctamente actualizada.",
};

const UpdateSequence kAdministrationSequence = {
    ComponentKind::administration,
    kAdministrationSteps,
    countOf(kAdministrationSteps),
    false,
    kAdministrationValues,
    countOf(kAdministrationValues),
    "Actualização ao Módulo de Administração executada com sucesso.",
    "Actualização ao Módulo de Administração executada com sucesso, no entanto a informação no registry não foi "
    "correctamente actualizada.",
};

// The sequences return fixed texts; should even copying one fail, the line
// stays empty rather than an exception leaving the sequence.
std::string reportLine(const char* text) noexcept {
    try {
        return text;
    } catch (const std::exception&) {
        return std::string();
    }
}

}  // namespace

bool CPatch_Veltris5v13Dlg::runSequenceStep(const SequenceStep& step, const std::string& directory) {
    switch (step.kind) {
    case SequenceStep::Kind::module:
        if (!(this->*step.module)()) return false;
        break;
    case SequenceStep::Kind::directory:
        if (!(this->*step.directory)(directory)) return false;
        break;
    case SequenceStep::Kind::extractEach:
        for (const CatalogueEntry& file : entriesOf(step.files)) {
            if (!extractPayload(directory + file.target, file.id, file.uncompressedSize, file.compressedSize))
                return false;
            m_progress.StepIt();
        }
        return true;
    }
    m_progress.StepIt();
    return true;
}

const char* CPatch_Veltris5v13Dlg::runSequence(const UpdateSequence& sequence) {
    const std::string& directory = record(sequence.kind).installDir;
    for (size_t i = 0; i < sequence.stepCount; ++i) {
        const SequenceStep& step = sequence.steps[i];
        bool done = false;
        try {
            done = runSequenceStep(step, directory);
        } catch (const std::exception&) {
            done = false;
        }
        if (!done) {
            restoreBackups();
            return step.failure;
        }
    }

    // The configuration copies are not worth undoing the update for: the user
    // is told, and the run goes on.
    if (sequence.migratesConfiguration) {
        bool migrated = false;
        try {
            migrated = migrateDisplayFormatConfig(directory) != FALSE;
        } catch (const std::exception&) {
            migrated = false;
        }
        if (!migrated) {
            try {
                AfxMessageBox(kConfigurationNotUpdated, MB_ICONINFORMATION);
            } catch (const std::exception&) {
            }
        }
    }

    deleteBackups();

    // Unlike the files, the values are not forced to the disk: a version that
    // a power cut takes away only offers this update again, which is harmless.
    const char* key = componentInfo(sequence.kind).registryKey;
    bool recorded = false;
    for (size_t i = 0; i < sequence.valueCount; ++i) {
        try {
            recorded = writeRegistryString(key, sequence.values[i].name, sequence.values[i].data);
        } catch (const std::exception&) {
            recorded = false;
        }
    }
    m_progress.StepIt();
    return recorded ? sequence.success : sequence.successWithoutRegistry;
}

std::string CPatch_Veltris5v13Dlg::updateProfessionalComponent() {
    return reportLine(runSequence(kProfessionalSequence));
}

std::string CPatch_Veltris5v13Dlg::updatePublicComponent() { return reportLine(runSequence(kPublicSequence)); }

std::string CPatch_Veltris5v13Dlg::updateAdministrationModule() {
    return reportLine(runSequence(kAdministrationSequence));
}

// The update sequences of the three components. One rule runs them all: each
// step in order, restore and stop at the first that fails; otherwise clean up,
// record the new values in the registry and report success.
#include "app/Patch_Veltris5v13Dlg.h"

#include "framework/message_box.h"
#include "payload/catalogue.h"
#include "payload/extract.h"
#include "payload/install_steps.h"
#include "survey/registry.h"
#include "update/sequences.h"

#include <exception>

namespace {

using Dlg = CPatch_Veltris5v13Dlg;

constexpr SequenceStep moduleStep(BOOL (Dlg::*step)(), InstallStep files, const char* program, const char* failure) {
    return {SequenceStep::Kind::module, step, nullptr, files, program, failure};
}
constexpr SequenceStep directoryStep(BOOL (Dlg::*step)(std::string), InstallStep files, const char* failure) {
    return {SequenceStep::Kind::directory, nullptr, step, files, nullptr, failure};
}
constexpr SequenceStep extractionStep(InstallStep files, const char* program, const char* failure) {
    return {SequenceStep::Kind::extractEach, nullptr, nullptr, files, program, failure};
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
    moduleStep(&Dlg::installBrenix, InstallStep::brenix, "Brenix",
               "Erro na actualização do Brenix. O processo não foi concluído com sucesso."),
    moduleStep(&Dlg::installQuorra, InstallStep::quorra, "Quorra",
               "Erro na actualização do Quorra. O processo não foi concluído com sucesso."),
    moduleStep(&Dlg::installSulvet, InstallStep::sulvet, "Sulvet",
               "Erro na actualização do Sulvet. O processo não foi concluído com sucesso."),
    moduleStep(&Dlg::installDravel, InstallStep::dravel, "Dravel",
               "Erro na actualização do Dravel. O processo não foi concluído com sucesso."),
    moduleStep(&Dlg::installFenmor, InstallStep::fenmor, "Fenmor", kFenmorFailure),
    moduleStep(&Dlg::installHalvinor, InstallStep::halvinor, "Módulo de Difusão",
               "Erro na actualização do Módulo de Difusão. O processo não foi concluído com sucesso."),
    moduleStep(&Dlg::installMerisca, InstallStep::merisca, "Módulo de Estatísticas",
               "Erro na actualização do Módulo de Estatísticas. O processo não foi concluído com sucesso."),
    directoryStep(&Dlg::installIndexingTables, InstallStep::indexingTables,
                  "Erro na actualização das configurações de indexação. O processo não foi concluído com sucesso."),
    directoryStep(&Dlg::installDisplayFormats, InstallStep::displayFormats, kDisplayFormatsFailure),
    directoryStep(&Dlg::installBulletinTemplate, InstallStep::bulletinTemplate, kBulletinFailure),
};

const SequenceStep kPublicSteps[] = {
    moduleStep(&Dlg::installPublicFenmor, InstallStep::publicFenmor, "Fenmor", kFenmorFailure),
    directoryStep(&Dlg::installDisplayFormats, InstallStep::displayFormats, kDisplayFormatsFailure),
    directoryStep(&Dlg::installBulletinTemplate, InstallStep::bulletinTemplate, kBulletinFailure),
};

// Both of the module's files are written whether or not they exist; the
// report does not say which one failed.
const SequenceStep kAdministrationSteps[] = {
    extractionStep(InstallStep::administration, "Módulo de Administração",
                   "Erro na actualização do Módulo de Administração."),
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

const UpdateSequence& sequenceOf(ComponentKind kind) {
    switch (kind) {
    case ComponentKind::professional:
        return kProfessionalSequence;
    case ComponentKind::publicComponent:
        return kPublicSequence;
    case ComponentKind::administration:
        break;
    }
    return kAdministrationSequence;
}

bool CPatch_Veltris5v13Dlg::runSequenceStep(const SequenceStep& step, const std::string& directory) {
    switch (step.kind) {
    case SequenceStep::Kind::module:
        if (!(this->*step.module)()) return false;
        break;
    case SequenceStep::Kind::directory:
        if (!(this->*step.directory)(directory)) return false;
        break;
    case SequenceStep::Kind::extractEach:
        return forEachFileWritten(directory, step.files, WriteRule::everyFile,
                                  [&](const CatalogueEntry& file, const PathStatus*) {
                                      if (!extractPayload(directory + file.target, file.id, file.uncompressedSize,
                                                          file.compressedSize))
                                          return false;
                                      m_progress.StepIt();
                                      return true;
                                  });
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

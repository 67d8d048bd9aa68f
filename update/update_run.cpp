// "Actualizar": updates every marked component, one after the other, and
// reports what happened to each in one box before the dialog closes.
#include "app/Patch_Veltris5v13Dlg.h"

#include "framework/message_box.h"
#include "survey/registry.h"

#include <exception>

namespace {

using Dlg = CPatch_Veltris5v13Dlg;

// What the run does for one component, in the order the components are
// handled. The progress share is one advance after the backup plus those the
// sequence makes when it succeeds, ten each.
struct ComponentRun {
    ComponentKind kind;
    const char* header;
    bool (Dlg::*backup)();
    std::string (Dlg::*update)();
    const char* backupFailure;
    short progressShare;
};

const char kBackupFailure[] = "Erro na criação do backup. O processo não foi concluído com sucesso.";

const ComponentRun kComponentRuns[] = {
    {ComponentKind::professional, "Componente Profissional:\n", &Dlg::backupProfessionalComponent,
     &Dlg::updateProfessionalComponent, kBackupFailure, 120},
    {ComponentKind::publicComponent, "Componente Pública:\n", &Dlg::backupPublicComponent,
     &Dlg::updatePublicComponent, kBackupFailure, 50},
    {ComponentKind::administration, "Modulo de Administração:\n", &Dlg::backupAdministrationModule,
     &Dlg::updateAdministrationModule,
     "Erro na criação do backup do Módulo de Administração. O processo não foi concluído com sucesso.", 40},
};

const char kReportCaption[] = "Relatório";
const char kReportSeparator[] = "\n\n";
constexpr int kProgressStep = 10;

// Every file path is the directory followed directly by a table entry, so the
// directory must end in its separator.
void endWithSeparator(std::string& directory) {
    if (!directory.empty() && directory.back() != '\\') directory += '\\';
}

}  // namespace

void CPatch_Veltris5v13Dlg::runUpdate() {
    if (!probeRegistryWriteAccess()) {
        // Nothing has been touched: the user may fix the rights and press again.
        AfxMessageBox(kNoRegistryWriteAccessMessage);
        return;
    }

    std::string report;
    try {
        for (const ComponentRun& run : kComponentRuns) endWithSeparator(record(run.kind).installDir);

        // Still nothing touched: what is in the way is named now, while the
        // user can put it right and press again, rather than found by a step
        // that then has to restore.
        const std::string obstacles = describeObstacles();
        if (!obstacles.empty()) {
            AfxMessageBox(obstacles.c_str());
            return;
        }

        m_progress.ShowWindow(SW_SHOW);
        short maximum = 0;
        for (const ComponentRun& run : kComponentRuns)
            if (updateMark(run.kind)) maximum += run.progressShare;
        m_progress.SetRange(0, maximum);
        m_progress.SetStep(kProgressStep);

        for (const ComponentRun& run : kComponentRuns) {
            if (!updateMark(run.kind)) continue;
            // Each component's restore and clean-up act on its own backups only.
            m_backupSet.clear();
            if (!report.empty()) report += kReportSeparator;
            report += run.header;
            if ((this->*run.backup)()) {
                m_progress.StepIt();
                report += (this->*run.update)();
            } else {
                report += run.backupFailure;
            }
        }
    } catch (const std::exception&) {
        // Out of memory part-way: the report still says what was done.
    }

    MessageBox(report.c_str(), kReportCaption, MB_ICONINFORMATION);
    CDialog::OnOK();
}

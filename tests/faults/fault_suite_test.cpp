// Every install step of every component made to fail the way a user's machine
// can, on the real updater: a file held open by a running program, a
// read-only file, and the faults that stop a backup (a file nobody may even
// read, a folder where a file or its backup belongs). Each scenario is a whole
// update of the three components, driven from outside as a user drives it;
// afterwards no file of the installation may be lost, no backup may be left
// without a word, and only the components that were updated carry the new
// version.
//
// The program ends with one line, "fault suite: N scenarios, M faults
// injected, K files lost", and fails when a file was lost or any rule broke.
#include "resources/resource.h"
#include "tests/e2e/updater_driver.h"
#include "tests/faults/fault_injection.h"
#include "tests/faults/installation.h"
#include "tests/faults/verdict.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace faults {
namespace {

using testing_support::CleanRegistry;
using testing_support::ScratchDir;

const char kAppTitle[] = "Patch_Veltris5v13";
const char kReportCaption[] = "Relatório";
const char kBothComponents[] =
    "Este computador tem instaladas as componentes profissional e pública do VELTRIS 5!\n\nEmbora ambas as "
    "componentes possam co-existir num computador, normalmente isso deve-se a um erro nos procedimentos de "
    "instalação.\nVerifique se é uma situação pretendida e contacte os serviços de Helpdesk do VELTRIS 5 para mais "
    "esclarecimentos se necessário.";
const char kRestoreHeader[] =
    "Erro: Não foi possível recuperar de falha na instalação.\n\n"
    "Os seguintes ficheiros precisam de ser recuperados manualmente:\n\n";
const char kCleanupHeader[] =
    "Erro: Não foi possível apagar os ficheiros de backup.\n\n"
    "Os seguintes ficheiros precisam de ser apagados manualmente:\n\n";
const char kNewVersion[] = "1.6.08";
// Start-up of the updater up to its dialog, the one warning answered.
constexpr DWORD kStartupTimeoutMs = 20000;
const char kRegistryRemark[] = ", no entanto a informação no registry não foi correctamente actualizada.";

struct StepFacts {
    InstallStep step;
    const char* name;
    const char* failure;  // the component's report line when this step fails
};

const char kFenmorFailure[] = "Erro na actualização do Fenmor. O processo não foi concluído com sucesso.";
const char kDisplayFormatsFailure[] =
    "Erro na actualização dos ficheiros de visualização. O processo não foi concluído com sucesso.";
const char kBulletinFailure[] =
    "Erro na actualização dos modelos de boletins. O processo não foi concluído com sucesso.";

// Each component's steps in the order its update runs them.
const StepFacts kProfessionalSteps[] = {
    {InstallStep::brenix, "installBrenix",
     "Erro na actualização do Brenix. O processo não foi concluído com sucesso."},
    {InstallStep::quorra, "installQuorra",
     "Erro na actualização do Quorra. O processo não foi concluído com sucesso."},
    {InstallStep::sulvet, "installSulvet",
     "Erro na actualização do Sulvet. O processo não foi concluído com sucesso."},
    {InstallStep::dravel, "installDravel",
     "Erro na actualização do Dravel. O processo não foi concluído com sucesso."},
    {InstallStep::fenmor, "installFenmor", kFenmorFailure},
    {InstallStep::halvinor, "installHalvinor",
     "Erro na actualização do Módulo de Difusão. O processo não foi concluído com sucesso."},
    {InstallStep::merisca, "installMerisca",
     "Erro na actualização do Módulo de Estatísticas. O processo não foi concluído com sucesso."},
    {InstallStep::indexingTables, "installIndexingTables",
     "Erro na actualização das configurações de indexação. O processo não foi concluído com sucesso."},
    {InstallStep::displayFormats, "installDisplayFormats", kDisplayFormatsFailure},
    {InstallStep::bulletinTemplate, "installBulletinTemplate", kBulletinFailure},
};
const StepFacts kPublicSteps[] = {
    {InstallStep::publicFenmor, "installPublicFenmor", kFenmorFailure},
    {InstallStep::displayFormats, "installDisplayFormats", kDisplayFormatsFailure},
    {InstallStep::bulletinTemplate, "installBulletinTemplate", kBulletinFailure},
};
// The administration module extracts its two files itself, one advance of
// the bar after each.
const StepFacts kAdministrationSteps[] = {
    {InstallStep::administration, "extraction", "Erro na actualização do Módulo de Administração."},
};

struct ComponentFacts {
    ComponentKind kind;
    const char* header;
    const char* success;
    const char* backupFailure;
    int progressShare;
    const StepFacts* steps;
    size_t stepCount;
};

const char kBackupFailure[] = "Erro na criação do backup. O processo não foi concluído com sucesso.";

const ComponentFacts kComponentFacts[] = {
    {ComponentKind::professional, "Componente Profissional:\n",
     "Actualização à componente profissional executada com sucesso.", kBackupFailure, 120, kProfessionalSteps,
     std::size(kProfessionalSteps)},
    {ComponentKind::publicComponent, "Componente Pública:\n",
     "Actualização à componente pública executada com sucesso.", kBackupFailure, 50, kPublicSteps,
     std::size(kPublicSteps)},
    {ComponentKind::administration, "Modulo de Administração:\n",
     "Actualização ao Módulo de Administração executada com sucesso.",
     "Erro na criação do backup do Módulo de Administração. O processo não foi concluído com sucesso.", 40,
     kAdministrationSteps, std::size(kAdministrationSteps)},
};

const ComponentFacts& factsOf(ComponentKind kind) { return kComponentFacts[static_cast<int>(kind)]; }

const StepFacts& stepFacts(ComponentKind kind, InstallStep step) {
    const ComponentFacts& facts = factsOf(kind);
    for (size_t i = 0; i < facts.stepCount; ++i)
        if (facts.steps[i].step == step) return facts.steps[i];
    ADD_FAILURE() << "no such step in the component";
    return facts.steps[0];
}

// Advances of the bar the run and the sequence make before the step that
// writes this file fails: one after the backup, one per step that succeeded
// (per file for the administration module).
int advancesBeforeFailure(ComponentKind kind, InstallStep step, const std::string& relative) {
    if (kind == ComponentKind::administration) {
        int index = 0;
        for (const CatalogueEntry& entry : entriesOf(InstallStep::administration)) {
            if (relative == entry.target) break;
            ++index;
        }
        return 1 + index;
    }
    const ComponentFacts& facts = factsOf(kind);
    int index = 0;
    while (static_cast<size_t>(index) < facts.stepCount && facts.steps[index].step != step) ++index;
    return 1 + index;
}

// --- scenarios ---

struct Scenario {
    std::string name;
    std::vector<Fault> faults;
    // Compare the restore list byte for byte with the path as the updater
    // builds it (directory, "\", the table's relative path).
    bool exactListing = false;
    // A scanner holding each fresh file this long (0: none), sharing reading
    // and, when asked, writing.
    DWORD scannerMs = 0;
    bool scannerSharesWriting = false;
};

// Failure messages name the scenario rather than dump its bytes.
void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

std::string describe(const Fault& fault) {
    std::string where = fault.kind == FaultKind::folderAtBackup || fault.kind == FaultKind::backupHeldBriefly ||
                                fault.kind == FaultKind::backupHeld
                            ? fault.backup
                            : fault.relative;
    std::string step = !fault.written                                   ? "no-step"
                       : fault.component == ComponentKind::administration ? "extraction"
                                                                          : stepFacts(fault.component, fault.step).name;
    return std::string(shortName(fault.component)) + " " + step + " " + where + " " + toString(fault.kind);
}

std::string testName(const Scenario& s) {
    std::string name;
    for (char c : s.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

Fault at(FaultKind kind, ComponentKind component, InstallStep step, const char* relative) {
    return Fault{kind, component, step, relative, "", true, ""};
}

Fault folderAtBackup(ComponentKind component, InstallStep step, const char* relative, const char* backup) {
    return Fault{FaultKind::folderAtBackup, component, step, relative, backup, true, ""};
}

// Held briefly: `marker` is a backup that the restore (or the clean-up)
// handles before this file.
Fault heldBriefly(ComponentKind component, InstallStep step, const char* relative, const char* marker) {
    return Fault{FaultKind::heldBriefly, component, step, relative, "", true, marker};
}

Fault backupHeldBriefly(ComponentKind component, InstallStep step, const char* relative, const char* backup,
                        const char* marker) {
    return Fault{FaultKind::backupHeldBriefly, component, step, relative, backup, true, marker};
}

Fault backupHeld(ComponentKind component, InstallStep step, const char* relative, const char* backup) {
    return Fault{FaultKind::backupHeld, component, step, relative, backup, true, ""};
}

// A file the professional backup copies although no step of the release
// writes it.
Fault unwritten(FaultKind kind, const char* relative, const char* backup) {
    return Fault{kind, ComponentKind::professional, InstallStep::displayFormats, relative, backup, false, ""};
}

std::vector<Scenario> allScenarios() {
    std::vector<Scenario> out;
    auto add = [&](const std::string& name, std::vector<Fault> faults, bool exact = false, DWORD scannerMs = 0,
                   bool sharesWriting = false) {
        out.push_back(
            Scenario{std::to_string(out.size()) + " " + name, std::move(faults), exact, scannerMs, sharesWriting});
    };
    add("no fault", {});

    // For every step, its first file and, where a step writes more than one,
    // a later file, so that the step fails with files already replaced.
    struct Target {
        ComponentKind component;
        InstallStep step;
        const char* relative;
    };
    using C = ComponentKind;
    using S = InstallStep;
    const Target targets[] = {
        {C::professional, S::brenix, "brenix.exe"},
        {C::professional, S::brenix, "nimbodbc.dll"},
        {C::professional, S::quorra, "quorra.exe"},
        {C::professional, S::quorra, "quorra.exe.manifest"},
        {C::professional, S::sulvet, "sulvet.exe"},
        {C::professional, S::dravel, "dravel.exe"},
        {C::professional, S::fenmor, "fenmor.exe"},
        {C::professional, S::fenmor, "fenmor.exe.manifest"},
        {C::professional, S::halvinor, "halvinor.exe"},
        {C::professional, S::merisca, "merisca.exe"},
        {C::professional, S::indexingTables, "\\Bases\\clean_db\\velt5.fst"},
        {C::professional, S::indexingTables, "\\Bases\\clean_db\\velt5aut.fst"},
        {C::professional, S::displayFormats, "\\pft\\cat\\isbd.pft"},
        {C::professional, S::displayFormats, "\\pft\\cat\\nvalidatedinfo\\cdaut.pft"},
        {C::professional, S::displayFormats, "\\pft\\Use\\titulo.pft"},
        {C::professional, S::bulletinTemplate, "\\Modelos\\boletim_cdu.xml"},
        {C::publicComponent, S::publicFenmor, "fenmor.exe"},
        {C::publicComponent, S::publicFenmor, "fenmor.exe.manifest"},
        {C::publicComponent, S::displayFormats, "\\pft\\cat\\isbd.pft"},
        {C::publicComponent, S::displayFormats, "\\pft\\pac\\autorida\\ord_pft\\cdaut.pft"},
        {C::publicComponent, S::bulletinTemplate, "\\Modelos\\boletim_cdu.xml"},
        {C::administration, S::administration, "gestiro.exe"},
        {C::administration, S::administration, "QV5Server.exe"},
    };
    for (FaultKind kind : {FaultKind::heldForReading, FaultKind::readOnly}) {
        for (const Target& t : targets) {
            Fault fault = at(kind, t.component, t.step, t.relative);
            add(describe(fault), {fault});
        }
    }

    // Faults that stop a backup part-way: the copies made so far go back.
    const Fault backupStoppers[] = {
        at(FaultKind::heldExclusively, C::professional, S::brenix, "brenix.exe"),
        at(FaultKind::heldExclusively, C::publicComponent, S::displayFormats, "\\pft\\pac\\isbd.pft"),
        at(FaultKind::heldExclusively, C::administration, S::administration, "gestiro.exe"),
        at(FaultKind::folderAtFile, C::professional, S::brenix, "veltriscommon.dll"),
        at(FaultKind::folderAtFile, C::publicComponent, S::publicFenmor, "fenmor.exe.manifest"),
        at(FaultKind::folderAtFile, C::administration, S::administration, "QV5Server.exe"),
        folderAtBackup(C::professional, S::brenix, "brenix.exe", "brenix_back.exe"),
        folderAtBackup(C::publicComponent, S::displayFormats, "\\pft\\pac\\resumo.pft", "\\pft\\pac\\resumo_back.pft"),
        folderAtBackup(C::administration, S::administration, "gestiro.exe", "gestiro_back.exe"),
    };
    for (const Fault& fault : backupStoppers) add(describe(fault), {fault});

    // A file only the backup touches: held or read-only, the update goes
    // through, and the backup (read-only like the file it was copied from)
    // is deleted all the same.
    for (FaultKind kind : {FaultKind::heldForReading, FaultKind::readOnly}) {
        Fault fault = unwritten(kind, "\\pft\\cat\\resumo\\isbd.pft", "\\pft\\cat\\resumo\\isbd_back.pft");
        add(describe(fault), {fault});
    }

    // Files a module step creates where they are missing: kept when the
    // component's update goes through, taken away again when a later step of
    // the component fails.
    const Fault created[] = {
        at(FaultKind::missing, C::professional, S::quorra, "quorra.exe.manifest"),
        at(FaultKind::missing, C::publicComponent, S::publicFenmor, "fenmor.exe.manifest"),
        at(FaultKind::missing, C::administration, S::administration, "gestiro.exe"),
    };
    for (const Fault& fault : created) add(describe(fault), {fault});
    add("P created manifest, then a later step fails",
        {created[0], at(FaultKind::heldForReading, C::professional, S::sulvet, "sulvet.exe")});
    add("P created companion, then a later step fails",
        {at(FaultKind::missing, C::professional, S::brenix, "veltriscommon.dll"),
         at(FaultKind::readOnly, C::professional, S::displayFormats, "\\pft\\pac\\isbd.pft")});
    add("U created manifest, then a later step fails",
        {created[1], at(FaultKind::readOnly, C::publicComponent, S::displayFormats, "\\pft\\cat\\isbd.pft")});
    add("A created program, then the server fails",
        {created[2], at(FaultKind::heldForReading, C::administration, S::administration, "QV5Server.exe")});

    // Held for a moment, as a scanner holds what was just written: the
    // restore, or the clean-up, gets it on a second try.
    add("P installDisplayFormats held briefly",
        {heldBriefly(C::professional, S::displayFormats, "\\pft\\pac\\isbd.pft", "ravdb_back.dll")});
    add("U installBulletinTemplate held briefly",
        {heldBriefly(C::publicComponent, S::bulletinTemplate, "\\Modelos\\boletim_cdu.xml", "\\fenmor_back.exe")});
    // A file the update replaced and whose backup is held until the run ends:
    // the only kind of file left for the user to recover, its backup beside it.
    add("P replaced file whose backup is held, then a later step fails",
        {backupHeld(C::professional, S::brenix, "ravdb.dll", "ravdb_back.dll"),
         at(FaultKind::heldForReading, C::professional, S::sulvet, "sulvet.exe")},
        true);
    add("P replaced table whose backup is held, then a later step fails",
        {backupHeld(C::professional, S::indexingTables, "\\Bases\\clean_db\\velt5.fst",
                    "\\Bases\\clean_db\\velt5_back.fst"),
         at(FaultKind::readOnly, C::professional, S::displayFormats, "\\pft\\cat\\isbd.pft")},
        true);
    add("P backup held briefly in the clean-up",
        {backupHeldBriefly(C::professional, S::bulletinTemplate, "\\Modelos\\boletim_cdu.xml",
                           "\\Modelos\\boletim_cdu_back.xml", "ravdb_back.dll")});

    // A scanner that takes each file it sees appear or change and holds it
    // for two seconds, as one does on a loaded workstation: the update waits
    // for it, and leaves neither a backup nor a half-restored component.
    add("scanner holding each fresh file 2 s, sharing reading", {}, false, 2000);
    add("scanner holding each fresh file 2 s, sharing reading and writing", {}, false, 2000, true);
    add("scanner holding each fresh file 2 s, P display format held-for-reading",
        {at(FaultKind::heldForReading, C::professional, S::displayFormats, "\\pft\\pac\\isbd.pft")}, false, 2000);

    // One fault in each component at once: the boxes come in component order
    // and no component's fault leaks into the next.
    add("every component, held + read-only + held exclusively",
        {at(FaultKind::heldForReading, C::professional, S::displayFormats, "\\pft\\pac\\isbd.pft"),
         at(FaultKind::readOnly, C::publicComponent, S::bulletinTemplate, "\\Modelos\\boletim_cdu.xml"),
         at(FaultKind::heldExclusively, C::administration, S::administration, "gestiro.exe")});
    add("every component, folder at backup + held + read-only",
        {folderAtBackup(C::professional, S::merisca, "merisca.exe", "merisca_back.exe"),
         at(FaultKind::heldForReading, C::publicComponent, S::publicFenmor, "fenmor.exe"),
         at(FaultKind::readOnly, C::administration, S::administration, "QV5Server.exe")});
    return out;
}

// --- what a scenario must end with ---

enum class Outcome { updated, stepFailed, backupFailed };

struct Expectation {
    Outcome outcome[3] = {Outcome::updated, Outcome::updated, Outcome::updated};
    // The one fault of each component that decides its outcome; a missing
    // file decides nothing by itself.
    const Fault* fault[3] = {nullptr, nullptr, nullptr};
};

Expectation expectationOf(const Scenario& s) {
    Expectation e;
    for (const Fault& fault : s.faults) {
        if (fault.kind == FaultKind::missing || fault.kind == FaultKind::backupHeld) continue;
        int c = static_cast<int>(fault.component);
        EXPECT_EQ(nullptr, e.fault[c]) << "one fault per component";
        e.fault[c] = &fault;
        if (stopsBackup(fault.kind))
            e.outcome[c] = Outcome::backupFailed;
        else if (fault.written && stopsStep(fault.kind))
            e.outcome[c] = Outcome::stepFailed;
    }
    return e;
}

// A box the run must show before its report, naming one path.
struct ExpectedBox {
    const char* header;
    std::string path;
};

// A step that failed on a file still held or protected never changed that
// file, and a file held only for a moment goes back on a second try: no box
// for either. Only a file the update replaced, whose backup is held until the
// run ends and a later step fails, is left to the user (restore list).
std::vector<ExpectedBox> expectedBoxes(const Scenario& s, const Installation& installation) {
    std::vector<ExpectedBox> boxes;
    for (const Fault& fault : s.faults)
        if (fault.kind == FaultKind::backupHeld)
            boxes.push_back({kRestoreHeader, installation.pathOf(fault.component, fault.relative)});
    return boxes;
}

std::string expectedReport(const Expectation& e) {
    std::string report;
    for (const ComponentFacts& facts : kComponentFacts) {
        int c = static_cast<int>(facts.kind);
        if (!report.empty()) report += "\n\n";
        report += facts.header;
        switch (e.outcome[c]) {
        case Outcome::updated:
            report += facts.success;
            break;
        case Outcome::backupFailed:
            report += facts.backupFailure;
            break;
        case Outcome::stepFailed:
            report += stepFacts(facts.kind, e.fault[c]->step).failure;
            break;
        }
    }
    return report;
}

int expectedProgress(const Expectation& e) {
    int position = 0;
    for (const ComponentFacts& facts : kComponentFacts) {
        int c = static_cast<int>(facts.kind);
        if (e.outcome[c] == Outcome::updated) position += facts.progressShare;
        if (e.outcome[c] == Outcome::stepFailed)
            position += 10 * advancesBeforeFailure(facts.kind, e.fault[c]->step, e.fault[c]->relative);
    }
    return position;
}

// The component's block of the report, without its header; empty when absent.
std::string blockOf(const std::string& report, const char* header) {
    size_t start = report.find(header);
    if (start == std::string::npos) return std::string();
    start += std::string(header).size();
    size_t end = report.find("\n\n", start);
    return report.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// --- the tally the suite ends with ---

struct Tally {
    int scenarios = 0;
    int faults = 0;
    int filesLost = 0;
    int failedScenarios = 0;
};
Tally& tally() {
    static Tally t;
    return t;
}

// The icon a box shows, told from the screen. The driver may look before the
// box has painted its icon and then take a blank for the nearest icon; an icon
// really shown stays what it is when looked at again, so look a few times
// before settling on a different one.
e2e::BoxIcon shownIcon(const e2e::UpdaterSession& app, const e2e::MessageBoxInfo& box, e2e::BoxIcon expected) {
    e2e::BoxIcon icon = box.icon;
    for (int look = 0; look < 3 && icon != expected; ++look) {
        Sleep(100);
        icon = app.readMessageBox(box.window).icon;
    }
    return icon;
}

// The scenario lines stay plain ASCII, whatever the updater's texts hold.
std::string asciiOnly(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) > 0x7E || static_cast<unsigned char>(c) < 0x20) c = '?';
    return text;
}

// Faults in place at the press would be named by the check "Actualizar" makes
// before touching anything, and the update would never begin. So they go in
// while that check, past their files, waits on a gate held as a scanner holds
// a file: half a second after the dialog stops answering; then the gate goes.
const char kGate[] = "\\pft\\difusao\\resumo.pft";

bool pressOnceTheCheckIsPast(e2e::UpdaterSession& app, const Installation& installation, InjectedFaults& injected) {
    fw::FileHandle gate(CreateFileA(installation.pathOf(ComponentKind::professional, kGate).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    const bool gated = gate.valid();
    const HWND main = app.mainWindow();
    bool injectedOk = false;
    std::thread injector([&] {
        DWORD_PTR answer = 0;
        e2e::UpdaterSession::waitUntil(
            [&] { return !SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 100, &answer); }, 20000);
        Sleep(500);
        injectedOk = injected.holdAndProtect();
        gate.close();
    });
    const bool pressed = gated && app.pressActualizar();
    injector.join();
    return pressed && injectedOk;
}

class FaultSuite : public testing::TestWithParam<Scenario> {
protected:
    // The whole scenario; an assertion that stops it leaves `lost_` as far as
    // it got.
    void run(const Scenario& scenario);
    size_t lost_ = 0;
    std::string repeatedClicks_;
};

void FaultSuite::run(const Scenario& scenario) {
    const Expectation expected = expectationOf(scenario);

    // Declared in this order so that the updater is gone before the faults
    // are released, and the faults before the folders are removed.
    CleanRegistry registry;
    ScratchDir root;
    Installation installation(root.path());
    ASSERT_TRUE(installation.ready()) << "cannot lay out the installation in " << root.path();
    InjectedFaults injected(installation, scenario.faults);
    ASSERT_TRUE(injected.plantFolders()) << injected.error();
    const Tree before = readTree(root.path());
    std::unique_ptr<Scanner> scanner;
    if (scenario.scannerMs) scanner.reset(new Scanner(root.path(), scenario.scannerMs, scenario.scannerSharesWriting));

    std::vector<e2e::MessageBoxInfo> boxes;
    e2e::MessageBoxInfo report;
    e2e::ProgressState progress;
    {
        e2e::UpdaterSession app;
        ASSERT_TRUE(app.started()) << app.error();
        // The clicks the driver had to make again, for the scenario's line.
        struct CountRepeats {
            const e2e::UpdaterSession& app;
            std::string& repeated;
            ~CountRepeats() {
                for (const std::string& what : app.repeatedClicks()) repeated += (repeated.empty() ? "" : "; ") + asciiOnly(what);
            }
        } countRepeats{app, repeatedClicks_};
        const e2e::StartupOutcome started = app.runStartup(kStartupTimeoutMs);
        ASSERT_TRUE(started.dialogOpen) << "the main dialog did not open; ended " << started.ended;
        const std::vector<e2e::MessageBoxInfo>& startup = started.boxes;
        ASSERT_EQ(1u, startup.size());
        EXPECT_EQ(kBothComponents, startup[0].text);

        std::vector<e2e::ListRow> rows;
        ASSERT_TRUE(app.readRows(rows));
        ASSERT_EQ(3u, rows.size());
        for (const e2e::ListRow& row : rows) ASSERT_EQ(1, row.image) << row.texts[0] << " is not ticked";

        ASSERT_TRUE(pressOnceTheCheckIsPast(app, installation, injected)) << "cannot press Actualizar or put the faults in: "
                                                                           << injected.error();
        for (;;) {
            e2e::MessageBoxInfo box;
            ASSERT_TRUE(app.waitForMessageBox(box, 30000)) << "no report after " << boxes.size() << " boxes";
            if (box.caption == kReportCaption) {
                report = box;
                report.icon = shownIcon(app, box, e2e::BoxIcon::information);
                // The bar still shows where the run stopped while the report is up.
                progress = app.progress();
                ASSERT_TRUE(app.answerMessageBox(box));
                break;
            }
            box.icon = shownIcon(app, box, e2e::BoxIcon::exclamation);
            boxes.push_back(box);
            ASSERT_LT(boxes.size(), 10u) << "too many boxes";
            ASSERT_TRUE(app.answerMessageBox(box));
        }
        ASSERT_TRUE(app.waitForExit(15000)) << "the updater did not end after its report";
    }
    if (scanner) {
        EXPECT_LT(0, scanner->filesHeld()) << "the scanner never took a file";
        scanner.reset();
    }
    // A file the update refused to write keeps the attribute that protected it.
    for (const Fault& fault : scenario.faults) {
        const std::string path = installation.pathOf(fault.component, fault.relative);
        if (fault.kind == FaultKind::readOnly) {
            EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY) << path << " lost its attribute";
        }
    }
    injected.release();
    const Tree after = readTree(root.path());

    // What the report says each component came to.
    EXPECT_EQ(expectedReport(expected), report.text);
    EXPECT_EQ(e2e::BoxIcon::information, report.icon) << e2e::toString(report.icon);
    EXPECT_EQ(expectedProgress(expected), progress.position);
    RunAccount account;
    for (const ComponentFacts& facts : kComponentFacts) {
        const std::string block = blockOf(report.text, facts.header);
        const std::string success = facts.success;
        const std::string successWithRemark = success.substr(0, success.size() - 1) + kRegistryRemark;
        account.updated[static_cast<int>(facts.kind)] = block == success || block == successWithRemark;
    }

    // The boxes before the report, each naming the one path expected of it.
    const std::vector<ExpectedBox> expectedBefore = expectedBoxes(scenario, installation);
    EXPECT_EQ(expectedBefore.size(), boxes.size()) << "message boxes before the report";
    for (size_t i = 0; i < boxes.size(); ++i) {
        const e2e::MessageBoxInfo& box = boxes[i];
        EXPECT_EQ(kAppTitle, box.caption);
        EXPECT_EQ(e2e::BoxIcon::exclamation, box.icon) << e2e::toString(box.icon);
        std::vector<std::string> paths;
        const char* header = nullptr;
        if (listedPaths(box.text, kRestoreHeader, paths)) {
            header = kRestoreHeader;
            for (const std::string& p : paths) account.restoreListed.push_back(p);
        } else if (listedPaths(box.text, kCleanupHeader, paths)) {
            header = kCleanupHeader;
            for (const std::string& p : paths) account.cleanupListed.push_back(p);
        } else {
            ADD_FAILURE() << "unexpected box: " << box.text;
            continue;
        }
        if (i >= expectedBefore.size()) {
            ADD_FAILURE() << "unexpected box: " << box.text;
            continue;
        }
        EXPECT_EQ(expectedBefore[i].header, std::string(header)) << box.text;
        EXPECT_EQ(1u, paths.size()) << box.text;
        EXPECT_EQ(pathKey(expectedBefore[i].path), pathKey(paths.front())) << box.text;
    }
    // The restore list names the path exactly as the updater joins it: the
    // registered folder, one separator, the relative path (whose own leading
    // separator makes a double one).
    if (scenario.exactListing) {
        const Fault& fault = scenario.faults.front();
        ASSERT_EQ(FaultKind::backupHeld, fault.kind);
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(std::string(kRestoreHeader) + installation.directory(fault.component) + "\\" + fault.relative +
                      "\n",
                  boxes.front().text);
    }

    // The registry: the new version only where the component was updated.
    for (const ComponentFacts& facts : kComponentFacts) {
        const char* key = componentInfo(facts.kind).registryKey;
        std::string version, dir, system;
        DWORD type = 0, dirType = 0, systemType = 0;
        EXPECT_TRUE(testing_support::readRegistryValue(key, "Versao", version, type)) << key;
        if (expected.outcome[static_cast<int>(facts.kind)] == Outcome::updated) {
            EXPECT_EQ(kNewVersion, version) << key;
            EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type) << key;
        } else {
            EXPECT_EQ(kOldVersion, version) << key;
            EXPECT_EQ(static_cast<DWORD>(REG_SZ), type) << key;
        }
        EXPECT_TRUE(testing_support::readRegistryValue(key, "InstallDir", dir, dirType)) << key;
        EXPECT_EQ(installation.directory(facts.kind), dir) << key;
        EXPECT_TRUE(testing_support::readRegistryValue(key, "SGBD", system, systemType)) << key;
        EXPECT_EQ("Isis-Access", system) << key;
    }

    // A brief hold that was let go too late, or never, proves nothing.
    int brief = 0;
    for (const Fault& fault : scenario.faults)
        brief += fault.kind == FaultKind::heldBriefly || fault.kind == FaultKind::backupHeldBriefly;
    EXPECT_EQ(brief, injected.briefHoldsLetGoInTime()) << "brief holds let go after the restore or clean-up began";

    // A file that was missing is there, with the new release, exactly when
    // its component was updated.
    for (const Fault& fault : scenario.faults) {
        if (fault.kind != FaultKind::missing) continue;
        const std::string path = installation.pathOf(fault.component, fault.relative);
        auto now = after.find(pathKey(path));
        if (account.updated[static_cast<int>(fault.component)]) {
            const InstalledFile* file = installation.find(path);
            ASSERT_NE(nullptr, file) << path;
            EXPECT_TRUE(now != after.end() && now->second.content == payload(file->payload))
                << path << " was not created with the new release";
        } else {
            EXPECT_TRUE(now == after.end()) << path << " was created by a failed update and left behind";
        }
    }

    // The files, judged by what the report says was updated.
    const Verdict verdict = judge(installation, before, after, account);
    lost_ = verdict.lostFiles.size();
    for (const std::string& lost : verdict.lostFiles) ADD_FAILURE() << "LOST " << lost;
    for (const std::string& problem : verdict.problems) ADD_FAILURE() << problem;
    for (const ComponentFacts& facts : kComponentFacts) {
        const int c = static_cast<int>(facts.kind);
        EXPECT_EQ(expected.outcome[c] == Outcome::updated, account.updated[c]) << facts.header << report.text;
    }
}

TEST_P(FaultSuite, NoFileIsLost) {
    const Scenario& scenario = GetParam();
    const ULONGLONG started = GetTickCount64();
    run(scenario);

    Tally& t = tally();
    ++t.scenarios;
    t.faults += static_cast<int>(scenario.faults.size());
    t.filesLost += static_cast<int>(lost_);
    if (HasFailure()) ++t.failedScenarios;
    std::string clicks = repeatedClicks_.empty() ? "" : ", click repeated on " + repeatedClicks_;
    std::printf("scenario %-72s %zu fault(s), %zu file(s) lost, %s (%.1f s%s)\n", scenario.name.c_str(),
                scenario.faults.size(), lost_, HasFailure() ? "FAILED" : "ok",
                static_cast<double>(GetTickCount64() - started) / 1000.0, clicks.c_str());
    std::fflush(stdout);
}

INSTANTIATE_TEST_SUITE_P(EveryStep, FaultSuite, testing::ValuesIn(allScenarios()),
                         [](const testing::TestParamInfo<Scenario>& info) { return testName(info.param); });

}  // namespace
}  // namespace faults

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    const faults::Tally& t = faults::tally();
    std::fflush(stdout);
    std::printf("fault suite: %d scenarios, %d faults injected, %d files lost\n", t.scenarios, t.faults,
                t.filesLost);
    std::fflush(stdout);
    return result != 0 || t.filesLost != 0 || t.failedScenarios != 0 ? 1 : 0;
}

// The updater's start-up as the user meets it: which messages appear, in which
// order and how they look, whether the dialog then stays or goes away by
// itself, and what the dialog lists.
#include "app/update_lock.h"
#include "framework/handles.h"
#include "resources/resource.h"
#include "tests/e2e/scenario.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace e2e_tests {
namespace {

using testing_support::createRegistryKey;
using testing_support::registerComponent;
using testing_support::setRegistryValue;

using Setup = std::function<void(const std::string& dir)>;

// ---------------------------------------------------------------------------
// Refusals: one message, then the updater ends without being touched.

struct Refusal {
    const char* name;
    Setup setup;
    std::string message;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

std::vector<Refusal> refusals() {
    return {
        {"AdministrationWithoutVersion",
         [](const std::string& dir) {
             setRegistryValue(kAdministrationKey, "InstallDir", dir);
             setRegistryValue(kAdministrationKey, "SGBD", "Isis-Access");
         },
         "Erro na leitura do registry: não foi possível obter o código da versão da componente de administração!"},
        {"AdministrationWithoutInstallDir",
         [](const std::string&) {
             setRegistryValue(kAdministrationKey, "Versao", "1.6.05");
             setRegistryValue(kAdministrationKey, "SGBD", "Isis-Access");
         },
         "Erro na leitura do registry: não foi possível obter o local de instalação da componente de "
         "administração!"},
        {"AdministrationWithoutDatabaseSystem",
         [](const std::string& dir) {
             setRegistryValue(kAdministrationKey, "Versao", "1.6.05");
             setRegistryValue(kAdministrationKey, "InstallDir", dir);
         },
         "Erro na leitura do registry: não foi possível obter o tipo de sistema da componente de administração!"},
        {"PublicWithoutVersionBeforeACompleteProfessional",
         [](const std::string& dir) {
             registerComponent(kProfessionalKey, "1.6.05", dir, "Isis-Access");
             setRegistryValue(kPublicKey, "InstallDir", dir);
             setRegistryValue(kPublicKey, "SGBD", "Isis-Access");
         },
         "Erro na leitura do registry: não foi possível obter o código da versão da componente pública!"},
        {"PublicWithoutInstallDir",
         [](const std::string&) {
             setRegistryValue(kPublicKey, "Versao", "1.6.05");
             setRegistryValue(kPublicKey, "SGDB", "Isis-Access");
         },
         "Erro na leitura do registry: não foi possível obter o local de instalação da componente pública!"},
        {"PublicWithoutDatabaseSystem",
         [](const std::string& dir) {
             setRegistryValue(kPublicKey, "Versao", "1.6.05");
             setRegistryValue(kPublicKey, "InstallDir", dir);
         },
         "Erro na leitura do registry: não foi possível obter o tipo de sistema da componente pública!"},
        {"ProductKeyWithoutAnyVersion", [](const std::string&) { createRegistryKey(kProfessionalKey); },
         "Erro na leitura do registry: não foi possível obter o código da versão!"},
        {"ProfessionalWithoutInstallDir",
         [](const std::string&) {
             setRegistryValue(kProfessionalKey, "Versao", "1.6.05");
             setRegistryValue(kProfessionalKey, "SGBD", "Isis-Access");
         },
         "Erro na leitura do registry: não foi possível obter o local de instalação!"},
        {"ProfessionalWithoutDatabaseSystem",
         [](const std::string& dir) {
             setRegistryValue(kProfessionalKey, "Versao", "1.6.05");
             setRegistryValue(kProfessionalKey, "InstallDir", dir);
         },
         "Erro na leitura do registry: não foi possível obter o tipo de sistema!"},
        {"ProfessionalAndAdministrationDisagree",
         [](const std::string& dir) {
             registerComponent(kProfessionalKey, "1.6.05", dir, "Isis-Access");
             registerComponent(kAdministrationKey, "1.6.05", dir, "isis-access");
         },
         "Erro: A componente profissional está a funcionar sobre o sistema de base de dados Isis-Access e a "
         "componente de administração sobre o sistema isis-access!\n\nEsta é uma situação anómala e aconselhamos o "
         "contacto com o serviço de helpdesk do VELTRIS5 de modo a resolver a situação."},
        {"PublicAndAdministrationDisagreeBeforeTheDatabaseSystemIsJudged",
         [](const std::string& dir) {
             registerComponent(kPublicKey, "1.6.05", dir, "SQL-Server");
             registerComponent(kAdministrationKey, "1.6.05", dir, "Isis_Access");
         },
         "Erro: A componente pública está a funcionar sobre o sistema de base de dados SQL-Server e a componente "
         "de administração sobre o sistema Isis_Access!\n\nEsta é uma situação anómala e aconselhamos o contacto "
         "com o serviço de helpdesk do VELTRIS5 de modo a resolver a situação."},
        {"ProfessionalOnAnotherDatabaseSystem",
         [](const std::string& dir) { registerComponent(kProfessionalKey, "1.6.05", dir, "SQL-Server"); },
         refusalText("SQL-Server")},
        {"PublicWithAnEmptyDatabaseSystem",
         [](const std::string& dir) { registerComponent(kPublicKey, "1.6.07", dir, ""); }, refusalText("")},
        {"AdministrationOnAnUnacceptedSpelling",
         [](const std::string& dir) { registerComponent(kAdministrationKey, "1.6.08", dir, "Isis Access"); },
         refusalText("Isis Access")},
    };
}

class StartupRefusal : public UpdaterScenario, public testing::WithParamInterface<Refusal> {};

TEST_P(StartupRefusal, ShowsOneMessageThenEndsWithoutInput) {
    GetParam().setup(installDir("inst"));
    const auto registryBefore = productRegistry();

    std::string welcomeWhileShown;
    e2e::StartupOutcome outcome = start().runStartup(e2e::kDefaultTimeoutMs, [&](const e2e::MessageBoxInfo&) {
        welcomeWhileShown = app().controlText(IDC_WELCOME);
    });

    ASSERT_FALSE(outcome.timedOut);
    ASSERT_EQ(1u, outcome.boxes.size()) << testing::PrintToString(outcome.boxes);
    EXPECT_EQ(GetParam().message, outcome.boxes[0].text);
    expectApplicationBox(outcome.boxes[0]);
    // The refusal comes before the welcome text is set.
    EXPECT_EQ(kTemplateWelcome, welcomeWhileShown);
    expectEndsByItself();
    EXPECT_EQ(registryBefore, productRegistry());
}

INSTANTIATE_TEST_SUITE_P(E2e, StartupRefusal, testing::ValuesIn(refusals()),
                         [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST_F(UpdaterScenario, RefusalLeavesTheRowsOfEarlierComponentsUntilTheDialogCloses) {
    registerComponent(kProfessionalKey, "1.6.05", installDir("prof"), "Isis-Access");
    registerComponent(kPublicKey, "1.6.05", installDir("pub"), "Isis Access");

    std::vector<e2e::ListRow> rowsWhileShown;
    bool read = false;
    e2e::StartupOutcome outcome = start().runStartup(e2e::kDefaultTimeoutMs, [&](const e2e::MessageBoxInfo&) {
        read = app().readRows(rowsWhileShown);
    });

    ASSERT_EQ(1u, outcome.boxes.size()) << testing::PrintToString(outcome.boxes);
    EXPECT_EQ(refusalText("Isis Access"), outcome.boxes[0].text);
    ASSERT_TRUE(read);
    EXPECT_EQ(std::vector<std::string>{kProfessionalLabel}, labelsOf(rowsWhileShown));
    expectEndsByItself();
}

// ---------------------------------------------------------------------------
// One update at a time on a machine.

const char kAlreadyOpen[] =
    "Já está aberta neste computador uma actualização do VELTRIS5.\n\n"
    "Conclua ou feche essa actualização antes de iniciar outra.";

// While another copy holds the lock, this one says so in one box and ends
// before reading anything: a record the start-up checks would refuse with
// their own message is never reported, and nothing is written.
TEST_F(UpdaterScenario, SecondCopySaysAnUpdateIsOpenAndEndsWithoutReading) {
    createRegistryKey(kProfessionalKey);
    const auto registryBefore = productRegistry();
    fw::KernelHandle held(CreateMutexA(nullptr, TRUE, kUpdateLockName));
    ASSERT_TRUE(held.valid());

    e2e::StartupOutcome outcome = start().runStartup();

    ASSERT_FALSE(outcome.timedOut);
    ASSERT_EQ(1u, outcome.boxes.size()) << testing::PrintToString(outcome.boxes);
    EXPECT_EQ(kAlreadyOpen, outcome.boxes[0].text);
    expectApplicationBox(outcome.boxes[0]);
    EXPECT_FALSE(outcome.dialogOpen);
    expectEndsByItself();
    EXPECT_EQ(registryBefore, productRegistry());
    ReleaseMutex(held.get());
}

// Two real copies: the first keeps the lock while its dialog waits for the
// user, so a second started beside it is refused and ends by itself, and the
// first then updates as if the second had never been started.
TEST_F(UpdaterScenario, SecondCopyBesideAnOpenOneIsRefusedAndTheFirstStillUpdates) {
    registerComponent(kProfessionalKey, "1.6.05", installDir("prof"), "Isis-Access");
    e2e::UpdaterSession first;
    ASSERT_TRUE(first.runStartup().dialogOpen) << first.error();

    e2e::StartupOutcome outcome = start().runStartup();
    ASSERT_EQ(1u, outcome.boxes.size()) << testing::PrintToString(outcome.boxes);
    EXPECT_EQ(kAlreadyOpen, outcome.boxes[0].text);
    EXPECT_FALSE(outcome.dialogOpen);
    expectEndsByItself();

    ASSERT_TRUE(first.pressActualizar()) << "the run did not begin";
    e2e::UpdateRunOutcome run = first.awaitReport(60000);
    ASSERT_TRUE(run.reportShown) << "ended " << run.ended << ", timed out " << run.timedOut;
    EXPECT_EQ("Componente Profissional:\nActualização à componente profissional executada com sucesso.",
              run.report.text);
    EXPECT_TRUE(first.waitForExit());
    EXPECT_EQ("1.6.08 (type 2)", productRegistry()[std::string(kProfessionalKey) + "\\Versao"]);  // REG_EXPAND_SZ
}

// A copy that was ended while it held the lock left it abandoned: free.
TEST_F(UpdaterScenario, LockLeftByAnEndedCopyIsFree) {
    registerComponent(kProfessionalKey, "1.6.05", installDir("prof"), "Isis-Access");
    fw::KernelHandle kept(CreateMutexA(nullptr, FALSE, kUpdateLockName));
    ASSERT_TRUE(kept.valid());
    std::thread([&] { WaitForSingleObject(kept.get(), 0); }).join();

    e2e::StartupOutcome outcome = start().runStartup();

    ASSERT_FALSE(outcome.timedOut);
    EXPECT_TRUE(outcome.boxes.empty()) << testing::PrintToString(outcome.boxes);
    EXPECT_TRUE(outcome.dialogOpen);
    expectStillRunning();
}

// ---------------------------------------------------------------------------
// Warnings: each box must be answered, then the dialog stays open.

struct Installation {
    const char* professional;  // versions; null: not installed
    const char* publicVersion;
    const char* administration;
};

struct Warnings {
    const char* name;
    Installation installed;
    std::vector<std::string> messages;  // in order
    std::vector<std::string> rows;      // labels, in order
    bool actualizarEnabled;
};

void PrintTo(const Warnings& w, std::ostream* os) { *os << w.name; }

std::vector<Warnings> warnings() {
    return {
        {"ProfessionalOldAlone",
         {"1.5.10", nullptr, nullptr},
         {oldVersionText(Who::professional, "1.5.10")},
         {},
         false},
        {"ProfessionalBeforeAdministration",
         {"1.5.10", "1.6.02", "1.5.03"},
         {oldVersionText(Who::professional, "1.5.10"), oldVersionText(Who::administration, "1.5.03")},
         {kPublicLabel},
         true},
        {"AdministrationBeforePublic",
         {"1.6.07", "1.5.02", "1.5.03"},
         {oldVersionText(Who::administration, "1.5.03"), oldVersionText(Who::publicComponent, "1.5.02")},
         {kProfessionalLabel},
         true},
        {"OldVersionsBeforeBothComponents",
         {"1.5.10", "1.5.02", "1.6.07"},
         {oldVersionText(Who::professional, "1.5.10"), oldVersionText(Who::publicComponent, "1.5.02"),
          kBothComponents},
         {kAdministrationLabel},
         true},
        // No old-version message when all three are old; the two components
        // of the same series are still reported.
        {"AllThreeOld", {"1.5.10", "1.5.10", "1.5.10"}, {kBothComponents}, {}, false},
        {"BothComponentsListed",
         {"1.6.07", "1.6.02", nullptr},
         {kBothComponents},
         {kProfessionalLabel, kPublicLabel},
         true},
        {"PublicOldBesideProfessional",
         {"1.6.07", "1.5.02", nullptr},
         {oldVersionText(Who::publicComponent, "1.5.02")},
         {kProfessionalLabel},
         true},
        // Three characters are enough to be old.
        {"ProfessionalOfThreeCharactersOld", {"1.5", nullptr, nullptr}, {oldVersionText(Who::professional, "1.5")}, {}, false},
        // Versions shorter than three characters count as empty there, so
        // "1" and "2" are of the same series.
        {"BothComponentsWithShortVersions", {"1", "2", nullptr}, {kBothComponents}, {}, false},
    };
}

class StartupWarnings : public UpdaterScenario, public testing::WithParamInterface<Warnings> {};

TEST_P(StartupWarnings, AppearInOrderThenTheDialogWaits) {
    const Installation& inst = GetParam().installed;
    if (inst.professional) registerComponent(kProfessionalKey, inst.professional, installDir("prof"), "Isis-Access");
    if (inst.publicVersion) registerComponent(kPublicKey, inst.publicVersion, installDir("pub"), "Isis-Access");
    if (inst.administration)
        registerComponent(kAdministrationKey, inst.administration, installDir("adm"), "Isis-Access");

    std::vector<std::string> welcomeWhileShown;
    std::vector<int> rowsWhileShown;
    e2e::StartupOutcome outcome = start().runStartup(e2e::kDefaultTimeoutMs, [&](const e2e::MessageBoxInfo&) {
        welcomeWhileShown.push_back(app().controlText(IDC_WELCOME));
        rowsWhileShown.push_back(app().rowCount());
    });

    ASSERT_TRUE(outcome.dialogOpen) << "ended " << outcome.ended << ", timed out " << outcome.timedOut;
    EXPECT_EQ(GetParam().messages, textsOf(outcome.boxes));
    for (const auto& box : outcome.boxes) expectApplicationBox(box);
    // The warnings come after the list and the welcome text are in place.
    for (size_t i = 0; i < welcomeWhileShown.size(); ++i) {
        EXPECT_EQ(kWelcome, welcomeWhileShown[i]) << "box " << i;
        EXPECT_EQ(static_cast<int>(GetParam().rows.size()), rowsWhileShown[i]) << "box " << i;
    }

    std::vector<e2e::ListRow> rows;
    ASSERT_TRUE(app().readRows(rows));
    EXPECT_EQ(GetParam().rows, labelsOf(rows));
    EXPECT_EQ(GetParam().actualizarEnabled, app().controlEnabled(IDOK));
    EXPECT_EQ(kWelcome, app().controlText(IDC_WELCOME));
    expectStillRunning();
}

INSTANTIATE_TEST_SUITE_P(E2e, StartupWarnings, testing::ValuesIn(warnings()),
                         [](const testing::TestParamInfo<Warnings>& info) { return std::string(info.param.name); });

// The caption of every application message box is the running executable's
// own base name, whatever the file is called.
TEST_F(UpdaterScenario, RenamedCopyShowsItsOwnNameAsTitle) {
    registerComponent(kProfessionalKey, "1.5.10", installDir("prof"), "Isis-Access");
    const std::string copy = scratchRoot() + "\\Actualizacao V5.exe";
    ASSERT_TRUE(CopyFileA(e2e::updaterPath().c_str(), copy.c_str(), FALSE)) << "error " << GetLastError();
    e2e::StartupOutcome outcome = start(copy).runStartup();
    ASSERT_TRUE(outcome.dialogOpen) << "ended " << outcome.ended << ", timed out " << outcome.timedOut;
    ASSERT_EQ(1u, outcome.boxes.size()) << testing::PrintToString(outcome.boxes);
    EXPECT_EQ(oldVersionText(Who::professional, "1.5.10"), outcome.boxes[0].text);
    EXPECT_EQ("Actualizacao V5", outcome.boxes[0].caption);
}

// ---------------------------------------------------------------------------
// What the dialog lists when it opens.

class StartupList : public UpdaterScenario {
protected:
    std::vector<e2e::ListRow> openAndReadRows() {
        e2e::StartupOutcome outcome = startToDialog();
        boxes = textsOf(outcome.boxes);
        std::vector<e2e::ListRow> rows;
        EXPECT_TRUE(app().readRows(rows));
        return rows;
    }
    std::vector<std::string> boxes;
};

TEST_F(StartupList, NothingInstalledLeavesOnlySair) {
    auto rows = openAndReadRows();
    EXPECT_TRUE(boxes.empty()) << testing::PrintToString(boxes);
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(kWelcome, app().controlText(IDC_WELCOME));
    EXPECT_FALSE(app().controlEnabled(IDOK));
    EXPECT_TRUE(app().controlEnabled(IDCANCEL));
    EXPECT_EQ("Actualizar", app().controlText(IDOK));
    EXPECT_EQ("Sair", app().controlText(IDCANCEL));
    e2e::ProgressState bar = app().progress();
    EXPECT_FALSE(bar.visible);
    EXPECT_EQ(0, bar.position);
    expectStillRunning();
}

TEST_F(StartupList, OlderComponentIsListedTicked) {
    const std::string dir = installDir("Veltris5");
    registerComponent(kProfessionalKey, "1.6.05", dir, "Isis_Access");
    auto rows = openAndReadRows();
    EXPECT_TRUE(boxes.empty()) << testing::PrintToString(boxes);
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ(kProfessionalLabel, rows[0].texts[0]);
    EXPECT_EQ("1.6.05", rows[0].texts[1]);
    EXPECT_EQ(dir, rows[0].texts[2]);
    EXPECT_EQ(1, rows[0].image);
    EXPECT_EQ(0, rows[0].data);
    EXPECT_TRUE(app().controlEnabled(IDOK));
    EXPECT_FALSE(app().progress().visible);
}

TEST_F(StartupList, ComponentAtTheTargetVersionIsListedUnticked) {
    const std::string dir = installDir("Veltris5") + "\\";
    registerComponent(kProfessionalKey, "1.6.08", dir, "Isis-Access");
    auto rows = openAndReadRows();
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ("1.6.08", rows[0].texts[1]);
    // The directory is shown exactly as stored, trailing backslash included.
    EXPECT_EQ(dir, rows[0].texts[2]);
    EXPECT_EQ(0, rows[0].image);
    EXPECT_FALSE(app().controlEnabled(IDOK));
}

TEST_F(StartupList, RowsGoProfessionalPublicAdministrationAndVersionsCompareAsText) {
    registerComponent(kAdministrationKey, "1.6.1", installDir("adm"), "Isis-Access");
    registerComponent(kPublicKey, "1.6.08", installDir("pub"), "IsisAccess");
    registerComponent(kProfessionalKey, "1.6.05", installDir("prof"), "Isis_Access");
    auto rows = openAndReadRows();
    EXPECT_EQ(std::vector<std::string>{kBothComponents}, boxes);
    ASSERT_EQ(3u, rows.size());
    EXPECT_EQ((std::vector<std::string>{kProfessionalLabel, kPublicLabel, kAdministrationLabel}), labelsOf(rows));
    // "1.6.1" is above "1.6.08": compared byte by byte, not as numbers.
    EXPECT_EQ((std::vector<int>{1, 0, 0}), (std::vector<int>{rows[0].image, rows[1].image, rows[2].image}));
    EXPECT_EQ((std::vector<LPARAM>{0, 1, 2}), (std::vector<LPARAM>{rows[0].data, rows[1].data, rows[2].data}));
    EXPECT_EQ((std::vector<std::string>{"1.6.05", "1.6.08", "1.6.1"}),
              (std::vector<std::string>{rows[0].texts[1], rows[1].texts[1], rows[2].texts[1]}));
    EXPECT_TRUE(app().controlEnabled(IDOK));
}

TEST_F(StartupList, AdministrationFollowsProfessionalWhenTheirSpellingsAgree) {
    registerComponent(kProfessionalKey, "1.6.07", installDir("prof"), "IsisAccess");
    registerComponent(kAdministrationKey, "1.6.07", installDir("adm"), "Isis-Access");
    auto rows = openAndReadRows();
    EXPECT_TRUE(boxes.empty()) << testing::PrintToString(boxes);
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ(kAdministrationLabel, rows[1].texts[0]);
    EXPECT_EQ(2, rows[1].data);
    EXPECT_EQ(1, rows[1].image);
}

TEST_F(StartupList, VersionsOutsideTheSeriesAreNeitherListedNorReported) {
    registerComponent(kProfessionalKey, "1.6", installDir("prof"), "Isis-Access");
    registerComponent(kPublicKey, "2.0", installDir("pub"), "Isis-Access");
    registerComponent(kAdministrationKey, "1.60", installDir("adm"), "Isis-Access");
    auto rows = openAndReadRows();
    EXPECT_TRUE(boxes.empty()) << testing::PrintToString(boxes);
    EXPECT_TRUE(rows.empty());
    EXPECT_FALSE(app().controlEnabled(IDOK));
}

// The texts reach the screen as Windows-1252 bytes, whatever the registry
// holds is shown byte for byte.
TEST_F(StartupList, TextsArriveAsWindows1252Bytes) {
    const std::string dir = installDir("Administra\xE7\xE3o \xC7");
    registerComponent(kAdministrationKey, "1.6.05", dir, "Isis-Access");
    auto rows = openAndReadRows();
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ("M\xF3" "dulo de Administra\xE7\xE3o", rows[0].texts[0]);
    EXPECT_EQ(dir, rows[0].texts[2]);
    EXPECT_EQ("Bem vindo \xE0 actualiza\xE7\xE3o do VELTRIS 5 vers\xE3o 1.6.08", app().controlText(IDC_WELCOME));
}

}  // namespace
}  // namespace e2e_tests

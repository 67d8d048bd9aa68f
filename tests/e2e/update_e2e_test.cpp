// Whole updates on the real executable, as a user makes them: an installation
// of the product at 1.6.05 in fresh folders, the updater started on it, rows
// left ticked or unticked with the mouse, "Actualizar" clicked, the report
// read while the progress bar still stands where the run left it, and then
// every file below the installation and every value of the product's keys
// compared with what the update must leave behind.
#include "framework/handles.h"
#include "payload/catalogue.h"
#include "resources/resource.h"
#include "survey/components.h"
#include "tests/e2e/scenario.h"
#include "tools/demo/installation_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace e2e_tests {
namespace {

using testing_support::findFiles;
using testing_support::payloadContent;
using testing_support::readFile;
using testing_support::registerComponent;
using testing_support::writeFile;

// Indexed by the ComponentKind number: professional, public, administration.
constexpr int kKinds = 3;
using PerComponent = std::array<bool, kKinds>;
constexpr int kProfessional = 0;
constexpr int kPublic = 1;
constexpr int kAdministration = 2;

const char kOldVersion[] = "1.6.05";
const char kReportCaption[] = "Relatório";

const char* const kKeys[kKinds] = {kProfessionalKey, kPublicKey, kAdministrationKey};
const char* const kLabels[kKinds] = {kProfessionalLabel, kPublicLabel, kAdministrationLabel};
// Each component on another accepted spelling: the components keep theirs,
// the administration module's is rewritten as "Isis-Access".
const char* const kDatabaseSystems[kKinds] = {"Isis-Access", "IsisAccess", "Isis_Access"};

// What the run puts in its report for a component that was updated, and the
// component's share of the progress range.
struct ReportBlock {
    const char* header;
    const char* success;
    int progressShare;
};
const ReportBlock kBlocks[kKinds] = {
    {"Componente Profissional:\n", "Actualização à componente profissional executada com sucesso.", 120},
    {"Componente Pública:\n", "Actualização à componente pública executada com sucesso.", 50},
    {"Modulo de Administração:\n", "Actualização ao Módulo de Administração executada com sucesso.", 40},
};

// The display-format configuration files and the copies an update makes of
// them in the professional and public folders.
struct ConfigCopy {
    const char* source;
    const char* copy;
};
const ConfigCopy kConfigCopies[] = {
    {"\\confvis.txt", "\\FormatosVisualizacao.cfg"},
    {"\\confvisaut.txt", "\\FormatosVisualizacaoAut.cfg"},
};

// Files of an installation that no update writes: a display format that is
// backed up but not in the release, and files of the user's own.
std::vector<std::string> filesOutsideTheRelease(int kind) {
    switch (kind) {
    case kProfessional:
        return {"\\pft\\cat\\resumo\\isbd.pft", "\\Bases\\clean_db\\velt5.mst", "\\confvis.txt", "\\confvisaut.txt"};
    case kPublic:
        return {"\\pft\\pac\\meu_formato.pft", "\\confvis.txt", "\\confvisaut.txt"};
    default:
        return {"gestiro.ini"};
    }
}

// A path as the file system resolves it: letter case and doubled separators
// do not matter.
std::string pathKey(const std::string& path) {
    std::string key;
    for (char c : path) {
        if (c == '\\' && !key.empty() && key.back() == '\\') continue;
        key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

// dir + "\" + relative; a relative path's own leading separator is not doubled.
std::string joinPath(const std::string& dir, const std::string& relative) {
    return dir + (relative[0] == '\\' ? relative : "\\" + relative);
}

const std::string& payload(PayloadId id) {
    static std::map<PayloadId, std::string> inflated;
    auto found = inflated.find(id);
    if (found == inflated.end()) found = inflated.emplace(id, payloadContent(id)).first;
    return found->second;
}

struct ExpectedFile {
    std::string path;
    std::string content;
    std::string what;  // how a failure names the expected content
};
using ExpectedTree = std::map<std::string, ExpectedFile>;  // by pathKey

// An installation of some of the components at 1.6.05, laid out as the demo
// installation is (one folder per component below a root, every file the
// component's install steps write present with old content of its own) and
// registered under HKEY_LOCAL_MACHINE.
class ProductInstallation {
public:
    struct KeptFile {
        int kind;
        const char* relative;
    };

    ProductInstallation(const std::string& root, const PerComponent& installed, const std::vector<KeptFile>& extra)
        : root_(root) {
        for (const ComponentLayout& layout : installationLayout()) {
            const int kind = static_cast<int>(layout.kind);
            dirs_[kind] = root + "\\" + layout.folder;
            if (!installed[kind]) continue;
            for (InstallStep step : layout.steps)
                for (const CatalogueEntry& entry : entriesOf(step)) add(kind, entry.target, entry.id);
            for (const std::string& relative : filesOutsideTheRelease(kind)) add(kind, relative, 0);
            for (const KeptFile& kept : extra)
                if (kept.kind == kind) add(kind, kept.relative, 0);
            registerComponent(kKeys[kind], kOldVersion, registeredDir(kind), kDatabaseSystems[kind]);
        }
    }

    const std::string& root() const { return root_; }

    // The public component is registered with a trailing separator, the
    // others without: the run must make both forms work.
    std::string registeredDir(int kind) const { return kind == kPublic ? dirs_[kind] + "\\" : dirs_[kind]; }

    // What every file below the root must hold once the components marked
    // in `updated` were updated: the release where the update writes, the
    // old content everywhere else, and the configuration copies.
    ExpectedTree expectedAfter(const PerComponent& updated) const {
        ExpectedTree tree;
        for (const File& f : files_) {
            const bool replaced = f.payload != 0 && updated[f.kind];
            tree[pathKey(f.path)] = ExpectedFile{f.path, replaced ? payload(f.payload) : f.oldContent,
                                                 replaced ? "payload " + std::to_string(f.payload) : "old content"};
        }
        for (int kind : {kProfessional, kPublic}) {
            if (!updated[kind]) continue;
            for (const ConfigCopy& c : kConfigCopies) {
                const std::string copy = joinPath(dirs_[kind], c.copy);
                const std::string key = pathKey(copy);
                // One that was there already keeps its own content.
                if (tree.count(key)) continue;
                tree[key] = ExpectedFile{copy, tree.at(pathKey(joinPath(dirs_[kind], c.source))).content,
                                         std::string("copy of ") + c.source};
            }
        }
        return tree;
    }

private:
    struct File {
        int kind;
        std::string path;
        std::string oldContent;
        PayloadId payload;  // 0: no update writes this file
    };

    void add(int kind, const std::string& relative, PayloadId id) {
        const std::string path = joinPath(dirs_[kind], relative);
        // Distinct in every folder and file, so a file written with another
        // one's content is told apart.
        const std::string content = std::string("VELTRIS 5 ") + kOldVersion + " " + kLabels[kind] + " " + relative + "\r\n";
        writeFile(path, content);
        files_.push_back(File{kind, path, content, id});
    }

    std::string root_;
    std::string dirs_[kKinds];
    std::vector<File> files_;
};

std::string describe(const std::string& content, const ExpectedTree::value_type& expected) {
    if (content == expected.second.content) return expected.second.what;
    if (content.size() < 200 && content.find('\0') == std::string::npos) return "\"" + content + "\"";
    return std::to_string(content.size()) + " bytes of something else";
}

// Exactly the expected files below the root, each with its expected content.
void expectTree(const std::string& root, const ExpectedTree& expected) {
    std::map<std::string, std::string> found;
    for (const std::string& path : findFiles(root, "")) found[pathKey(path)] = path;
    for (const auto& f : found)
        EXPECT_TRUE(expected.count(f.first)) << "a file the update should not have made: " << f.second;
    for (const auto& e : expected) {
        std::string content;
        if (!found.count(e.first) || !readFile(e.second.path, content)) {
            ADD_FAILURE() << "missing: " << e.second.path << " (expected " << e.second.what << ")";
            continue;
        }
        EXPECT_TRUE(content == e.second.content)
            << e.second.path << " holds " << describe(content, e) << ", expected " << e.second.what;
    }
}

// The product's registry values as they must be after the update of the
// components marked in `updated`: the new version, written as
// REG_EXPAND_SZ, and the administration module's database system in its
// canonical form; every other value as it was.
std::map<std::string, std::string> registryAfter(std::map<std::string, std::string> before,
                                                 const PerComponent& updated) {
    const std::string expandSz = " (type " + std::to_string(REG_EXPAND_SZ) + ")";
    for (int kind = 0; kind < kKinds; ++kind) {
        if (!updated[kind]) continue;
        before[std::string(kKeys[kind]) + "\\Versao"] = std::string(kTargetVersion) + expandSz;
        if (kind == kAdministration) before[std::string(kKeys[kind]) + "\\SGBD"] = "Isis-Access" + expandSz;
    }
    return before;
}

std::string expectedReport(const PerComponent& updated) {
    std::string report;
    for (int kind = 0; kind < kKinds; ++kind) {
        if (!updated[kind]) continue;
        if (!report.empty()) report += "\n\n";
        report += kBlocks[kind].header;
        report += kBlocks[kind].success;
    }
    return report;
}

int progressRange(const PerComponent& updated) {
    int range = 0;
    for (int kind = 0; kind < kKinds; ++kind)
        if (updated[kind]) range += kBlocks[kind].progressShare;
    return range;
}

// Wine's own settings for the updater, removed when the object goes.
struct WineSettingsForTheUpdater {
    static constexpr const char* kKey = "Software\\Wine\\AppDefaults\\Patch_Veltris5v13.exe";
    ~WineSettingsForTheUpdater() { RegDeleteTreeA(HKEY_CURRENT_USER, kKey); }
};

// ---------------------------------------------------------------------------

class WholeUpdate : public UpdaterScenario {
protected:
    struct Hooks {
        std::function<void()> beforePress;                      // the dialog ready, rows as they will be updated
        std::function<void(const e2e::MessageBoxInfo&)> report;  // while the report is open
    };

    // Starts the updater on the installation, unticks the rows of the
    // components in `unticked` with the mouse, presses "Actualizar", reads
    // and answers the report, and checks everything the update left behind.
    void updateAndCheck(const ProductInstallation& installation, const PerComponent& installed,
                        const PerComponent& unticked, const Hooks& hooks = {}) {
        PerComponent updated{};
        for (int kind = 0; kind < kKinds; ++kind) updated[kind] = installed[kind] && !unticked[kind];
        const auto registryBefore = productRegistry();

        // Start-up: the warning about both components is the only message.
        e2e::StartupOutcome startup = startToDialog(exePath_);
        ASSERT_TRUE(startup.dialogOpen);
        const std::vector<std::string> warnings =
            installed[kProfessional] && installed[kPublic] ? std::vector<std::string>{kBothComponents}
                                                           : std::vector<std::string>{};
        EXPECT_EQ(warnings, textsOf(startup.boxes));
        for (const auto& box : startup.boxes) expectApplicationBox(box);

        // Every installed component listed and ticked, in the order
        // professional, public, administration.
        std::vector<e2e::ListRow> rows;
        ASSERT_TRUE(app().readRows(rows));
        std::vector<int> rowOf(kKinds, -1);
        std::vector<e2e::ListRow> expectedRows;
        for (int kind = 0; kind < kKinds; ++kind) {
            if (!installed[kind]) continue;
            rowOf[kind] = static_cast<int>(expectedRows.size());
            e2e::ListRow row;
            row.texts[0] = kLabels[kind];
            row.texts[1] = kOldVersion;
            row.texts[2] = installation.registeredDir(kind);
            row.image = 1;
            row.data = kind;
            expectedRows.push_back(row);
        }
        ASSERT_EQ(expectedRows.size(), rows.size()) << testing::PrintToString(rows);
        for (size_t i = 0; i < rows.size(); ++i) {
            for (int c = 0; c < 3; ++c) EXPECT_EQ(expectedRows[i].texts[c], rows[i].texts[c]) << "row " << i;
            EXPECT_EQ(1, rows[i].image) << "row " << i << " is not ticked";
            EXPECT_EQ(expectedRows[i].data, rows[i].data) << "row " << i;
        }

        for (int kind = 0; kind < kKinds; ++kind)
            if (unticked[kind]) untick(rowOf[kind]);
        if (HasFatalFailure()) return;
        ASSERT_TRUE(app().controlEnabled(IDOK));
        // The bar appears only with the run.
        EXPECT_FALSE(app().progress().visible);
        if (hooks.beforePress) hooks.beforePress();

        const HWND main = app().mainWindow();
        ASSERT_TRUE(app().pressActualizar()) << "the run did not begin";
        e2e::UpdateRunOutcome run = app().awaitReport(60000, hooks.report);
        EXPECT_TRUE(run.boxesBeforeReport.empty()) << testing::PrintToString(run.boxesBeforeReport);
        ASSERT_TRUE(run.reportShown) << "ended " << run.ended << ", timed out " << run.timedOut;

        // One report, owned by the main dialog, which takes no input under it.
        EXPECT_EQ(kReportCaption, run.report.caption);
        EXPECT_EQ(e2e::BoxIcon::information, run.report.icon) << e2e::toString(run.report.icon);
        EXPECT_EQ(expectedReport(updated), run.report.text);
        ASSERT_EQ(1u, run.report.buttons.size()) << testing::PrintToString(run.report);
        EXPECT_EQ(IDOK, run.report.buttons[0].id);
        EXPECT_EQ(main, run.reportOwner);
        EXPECT_FALSE(run.mainEnabledAtReport);

        // Every advance made: the bar stands at the end of its range.
        const int range = progressRange(updated);
        EXPECT_TRUE(run.progressAtReport.visible);
        EXPECT_EQ(0, run.progressAtReport.low);
        EXPECT_EQ(range, run.progressAtReport.high);
        EXPECT_EQ(range, run.progressAtReport.position);

        ASSERT_TRUE(run.reportAnswered);
        expectEndsByItself();

        expectTree(installation.root(), installation.expectedAfter(updated));
        EXPECT_EQ(std::vector<std::string>{}, findFiles(installation.root(), "_back"));
        EXPECT_EQ(registryAfter(registryBefore, updated), productRegistry());
    }

    // Unticks a row with a real click; a click that changed nothing (lost on
    // the way under Wine) is made again.
    void untick(int row) {
        ASSERT_GE(row, 0);
        for (int attempt = 0; attempt < 3; ++attempt) {
            ASSERT_TRUE(app().clickRow(row)) << "row " << row;
            if (e2e::UpdaterSession::waitUntil([&] { return imageOf(row) == 0; }, 2000)) return;
        }
        FAIL() << "row " << row << " stays ticked: image " << imageOf(row);
    }

    int imageOf(int row) {
        e2e::ListRow read;
        return app().readRow(row, read) ? read.image : -1;
    }

    // The updater as a new user meets it: saved to a download folder that
    // also holds, under the names of libraries it loads, one whose only act
    // is to leave a mark beside itself (not imm32, version, zlib1, msimg32:
    // Wine's own libraries load those as no search a program sets governs,
    // which Windows does not). Returns the folder.
    std::string besidePlantedLibraries() {
        const std::string folder = installDir("Transferencias");
        exePath_ = folder + "\\Patch_Veltris5v13.exe";
        EXPECT_TRUE(CopyFileA(e2e::updaterPath().c_str(), exePath_.c_str(), FALSE));
        // Wine told to prefer them on disk, as Windows does: WINEDLLOVERRIDES
        // in its registry, since Wine hands that variable to no program that
        // another one starts.
        wineSettings_.reset(new WineSettingsForTheUpdater);
        fw::RegKey overrides;
        RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(WineSettingsForTheUpdater::kKey) + "\\DllOverrides").c_str(),
                        0, nullptr, 0, KEY_SET_VALUE, nullptr, overrides.receive(), nullptr);
        const std::string library = e2e::windowsPath(PATCH_PLANTED_LIBRARY);
        for (const std::string name : {"comctl32", "uxtheme"}) {
            EXPECT_TRUE(CopyFileA(library.c_str(), (folder + "\\" + name + ".dll").c_str(), FALSE));
            RegSetValueExA(overrides.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>("n,b"), 4);
        }
        return folder;
    }

    // A press that finds something in the way: one box, beginning with
    // `expected` and ending with what to do, and the dialog as it was (ticks,
    // "Actualizar"), with nothing written anywhere.
    void expectRefused(const ProductInstallation& installation, const std::string& expected, const char* shot) {
        const auto registryBefore = productRegistry();
        std::vector<e2e::ListRow> rowsBefore, rowsAfter;
        ASSERT_TRUE(app().readRows(rowsBefore));
        ASSERT_TRUE(app().pressActualizar());
        e2e::MessageBoxInfo box;
        ASSERT_TRUE(app().waitForMessageBox(box, 20000)) << "no box names what is in the way";
        expectApplicationBox(box);
        EXPECT_EQ(0u, box.text.find(expected)) << box.text;
        EXPECT_NE(std::string::npos, box.text.find("Depois prima \"Actualizar\" novamente.")) << box.text;
        saveWindow(box.window, shot);
        ASSERT_TRUE(app().answerMessageBox(box));
        ASSERT_TRUE(app().waitForMainWindow());
        EXPECT_TRUE(app().controlEnabled(IDOK));
        EXPECT_FALSE(app().progress().visible);
        ASSERT_TRUE(app().readRows(rowsAfter));
        for (size_t i = 0; i < rowsBefore.size() && i < rowsAfter.size(); ++i)
            EXPECT_EQ(rowsBefore[i].image, rowsAfter[i].image) << "row " << i;
        // No file made or changed anywhere below the root, backups included.
        expectTree(installation.root(), installation.expectedAfter({}));
        EXPECT_EQ(registryBefore, productRegistry());
    }

    std::string exePath_ = e2e::updaterPath();
    std::unique_ptr<WineSettingsForTheUpdater> wineSettings_;
};

struct UpdateCase {
    const char* name;
    PerComponent installed;
    PerComponent unticked;  // rows the user unticks before pressing "Actualizar"
    std::vector<ProductInstallation::KeptFile> existing;  // configuration copies already there
    bool onShare = false;  // installed below \\server\share: the product kept on a file server
    bool planted = false;  // started from a folder holding planted libraries
    // In the way at the first press: a program of the product running, a
    // file copied read-only from CD media, a disk too small; the same for a
    // component left unticked, which must not matter.
    enum Obstacle { none, runningModule, readOnlyServer, smallDisk, runningUnticked } obstacle = none;
};

void PrintTo(const UpdateCase& c, std::ostream* os) { *os << c.name; }

std::vector<UpdateCase> updateCases() {
    return {
        // Each combination of installed components, all left ticked.
        {"Professional", {true, false, false}, {}, {}},
        {"Public", {false, true, false}, {}, {{kPublic, "\\FormatosVisualizacaoAut.cfg"}}},
        {"Administration", {false, false, true}, {}, {}},
        {"ProfessionalAndPublic", {true, true, false}, {}, {{kProfessional, "\\FormatosVisualizacao.cfg"}}},
        {"ProfessionalAndAdministration", {true, false, true}, {}, {}},
        {"PublicAndAdministration", {false, true, true}, {}, {}},
        {"AllThree", {true, true, true}, {}, {}},
        // The user leaves installed components alone.
        {"AllThreeWithThePublicComponentUntickedAndItsProgramRunning", {true, true, true}, {false, true, false}, {},
         false, false, UpdateCase::runningUnticked},
        {"AllThreeWithOnlyThePublicComponentLeftTicked",
         {true, true, true},
         {true, false, true},
         {{kPublic, "\\FormatosVisualizacao.cfg"}}},
        {"ProfessionalOnANetworkShare", {true, false, false}, {}, {}, true},
        {"AllThreeStartedBesidePlantedLibraries", {true, true, true}, {}, {}, false, true},
        {"ProfessionalWhileBrenixRuns", {true, false, false}, {}, {}, false, false, UpdateCase::runningModule},
        {"PublicAndAdministrationWithAReadOnlyServer", {false, true, true}, {}, {}, false, false,
         UpdateCase::readOnlyServer},
        {"ProfessionalOnADiskTooSmall", {true, false, false}, {}, {}, false, false, UpdateCase::smallDisk},
    };
}

class UpdateOf : public WholeUpdate, public testing::WithParamInterface<UpdateCase> {};

TEST_P(UpdateOf, ReportsSuccessAndLeavesEveryFileAndValueAsTheReleaseHasThem) {
    const UpdateCase& c = GetParam();
    const std::string share = c.onShare ? testing_support::freshNetworkShare() : std::string();
    ASSERT_EQ(c.onShare, !share.empty()) << "no share can be made here";
    const std::string downloads = c.planted ? besidePlantedLibraries() : std::string();
    const std::string smallDisk = e2e::windowsPath(PATCH_SMALL_DISK);
    std::string root = c.onShare ? share + "\\VELTRIS5" : c.planted ? installDir("VELTRIS5") : scratchRoot();
    // The small disk (a 32 MB tmpfs that ctest mounts) filled up to 8 MB:
    // room for the old files, not for the professional component's new ones.
    const std::string filler = smallDisk + "\\other.dat";
    if (c.obstacle == UpdateCase::smallDisk) {
        root = smallDisk + "\\VELTRIS5";
        testing_support::removeTree(root);
        DeleteFileA(filler.c_str());
        ULARGE_INTEGER free{}, total{};
        if (!GetDiskFreeSpaceExA((smallDisk + "\\").c_str(), &free, &total, nullptr) || total.QuadPart != 32u << 20)
            GTEST_SKIP() << "no small disk at " << smallDisk << " (mounting a tmpfs needs root)";
        testing_support::writeFile(filler, std::string(static_cast<size_t>(free.QuadPart - (8u << 20)), 'x'));
    }
    ProductInstallation installation(root, c.installed, c.existing);
    ASSERT_FALSE(HasFatalFailure()) << "cannot lay out the installation";
    const std::string intro = "Não é possível iniciar a actualização. Nenhum ficheiro foi alterado.\n";
    const std::string brenix = installation.registeredDir(kProfessional) + "\\brenix.exe";
    const std::string server = installation.registeredDir(kAdministration) + "\\QV5Server.exe";
    fw::FileHandle held;  // as a running program holds its file
    auto hold = [&](const std::string& path) {
        held.reset(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_TRUE(held.valid()) << path;
    };
    Hooks hooks;
    hooks.beforePress = [&] {
        if (c.obstacle == UpdateCase::runningUnticked) hold(installation.registeredDir(kPublic) + "fenmor.exe");
        if (c.obstacle == UpdateCase::runningModule) {
            hold(brenix);
            expectRefused(installation,
                          intro + "\nFicheiros em uso por outro programa:\n" + brenix +
                              " (Brenix)\n\nO que fazer:\n- Feche esses programas;",
                          "obstacle-running-program.bmp");
            held.close();
        }
        if (c.obstacle == UpdateCase::readOnlyServer) {
            SetFileAttributesA(server.c_str(), FILE_ATTRIBUTE_READONLY);
            expectRefused(installation, intro + "\nFicheiros só de leitura:\n" + server + "\n\nO que fazer:\n- Retire",
                          "obstacle-read-only.bmp");
            SetFileAttributesA(server.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        if (c.obstacle == UpdateCase::smallDisk) {
            expectRefused(installation,
                          intro + "\nEspaço em disco insuficiente:\n" + installation.registeredDir(kProfessional) +
                              "\\ (são necessários ",
                          "obstacle-disk-space.bmp");
            DeleteFileA(filler.c_str());
        }
    };
    updateAndCheck(installation, c.installed, c.unticked, hooks);
    held.close();
    if (c.planted) {
        EXPECT_EQ(std::vector<std::string>{}, findFiles(downloads, ".ran")) << "a planted library ran";
    }
}

INSTANTIATE_TEST_SUITE_P(E2e, UpdateOf, testing::ValuesIn(updateCases()),
                         [](const testing::TestParamInfo<UpdateCase>& info) { return std::string(info.param.name); });

// On 64-bit Windows the product's 32-bit installer leaves its records in the
// 32-bit view of the registry (natively SOFTWARE\Wow6432Node\Veltris5). The
// updater lists them and writes the new version back there, and leaves the
// 64-bit view alone: the product's programs would never read it there.
TEST_F(WholeUpdate, FindsAndUpdatesTheRecordsWhereTheProductsInstallerLeftThem) {
    const PerComponent all{true, true, true};
    ProductInstallation installation(scratchRoot(), all, {});
    ASSERT_FALSE(HasFatalFailure()) << "cannot lay out the installation";
    const bool twoViews = testing_support::onWow64();
    const char* const k64 = "SOFTWARE\\Veltris5";
    auto keyIn64BitView = [&](const std::string& key) {
        fw::RegKey opened;
        return RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, opened.receive()) ==
               ERROR_SUCCESS;
    };
    if (twoViews) {
        ASSERT_FALSE(keyIn64BitView(k64)) << "the records were written to the 64-bit view";
    }

    updateAndCheck(installation, all, {});
    if (!twoViews) GTEST_SKIP() << "32-bit Windows: one registry view, checked by the update above";

    EXPECT_FALSE(keyIn64BitView(k64)) << "the update wrote to the 64-bit view";
    // Seen natively, the values are under Wow6432Node.
    for (const char* key : {kProfessionalKey, kPublicKey, kAdministrationKey}) {
        const std::string native = std::string("SOFTWARE\\Wow6432Node") + (key + std::strlen("SOFTWARE"));
        std::string version;
        DWORD type = 0;
        EXPECT_TRUE(testing_support::readRegistryValue(native, "Versao", version, type, KEY_WOW64_64KEY)) << native;
        EXPECT_EQ(kTargetVersion, version) << native;
    }
    std::string system;
    DWORD type = 0;
    EXPECT_TRUE(testing_support::readRegistryValue("SOFTWARE\\Wow6432Node\\Veltris5\\Administracao", "SGBD", system,
                                                   type, KEY_WOW64_64KEY));
    EXPECT_EQ("Isis-Access", system);
}

// A ticked component whose recorded folder is not there (removed, or on a
// drive the user mapped and the administrator does not see) is not reported
// as updated: its backup fails, nothing is created, its version stays, and
// the next component is updated as usual.
TEST_F(WholeUpdate, ComponentWhoseFolderIsGoneIsNotReportedAsUpdated) {
    const PerComponent installed{true, true, false};
    ProductInstallation installation(scratchRoot(), installed, {});
    ASSERT_FALSE(HasFatalFailure()) << "cannot lay out the installation";
    const std::string gone = installation.root() + "\\gone";
    testing_support::setRegistryValue(kProfessionalKey, "InstallDir", gone);
    const auto registryBefore = productRegistry();

    e2e::StartupOutcome startup = startToDialog();
    ASSERT_TRUE(startup.dialogOpen);
    ASSERT_TRUE(app().pressActualizar()) << "the run did not begin";
    e2e::UpdateRunOutcome run = app().awaitReport(60000);
    EXPECT_TRUE(run.boxesBeforeReport.empty()) << testing::PrintToString(run.boxesBeforeReport);
    ASSERT_TRUE(run.reportShown);
    EXPECT_EQ(std::string(kBlocks[kProfessional].header) +
                  "Erro na criação do backup. O processo não foi concluído com sucesso.\n\n" +
                  kBlocks[kPublic].header + kBlocks[kPublic].success,
              run.report.text);
    ASSERT_TRUE(run.reportAnswered);
    expectEndsByItself();

    EXPECT_EQ(registryAfter(registryBefore, {false, true, false}), productRegistry());
    expectTree(installation.root(), installation.expectedAfter({false, true, false}));
    EXPECT_FALSE(testing_support::exists(gone));
}

// ---------------------------------------------------------------------------
// Pictures of an update for the documentation, on an installation in the
// folders a real one would use, each picture also checked for what it shows.

class UpdateScreenshots : public WholeUpdate {
protected:
    // Folders the pictures show; removed before and after, with the updater
    // gone first.
    static constexpr const char* kRoot = "C:\\Programas\\VELTRIS5";
    static constexpr const char* kParent = "C:\\Programas";

    void SetUp() override { testing_support::removeTree(kRoot); }
    void TearDown() override {
        endUpdater();
        testing_support::removeTree(kRoot);
        RemoveDirectoryA(kParent);  // only when nothing else is in it
    }
};

TEST_F(UpdateScreenshots, MainDialogBeforeTheUpdateAndTheReport) {
    const PerComponent all{true, true, true};
    ProductInstallation installation(kRoot, all, {});
    ASSERT_FALSE(HasFatalFailure()) << "cannot lay out the installation";

    bool reportSaved = false;
    Hooks hooks;
    hooks.beforePress = [&] {
        app().settle();
        // What the list holds is what the screen shows.
        for (int row = 0; row < kKinds; ++row) EXPECT_EQ(1, shownCheckBox(app(), row)) << "row " << row;
        saveWindow(app().mainWindow(), "update-before.bmp");
    };
    hooks.report = [&](const e2e::MessageBoxInfo& box) {
        app().settle(200);
        saveWindow(box.window, "update-report.bmp");
        reportSaved = true;
        // The whole text as the user reads it.
        EXPECT_EQ(
            "Componente Profissional:\nActualização à componente profissional executada com sucesso.\n\n"
            "Componente Pública:\nActualização à componente pública executada com sucesso.\n\n"
            "Modulo de Administração:\nActualização ao Módulo de Administração executada com sucesso.",
            box.text);
    };
    updateAndCheck(installation, all, {}, hooks);
    EXPECT_TRUE(reportSaved);
}

}  // namespace
}  // namespace e2e_tests

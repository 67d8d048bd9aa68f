#include "tests/update/update_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>

using namespace testing_support;

namespace update_tests {

const char kPublicKey[] = "SOFTWARE\\Veltris5\\Publico";
const char kAdministrationKey[] = "SOFTWARE\\Veltris5\\Administracao";

const char kRestoreHeader[] =
    "Erro: Não foi possível recuperar de falha na instalação.\n\n"
    "Os seguintes ficheiros precisam de ser recuperados manualmente:\n\n";
const char kDeleteHeader[] =
    "Erro: Não foi possível apagar os ficheiros de backup.\n\n"
    "Os seguintes ficheiros precisam de ser apagados manualmente:\n\n";
const char kBackupFailure[] = "Erro na criação do backup. O processo não foi concluído com sucesso.";

std::vector<InstallStep> stepsOf(ComponentKind kind) {
    switch (kind) {
    case ComponentKind::professional:
        return {InstallStep::brenix,   InstallStep::quorra,         InstallStep::sulvet,
                InstallStep::dravel,   InstallStep::fenmor,         InstallStep::halvinor,
                InstallStep::merisca,  InstallStep::indexingTables, InstallStep::displayFormats,
                InstallStep::bulletinTemplate};
    case ComponentKind::publicComponent:
        return {InstallStep::publicFenmor, InstallStep::displayFormats, InstallStep::bulletinTemplate};
    default:
        return {InstallStep::administration};
    }
}

const char* registryKeyOf(ComponentKind kind) {
    switch (kind) {
    case ComponentKind::professional:
        return kProductKey;
    case ComponentKind::publicComponent:
        return kPublicKey;
    default:
        return kAdministrationKey;
    }
}

std::string sameFileKey(const std::string& relative) {
    std::string key = relative;
    if (!key.empty() && key[0] == '\\') key.erase(0, 1);
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

std::string oldContent(const std::string& relative) { return "old release of " + sameFileKey(relative) + "\r\n"; }

Installation::Installation(ComponentKind kind, const std::string& subfolder) {
    dir = root / subfolder + "\\";
    makeDirs(root / subfolder);
    for (InstallStep step : stepsOf(kind))
        for (const CatalogueEntry& entry : entriesOf(step)) add(entry.target);
    // Backed up by the professional component although no step writes it.
    if (kind == ComponentKind::professional) add("\\pft\\cat\\resumo\\isbd.pft");
}

void Installation::add(const std::string& relative) {
    for (const std::string& f : files)
        if (sameFileKey(f) == sameFileKey(relative)) return;
    files.push_back(relative);
    writeFile(dir + relative, oldContent(relative));
}

const std::string& payload(int id) {
    static std::map<int, std::string> cache;
    auto found = cache.find(id);
    if (found == cache.end()) found = cache.emplace(id, payloadContent(id)).first;
    return found->second;
}

std::vector<std::string> backupFilesUnder(const Installation& inst) {
    return findFiles(inst.dir.substr(0, inst.dir.size() - 1), "_back");
}

void expectUntouched(const Installation& inst) {
    for (const std::string& f : inst.files) EXPECT_EQ(oldContent(f), readFileOr(inst / f)) << f;
    EXPECT_TRUE(backupFilesUnder(inst).empty()) << backupFilesUnder(inst)[0];
}

void expectUpdated(const Installation& inst, ComponentKind kind) {
    std::map<std::string, int> written;
    for (InstallStep step : stepsOf(kind))
        for (const CatalogueEntry& entry : entriesOf(step)) written[sameFileKey(entry.target)] = entry.id;
    for (const std::string& f : inst.files) {
        auto w = written.find(sameFileKey(f));
        if (w == written.end()) {
            EXPECT_EQ(oldContent(f), readFileOr(inst / f)) << f;
        } else {
            ASSERT_FALSE(payload(w->second).empty()) << w->second;
            EXPECT_TRUE(payload(w->second) == readFileOr(inst / f)) << f << " should hold payload " << w->second;
        }
    }
    std::vector<std::string> left = backupFilesUnder(inst);
    EXPECT_TRUE(left.empty()) << left[0];
}

fw::FileHandle holdOpen(const std::string& path, DWORD share) {
    fw::FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(file.valid()) << path;
    return file;
}

void setAttributes(const std::string& path, DWORD attributes) {
    EXPECT_TRUE(SetFileAttributesA(path.c_str(), attributes)) << path;
}

BriefHold::BriefHold(fw::FileHandle file, DWORD afterMs)
    : thread_([held = std::move(file), afterMs]() mutable {
          Sleep(afterMs);
          held.close();
      }) {}

BriefHold::~BriefHold() { thread_.join(); }

std::vector<std::string> PressOutcome::textsBeforeReport() const {
    std::vector<std::string> texts;
    for (size_t i = 0; i < boxes.size() && static_cast<int>(i) != reportIndex; ++i) texts.push_back(boxes[i].text);
    return texts;
}

PressOutcome pressUpdate(CPatch_Veltris5v13Dlg& dialog, const PressOptions& options) {
    PressOutcome outcome;
    MessageBoxRecorder recorder;
    bool pressed = false;
    int reportIndex = -1;
    recorder.onShow = [&](const fw::MessageBoxCall& call) {
        if (!pressed) return;
        if (options.onBox) options.onBox(call, dialog);
        if (call.caption == "Relatório" && reportIndex < 0) {
            reportIndex = static_cast<int>(recorder.calls.size()) - 1;
            HWND bar = dialog.GetDlgItem(IDC_PROGRESS1);
            outcome.positionAtReport = static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0));
            outcome.rangeLowAtReport = static_cast<int>(SendMessageA(bar, PBM_GETRANGE, TRUE, 0));
            outcome.rangeHighAtReport = static_cast<int>(SendMessageA(bar, PBM_GETRANGE, FALSE, 0));
            outcome.progressVisibleAtReport = IsWindowVisible(bar) != FALSE;
        }
    };
    outcome.result = runModal(
        dialog,
        [&] {
            outcome.dialogWindow = dialog.GetSafeHwnd();
            outcome.startupBoxes = static_cast<int>(recorder.calls.size());
            if (options.beforePress) options.beforePress(dialog);
            pressed = true;
            dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                               reinterpret_cast<LPARAM>(dialog.GetDlgItem(IDOK)));
            if (reportIndex < 0) dialog.EndDialog(IDCANCEL);
        },
        0);
    EXPECT_NE(-1, outcome.result) << "the dialog could not be created (no display for Wine?)";
    outcome.boxes.assign(recorder.calls.begin() + outcome.startupBoxes, recorder.calls.end());
    if (reportIndex >= 0) outcome.reportIndex = reportIndex - outcome.startupBoxes;
    return outcome;
}

std::string registryText(const char* key, const char* name, DWORD* type) {
    std::string data;
    DWORD t = 0;
    if (!readRegistryValue(key, name, data, t)) return "<missing>";
    if (type) *type = t;
    return data;
}

}  // namespace update_tests

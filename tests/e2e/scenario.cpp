#include "tests/e2e/scenario.h"

#include "framework/handles.h"
#include "resources/resource.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iomanip>

#ifndef PATCH_E2E_SCREENSHOTS
#error "PATCH_E2E_SCREENSHOTS must name the screenshot folder"
#endif

namespace e2e {

void PrintTo(const MessageBoxInfo& box, std::ostream* os) {
    *os << "{caption \"" << box.caption << "\", icon " << toString(box.icon) << ", text \"" << box.text
        << "\", buttons";
    for (const auto& b : box.buttons) *os << " " << b.id << ":\"" << b.text << "\"";
    *os << "}";
}

void PrintTo(const ListRow& row, std::ostream* os) {
    *os << "{\"" << row.texts[0] << "\", \"" << row.texts[1] << "\", \"" << row.texts[2] << "\", image "
        << row.image << ", data " << row.data << "}";
}

}  // namespace e2e

namespace e2e_tests {

using namespace testing_support;

const char kProfessionalKey[] = "SOFTWARE\\Veltris5";
const char kPublicKey[] = "SOFTWARE\\Veltris5\\Publico";
const char kAdministrationKey[] = "SOFTWARE\\Veltris5\\Administracao";

const char kAppTitle[] = "Patch_Veltris5v13";
const char kProfessionalLabel[] = "Componente Profissional";
const char kPublicLabel[] = "Componente Pública";
const char kAdministrationLabel[] = "Módulo de Administração";
const char kTemplateWelcome[] = "Bem vindo à actualização do VELTRIS5 v1.6";
const char kWelcome[] = "Bem vindo à actualização do VELTRIS 5 versão 1.6.08";
const char kBothComponents[] =
    "Este computador tem instaladas as componentes profissional e pública do VELTRIS 5!\n\nEmbora ambas as "
    "componentes possam co-existir num computador, normalmente isso deve-se a um erro nos procedimentos de "
    "instalação.\nVerifique se é uma situação pretendida e contacte os serviços de Helpdesk do VELTRIS 5 para mais "
    "esclarecimentos se necessário.";

std::string oldVersionText(Who who, const std::string& version) {
    const char* component = who == Who::professional     ? "a componente profissional"
                            : who == Who::administration ? "o módulo de administração"
                                                         : "a componente pública";
    return std::string("Este computador tem a versão 1.6 do VELTRIS5 instalada mas tem ") + component +
           " a funcionar numa versão anterior (" + version +
           ").\nVerifique se é uma situação pretendida e contacte os serviços de Helpdesk do VELTRIS 5 para mais "
           "esclarecimentos se necessário.";
}

std::string refusalText(const std::string& databaseSystem) {
    return "Este update destina-se a versões Isis-Access do VELTRIS 5 e tem instalada a versão " + databaseSystem +
           ". Este update não pode ser usado.";
}

std::map<std::string, std::string> productRegistry() {
    std::map<std::string, std::string> values;
    for (const char* key : {kProfessionalKey, kPublicKey, kAdministrationKey}) {
        for (const char* name : {"Versao", "InstallDir", "SGBD", "SGDB"}) {
            std::string data;
            DWORD type = 0;
            if (readRegistryValue(key, name, data, type))
                values[std::string(key) + "\\" + name] = data + " (type " + std::to_string(type) + ")";
        }
    }
    return values;
}

std::vector<std::string> textsOf(const std::vector<e2e::MessageBoxInfo>& boxes) {
    std::vector<std::string> texts;
    for (const auto& b : boxes) texts.push_back(b.text);
    return texts;
}

std::vector<std::string> labelsOf(const std::vector<e2e::ListRow>& rows) {
    std::vector<std::string> labels;
    for (const auto& r : rows) labels.push_back(r.texts[0]);
    return labels;
}

std::string screenshotPath(const std::string& name) { return e2e::windowsPath(PATCH_E2E_SCREENSHOTS "/" + name); }

namespace {

std::uint32_t pixelOf(COLORREF colour) {
    return (static_cast<std::uint32_t>(GetRValue(colour)) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}

constexpr int kCheckBoxSize = 16;

}  // namespace

e2e::Image checkBoxPicture(int image) {
    // The same strip, cut and masked as the updater's list shows it.
    fw::ImageListHandle list(ImageList_LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_CHECKBOXES),
                                                  kCheckBoxSize, 1, RGB(255, 0, 0), IMAGE_BITMAP,
                                                  LR_CREATEDIBSECTION));
    if (!list) return e2e::Image();
    return e2e::render(kCheckBoxSize, kCheckBoxSize, pixelOf(GetSysColor(COLOR_WINDOW)),
                       [&](HDC dc) { ImageList_Draw(list.get(), image, dc, 0, 0, ILD_NORMAL); });
}

int shownCheckBox(const e2e::UpdaterSession& app, int row) {
    RECT area;
    e2e::Image shown;
    if (!app.rowScreenRect(row, LVIR_ICON, area) || !e2e::captureScreen(area, shown)) return -1;
    const e2e::Image pictures[2] = {checkBoxPicture(0), checkBoxPicture(1)};
    // The icon part of a row may be taller or wider than the picture: look
    // for the picture anywhere inside it.
    double best[2] = {255.0, 255.0};
    for (int dy = 0; dy + kCheckBoxSize <= shown.height; ++dy) {
        for (int dx = 0; dx + kCheckBoxSize <= shown.width; ++dx) {
            e2e::Image part;
            part.width = part.height = kCheckBoxSize;
            for (int y = 0; y < kCheckBoxSize; ++y)
                for (int x = 0; x < kCheckBoxSize; ++x) part.pixels.push_back(shown.at(dx + x, dy + y));
            for (int i = 0; i < 2; ++i) best[i] = std::min(best[i], e2e::meanDifference(part, pictures[i]));
        }
    }
    constexpr double kSame = 4.0;
    if (best[0] < kSame && best[0] < best[1]) return 0;
    if (best[1] < kSame && best[1] < best[0]) return 1;
    return -1;
}

namespace {

// Under Wine with no window manager on the display (Xvfb), hiding a window
// that Wine lets the window manager handle waits two seconds for a
// confirmation that never comes: every message box answered and every
// dialog closed would cost that. Wine's X11 driver option "Managed"="N"
// keeps the window manager out of it; updaters started afterwards read it.
// The previous setting is put back when the test program ends. Elsewhere
// than under Wine the key means nothing.
class UnmanagedWineWindows : public testing::Environment {
public:
    void SetUp() override {
        // To watch the updater the way Wine shows it by default, slowly.
        if (GetEnvironmentVariableA("PATCH_E2E_KEEP_WINE_MANAGED", nullptr, 0) != 0) return;
        fw::RegKey key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                            key.receive(), nullptr) != ERROR_SUCCESS)
            return;
        char value[64] = {};
        DWORD size = sizeof value - 1;
        DWORD type = 0;
        hadValue_ = RegQueryValueExA(key.get(), kValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                    ERROR_SUCCESS;
        previous_.assign(value, type == REG_SZ && size > 0 ? std::strlen(value) : 0);
        changed_ = RegSetValueExA(key.get(), kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2) == ERROR_SUCCESS;
    }

    void TearDown() override {
        if (!changed_) return;
        fw::RegKey key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, key.receive()) != ERROR_SUCCESS) return;
        if (hadValue_)
            RegSetValueExA(key.get(), kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(previous_.c_str()),
                           static_cast<DWORD>(previous_.size() + 1));
        else
            RegDeleteValueA(key.get(), kValue);
    }

private:
    static constexpr const char* kKey = "Software\\Wine\\X11 Driver";
    static constexpr const char* kValue = "Managed";
    bool hadValue_ = false;
    bool changed_ = false;
    std::string previous_;
};

testing::Environment* const kUnmanagedWineWindows = testing::AddGlobalTestEnvironment(new UnmanagedWineWindows);

}  // namespace

std::string UpdaterScenario::installDir(const std::string& name) {
    std::string dir = root_ / name;
    makeDirs(dir);
    return dir;
}

e2e::UpdaterSession& UpdaterScenario::start(const std::string& exePath) {
    app_.reset(new e2e::UpdaterSession(exePath));
    EXPECT_TRUE(app_->started()) << app_->error();
    return *app_;
}

e2e::StartupOutcome UpdaterScenario::startToDialog(const std::string& exePath) {
    e2e::StartupOutcome outcome = start(exePath).runStartup();
    EXPECT_TRUE(outcome.dialogOpen) << "ended " << outcome.ended << ", timed out " << outcome.timedOut;
    return outcome;
}

const std::string& UpdaterScenario::scratchRoot() const { return root_.path(); }

void UpdaterScenario::endUpdater() {
    if (app_ && app_->running()) app_->kill();
}

e2e::Image UpdaterScenario::saveWindow(HWND window, const std::string& name) {
    RECT area{};
    e2e::Image shot;
    e2e::Image saved;
    EXPECT_TRUE(GetWindowRect(window, &area));
    EXPECT_TRUE(e2e::captureScreen(area, shot));
    const std::string path = screenshotPath(name);
    EXPECT_TRUE(e2e::writeBmp(shot, path)) << path;
    EXPECT_TRUE(e2e::readBmp(path, saved)) << path;
    EXPECT_EQ(area.right - area.left, saved.width);
    EXPECT_EQ(area.bottom - area.top, saved.height);
    EXPECT_TRUE(saved.pixels == shot.pixels) << "the file does not hold what was captured";
    // A window drawn with its frame, texts and controls, not a blank area.
    EXPECT_GT(e2e::distinctColours(saved), 8u);
    return saved;
}

void UpdaterScenario::expectEndsByItself(DWORD timeoutMs) {
    ASSERT_TRUE(app_->waitForExit(timeoutMs)) << "the updater is still running";
    DWORD code = app_->exitCode();
    // The exit status carries no meaning, but an exception status means the
    // updater crashed on its way out.
    EXPECT_NE(e2e::kKilledExitCode, code);
    EXPECT_LT(code, 0xC0000000u) << std::hex << "exit code 0x" << code;
}

void UpdaterScenario::expectStillRunning() {
    app_->settle();
    EXPECT_TRUE(app_->running()) << "the updater ended, exit code " << app_->exitCode();
    EXPECT_TRUE(app_->messageBoxes().empty()) << "an unexpected message box is open";
}

void expectApplicationBox(const e2e::MessageBoxInfo& box) {
    EXPECT_EQ(kAppTitle, box.caption);
    EXPECT_EQ(e2e::BoxIcon::exclamation, box.icon) << e2e::toString(box.icon);
    ASSERT_EQ(1u, box.buttons.size()) << testing::PrintToString(box);
    EXPECT_EQ(IDOK, box.buttons[0].id);
}

}  // namespace e2e_tests

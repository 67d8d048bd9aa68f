// Pictures of the updater as the user sees it, kept under <build>/screenshots
// for the documentation; each is also checked for what it must show.
#include "resources/resource.h"
#include "tests/e2e/scenario.h"

#include <gtest/gtest.h>

namespace e2e_tests {
namespace {

using testing_support::registerComponent;

using Screenshots = UpdaterScenario;

// A typical machine: the professional component behind, the administration
// module already at the target version.
TEST_F(Screenshots, MainDialogListingADemoInstallation) {
    registerComponent(kProfessionalKey, "1.6.05", "C:\\Programas\\VELTRIS5\\", "Isis-Access");
    registerComponent(kAdministrationKey, "1.6.08", "C:\\Programas\\VELTRIS5\\Administracao\\", "Isis-Access");
    ASSERT_TRUE(startToDialog().dialogOpen);
    app().settle();

    // What the list holds is what the screen shows.
    EXPECT_EQ(1, shownCheckBox(app(), 0));
    EXPECT_EQ(0, shownCheckBox(app(), 1));
    saveWindow(app().mainWindow(), "main-dialog.bmp");
}

TEST_F(Screenshots, StartupWarning) {
    registerComponent(kProfessionalKey, "1.6.07", "C:\\Programas\\VELTRIS5\\", "Isis-Access");
    registerComponent(kPublicKey, "1.6.02", "C:\\Programas\\VELTRIS5 Publico\\", "Isis-Access");
    bool saved = false;
    e2e::StartupOutcome outcome = start().runStartup(e2e::kDefaultTimeoutMs, [&](const e2e::MessageBoxInfo& box) {
        if (saved) return;
        saveWindow(box.window, "startup-warning.bmp");
        saved = true;
    });
    EXPECT_TRUE(saved);
    EXPECT_EQ(std::vector<std::string>{kBothComponents}, textsOf(outcome.boxes));
}

TEST_F(Screenshots, AboutBox) {
    ASSERT_TRUE(startToDialog().dialogOpen);
    ASSERT_TRUE(app().postSystemCommand(0x0010));
    HWND about = app().waitForAboutBox();
    ASSERT_NE(nullptr, about);
    app().settle();
    saveWindow(about, "about-box.bmp");
}

}  // namespace
}  // namespace e2e_tests

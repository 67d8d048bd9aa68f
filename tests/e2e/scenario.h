// What the end-to-end scenarios share: a machine without the product (clean
// registry, fresh folders), one updater process driven from outside, the
// updater's texts as the user must see them, and the check-box pictures.
#pragma once

#include "tests/e2e/screen_capture.h"
#include "tests/e2e/updater_driver.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace e2e {
// Failure messages show the whole box.
void PrintTo(const MessageBoxInfo& box, std::ostream* os);
void PrintTo(const ListRow& row, std::ostream* os);
}  // namespace e2e

namespace e2e_tests {

extern const char kProfessionalKey[];
extern const char kPublicKey[];
extern const char kAdministrationKey[];

// Caption of every application message box: the executable's base name.
extern const char kAppTitle[];
extern const char kProfessionalLabel[];
extern const char kPublicLabel[];
extern const char kAdministrationLabel[];
// Static 1009 as the template has it, and once the start-up checks ran.
extern const char kTemplateWelcome[];
extern const char kWelcome[];
extern const char kBothComponents[];

enum class Who { professional, administration, publicComponent };
std::string oldVersionText(Who who, const std::string& version);
std::string refusalText(const std::string& databaseSystem);

// Every value the product keeps in its three keys, by "key\value".
std::map<std::string, std::string> productRegistry();

std::vector<std::string> textsOf(const std::vector<e2e::MessageBoxInfo>& boxes);
std::vector<std::string> labelsOf(const std::vector<e2e::ListRow>& rows);

// <build>/screenshots/<name>, as a Windows path.
std::string screenshotPath(const std::string& name);

// The check-box pictures of the component list as the updater's own bitmap
// draws them (this test program carries the same resources), drawn over the
// list's background: 0 the empty box, 1 the ticked box.
e2e::Image checkBoxPicture(int image);
// Which check box the screen shows for a row that is not selected: 0, 1, or
// -1 when it looks like neither.
int shownCheckBox(const e2e::UpdaterSession& app, int row);

// A machine without the product, fresh folders, and at most one updater,
// ended (by force if need be) before the folders and keys are removed.
class UpdaterScenario : public ::testing::Test {
protected:
    // A new, empty install folder below this test's scratch folder.
    std::string installDir(const std::string& name);
    // Starts the updater (or another copy of it); the test stops here if it cannot.
    e2e::UpdaterSession& start(const std::string& exePath = e2e::updaterPath());
    // Starts the updater and answers its start-up messages until its main
    // dialog waits for input.
    e2e::StartupOutcome startToDialog(const std::string& exePath = e2e::updaterPath());
    // Waits, without any input, for the updater to end by itself, and checks
    // that it ended normally rather than crashing or being ended by force.
    void expectEndsByItself(DWORD timeoutMs = 10000);
    void expectStillRunning();

    e2e::UpdaterSession& app() { return *app_; }
    // The test's scratch folder, without a trailing backslash; the folders
    // of installDir() are below it.
    const std::string& scratchRoot() const;
    // Ends the updater by force if one is still running, so that a test can
    // remove files of its own before the fixture goes away.
    void endUpdater();
    // Saves the window's part of the screen as <build>/screenshots/<name>,
    // reads the file back and checks that it holds a drawn window.
    e2e::Image saveWindow(HWND window, const std::string& name);

private:
    testing_support::CleanRegistry registry_;
    testing_support::ScratchDir root_;
    std::unique_ptr<e2e::UpdaterSession> app_;
};

// Every box of the start-up is an application message box: the updater's
// title as caption, the exclamation icon, one OK button.
void expectApplicationBox(const e2e::MessageBoxInfo& box);

}  // namespace e2e_tests

// Fake installations, the catalogue's view of what each component's update
// writes, and one press of "Actualizar" on the real dialog with everything it
// showed recorded.
#pragma once

#include "app/Patch_Veltris5v13Dlg.h"
#include "framework/handles.h"
#include "framework/message_box.h"
#include "payload/catalogue.h"
#include "tests/support/test_support.h"

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace update_tests {

extern const char kPublicKey[];
extern const char kAdministrationKey[];

// Exact texts of the updater as the user sees them.
extern const char kRestoreHeader[];
extern const char kDeleteHeader[];
extern const char kBackupFailure[];

// The install steps whose files a component's update writes.
std::vector<InstallStep> stepsOf(ComponentKind kind);
const char* registryKeyOf(ComponentKind kind);

// Lower case, without one leading backslash: how the file system tells two
// relative names apart.
std::string sameFileKey(const std::string& relative);

// What an installed file holds before the update.
std::string oldContent(const std::string& relative);

// An installation of one component: every file its update writes (as the
// catalogue spells it), plus whatever extra files a test asks for, each with
// its old content. `dir` ends in a backslash.
struct Installation {
    testing_support::ScratchDir root;
    std::string dir;
    std::vector<std::string> files;  // relative, as written

    explicit Installation(ComponentKind kind, const std::string& subfolder = "inst");
    void add(const std::string& relative);
    std::string operator/(const std::string& relative) const { return dir + relative; }
};

// The inflated payload, computed once per id.
const std::string& payload(int id);

// Every file of the installation holds its old content and no "_back" file is
// anywhere below it.
void expectUntouched(const Installation& inst);
// Every catalogue target of the component holds its payload; the files the
// update does not write keep their old content; no "_back" file is left.
void expectUpdated(const Installation& inst, ComponentKind kind);
std::vector<std::string> backupFilesUnder(const Installation& inst);

// A test's own handle on a file, standing for a program of the product that
// has it open. Reading is shared only as far as `share` allows.
fw::FileHandle holdOpen(const std::string& path, DWORD share = FILE_SHARE_READ);

void setAttributes(const std::string& path, DWORD attributes);

// A handle let go of by another thread after `afterMs`, as a virus scanner
// lets go of a file it was reading; joined when the object goes away.
class BriefHold {
public:
    BriefHold(fw::FileHandle file, DWORD afterMs);
    ~BriefHold();
    BriefHold(const BriefHold&) = delete;
    BriefHold& operator=(const BriefHold&) = delete;

private:
    std::thread thread_;
};

// What one press of "Actualizar" left behind.
struct PressOutcome {
    INT_PTR result = 0;
    std::vector<fw::MessageBoxCall> boxes;  // shown after the press, in order
    int reportIndex = -1;  // in boxes; -1: no report was shown
    int positionAtReport = -1;
    int rangeLowAtReport = -1;
    int rangeHighAtReport = -1;
    bool progressVisibleAtReport = false;
    HWND dialogWindow = nullptr;
    int startupBoxes = 0;

    const fw::MessageBoxCall* report() const { return reportIndex < 0 ? nullptr : &boxes[reportIndex]; }
    std::vector<std::string> textsBeforeReport() const;
};

struct PressOptions {
    // Runs inside the open dialog, after the start-up checks and before the press.
    std::function<void(CPatch_Veltris5v13Dlg&)> beforePress;
    // Sees every box of the run as it is shown.
    std::function<void(const fw::MessageBoxCall&, CPatch_Veltris5v13Dlg&)> onBox;
};

// Opens the dialog, presses "Actualizar" once (the IDOK command, as the button
// sends it) and lets the run close the dialog; a dialog the run left open is
// then closed with IDCANCEL.
PressOutcome pressUpdate(CPatch_Veltris5v13Dlg& dialog, const PressOptions& options = {});

// Reads a registry value with its type; "<missing>" when absent.
std::string registryText(const char* key, const char* name, DWORD* type = nullptr);

}  // namespace update_tests

// Command-line use of the automation library, for a look at the updater on
// the current machine (registry as it is) without writing a test:
//
//   patch_e2e_tool screenshot <file.bmp>
//       the whole screen as it is now
//   patch_e2e_tool run [--shot <file.bmp>] [--keep <seconds>]
//       starts the updater, answers its start-up messages, prints what the
//       main dialog shows, optionally saves the dialog's window, then presses
//       "Sair" and prints how the process ended
#include "resources/resource.h"
#include "tests/e2e/screen_capture.h"
#include "tests/e2e/updater_driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: patch_e2e_tool screenshot <file.bmp>\n"
                 "       patch_e2e_tool run [--shot <file.bmp>] [--keep <seconds>]\n");
    return 2;
}

void printBox(const e2e::MessageBoxInfo& box) {
    std::printf("message box \"%s\" icon=%s:\n%s\n", box.caption.c_str(), e2e::toString(box.icon), box.text.c_str());
}

int screenshot(const char* path) {
    e2e::Image screen;
    if (!e2e::captureWholeScreen(screen) || !e2e::writeBmp(screen, path)) {
        std::fprintf(stderr, "cannot capture the screen into %s\n", path);
        return 1;
    }
    std::printf("%s: %dx%d\n", path, screen.width, screen.height);
    return 0;
}

int run(const char* shot, int keepSeconds) {
    e2e::UpdaterSession app;
    if (!app.started()) {
        std::fprintf(stderr, "%s\n", app.error().c_str());
        return 1;
    }
    e2e::StartupOutcome outcome = app.runStartup();
    for (const auto& box : outcome.boxes) printBox(box);
    if (!outcome.dialogOpen) {
        std::printf("no dialog: %s\n", outcome.ended ? "the updater ended" : "timed out");
    } else {
        std::printf("welcome: %s\n", app.controlText(IDC_WELCOME).c_str());
        std::vector<e2e::ListRow> rows;
        app.readRows(rows);
        for (const auto& row : rows)
            std::printf("row [%c] %s | %s | %s (data %ld)\n", row.image == 1 ? 'x' : ' ', row.texts[0].c_str(),
                        row.texts[1].c_str(), row.texts[2].c_str(), static_cast<long>(row.data));
        std::printf("Actualizar %s\n", app.controlEnabled(IDOK) ? "enabled" : "disabled");
        if (shot) {
            RECT area;
            e2e::Image image;
            app.settle();
            if (GetWindowRect(app.mainWindow(), &area) && e2e::captureScreen(area, image) && e2e::writeBmp(image, shot))
                std::printf("saved %s\n", shot);
            else
                std::fprintf(stderr, "cannot save %s\n", shot);
        }
        if (keepSeconds > 0) Sleep(static_cast<DWORD>(keepSeconds) * 1000);
        app.clickControl(IDCANCEL);
    }
    ULONGLONG asked = GetTickCount64();
    if (app.waitForExit(10000))
        std::printf("ended %llu ms later with exit code 0x%lx\n", GetTickCount64() - asked,
                    static_cast<unsigned long>(app.exitCode()));
    else
        std::printf("still running; ended by force\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "screenshot") == 0) return screenshot(argv[2]);
    if (argc >= 2 && std::strcmp(argv[1], "run") == 0) {
        const char* shot = nullptr;
        int keep = 0;
        for (int i = 2; i + 1 < argc; i += 2) {
            if (std::strcmp(argv[i], "--shot") == 0)
                shot = argv[i + 1];
            else if (std::strcmp(argv[i], "--keep") == 0)
                keep = std::atoi(argv[i + 1]);
            else
                return usage();
        }
        return run(shot, keep);
    }
    return usage();
}

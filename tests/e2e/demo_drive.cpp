// Drives the updater through one whole update of the installation that the
// registry holds, as a user would, and keeps pictures of what it showed: the
// demo's way of showing the updater when there is no display to watch it on.
//
//   demo_drive <updater.exe> <output folder>
//
// It answers the start-up messages (the first is saved as startup-warning.bmp),
// saves the main dialog as main-dialog.bmp, presses "Actualizar" with the rows
// ticked as the updater set them, saves the report as report.bmp while it is
// open, prints its text, closes it and waits for the updater to end.
//
// Exit status: 0 when the report was shown, tells of no failure, no other box
// came before it and the updater then ended by itself; 1 otherwise; 2 for a
// wrong command line.
#include "resources/resource.h"
#include "tests/e2e/screen_capture.h"
#include "tests/e2e/updater_driver.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kRunTimeoutMs = 120000;

// The updater's texts are Windows-1252; the demo prints them on the terminal
// of the script that runs it, which reads UTF-8.
std::string forTerminal(const std::string& text) {
    if (text.empty()) return text;
    int wide = MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), &w[0], wide);
    int narrow = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(narrow), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, &out[0], narrow, nullptr, nullptr);
    return out;
}

void printBox(const char* when, const e2e::MessageBoxInfo& box) {
    std::printf("%s: box \"%s\" (icon %s):\n%s\n\n", when, forTerminal(box.caption).c_str(), e2e::toString(box.icon),
                forTerminal(box.text).c_str());
}

// Saves the part of the screen a window covers.
bool saveWindow(HWND window, const std::string& path) {
    RECT area{};
    e2e::Image image;
    if (!window || !GetWindowRect(window, &area) || !e2e::captureScreen(area, image) || !e2e::writeBmp(image, path)) {
        std::fprintf(stderr, "cannot save %s\n", path.c_str());
        return false;
    }
    std::printf("saved %s (%dx%d)\n", path.c_str(), image.width, image.height);
    return true;
}

int drive(const std::string& updater, const std::string& folder) {
    const auto shot = [&](const char* name) { return folder + "\\" + name; };
    e2e::UpdaterSession app(updater);
    if (!app.started()) {
        std::fprintf(stderr, "%s\n", app.error().c_str());
        return 1;
    }

    bool warningSaved = false;
    e2e::StartupOutcome startup = app.runStartup(e2e::kDefaultTimeoutMs, [&](const e2e::MessageBoxInfo& box) {
        if (warningSaved) return;
        app.settle(200);
        warningSaved = saveWindow(box.window, shot("startup-warning.bmp"));
    });
    for (const auto& box : startup.boxes) printBox("start-up", box);
    if (!startup.dialogOpen) {
        std::fprintf(stderr, "the main dialog did not open: %s\n", startup.ended ? "the updater ended" : "timed out");
        return 1;
    }

    std::vector<e2e::ListRow> rows;
    if (app.readRows(rows)) {
        for (const auto& row : rows)
            std::printf("[%c] %s | %s | %s\n", row.image == 1 ? 'x' : ' ', forTerminal(row.texts[0]).c_str(),
                        forTerminal(row.texts[1]).c_str(), forTerminal(row.texts[2]).c_str());
    }
    if (!app.controlEnabled(IDOK)) {
        std::fprintf(stderr, "nothing to update: \"Actualizar\" is disabled\n");
        app.clickControl(IDCANCEL);
        app.waitForExit(10000);
        return 1;
    }
    app.settle();
    saveWindow(app.mainWindow(), shot("main-dialog.bmp"));

    const ULONGLONG pressed = GetTickCount64();
    if (!app.pressActualizar()) {
        std::fprintf(stderr, "the update did not begin after pressing \"Actualizar\"\n");
        return 1;
    }
    e2e::UpdateRunOutcome run = app.awaitReport(kRunTimeoutMs, [&](const e2e::MessageBoxInfo& box) {
        app.settle(200);
        saveWindow(box.window, shot("report.bmp"));
    });
    for (const auto& box : run.boxesBeforeReport) printBox("during the update", box);
    if (!run.reportShown) {
        std::fprintf(stderr, "no report: %s\n", run.ended ? "the updater ended" : "timed out");
        return 1;
    }
    printBox("report", run.report);
    std::printf("progress %d of %d..%d\n", run.progressAtReport.position, run.progressAtReport.low,
                run.progressAtReport.high);
    if (!run.reportAnswered) {
        std::fprintf(stderr, "the report could not be closed\n");
        return 1;
    }
    if (!app.waitForExit(15000)) {
        std::fprintf(stderr, "the updater did not end after its report\n");
        return 1;
    }
    std::printf("the updater ended %.1f s after \"Actualizar\"\n", (GetTickCount64() - pressed) / 1000.0);

    const bool failed = !run.boxesBeforeReport.empty() || run.report.text.find("Erro") != std::string::npos;
    std::printf("%s\n", failed ? "the update reported a failure" : "the update reported success");
    return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: demo_drive <updater.exe> <output folder>\n");
        return 2;
    }
    std::string folder = argv[2];
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    const int status = drive(argv[1], folder);
    std::fflush(stdout);
    return status;
}

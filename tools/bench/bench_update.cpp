// Measures what an update costs.
//
//   bench_update update <components>           on the installation in the registry, one update run of
//                                              the first <components> of professional, public,
//                                              administration (1..3), timed from "Actualizar" to the
//                                              report box
//   bench_update floor <root> [unflushed]      the unavoidable work alone on the same installation:
//                                              back up what the update backs up, inflate and
//                                              write every payload, delete the backups; each backup
//                                              and each written file put on the disk as the updater
//                                              does, unless "unflushed"
//   bench_update startup <updater.exe>         time from process start to the dialog being ready
//
// Each prints one line "<what> <milliseconds> ms peak <bytes>" with the
// process's peak working set.
#include "app/Patch_Veltris5v13Dlg.h"
#include "framework/handles.h"
#include "framework/message_box.h"
#include "payload/catalogue.h"
#include "survey/components.h"
#include "tools/demo/installation_layout.h"
#include "update/backup_tables.h"

#include <psapi.h>
#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

double nowMs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

SIZE_T peakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
}

// What the timer below needs: timer callbacks are __stdcall on x86, which a
// lambda cannot be, so they reach it through these.
CPatch_Veltris5v13Dlg* target;
int count;
double* start;

// Once the dialog is up: tick exactly the components asked for and press
// "Actualizar" as the user would.
void CALLBACK pressUpdate(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    target->m_updateProfessional = count >= 1;
    target->m_updatePublic = count >= 2;
    target->m_updateAdministration = count >= 3;
    *start = nowMs();
    SendMessageA(target->m_hWnd, WM_COMMAND, IDOK, 0);
}

int update(int components) {
    CPatch_Veltris5v13Dlg dialog;
    double started = 0, reported = 0;
    fw::setMessageBoxSink([&](const fw::MessageBoxCall& call) {
        if (call.caption == "Relatório") reported = nowMs();
        return IDOK;
    });
    target = &dialog;
    count = components;
    start = &started;
    SetTimer(nullptr, 0, 10, pressUpdate);
    dialog.DoModal();
    if (reported == 0) {
        std::printf("update %d: no report was shown\n", components);
        return 1;
    }
    std::printf("update%d %.1f ms peak %llu\n", components, reported - started,
                static_cast<unsigned long long>(peakWorkingSet()));
    return 0;
}

// Durability costs the disk's round trips; the floor pays them as the updater
// does, one flush per backup and one per file written.
bool flushed = true;

bool writeAll(const std::string& path, const Bytef* data, DWORD size) {
    fw::FileHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), data, size, &written, nullptr) && written == size &&
           (!flushed || FlushFileBuffers(file.get())) && file.close();
}

// The fewest calls that put a copy CopyFileA made on the disk: open, flush,
// close.
bool flushByPath(const std::string& path) {
    fw::FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && FlushFileBuffers(file.get()) && file.close();
}

int floor(const std::string& root) {
    double started = nowMs();
    std::vector<std::string> backups;
    for (const ComponentLayout& layout : installationLayout()) {
        std::string dir = componentDirectory(root, layout);
        // The same backups as the update makes: every file of the
        // component's backup table that is there.
        for (const BackupEntry& entry : backupTableOf(layout.kind)) {
            std::string backup = dir + entry.backup;
            if (!CopyFileA((dir + entry.installed).c_str(), backup.c_str(), FALSE)) continue;
            backups.push_back(backup);
            if (flushed && !flushByPath(backup)) {
                std::printf("floor: could not flush %s\n", backup.c_str());
                return 1;
            }
        }
        for (InstallStep step : layout.steps) {
            for (const CatalogueEntry& e : entriesOf(step)) {
                HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(e.id), "GZ");
                const Bytef* data = static_cast<const Bytef*>(LockResource(LoadResource(nullptr, found)));
                std::unique_ptr<Bytef[]> out(new Bytef[e.uncompressedSize]);
                uLongf length = e.uncompressedSize;
                if (uncompress(out.get(), &length, data, e.compressedSize) != Z_OK ||
                    !writeAll(dir + e.target, out.get(), length)) {
                    std::printf("floor: could not write %s%s\n", dir.c_str(), e.target);
                    return 1;
                }
            }
        }
        for (const std::string& b : backups) DeleteFileA(b.c_str());
        backups.clear();
    }
    std::printf("floor %.1f ms peak %llu\n", nowMs() - started, static_cast<unsigned long long>(peakWorkingSet()));
    return 0;
}

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK findDialog(HWND hwnd, LPARAM param) {
    Search* s = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char title[64] = {};
    GetWindowTextA(hwnd, title, sizeof title);
    if (pid == s->process && IsWindowVisible(hwnd) && std::string(title) == "VELTRIS 5") {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

int startup(const std::string& updater) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string command = "\"" + updater + "\"";
    double started = nowMs();
    if (!CreateProcessA(updater.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::printf("startup: cannot start %s\n", updater.c_str());
        return 1;
    }
    fw::FileHandle process(pi.hProcess), thread(pi.hThread);
    WaitForInputIdle(process.get(), 10000);
    Search s{pi.dwProcessId, nullptr};
    while (!s.found && nowMs() - started < 20000) {
        EnumWindows(findDialog, reinterpret_cast<LPARAM>(&s));
        if (!s.found) Sleep(2);
    }
    double ready = nowMs();
    if (!s.found) {
        TerminateProcess(process.get(), 1);
        std::printf("startup: no dialog\n");
        return 1;
    }
    PostMessageA(s.found, WM_CLOSE, 0, 0);
    WaitForSingleObject(process.get(), 10000);
    std::printf("startup %.1f ms\n", ready - started);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "update" && argc == 3) return update(std::atoi(argv[2]));
    if (mode == "floor" && (argc == 3 || (argc == 4 && std::string(argv[3]) == "unflushed"))) {
        flushed = argc == 3;
        return floor(argv[2]);
    }
    if (mode == "startup" && argc == 3) return startup(argv[2]);
    std::fprintf(stderr, "usage: bench_update update <1-3> | floor <root> [unflushed] | startup <updater.exe>\n");
    return 2;
}

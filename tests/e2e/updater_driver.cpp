#include "tests/e2e/updater_driver.h"

#include "resources/resource.h"
#include "tests/e2e/screen_capture.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#ifndef PATCH_E2E_UPDATER
#error "PATCH_E2E_UPDATER must name the updater executable"
#endif

namespace e2e {
namespace {

const char kMainCaption[] = "VELTRIS 5";
const char kDialogClass[] = "#32770";
// A message box's text is the static control 0xFFFF. Dialog templates of the
// updater give their unnamed statics -1, which is not the same id.
constexpr LONG_PTR kMessageBoxTextId = 0xFFFF;
constexpr UINT kSendTimeoutMs = 5000;
constexpr DWORD kPollMs = 20;
constexpr DWORD kIconPaintTimeoutMs = 3000;
// How long an answered box may take to go before the driver looks into why.
constexpr DWORD kClickAnswerMs = 1000;
constexpr DWORD kLostClickPauseMs = 150;
constexpr int kStartAttempts = 3;
// The longest a press of "Actualizar" may take to show that the run began.
constexpr DWORD kPressTimeoutMs = 60000;
// An icon drawn by the updater matches our own drawing of the same system
// icon almost exactly; other icons differ by far more.
constexpr double kIconMatchLimit = 12.0;

std::string className(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

bool isStaticText(HWND window) {
    if (className(window) != "Static") return false;
    LONG type = GetWindowLongA(window, GWL_STYLE) & SS_TYPEMASK;
    return type != SS_ICON && type != SS_BITMAP && type != SS_ENHMETAFILE && type != SS_OWNERDRAW;
}

bool isIconControl(HWND window) {
    return className(window) == "Static" && (GetWindowLongA(window, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

std::vector<HWND> childrenOf(HWND parent) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
    return out;
}

POINT centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// A press and release of the left button at a point of the primary screen.
// Each event carries its own position: a button event without one happens
// wherever the cursor is when it is queued, and under Wine the cursor may
// have been moved in between, back to where the X server last reported the
// pointer, by another process's handling of an older pointer event.
bool sendMouseButton(POINT screen) {
    const LONG width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    if (width <= 0 || height <= 0) return false;
    // Absolute positions run from 0 to 65535 across the screen; rounding up
    // makes the position come back as exactly this pixel.
    auto normalised = [](LONG pixel, LONG size) { return static_cast<LONG>((pixel * 65536LL + size - 1) / size); };
    INPUT input[2] = {};
    for (INPUT& event : input) {
        event.type = INPUT_MOUSE;
        event.mi.dx = normalised(screen.x, width);
        event.mi.dy = normalised(screen.y, height);
    }
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP;
    return SendInput(2, input, sizeof(INPUT)) == 2;
}

}  // namespace

std::string windowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string out = "Z:" + path;
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

std::string updaterPath() {
    char buffer[MAX_PATH * 2] = {};
    DWORD length = GetEnvironmentVariableA("PATCH_E2E_UPDATER", buffer, sizeof buffer);
    if (length > 0 && length < sizeof buffer) return windowsPath(buffer);
    return windowsPath(PATCH_E2E_UPDATER);
}

// --- RemoteBuffer ---

RemoteBuffer::RemoteBuffer(HANDLE process, size_t size)
    : process_(process),
      address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)),
      size_(size) {}

RemoteBuffer::~RemoteBuffer() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
}

bool RemoteBuffer::write(size_t offset, const void* data, size_t size) const {
    SIZE_T done = 0;
    return address_ && offset + size <= size_ &&
           WriteProcessMemory(process_, address() + offset, data, size, &done) && done == size;
}

bool RemoteBuffer::read(size_t offset, void* data, size_t size) const {
    SIZE_T done = 0;
    return address_ && offset + size <= size_ &&
           ReadProcessMemory(process_, address() + offset, data, size, &done) && done == size;
}

const char* toString(BoxIcon icon) {
    switch (icon) {
    case BoxIcon::none:
        return "none";
    case BoxIcon::exclamation:
        return "exclamation";
    case BoxIcon::information:
        return "information";
    case BoxIcon::question:
        return "question";
    case BoxIcon::error:
        return "error";
    default:
        return "unknown";
    }
}

// --- UpdaterSession ---

UpdaterSession::UpdaterSession(const std::string& exePath) {
    std::string commandLine = "\"" + exePath + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // Under Wine a new process that dies in Wine's own loader, before any of
    // its code has run, makes the start fail with ERROR_INTERNAL_ERROR; seen
    // now and then when 32-bit processes are started through an emulator on
    // a busy machine. That start is made again; any other failure is final.
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessA(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &info))
            break;
        const DWORD error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == kStartAttempts) {
            error_ = "cannot start " + exePath + ": error " + std::to_string(error);
            return;
        }
        std::fprintf(stderr, "[driver] start of %s failed with error %lu, starting it again\n", exePath.c_str(),
                     static_cast<unsigned long>(error));
    }
    process_.reset(info.hProcess);
    thread_.reset(info.hThread);
    pid_ = info.dwProcessId;
}

UpdaterSession::~UpdaterSession() {
    if (running()) kill();
}

bool UpdaterSession::running() const {
    return process_.valid() && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

DWORD UpdaterSession::exitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_.valid()) GetExitCodeProcess(process_.get(), &code);
    return code;
}

bool UpdaterSession::waitForExit(DWORD timeoutMs) {
    return process_.valid() && WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
}

void UpdaterSession::kill() {
    if (!process_.valid()) return;
    TerminateProcess(process_.get(), kKilledExitCode);
    WaitForSingleObject(process_.get(), 10000);
}

bool UpdaterSession::waitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(kPollMs);
    }
}

void UpdaterSession::settle(DWORD ms) const {
    Sleep(ms);
    // A round trip through the dialog's queue: it has at least come back to
    // its message loop once since the wait.
    HWND main = mainWindow();
    LRESULT ignored = 0;
    if (main) send(main, WM_NULL, 0, 0, ignored);
}

bool UpdaterSession::send(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) const {
    DWORD_PTR out = 0;
    if (!window || !SendMessageTimeoutA(window, msg, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &out))
        return false;
    result = static_cast<LRESULT>(out);
    return true;
}

// --- windows ---

std::vector<HWND> UpdaterSession::topLevelWindows() const {
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } search{pid_, {}};
    // Window callbacks are __stdcall on x86, which a lambda cannot be.
    struct Collect {
        static BOOL CALLBACK onWindow(HWND window, LPARAM param) {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->pid) s->found.push_back(window);
            return TRUE;
        }
    };
    EnumWindows(Collect::onWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string UpdaterSession::windowText(HWND window) {
    // The window manager's copy of the text: no message reaches the updater,
    // so this works while it is busy.
    std::string text(512, '\0');
    for (;;) {
        int length = GetWindowTextA(window, &text[0], static_cast<int>(text.size()));
        if (length < static_cast<int>(text.size()) - 1) {
            text.resize(length > 0 ? length : 0);
            return text;
        }
        text.assign(text.size() * 2, '\0');
    }
}

HWND UpdaterSession::mainWindow() const {
    for (HWND w : topLevelWindows())
        if (className(w) == kDialogClass && windowText(w) == kMainCaption) return w;
    return nullptr;
}

HWND UpdaterSession::waitForMainWindow(DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil(
        [&] {
            found = mainWindow();
            return found && IsWindowVisible(found) && IsWindowEnabled(found);
        },
        timeoutMs);
    return found && IsWindowVisible(found) && IsWindowEnabled(found) ? found : nullptr;
}

HWND UpdaterSession::findDialog(const std::string& caption) const {
    for (HWND w : topLevelWindows())
        if (className(w) == kDialogClass && IsWindowVisible(w) && windowText(w) == caption) return w;
    return nullptr;
}

HWND UpdaterSession::waitForDialog(const std::string& caption, DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil([&] { return (found = findDialog(caption)) != nullptr; }, timeoutMs);
    return found;
}

bool UpdaterSession::isMessageBox(HWND window) const {
    if (className(window) != kDialogClass || !IsWindowVisible(window) || window == mainWindow()) return false;
    for (HWND child : childrenOf(window))
        if (GetWindowLongPtrA(child, GWLP_ID) == kMessageBoxTextId && className(child) == "Static") return true;
    return false;
}

HWND UpdaterSession::waitForAboutBox(DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil(
        [&] {
            for (HWND w : otherDialogs())
                if (!isMessageBox(w)) found = w;
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

std::vector<HWND> UpdaterSession::otherDialogs() const {
    std::vector<HWND> out;
    HWND main = mainWindow();
    for (HWND w : topLevelWindows())
        if (w != main && className(w) == kDialogClass && IsWindowVisible(w)) out.push_back(w);
    return out;
}

std::vector<HWND> UpdaterSession::messageBoxes() const {
    std::vector<HWND> out;
    for (HWND w : topLevelWindows())
        if (isMessageBox(w)) out.push_back(w);
    return out;
}

// --- start-up ---

StartupOutcome UpdaterSession::runStartup(DWORD timeoutMs,
                                          const std::function<void(const MessageBoxInfo&)>& whileOpen) {
    StartupOutcome outcome;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < deadline) {
        if (!running()) {
            outcome.ended = true;
            return outcome;
        }
        std::vector<HWND> boxes = messageBoxes();
        if (!boxes.empty()) {
            MessageBoxInfo box = readMessageBox(boxes.front());
            if (whileOpen) whileOpen(box);
            outcome.boxes.push_back(box);
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline || !answerMessageBox(box, IDOK, static_cast<DWORD>(deadline - now))) break;
            continue;
        }
        // The dialog is shown only once its initialisation, start-up checks
        // and their messages included, is over.
        HWND main = mainWindow();
        if (main && IsWindowVisible(main) && IsWindowEnabled(main)) {
            outcome.dialogOpen = true;
            return outcome;
        }
        Sleep(kPollMs);
    }
    outcome.timedOut = true;
    return outcome;
}

// --- message boxes ---

MessageBoxInfo UpdaterSession::readMessageBox(HWND box) const {
    MessageBoxInfo info;
    info.window = box;
    info.caption = windowText(box);
    for (HWND child : childrenOf(box)) {
        if (className(child) == "Button") {
            info.buttons.push_back(ButtonInfo{static_cast<int>(GetWindowLongPtrA(child, GWLP_ID)), windowText(child)});
        } else if (GetWindowLongPtrA(child, GWLP_ID) == kMessageBoxTextId && className(child) == "Static") {
            info.text = windowText(child);
        }
    }
    info.icon = identifyIcon(box);
    return info;
}

BoxIcon UpdaterSession::identifyIcon(HWND box) const {
    HWND iconControl = nullptr;
    for (HWND child : childrenOf(box))
        if (isIconControl(child) && IsWindowVisible(child)) iconControl = child;
    if (!iconControl) return BoxIcon::none;

    // The icon handle belongs to the updater and cannot be read from here
    // (under Wine GetIconInfo on it fails), so compare what the box shows with
    // each standard icon as this process draws it.
    struct Candidate {
        BoxIcon icon;
        LPCSTR id;
    };
    const Candidate candidates[] = {{BoxIcon::exclamation, IDI_EXCLAMATION},
                                    {BoxIcon::information, IDI_ASTERISK},
                                    {BoxIcon::question, IDI_QUESTION},
                                    {BoxIcon::error, IDI_HAND}};
    BoxIcon result = BoxIcon::unknown;
    waitUntil(
        [&] {
            double best = kIconMatchLimit;
            for (const Candidate& c : candidates) {
                double difference = iconDifference(iconControl, LoadIconA(nullptr, c.id));
                if (difference < best) {
                    best = difference;
                    result = c.icon;
                }
            }
            return result != BoxIcon::unknown;
        },
        kIconPaintTimeoutMs);
    return result;
}

double UpdaterSession::iconDifference(HWND iconControl, HICON icon) {
    RECT area;
    Image shown;
    if (!icon || !GetWindowRect(iconControl, &area) || !captureScreen(area, shown)) return 255.0;
    // The control's corner is background in every standard icon.
    return meanDifference(shown, renderIcon(icon, shown.width, shown.height, shown.at(0, 0)));
}

bool UpdaterSession::waitForMessageBox(MessageBoxInfo& box, DWORD timeoutMs) {
    HWND found = nullptr;
    if (!waitUntil(
            [&] {
                std::vector<HWND> boxes = messageBoxes();
                found = boxes.empty() ? nullptr : boxes.front();
                return found != nullptr;
            },
            timeoutMs))
        return false;
    box = readMessageBox(found);
    return true;
}

bool UpdaterSession::clickWasLost(HWND window) const {
    // A box that got its click is gone as soon as the updater's thread has
    // handled the input. Two round trips through that thread's queue, with a
    // pause between, let it handle whatever input it had; a box still shown
    // after them never got the click, and clicking again cannot answer it
    // twice. Slowness alone (a busy machine) is not taken for a lost click.
    for (int trip = 0; trip < 2; ++trip) {
        LRESULT ignored = 0;
        if (!send(window, WM_NULL, 0, 0, ignored)) return false;
        Sleep(kLostClickPauseMs);
    }
    return IsWindow(window) && IsWindowVisible(window);
}

std::string UpdaterSession::describeLostClick(HWND window, int buttonId) const {
    // Where the click went, as far as the window manager knows, so that a
    // lost click can be told from a click on the wrong spot.
    POINT cursor{};
    GetCursorPos(&cursor);
    HWND under = WindowFromPoint(cursor);
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui);
    char text[256];
    std::snprintf(text, sizeof text, "button %d of \"%.40s\": cursor %ld,%ld on %s, active %s, capture %s", buttonId,
                  windowText(window).c_str(), cursor.x, cursor.y,
                  under == GetDlgItem(window, buttonId) ? "the button" : under == window ? "the window" : "another window",
                  gui.hwndActive == window ? "the window" : gui.hwndActive ? "another window" : "none",
                  gui.hwndCapture ? "held" : "none");
    return text;
}

bool UpdaterSession::answerMessageBox(const MessageBoxInfo& box, int buttonId, DWORD timeoutMs) {
    auto gone = [&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); };
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (!clickButtonOf(box.window, buttonId)) return gone();
        // Wait while the updater is only slow; click again once the click
        // itself went missing.
        for (;;) {
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) return gone();
            if (waitUntil(gone, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, kClickAnswerMs)))) return true;
            if (clickWasLost(box.window)) break;
            if (gone()) return true;
        }
        repeatedClicks_.push_back(describeLostClick(box.window, buttonId));
        std::fprintf(stderr, "[driver] click made again: %s\n", repeatedClicks_.back().c_str());
    }
}

// --- the update run ---

namespace {
const char kReportCaption[] = "Relatório";
// Boxes the run may show before its report: at most one restore or clean-up
// list per component and the configuration notice; far more means a loop.
constexpr size_t kMostBoxesBeforeReport = 20;
constexpr int kClickAttempts = 3;
}  // namespace

bool UpdaterSession::pressActualizar(DWORD waitMs) {
    auto begun = [&] { return controlVisible(IDC_PROGRESS1) || !messageBoxes().empty() || !running(); };
    const ULONGLONG deadline = GetTickCount64() + kPressTimeoutMs;
    for (int attempt = 0; attempt < kClickAttempts; ++attempt) {
        if (attempt > 0) {
            repeatedClicks_.push_back(describeLostClick(mainWindow(), IDOK));
            std::fprintf(stderr, "[driver] click made again: %s\n", repeatedClicks_.back().c_str());
        }
        if (!clickControl(IDOK)) continue;
        // A run that has begun but is slow to show it is not pressed twice:
        // a busy dialog does not answer the round trips.
        for (;;) {
            if (waitUntil(begun, waitMs)) return true;
            if (GetTickCount64() >= deadline) return false;
            if (clickWasLost(mainWindow()) && !begun()) break;
        }
    }
    return false;
}

UpdateRunOutcome UpdaterSession::awaitReport(DWORD timeoutMs,
                                             const std::function<void(const MessageBoxInfo&)>& whileReportOpen,
                                             bool answer) {
    UpdateRunOutcome outcome;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < deadline) {
        std::vector<HWND> boxes = messageBoxes();
        if (boxes.empty()) {
            if (!running()) {
                outcome.ended = true;
                return outcome;
            }
            Sleep(kPollMs);
            continue;
        }
        MessageBoxInfo box = readMessageBox(boxes.front());
        if (box.caption != kReportCaption) {
            outcome.boxesBeforeReport.push_back(box);
            if (outcome.boxesBeforeReport.size() > kMostBoxesBeforeReport || !answerMessageBox(box)) return outcome;
            continue;
        }
        // The icon is told from the screen; looked at before the box has
        // painted it, it may pass for another. A shown icon stays what it is
        // when looked at again.
        for (int look = 0; look < 3 && box.icon != BoxIcon::information; ++look) {
            Sleep(100);
            box.icon = identifyIcon(box.window);
        }
        outcome.reportShown = true;
        outcome.report = box;
        outcome.progressAtReport = progress();
        outcome.reportOwner = GetWindow(box.window, GW_OWNER);
        HWND main = mainWindow();
        outcome.mainEnabledAtReport = main && IsWindowEnabled(main);
        if (whileReportOpen) whileReportOpen(box);
        if (answer) outcome.reportAnswered = answerMessageBox(box);
        return outcome;
    }
    outcome.timedOut = true;
    return outcome;
}

// --- reading ---

HWND UpdaterSession::control(int id) const {
    HWND main = mainWindow();
    return main ? GetDlgItem(main, id) : nullptr;
}

std::string UpdaterSession::controlText(int id) const {
    HWND c = control(id);
    return c ? windowText(c) : std::string();
}

bool UpdaterSession::controlEnabled(int id) const {
    HWND c = control(id);
    return c && IsWindowEnabled(c);
}

bool UpdaterSession::controlVisible(int id) const {
    HWND c = control(id);
    return c && IsWindowVisible(c);
}

std::vector<std::string> UpdaterSession::staticTexts(HWND dialog) {
    std::vector<std::pair<RECT, HWND>> statics;
    for (HWND child : childrenOf(dialog)) {
        RECT r;
        if (isStaticText(child) && GetWindowRect(child, &r)) statics.emplace_back(r, child);
    }
    std::sort(statics.begin(), statics.end(), [](const auto& a, const auto& b) {
        return a.first.top != b.first.top ? a.first.top < b.first.top : a.first.left < b.first.left;
    });
    std::vector<std::string> texts;
    for (const auto& s : statics) texts.push_back(windowText(s.second));
    return texts;
}

int UpdaterSession::rowCount() const {
    LRESULT count = -1;
    if (!send(control(IDC_LIST1), LVM_GETITEMCOUNT, 0, 0, count)) return -1;
    return static_cast<int>(count);
}

bool UpdaterSession::readRow(int index, ListRow& row) const {
    HWND list = control(IDC_LIST1);
    constexpr size_t kTextSize = 1024;
    RemoteBuffer remote(process_.get(), sizeof(LVITEMA) + kTextSize);
    if (!list || !remote.valid()) return false;

    for (int sub = 0; sub < 3; ++sub) {
        LVITEMA item{};
        item.iSubItem = sub;
        item.pszText = remote.address() + sizeof(LVITEMA);
        item.cchTextMax = static_cast<int>(kTextSize);
        LRESULT length = 0;
        if (!remote.write(0, &item, sizeof item) ||
            !send(list, LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(remote.address()), length) || length < 0 ||
            length >= static_cast<LRESULT>(kTextSize))
            return false;
        std::string text(static_cast<size_t>(length), '\0');
        if (length > 0 && !remote.read(sizeof(LVITEMA), &text[0], text.size())) return false;
        row.texts[sub] = text;
    }

    LVITEMA item{};
    item.mask = LVIF_IMAGE | LVIF_PARAM;
    item.iItem = index;
    LRESULT ok = FALSE;
    if (!remote.write(0, &item, sizeof item) ||
        !send(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.address()), ok) || !ok ||
        !remote.read(0, &item, sizeof item))
        return false;
    row.image = item.iImage;
    row.data = item.lParam;
    return true;
}

bool UpdaterSession::readRows(std::vector<ListRow>& rows) const {
    rows.clear();
    int count = rowCount();
    if (count < 0) return false;
    for (int i = 0; i < count; ++i) {
        ListRow row;
        if (!readRow(i, row)) return false;
        rows.push_back(row);
    }
    return true;
}

int UpdaterSession::selectionMark() const {
    LRESULT mark = -1;
    if (!send(control(IDC_LIST1), LVM_GETSELECTIONMARK, 0, 0, mark)) return -1;
    return static_cast<int>(mark);
}

ProgressState UpdaterSession::progress() const {
    ProgressState state;
    HWND bar = control(IDC_PROGRESS1);
    if (!bar) return state;
    state.visible = IsWindowVisible(bar) != FALSE;
    LRESULT value = 0;
    if (send(bar, PBM_GETPOS, 0, 0, value)) state.position = static_cast<int>(value);
    if (send(bar, PBM_GETRANGE, TRUE, 0, value)) state.low = static_cast<int>(value);
    if (send(bar, PBM_GETRANGE, FALSE, 0, value)) state.high = static_cast<int>(value);
    return state;
}

// --- input ---

bool UpdaterSession::bringToForeground(HWND window) {
    if (GetForegroundWindow() == window) return true;
    SetForegroundWindow(window);
    return waitUntil([&] { return GetForegroundWindow() == window; }, 2000);
}

bool UpdaterSession::clickAt(POINT screen, HWND topLevel, HWND expectedTarget) {
    // Mouse input goes to the window under the cursor; activation only
    // matters for what follows (keys), so a refused foreground is no failure.
    bringToForeground(topLevel);
    HWND hit = WindowFromPoint(screen);
    bool onTarget = hit && (hit == expectedTarget || IsChild(expectedTarget, hit));
    // A disabled control lets the click through to its dialog, as for a user.
    bool throughDisabled = hit && expectedTarget && !IsWindowEnabled(expectedTarget) && IsChild(hit, expectedTarget);
    if (!onTarget && !throughDisabled) return false;

    const ULONGLONG sinceLast = GetTickCount64() - lastClickTime_;
    const ULONGLONG doubleClickTime = GetDoubleClickTime();
    if (lastClickTime_ != 0 && sinceLast <= doubleClickTime &&
        std::abs(screen.x - lastClick_.x) <= GetSystemMetrics(SM_CXDOUBLECLK) &&
        std::abs(screen.y - lastClick_.y) <= GetSystemMetrics(SM_CYDOUBLECLK))
        Sleep(static_cast<DWORD>(doubleClickTime - sinceLast) + 50);

    if (!SetCursorPos(screen.x, screen.y) || !sendMouseButton(screen)) return false;
    lastClick_ = screen;
    lastClickTime_ = GetTickCount64();
    return true;
}

bool UpdaterSession::clickButtonOf(HWND dialog, int id) {
    HWND button = dialog ? GetDlgItem(dialog, id) : nullptr;
    RECT r;
    if (!button || !GetWindowRect(button, &r)) return false;
    return clickAt(centre(r), dialog, button);
}

bool UpdaterSession::clickControl(int id) { return clickButtonOf(mainWindow(), id); }

bool UpdaterSession::rowScreenRect(int index, int part, RECT& screen) const {
    HWND list = control(IDC_LIST1);
    RemoteBuffer remote(process_.get(), sizeof(RECT));
    RECT r{};
    r.left = part;
    LRESULT ok = FALSE;
    if (!list || !remote.write(0, &r, sizeof r) ||
        !send(list, LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(remote.address()), ok) || !ok ||
        !remote.read(0, &r, sizeof r))
        return false;
    MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&r), 2);
    screen = r;
    return true;
}

bool UpdaterSession::clickRow(int index) {
    RECT r;
    if (!rowScreenRect(index, LVIR_LABEL, r)) return false;
    return clickAt(centre(r), mainWindow(), control(IDC_LIST1));
}

bool UpdaterSession::clickListBelowRows() {
    HWND list = control(IDC_LIST1);
    RECT client;
    if (!list || !GetClientRect(list, &client)) return false;
    MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&client), 2);
    int top = client.top;
    int count = rowCount();
    RECT last;
    if (count > 0 && rowScreenRect(count - 1, LVIR_BOUNDS, last)) {
        top = last.bottom;
    } else if (HWND header = FindWindowExA(list, nullptr, WC_HEADERA, nullptr)) {
        RECT h;
        if (GetWindowRect(header, &h)) top = h.bottom;
    }
    POINT p{client.left + 40, top + 8};
    if (p.y >= client.bottom) return false;
    return clickAt(p, mainWindow(), list);
}

bool UpdaterSession::pressKey(WORD virtualKey, HWND topLevel) {
    HWND target = topLevel ? topLevel : mainWindow();
    if (!target || !bringToForeground(target)) return false;
    INPUT input[2] = {};
    input[0].type = INPUT_KEYBOARD;
    input[0].ki.wVk = virtualKey;
    input[0].ki.wScan = static_cast<WORD>(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC));
    input[1] = input[0];
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    return SendInput(2, input, sizeof(INPUT)) == 2;
}

bool UpdaterSession::postSystemCommand(WPARAM command) {
    HWND main = mainWindow();
    return main && PostMessageA(main, WM_SYSCOMMAND, command, 0);
}

}  // namespace e2e

// Drives the built updater as a separate process, the way a user meets it:
// it starts the executable, finds its windows, reads what they show, clicks
// and types with real input, answers its message boxes and waits for the
// process to end.
//
// Everything is read from outside the process. Window captions and control
// texts come from the window manager's copy of each window's text, so reading
// never waits on a busy updater; what only the control itself knows (list
// rows, progress) is asked with a bounded SendMessageTimeout; text returned
// through a pointer (LVITEM) goes through memory allocated inside the updater.
#pragma once

#include "framework/handles.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return nullptr; }
    static bool close(Handle h) noexcept { return CloseHandle(h) != FALSE; }
};
// Process and thread handles: null when missing, unlike file handles.
using KernelHandle = fw::UniqueHandle<KernelHandleTraits>;

constexpr DWORD kDefaultTimeoutMs = 15000;
// The exit code given to an updater that the driver had to end by force.
constexpr UINT kKilledExitCode = 0xE2E0DEADu;

// The Windows form of a path: an absolute Unix path names the same file on
// drive Z: under Wine; anything else is returned unchanged.
std::string windowsPath(const std::string& path);
// The updater under test: PATCH_E2E_UPDATER from the environment if set,
// else the executable this library was built with.
std::string updaterPath();

// Memory inside another process, released when the object goes away.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, size_t size);
    ~RemoteBuffer();
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    bool valid() const { return address_ != nullptr; }
    // The address as the other process sees it.
    char* address() const { return static_cast<char*>(address_); }
    bool write(size_t offset, const void* data, size_t size) const;
    bool read(size_t offset, void* data, size_t size) const;

private:
    HANDLE process_;
    void* address_;
    size_t size_;
};

// Which standard icon a message box shows, told by how it looks on screen.
enum class BoxIcon { none, exclamation, information, question, error, unknown };
const char* toString(BoxIcon icon);

struct ButtonInfo {
    int id;
    std::string text;
};

struct MessageBoxInfo {
    HWND window = nullptr;
    std::string caption;
    std::string text;
    BoxIcon icon = BoxIcon::unknown;
    std::vector<ButtonInfo> buttons;
};

struct ListRow {
    std::string texts[3];  // label, version, install directory
    int image = -1;        // 0 empty box, 1 ticked
    LPARAM data = -1;      // the component's number
};

struct ProgressState {
    bool visible = false;
    int position = -1;
    int low = -1;
    int high = -1;
};

// What the updater did between its start and the moment its main dialog
// waited for input (or the process ended).
struct StartupOutcome {
    std::vector<MessageBoxInfo> boxes;  // in the order shown, each answered with OK
    bool dialogOpen = false;            // the main dialog is visible and takes input
    bool ended = false;                 // the process ended during start-up
    bool timedOut = false;
};

// What one press of "Actualizar" led to, up to and including the report.
struct UpdateRunOutcome {
    std::vector<MessageBoxInfo> boxesBeforeReport;  // in the order shown, each answered with OK
    bool reportShown = false;
    MessageBoxInfo report;            // the "Relatório" box, read while it was open
    ProgressState progressAtReport;   // the bar while the report was open
    HWND reportOwner = nullptr;       // the window that owns the report box
    bool mainEnabledAtReport = false; // the main dialog took input under the report
    bool reportAnswered = false;      // closed with OK
    bool ended = false;               // the process ended before any report
    bool timedOut = false;
};

// One run of the updater. The process is started by the constructor and, if
// it is still running when the session goes away, ended by force.
class UpdaterSession {
public:
    explicit UpdaterSession(const std::string& exePath = updaterPath());
    ~UpdaterSession();
    UpdaterSession(const UpdaterSession&) = delete;
    UpdaterSession& operator=(const UpdaterSession&) = delete;

    bool started() const { return process_.valid(); }
    const std::string& error() const { return error_; }
    DWORD pid() const { return pid_; }
    HANDLE process() const { return process_.get(); }

    // --- windows ---
    // Visible or not, the process's top-level window titled "VELTRIS 5".
    HWND mainWindow() const;
    // Waits until the main dialog is visible and enabled (not under a modal box).
    HWND waitForMainWindow(DWORD timeoutMs = kDefaultTimeoutMs);
    std::vector<HWND> topLevelWindows() const;
    // A visible dialog of the process with exactly this caption, or null.
    HWND findDialog(const std::string& caption) const;
    HWND waitForDialog(const std::string& caption, DWORD timeoutMs = kDefaultTimeoutMs);
    // The About box: the visible dialog of the process that is neither the
    // main dialog nor a message box; null at the timeout.
    HWND waitForAboutBox(DWORD timeoutMs = kDefaultTimeoutMs);
    // The process's visible message boxes, topmost first.
    std::vector<HWND> messageBoxes() const;
    bool isMessageBox(HWND window) const;

    // --- start-up ---
    // Answers every message box with OK, in order, until the main dialog is
    // visible and takes input or the process ends. `whileOpen` runs for each
    // box before it is answered, while the updater waits on it.
    StartupOutcome runStartup(DWORD timeoutMs = kDefaultTimeoutMs,
                              const std::function<void(const MessageBoxInfo&)>& whileOpen = nullptr);

    // --- message boxes ---
    // Reads the box: caption, text, buttons and, from the screen, its icon.
    MessageBoxInfo readMessageBox(HWND box) const;
    bool waitForMessageBox(MessageBoxInfo& box, DWORD timeoutMs = kDefaultTimeoutMs);
    // Clicks the button with the mouse and waits until the box has gone.
    // Under Wine on a bare X server a click now and then never reaches the
    // box; one that did not is made again (see repeatedClicks).
    bool answerMessageBox(const MessageBoxInfo& box, int buttonId = IDOK, DWORD timeoutMs = kDefaultTimeoutMs);
    // What each click made again was aimed at, in order.
    const std::vector<std::string>& repeatedClicks() const { return repeatedClicks_; }

    // --- reading the main dialog (or any window of the process) ---
    static std::string windowText(HWND window);
    std::string controlText(int id) const;
    bool controlEnabled(int id) const;
    bool controlVisible(int id) const;
    HWND control(int id) const;
    // The texts of the static text controls of a dialog, top to bottom.
    static std::vector<std::string> staticTexts(HWND dialog);
    // -1 when the list cannot be asked.
    int rowCount() const;
    bool readRow(int index, ListRow& row) const;
    // Every row; false when one could not be read.
    bool readRows(std::vector<ListRow>& rows) const;
    ProgressState progress() const;
    // The row holding the list's selection mark, -1 for none (or when the
    // list cannot be asked).
    int selectionMark() const;
    // Mean colour difference (0 to 255) between what an icon control shows
    // on screen and `icon` of this process drawn in its place; 255 when the
    // screen cannot be read.
    static double iconDifference(HWND iconControl, HICON icon);
    // A part of a row (LVIR_BOUNDS, LVIR_ICON, LVIR_LABEL) in screen coordinates.
    bool rowScreenRect(int index, int part, RECT& screen) const;
    // Visible dialogs of the process other than the main one (message boxes,
    // the About box), topmost first.
    std::vector<HWND> otherDialogs() const;

    // --- input ---
    // Real left click (cursor moved there, button down and up) at a point of
    // the screen, after bringing `topLevel` to the foreground. False when the
    // point is not on `expectedTarget` (or a child of it), or, for a disabled
    // target, on the window the click then really goes to. A click on the
    // spot of the previous one waits out the double-click time first: the
    // user clicked twice, not double-clicked.
    bool clickAt(POINT screen, HWND topLevel, HWND expectedTarget);
    // Real click in the middle of a control of the main dialog.
    bool clickControl(int id);
    bool clickButtonOf(HWND dialog, int id);
    // Real click on a list row, in the middle of its label.
    bool clickRow(int index);
    // Real click in the list's client area below its last row.
    bool clickListBelowRows();
    // Real key press and release, to the foreground window after bringing
    // `topLevel` (default: the main dialog) to the foreground.
    bool pressKey(WORD virtualKey, HWND topLevel = nullptr);
    // The system menu command as the menu sends it, posted to the main dialog.
    bool postSystemCommand(WPARAM command);

    // Waits until `done` holds, polling; false at the timeout.
    static bool waitUntil(const std::function<bool()>& done, DWORD timeoutMs = kDefaultTimeoutMs);
    // Gives the updater time to act on input that should change nothing.
    void settle(DWORD ms = 300) const;

    // --- the update run ---
    // Presses "Actualizar" with a real click. A press after which the run
    // shows no sign of having begun (progress bar shown, a box up, or the
    // process gone) within `waitMs`, while the dialog is idle, never reached
    // it and is made again, three presses at most (see repeatedClicks).
    bool pressActualizar(DWORD waitMs = 3000);
    // After "Actualizar": answers with OK every box shown before the report,
    // then reads the "Relatório" box and the progress bar while the report is
    // open, runs `whileReportOpen`, and (with `answer`) closes the report with
    // OK. It does not wait for the process to end.
    UpdateRunOutcome awaitReport(DWORD timeoutMs = 60000,
                                 const std::function<void(const MessageBoxInfo&)>& whileReportOpen = nullptr,
                                 bool answer = true);

    // --- ending ---
    bool waitForExit(DWORD timeoutMs = kDefaultTimeoutMs);
    bool running() const;
    // The exit code once ended; STILL_ACTIVE while running.
    DWORD exitCode() const;
    // Ends the process by force (kKilledExitCode) and waits for it.
    void kill();

private:
    bool bringToForeground(HWND window);
    bool send(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) const;
    BoxIcon identifyIcon(HWND box) const;
    // True when a window that was clicked is still shown although the
    // updater has since handled its input.
    bool clickWasLost(HWND window) const;
    std::string describeLostClick(HWND window, int buttonId) const;

    KernelHandle process_;
    KernelHandle thread_;
    DWORD pid_ = 0;
    std::string error_;
    // The last click, so that two clicks on one spot stay two clicks.
    POINT lastClick_{};
    ULONGLONG lastClickTime_ = 0;
    std::vector<std::string> repeatedClicks_;
};

}  // namespace e2e

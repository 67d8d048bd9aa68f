// Shared by the test programs: a clean product key in the registry, scratch
// folders, recorded message boxes and a way to act on a modal dialog while it
// runs.
#pragma once

#include "framework/message_box.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class CDialog;

namespace testing_support {

extern const char kProductKey[];  // SOFTWARE\Veltris5 under HKEY_LOCAL_MACHINE

// The product's installer is a 32-bit program: on 64-bit Windows its records
// are in the 32-bit view of the registry. The fixtures write and read there,
// whatever view the test program itself would get.
constexpr REGSAM kInstallerView = KEY_WOW64_32KEY;
// Whether this program runs under WOW64, i.e. on 64-bit Windows, where a
// second, 64-bit view of the registry exists.
bool onWow64();

// Removes the product's keys (from both views) when created and when
// destroyed, so each test starts from a machine without the product.
class CleanRegistry {
public:
    CleanRegistry();
    ~CleanRegistry();
    CleanRegistry(const CleanRegistry&) = delete;
    CleanRegistry& operator=(const CleanRegistry&) = delete;
};

void removeProductKeys();
void setRegistryValue(const std::string& key, const std::string& name, const std::string& data,
                      DWORD type = REG_SZ);
// Exactly these bytes, for values without a terminating zero or of odd sizes.
void setRegistryBytes(const std::string& key, const std::string& name, const std::string& bytes, DWORD type);
void createRegistryKey(const std::string& key);
// Reads a value back: false when it does not exist.
bool readRegistryValue(const std::string& key, const std::string& name, std::string& data, DWORD& type,
                       REGSAM view = kInstallerView);

// Writes the three values of one component record.
void registerComponent(const std::string& key, const std::string& version, const std::string& dir,
                       const std::string& system);

// A fresh folder under the temporary directory, removed with everything in it
// when the object goes away.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    // The folder without a trailing backslash.
    const std::string& path() const { return path_; }
    // path() + "\\" + relative (relative may itself begin with a backslash).
    std::string operator/(const std::string& relative) const;

private:
    std::string path_;
};

// \\servidor\partilha as Wine serves a share: the prefix's folder
// dosdevices\unc\servidor\partilha, made anew and empty, so what an earlier
// test left there goes. Empty where no Wine prefix can be found.
std::string freshNetworkShare();

void removeTree(const std::string& path);
// Creates the file and the folders leading to it.
void writeFile(const std::string& path, const std::string& content);
bool readFile(const std::string& path, std::string& content);
std::string readFileOr(const std::string& path, const std::string& fallback = "<missing>");
bool exists(const std::string& path);
void makeDirs(const std::string& path);
// Every file below the folder whose name contains this text.
std::vector<std::string> findFiles(const std::string& root, const std::string& nameContains);
// Each file below `root` (folders are walked, not visited), with what the
// search found of it.
void forEachFile(const std::string& root, const std::function<void(const std::string&, const WIN32_FIND_DATAA&)>& visit);

// Records every message box instead of showing it; answers IDOK.
class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    std::vector<fw::MessageBoxCall> calls;
    std::vector<std::string> texts() const;
    // Called for every box as it is shown (while the caller waits for it).
    std::function<void(const fw::MessageBoxCall&)> onShow;

private:
    fw::MessageBoxSink previous_;
};

// While alive, the updater's presence lookup of every path that contains
// `fragment` fails with `error`, as Windows can fail it where a local disk
// under Wine never does (access denied on a file pending deletion, a network
// error on a shared folder); other paths are looked up as usual. With
// ERROR_SUCCESS it fails nothing, so a table row can leave the lookup alone.
// Counts the lookups it failed.
class LookupFailure {
public:
    LookupFailure(std::string fragment, DWORD error);
    ~LookupFailure();
    LookupFailure(const LookupFailure&) = delete;
    LookupFailure& operator=(const LookupFailure&) = delete;
    int failed() const;
};

// Runs the dialog modally. Once it has opened and its message queue is idle,
// `whileOpen` runs inside its modal loop; if the dialog is still open after
// that, it is ended with `endWith` (0: leave it to whileOpen). Returns the
// modal result.
INT_PTR runModal(CDialog& dialog, const std::function<void()>& whileOpen, int endWith = IDCANCEL);

// The inflated content of a payload of this program's own resources.
std::string payloadContent(int id);

}  // namespace testing_support

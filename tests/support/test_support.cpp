#include "tests/support/test_support.h"

#include "payload/presence.h"

#include "framework/dialog.h"
#include "framework/handles.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <memory>

namespace testing_support {

const char kProductKey[] = "SOFTWARE\\Veltris5";

bool onWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

void removeProductKeys() {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        fw::RegKey software;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS | view, software.receive()) !=
            ERROR_SUCCESS)
            continue;
        RegDeleteTreeA(software.get(), "Veltris5");
        RegDeleteKeyExA(software.get(), "Veltris5", view, 0);
    }
}

CleanRegistry::CleanRegistry() { removeProductKeys(); }
CleanRegistry::~CleanRegistry() { removeProductKeys(); }

void createRegistryKey(const std::string& key) {
    fw::RegKey k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS | kInstallerView, nullptr, k.receive(), nullptr))
        << key;
}

void setRegistryBytes(const std::string& key, const std::string& name, const std::string& bytes, DWORD type) {
    fw::RegKey k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS | kInstallerView, nullptr, k.receive(), nullptr));
    // For string types RegSetValueExA counts a terminating zero the caller
    // left out when one follows the data in memory (as NT does); a byte other
    // than zero after them keeps the value exactly as given.
    const std::string guarded = bytes + '\x01';
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(k.get(), name.c_str(), 0, type,
                                            reinterpret_cast<const BYTE*>(guarded.data()), static_cast<DWORD>(bytes.size())));
}

void setRegistryValue(const std::string& key, const std::string& name, const std::string& data, DWORD type) {
    setRegistryBytes(key, name, std::string(data.c_str(), data.size() + 1), type);
}

bool readRegistryValue(const std::string& key, const std::string& name, std::string& data, DWORD& type,
                       REGSAM view) {
    fw::RegKey k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, k.receive()) != ERROR_SUCCESS) return false;
    char buffer[4096];
    DWORD size = sizeof buffer;
    if (RegQueryValueExA(k.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS)
        return false;
    data.assign(buffer, size);
    if (!data.empty() && data.back() == '\0' && (type == REG_SZ || type == REG_EXPAND_SZ)) data.pop_back();
    return true;
}

void registerComponent(const std::string& key, const std::string& version, const std::string& dir,
                       const std::string& system) {
    setRegistryValue(key, "Versao", version);
    setRegistryValue(key, "InstallDir", dir);
    setRegistryValue(key, "SGBD", system);
}

ScratchDir::ScratchDir() {
    static unsigned counter = 0;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    for (;;) {
        path_ = std::string(temp) + "vtest_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
        if (CreateDirectoryA(path_.c_str(), nullptr)) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
}

ScratchDir::~ScratchDir() { removeTree(path_); }

std::string ScratchDir::operator/(const std::string& relative) const { return path_ + "\\" + relative; }

std::string freshNetworkShare() {
    // Wine names the Unix side of C:\ as <prefix>/dosdevices/c:/; the Unix
    // root is drive Z:.
    using UnixName = char*(CDECL*)(const WCHAR*);
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* drive = unixName ? unixName(L"C:\\") : nullptr;
    if (!drive) return std::string();
    std::string devices = drive;
    HeapFree(GetProcessHeap(), 0, drive);
    const size_t end = devices.rfind("/dosdevices/");
    if (end == std::string::npos) return std::string();
    std::string folder = "Z:" + devices.substr(0, end) + "/dosdevices/unc/servidor/partilha";
    std::replace(folder.begin(), folder.end(), '/', '\\');
    removeTree(folder);
    makeDirs(folder);
    return "\\\\servidor\\partilha";
}

void removeTree(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        WIN32_FIND_DATAA data;
        fw::FindHandle find(FindFirstFileA((path + "\\*").c_str(), &data));
        if (find) {
            do {
                std::string name = data.cFileName;
                if (name != "." && name != "..") removeTree(path + "\\" + name);
            } while (FindNextFileA(find.get(), &data));
        }
        find.close();
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryA(path.c_str());
    } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
}

void makeDirs(const std::string& path) {
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\') {
            std::string part = path.substr(0, i);
            if (!part.empty() && part.back() != '\\') CreateDirectoryA(part.c_str(), nullptr);
        }
    }
}

void writeFile(const std::string& path, const std::string& content) {
    std::string::size_type slash = path.find_last_of('\\');
    if (slash != std::string::npos) makeDirs(path.substr(0, slash));
    fw::FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
    ASSERT_TRUE(file.valid()) << path << " error " << GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
    ASSERT_EQ(content.size(), written);
}

bool readFile(const std::string& path, std::string& content) {
    fw::FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size)) return false;
    content.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!content.empty() && !ReadFile(file.get(), &content[0], static_cast<DWORD>(content.size()), &read, nullptr))
        return false;
    content.resize(read);
    return true;
}

std::string readFileOr(const std::string& path, const std::string& fallback) {
    std::string content;
    return readFile(path, content) ? content : fallback;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void forEachFile(const std::string& root, const std::function<void(const std::string&, const WIN32_FIND_DATAA&)>& visit) {
    WIN32_FIND_DATAA data;
    fw::FindHandle find(FindFirstFileA((root + "\\*").c_str(), &data));
    if (!find) return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        std::string full = root + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            forEachFile(full, visit);
        else
            visit(full, data);
    } while (FindNextFileA(find.get(), &data));
}

std::vector<std::string> findFiles(const std::string& root, const std::string& nameContains) {
    std::vector<std::string> found;
    forEachFile(root, [&](const std::string& path, const WIN32_FIND_DATAA& data) {
        if (std::string(data.cFileName).find(nameContains) != std::string::npos) found.push_back(path);
    });
    return found;
}

MessageBoxRecorder::MessageBoxRecorder() {
    previous_ = fw::setMessageBoxSink([this](const fw::MessageBoxCall& call) {
        calls.push_back(call);
        if (onShow) onShow(call);
        return IDOK;
    });
}

MessageBoxRecorder::~MessageBoxRecorder() { fw::setMessageBoxSink(std::move(previous_)); }

std::vector<std::string> MessageBoxRecorder::texts() const {
    std::vector<std::string> out;
    for (const auto& c : calls) out.push_back(c.text);
    return out;
}

namespace {
struct ModalRun {
    CDialog* dialog;
    const std::function<void()>* whileOpen;
    int endWith;
    bool done;
};
ModalRun* g_run = nullptr;

// A thread timer: dispatched by the dialog's own modal loop once the dialog
// is up, so the test acts on it as the user would, between messages.
void CALLBACK onTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    ModalRun* run = g_run;
    if (!run || run->done) return;
    run->done = true;
    if (IsWindow(run->dialog->m_hWnd)) {
        (*run->whileOpen)();
        if (run->endWith != 0 && run->dialog->m_hWnd && IsWindow(run->dialog->m_hWnd))
            run->dialog->EndDialog(run->endWith);
    }
}
}  // namespace

INT_PTR runModal(CDialog& dialog, const std::function<void()>& whileOpen, int endWith) {
    ModalRun run{&dialog, &whileOpen, endWith, false};
    ModalRun* outer = g_run;
    g_run = &run;
    UINT_PTR timer = SetTimer(nullptr, 0, 10, onTimer);
    INT_PTR result = dialog.DoModal();
    if (!run.done) KillTimer(nullptr, timer);
    g_run = outer;
    return result;
}

namespace {
struct InjectedLookupFailure {
    std::string fragment;
    DWORD error = ERROR_SUCCESS;
    int failed = 0;
    AttributeLookup previous = nullptr;
} g_lookupFailure;

DWORD failingLookup(const char* path) {
    if (g_lookupFailure.error != ERROR_SUCCESS &&
        std::string(path).find(g_lookupFailure.fragment) != std::string::npos) {
        ++g_lookupFailure.failed;
        SetLastError(g_lookupFailure.error);
        return INVALID_FILE_ATTRIBUTES;
    }
    return GetFileAttributesA(path);
}
}  // namespace

LookupFailure::LookupFailure(std::string fragment, DWORD error) {
    g_lookupFailure.fragment = std::move(fragment);
    g_lookupFailure.error = error;
    g_lookupFailure.failed = 0;
    g_lookupFailure.previous = setAttributeLookup(failingLookup);
}

LookupFailure::~LookupFailure() { setAttributeLookup(g_lookupFailure.previous); }

int LookupFailure::failed() const { return g_lookupFailure.failed; }

std::string payloadContent(int id) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), "GZ");
    if (!found) return std::string();
    DWORD stored = SizeofResource(nullptr, found);
    const Bytef* data = static_cast<const Bytef*>(LockResource(LoadResource(nullptr, found)));
    std::string out(8u << 20, '\0');
    uLongf length = static_cast<uLongf>(out.size());
    if (uncompress(reinterpret_cast<Bytef*>(&out[0]), &length, data, stored) != Z_OK) return std::string();
    out.resize(length);
    return out;
}

}  // namespace testing_support

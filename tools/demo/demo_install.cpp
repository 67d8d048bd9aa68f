// Makes and checks a demo installation of the product at 1.6.05: the three
// components registered under HKEY_LOCAL_MACHINE, every file the release
// replaces present with old contents, and the two configuration files.
//
//   demo_install create <root>   lay out <root>\Profissional, \Publico, \Administracao
//   demo_install verify <root>   check the state a full update must leave
//
// It links the updater's own catalogue and payloads, so the installation
// always matches the release being built.
#include "framework/handles.h"
#include "payload/catalogue.h"
#include "survey/components.h"
#include "tools/demo/installation_layout.h"

#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void makeParents(const std::string& path) {
    for (size_t i = 3; i < path.size(); ++i)
        if (path[i] == '\\' && path[i - 1] != '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
}

bool writeFile(const std::string& path, const std::string& content) {
    makeParents(path);
    fw::FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
           written == content.size();
}

bool readFile(const std::string& path, std::string& content) {
    fw::FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    DWORD size = GetFileSize(file.get(), nullptr), read = 0;
    content.assign(size, '\0');
    return size == 0 || (ReadFile(file.get(), &content[0], size, &read, nullptr) && read == size);
}

std::string payload(PayloadId id) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), "GZ");
    if (!found) return std::string();
    const Bytef* data = static_cast<const Bytef*>(LockResource(LoadResource(nullptr, found)));
    std::string out(8u << 20, '\0');
    uLongf length = static_cast<uLongf>(out.size());
    if (uncompress(reinterpret_cast<Bytef*>(&out[0]), &length, data, SizeofResource(nullptr, found)) != Z_OK) return {};
    out.resize(length);
    return out;
}

bool setValue(const char* key, const char* name, const std::string& data) {
    fw::RegKey k;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, k.receive(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    return RegSetValueExA(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
}

int create(const std::string& root) {
    bool ok = true;
    for (const ComponentLayout& layout : installationLayout()) {
        std::string dir = componentDirectory(root, layout);
        for (InstallStep step : layout.steps)
            for (const CatalogueEntry& e : entriesOf(step))
                ok &= writeFile(dir + e.target, std::string("VELTRIS 5 1.6.05 ") + layout.folder + " " + e.target + "\r\n");
        if (layout.kind != ComponentKind::administration) {
            ok &= writeFile(dir + "\\confvis.txt", "isbd.pft=ISBD\r\nresumo.pft=Resumo\r\n");
            ok &= writeFile(dir + "\\confvisaut.txt", "cdaut.pft=Autoridades\r\n");
        }
        const ComponentInfo& info = componentInfo(layout.kind);
        ok &= setValue(info.registryKey, "Versao", "1.6.05");
        ok &= setValue(info.registryKey, "InstallDir", root + "\\" + layout.folder);
        ok &= setValue(info.registryKey, "SGBD", "Isis-Access");
    }
    std::printf("%s demo installation at %s (1.6.05)\n", ok ? "made" : "FAILED to make", root.c_str());
    return ok ? 0 : 1;
}

void findBackups(const std::string& dir, std::vector<std::string>& found) {
    WIN32_FIND_DATAA data;
    fw::FindHandle find(FindFirstFileA((dir + "\\*").c_str(), &data));
    if (!find) return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) findBackups(dir + "\\" + name, found);
        else if (name.find("_back") != std::string::npos) found.push_back(dir + "\\" + name);
    } while (FindNextFileA(find.get(), &data));
}

int verify(const std::string& root) {
    int problems = 0, files = 0;
    for (const ComponentLayout& layout : installationLayout()) {
        std::string dir = componentDirectory(root, layout);
        for (InstallStep step : layout.steps) {
            for (const CatalogueEntry& e : entriesOf(step)) {
                std::string content;
                ++files;
                if (!readFile(dir + e.target, content) || content != payload(e.id)) {
                    std::printf("not the new release: %s%s\n", dir.c_str(), e.target);
                    ++problems;
                }
            }
        }
        const ComponentInfo& info = componentInfo(layout.kind);
        fw::RegKey key;
        char value[64] = {};
        DWORD size = sizeof value, type = 0;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, info.registryKey, 0, KEY_READ | KEY_WOW64_32KEY, key.receive()) != ERROR_SUCCESS ||
            RegQueryValueExA(key.get(), "Versao", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
            type != REG_EXPAND_SZ || std::string(value) != kTargetVersion) {
            std::printf("Versao of %s is not \"1.6.08\" as REG_EXPAND_SZ\n", info.registryKey);
            ++problems;
        }
    }
    std::vector<std::string> backups;
    findBackups(root, backups);
    for (const std::string& b : backups) std::printf("backup left behind: %s\n", b.c_str());
    problems += static_cast<int>(backups.size());
    std::printf("%d files checked, %d problems\n", files, problems);
    return problems == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: demo_install create|verify <root folder>\n");
        return 2;
    }
    std::string command = argv[1], root = argv[2];
    if (command == "create") return create(root);
    if (command == "verify") return verify(root);
    std::fprintf(stderr, "unknown command %s\n", command.c_str());
    return 2;
}

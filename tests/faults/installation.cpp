#include "tests/faults/installation.h"

#include "framework/handles.h"
#include "tests/support/test_support.h"
#include "tools/demo/installation_layout.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

namespace faults {

const char kOldVersion[] = "1.6.05";

namespace {

// Files of an installation that no step writes but that a careless restore or
// clean-up could still touch: the display-format configurations, and a
// display format the professional backup list names although the release
// does not replace it.
struct Bystander {
    ComponentKind component;
    const char* relative;
};
const Bystander kBystanders[] = {
    {ComponentKind::professional, "\\confvis.txt"},
    {ComponentKind::professional, "\\confvisaut.txt"},
    {ComponentKind::professional, "\\pft\\cat\\resumo\\isbd.pft"},
    {ComponentKind::publicComponent, "\\confvis.txt"},
    {ComponentKind::publicComponent, "\\confvisaut.txt"},
};

}  // namespace

const char* folderOf(ComponentKind kind) {
    for (const ComponentLayout& layout : installationLayout())
        if (layout.kind == kind) return layout.folder;
    return "";
}

const char* shortName(ComponentKind kind) {
    switch (kind) {
    case ComponentKind::professional:
        return "P";
    case ComponentKind::publicComponent:
        return "U";
    default:
        return "A";
    }
}

std::string pathKey(const std::string& path) {
    std::string key;
    for (char c : path) {
        if (c == '/') c = '\\';
        if (c == '\\' && !key.empty() && key.back() == '\\') continue;
        key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

std::string joinPath(const std::string& dir, const std::string& relative) {
    size_t skip = 0;
    while (skip < relative.size() && relative[skip] == '\\') ++skip;
    return dir + "\\" + relative.substr(skip);
}

Installation::Installation(const std::string& root) : root_(root) {
    auto add = [&](ComponentKind kind, const std::string& relative, bool inRelease, PayloadId id) {
        InstalledFile file;
        file.component = kind;
        file.relative = relative;
        file.oldContent = std::string("old ") + folderOf(kind) + " " + relative + "\r\n";
        file.inRelease = inRelease;
        file.payload = id;
        std::string path = pathOf(kind, relative);
        testing_support::writeFile(path, file.oldContent);
        std::string check;
        if (!testing_support::readFile(path, check) || check != file.oldContent) ready_ = false;
        byKey_[pathKey(path)] = files_.size();
        files_.push_back(file);
    };
    for (const ComponentLayout& layout : installationLayout())
        for (InstallStep step : layout.steps)
            for (const CatalogueEntry& entry : entriesOf(step)) add(layout.kind, entry.target, true, entry.id);
    for (const Bystander& b : kBystanders) add(b.component, b.relative, false, 0);

    for (const ComponentLayout& layout : installationLayout())
        testing_support::registerComponent(componentInfo(layout.kind).registryKey, kOldVersion,
                                           directory(layout.kind), "Isis-Access");
}

std::string Installation::directory(ComponentKind kind) const { return root_ + "\\" + folderOf(kind); }

std::string Installation::pathOf(ComponentKind kind, const std::string& relative) const {
    return joinPath(directory(kind), relative);
}

const InstalledFile* Installation::find(const std::string& path) const {
    auto found = byKey_.find(pathKey(path));
    return found == byKey_.end() ? nullptr : &files_[found->second];
}

namespace {

void readInto(const std::string& dir, Tree& tree) {
    WIN32_FIND_DATAA data;
    fw::FindHandle find(FindFirstFileA((dir + "\\*").c_str(), &data));
    if (!find) return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        TreeEntry entry;
        entry.path = dir + "\\" + name;
        entry.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!entry.folder) entry.readable = testing_support::readFile(entry.path, entry.content);
        tree[pathKey(entry.path)] = entry;
        if (entry.folder) readInto(entry.path, tree);
    } while (FindNextFileA(find.get(), &data));
}

}  // namespace

Tree readTree(const std::string& root) {
    Tree tree;
    readInto(root, tree);
    return tree;
}

const std::string& payload(PayloadId id) {
    static std::map<PayloadId, std::string> cache;
    auto found = cache.find(id);
    if (found == cache.end()) found = cache.emplace(id, testing_support::payloadContent(id)).first;
    return found->second;
}

}  // namespace faults

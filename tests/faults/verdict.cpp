#include "tests/faults/verdict.h"

#include <algorithm>

namespace faults {

namespace {

std::string directoryOf(const std::string& key) {
    size_t slash = key.find_last_of('\\');
    return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

std::string nameOf(const std::string& key) {
    size_t slash = key.find_last_of('\\');
    return slash == std::string::npos ? key : key.substr(slash + 1);
}

std::string withoutExtension(const std::string& name) {
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// A file left under a backup name is the user's to put back only when a box
// named it: the backup itself in the clean-up list, or, in the restore list,
// the installed file it belongs to (beside it, with "_back" where the
// installed file's last extension was).
const std::string* ownerInRestoreList(const std::string& backupKey, const std::vector<std::string>& restoreKeys) {
    std::string name = nameOf(backupKey);
    size_t back = name.find("_back");
    if (back == std::string::npos) return nullptr;
    std::string stem = name.substr(0, back);
    for (const std::string& listed : restoreKeys)
        if (directoryOf(listed) == directoryOf(backupKey) && withoutExtension(nameOf(listed)) == stem) return &listed;
    return nullptr;
}

std::vector<std::string> keysOf(const std::vector<std::string>& paths) {
    std::vector<std::string> keys;
    for (const std::string& p : paths) keys.push_back(pathKey(p));
    return keys;
}

bool contains(const std::vector<std::string>& keys, const std::string& key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

const char* kConfigurationCopies[][2] = {
    {"formatosvisualizacao.cfg", "confvis.txt"},
    {"formatosvisualizacaoaut.cfg", "confvisaut.txt"},
};

}  // namespace

Verdict judge(const Installation& installation, const Tree& before, const Tree& after, const RunAccount& account) {
    Verdict verdict;
    const std::vector<std::string> restoreKeys = keysOf(account.restoreListed);
    const std::vector<std::string> cleanupKeys = keysOf(account.cleanupListed);

    for (const auto& [key, was] : before) {
        auto now = after.find(key);
        if (was.folder) {
            if (now == after.end() || !now->second.folder)
                verdict.problems.push_back("folder " + was.path + " is no longer a folder");
            continue;
        }
        if (now == after.end() || now->second.folder || !now->second.readable) {
            verdict.lostFiles.push_back(was.path + " (gone)");
            continue;
        }
        const std::string& content = now->second.content;
        const InstalledFile* file = installation.find(was.path);
        if (!file || !file->inRelease) {
            // Not part of the release: whatever happened, it must be untouched.
            if (content != was.content) verdict.lostFiles.push_back(was.path + " (changed, not in the release)");
            continue;
        }
        const std::string& fresh = payload(file->payload);
        const bool isOld = content == was.content;
        const bool isNew = !fresh.empty() && content == fresh;
        if (!isOld && !isNew) {
            verdict.lostFiles.push_back(was.path + " (" + std::to_string(content.size()) +
                                        " bytes, neither the old file nor the new release)");
            continue;
        }
        const bool updated = account.updated[static_cast<int>(file->component)];
        // A file the user was sent to recover by hand may hold either.
        if (!updated && contains(restoreKeys, key)) continue;
        if (updated && !isNew)
            verdict.problems.push_back(was.path + " kept its old content although its component was updated");
        if (!updated && !isOld)
            verdict.problems.push_back(was.path + " holds the new release although its component was not updated");
    }

    for (const auto& [key, now] : after) {
        if (before.count(key)) continue;
        if (now.folder) {
            verdict.problems.push_back("new folder " + now.path);
            continue;
        }
        const std::string name = nameOf(key);
        if (name.find("_back") != std::string::npos) {
            if (contains(cleanupKeys, key)) continue;
            const std::string* owner = ownerInRestoreList(key, restoreKeys);
            if (!owner) {
                verdict.problems.push_back("backup left behind without a word to the user: " + now.path);
                continue;
            }
            // The user is sent to this file to put the old one back by hand.
            auto original = before.find(*owner);
            if (original == before.end() || original->second.folder || original->second.content != now.content)
                verdict.problems.push_back("backup " + now.path + " is not a copy of the file it was made from");
            continue;
        }
        // A release file that was not installed: the update may create it,
        // but only an update that went through may leave it, complete.
        if (const InstalledFile* file = installation.find(now.path)) {
            if (!file->inRelease) {
                verdict.problems.push_back("file " + now.path + " appeared, although no step writes it");
            } else if (!account.updated[static_cast<int>(file->component)]) {
                verdict.problems.push_back("file " + now.path + " was created by an update that failed");
            } else if (now.content != payload(file->payload)) {
                verdict.problems.push_back("file " + now.path + " was created without the new release");
            }
            continue;
        }
        bool expectedCopy = false;
        for (const auto& copy : kConfigurationCopies) {
            if (name != copy[0]) continue;
            for (ComponentKind kind : {ComponentKind::professional, ComponentKind::publicComponent}) {
                if (directoryOf(key) != pathKey(installation.directory(kind))) continue;
                if (!account.updated[static_cast<int>(kind)]) continue;
                auto source = before.find(pathKey(installation.pathOf(kind, copy[1])));
                expectedCopy = true;
                if (source == before.end() || source->second.content != now.content)
                    verdict.problems.push_back(now.path + " is not a copy of " + copy[1]);
            }
        }
        if (!expectedCopy) verdict.problems.push_back("unexpected file " + now.path);
    }

    // A component that was updated ends with its configuration migrated.
    for (ComponentKind kind : {ComponentKind::professional, ComponentKind::publicComponent}) {
        if (!account.updated[static_cast<int>(kind)]) continue;
        for (const auto& copy : kConfigurationCopies) {
            std::string target = pathKey(installation.directory(kind)) + "\\" + copy[0];
            if (!after.count(target)) verdict.problems.push_back(target + " was not made by the update");
        }
    }
    return verdict;
}

bool listedPaths(const std::string& boxText, const std::string& header, std::vector<std::string>& paths) {
    paths.clear();
    if (boxText.compare(0, header.size(), header) != 0) return false;
    std::string rest = boxText.substr(header.size());
    if (rest.empty() || rest.back() != '\n') return false;
    size_t start = 0;
    while (start < rest.size()) {
        size_t end = rest.find('\n', start);
        paths.push_back(rest.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

}  // namespace faults

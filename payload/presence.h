// What the file system says of one path, asked once.
#pragma once

#include <windows.h>

#include <string>

// A path is missing only when the file system says so: "file not found" or
// "path not found", or when it is out of reach of the ANSI file functions
// (260 characters or more). Any other failure to look (access denied on a
// file pending deletion or behind an access list, a network error on a
// shared folder, a name the file system refuses) tells nothing about the
// file, and is never taken for "not there".
enum class Presence { present, missing, unknown };

struct PathStatus {
    Presence presence;
    DWORD attributes;  // valid when present
    DWORD error;       // the lookup's error when unknown

    bool present() const { return presence == Presence::present; }
    bool missing() const { return presence == Presence::missing; }
    bool folder() const { return present() && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    bool has(DWORD attribute) const { return present() && (attributes & attribute) != 0; }
};

constexpr size_t kMaxPathLength = MAX_PATH;  // 260: a path this long or longer is out of reach

// Asks for exactly this path: no directory search, so a "*" or "?" in a
// recorded path cannot match some other file.
PathStatus lookUpPath(const std::string& path);

// A recorded install directory that the update may write into: a full path
// (drive or network share) that names a folder that is there. A relative
// name would land wherever the updater was started from, and an unexpanded
// "%ProgramFiles%" is one.
bool isUsableFolder(const std::string& directory);

// The attribute lookup behind lookUpPath, as GetFileAttributesA: attributes,
// or INVALID_FILE_ATTRIBUTES with the last error set. Replaceable so that
// failures a local disk never gives (access denied, network errors) can be
// exercised. Returns the previous lookup; null restores GetFileAttributesA.
using AttributeLookup = DWORD (*)(const char* path);
AttributeLookup setAttributeLookup(AttributeLookup lookup);

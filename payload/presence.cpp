#include "payload/presence.h"

namespace {

DWORD platformLookup(const char* path) { return GetFileAttributesA(path); }

AttributeLookup g_lookup = platformLookup;

bool fullPath(const std::string& path) {
    const char drive = static_cast<char>(path.empty() ? 0 : (path[0] | 0x20));
    const bool onDrive = path.size() >= 3 && drive >= 'a' && drive <= 'z' && path[1] == ':' && path[2] == '\\';
    const bool onShare = path.size() >= 3 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\';
    return onDrive || onShare;
}

}  // namespace

PathStatus lookUpPath(const std::string& path) {
    if (path.size() >= kMaxPathLength) return {Presence::missing, 0, ERROR_FILENAME_EXCED_RANGE};
    const DWORD attributes = g_lookup(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return {Presence::present, attributes, ERROR_SUCCESS};
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {Presence::missing, 0, error};
    return {Presence::unknown, 0, error};
}

bool isUsableFolder(const std::string& directory) {
    return fullPath(directory) && lookUpPath(directory).folder();
}

AttributeLookup setAttributeLookup(AttributeLookup lookup) {
    AttributeLookup previous = g_lookup;
    g_lookup = lookup ? lookup : platformLookup;
    return previous;
}

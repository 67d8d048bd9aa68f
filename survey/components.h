// The product's three components: their numbers in the component list, their
// registry keys and their labels.
#pragma once

#include <string>

enum class ComponentKind : int { professional = 0, publicComponent = 1, administration = 2 };

// One component's record in the registry, exactly as read; empty strings for
// what was not read. A component is installed when its version is known.
struct InstalledComponent {
    std::string databaseSystem;
    std::string version;
    std::string installDir;

    bool installed() const { return !version.empty(); }
};

struct ComponentInfo {
    ComponentKind kind;
    const char* registryKey;  // under HKEY_LOCAL_MACHINE
    const char* label;        // column 0 of the component list
};

// Indexed by the ComponentKind number.
extern const ComponentInfo kComponents[3];

inline const ComponentInfo& componentInfo(ComponentKind kind) { return kComponents[static_cast<int>(kind)]; }

// The version this updater installs.
extern const char kTargetVersion[];
// A component is listed, and may be updated, only when its version begins
// with these four characters.
extern const char kUpdatableSeries[];

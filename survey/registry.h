// The product's records in HKEY_LOCAL_MACHINE: reading the three components at
// start-up, checking that the update may write there, and writing one value.
#pragma once

#include "survey/components.h"

#include <string>

// Fills the three records. Returns false with the text to show in `message`
// when a value of an existing key cannot be read or when the components
// disagree on their database system; the records then hold what was read so far.
bool readInstalledComponents(InstalledComponent& professional, InstalledComponent& administration,
                             InstalledComponent& publicComponent, std::string& message);

// True when the product's key can be opened with the right to set values.
bool probeRegistryWriteAccess();

// Writes `data` as a REG_EXPAND_SZ value (terminating zero included) under
// HKEY_LOCAL_MACHINE\keyPath.
bool writeRegistryString(const std::string& keyPath, const std::string& valueName, const std::string& data);

extern const char kNoRegistryWriteAccessMessage[];

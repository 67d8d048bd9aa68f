// Which files an install step writes. Three rules cover every step, and the
// steps and the check made before an update share them.
#pragma once

#include "payload/catalogue.h"
#include "payload/presence.h"

#include <functional>
#include <string>

enum class WriteRule {
    // A program module is replaced only where its executable is installed;
    // there its companions are written whether or not they exist.
    wholeModule,
    // Tables, display formats and templates are replaced where present and
    // never created.
    presentFiles,
    // Every file, present or not (the administration module's programs).
    everyFile,
};

// A file the rule writes, with its status where the rule has just looked it
// up (null: not looked at). Returns false when the file was not written.
using FileWriter = std::function<bool(const CatalogueEntry& entry, const PathStatus* status)>;

// Calls `write` for each file of `step` that `rule` writes under `directory`,
// in catalogue order. Stops with false at the first write that fails, and at
// a lookup the rule turns on that cannot tell whether the file is there: it
// might be, and the step fails rather than guess.
bool forEachFileWritten(const std::string& directory, InstallStep step, WriteRule rule, const FileWriter& write);

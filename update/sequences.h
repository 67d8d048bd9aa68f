// What each component's update runs: its steps in order, and what it records
// in the registry once they have all run.
#pragma once

#include "app/Patch_Veltris5v13Dlg.h"
#include "payload/catalogue.h"
#include "payload/install_steps.h"

#include <cstddef>
#include <string>

// One step of a sequence, advancing the progress bar by one step when it
// succeeds. An extraction step writes each catalogue file of its install step
// itself and advances once per file.
struct SequenceStep {
    enum class Kind { module, directory, extractEach };
    Kind kind;
    BOOL (CPatch_Veltris5v13Dlg::*module)();                  // finds its directory on the dialog
    BOOL (CPatch_Veltris5v13Dlg::*directory)(std::string);    // given the component's directory
    InstallStep files;                                        // the catalogue files it writes
    const char* program;  // what the user knows a module's files by, while it runs and holds them
    const char* failure;  // the report line when it fails
};

// The rule by which a step decides which of its files it writes.
inline WriteRule writeRuleOf(const SequenceStep& step) {
    switch (step.kind) {
    case SequenceStep::Kind::module:
        return WriteRule::wholeModule;
    case SequenceStep::Kind::directory:
        return WriteRule::presentFiles;
    case SequenceStep::Kind::extractEach:
        break;
    }
    return WriteRule::everyFile;
}

struct RegistryValue {
    const char* name;
    const char* data;
};

struct UpdateSequence {
    ComponentKind kind;  // whose directory and registry key
    const SequenceStep* steps;
    size_t stepCount;
    bool migratesConfiguration;
    // Written in order under the component's key once every step has run; the
    // last one, the version, decides whether the success text needs its remark.
    const RegistryValue* values;
    size_t valueCount;
    const char* success;
    const char* successWithoutRegistry;
};

const UpdateSequence& sequenceOf(ComponentKind kind);

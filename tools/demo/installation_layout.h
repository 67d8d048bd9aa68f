// How a full demo installation is laid out: one folder per component under a
// root, holding every file its install steps write. Shared by the demo and
// the benchmark so both work on the same installation.
#pragma once

#include "payload/catalogue.h"
#include "survey/components.h"

#include <string>
#include <vector>

struct ComponentLayout {
    ComponentKind kind;
    const char* folder;
    std::vector<InstallStep> steps;
};

inline const std::vector<ComponentLayout>& installationLayout() {
    static const std::vector<ComponentLayout> layout = {
        {ComponentKind::professional, "Profissional",
         {InstallStep::brenix, InstallStep::quorra, InstallStep::sulvet, InstallStep::dravel, InstallStep::fenmor,
          InstallStep::halvinor, InstallStep::merisca, InstallStep::indexingTables, InstallStep::displayFormats,
          InstallStep::bulletinTemplate}},
        {ComponentKind::publicComponent, "Publico",
         {InstallStep::publicFenmor, InstallStep::displayFormats, InstallStep::bulletinTemplate}},
        {ComponentKind::administration, "Administracao", {InstallStep::administration}},
    };
    return layout;
}

// The component's directory under the root, ending in its separator.
inline std::string componentDirectory(const std::string& root, const ComponentLayout& layout) {
    return root + "\\" + layout.folder + "\\";
}

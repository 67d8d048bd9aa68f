#include "framework/common_controls.h"

#include "framework/handles.h"
#include "framework/system_libraries.h"

namespace fw {
namespace {

struct Loaded {
    ModuleHandle module;
    CommonControls functions{};
    bool complete = false;
};

template <typename Function>
bool take(HMODULE module, const char* name, Function& function) {
    // Through void*: a FARPROC cast straight to another function type draws
    // a warning, and the types are checked by the fields they fill.
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr;
}

Loaded load() {
    Loaded loaded;
    loaded.module = loadSystemLibrary("comctl32.dll");
    if (!loaded.module) return loaded;
    HMODULE m = loaded.module.get();
    CommonControls& f = loaded.functions;
    loaded.complete = take(m, "InitCommonControlsEx", f.initCommonControlsEx) &&
                      take(m, "ImageList_LoadImageA", f.imageListLoadImage) &&
                      take(m, "ImageList_Destroy", f.imageListDestroy);
    return loaded;
}

}  // namespace

const CommonControls* commonControls() {
    static const Loaded loaded = load();
    return loaded.complete ? &loaded.functions : nullptr;
}

}  // namespace fw

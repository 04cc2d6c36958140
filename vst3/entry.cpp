// The module's entry points, its only exported names.
#include "vst3/factory.h"
#include "vst3/module_paths.h"

#ifdef _WIN32
#include <windows.h>

// Records the module's folders before the host reaches the factory; a
// module that cannot find them refuses to load rather than run without a
// page.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) return yawp::vst3::module_attach() ? TRUE : FALSE;
    if (reason == DLL_PROCESS_DETACH) yawp::vst3::module_detach();
    return TRUE;
}

#else

// What a VST3 host on Linux calls right after loading and before unloading.
extern "C" SMTG_EXPORT_SYMBOL bool ModuleEntry(void*) { return yawp::vst3::module_attach(); }

extern "C" SMTG_EXPORT_SYMBOL bool ModuleExit() {
    yawp::vst3::module_detach();
    return true;
}

#endif

// Never fails and creates nothing: the factory is static.
extern "C" SMTG_EXPORT_SYMBOL Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory() {
    return yawp::vst3::factory();
}

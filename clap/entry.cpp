// The module's one export: clap_entry. Hosts may call init and deinit more
// than once; the module's folders are found at the first init and freed at
// the last deinit.
#include <cstring>

#include <clap/clap.h>

#include "clap/module_folder.h"
#include "clap/plugin_factory.h"
#include "clap/preset_discovery.h"

namespace {

// [main-thread]
bool entry_init(const char*) { return yawp::clap::module_folders_attach(); }

// [main-thread]
void entry_deinit() { yawp::clap::module_folders_detach(); }

// [thread-safe]
const void* entry_get_factory(const char* factory_id) {
    if (factory_id == nullptr) return nullptr;
    if (std::strcmp(factory_id, CLAP_PLUGIN_FACTORY_ID) == 0) return yawp::clap::plugin_factory();
    if (std::strcmp(factory_id, CLAP_PRESET_DISCOVERY_FACTORY_ID) == 0 ||
        std::strcmp(factory_id, CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT) == 0)
        return yawp::clap::preset_discovery_factory();
    return nullptr;
}

}  // namespace

extern "C" CLAP_EXPORT const clap_plugin_entry clap_entry = {
    CLAP_VERSION_INIT,
    entry_init,
    entry_deinit,
    entry_get_factory,
};

// The browser's environment from the bundle's loader or, without one, from
// the installed runtime's library.
#include "webui/environment_source.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char kLoaderName[] = "\\WebView2Loader.dll";
const char kLoaderEntry[] = "CreateCoreWebView2EnvironmentWithOptions";
const char kRuntimeEntry[] = "CreateWebViewEnvironmentWithOptionsInternal";
// Every known caller of the runtime's entry passes this flag.
constexpr BOOL kRuntimeFlag = 1;

template <class Entry>
Entry entry_of(HMODULE module, const char* name) {
    return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// [main-thread] "<folder>\WebView2Loader.dll" with its entry point, or null.
HMODULE load_loader(const char* folder, WV2CreateEnvironmentWithOptions* entry) {
    if (folder == nullptr) return nullptr;
    int length = snprintf(nullptr, 0, "%s%s", folder, kLoaderName);
    if (length < 0) return nullptr;
    auto* path = static_cast<char*>(malloc(size_t(length) + 1));
    if (path == nullptr) return nullptr;
    snprintf(path, size_t(length) + 1, "%s%s", folder, kLoaderName);
    HMODULE loader = LoadLibraryA(path);
    free(path);
    if (loader == nullptr) return nullptr;
    *entry = entry_of<WV2CreateEnvironmentWithOptions>(loader, kLoaderEntry);
    if (*entry != nullptr) return loader;
    FreeLibrary(loader);
    return nullptr;
}

// [main-thread] The runtime's library, by its absolute path; the folder it is
// in is searched for what it needs in turn, never the host's own folders.
HMODULE load_runtime(const WV2Runtime& runtime, WV2CreateEnvironmentInternal* entry) {
    HMODULE library = LoadLibraryExW(runtime.library, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == nullptr) return nullptr;
    *entry = entry_of<WV2CreateEnvironmentInternal>(library, kRuntimeEntry);
    if (*entry != nullptr) return library;
    FreeLibrary(library);
    return nullptr;
}

}  // namespace

// [main-thread]
bool wv2_open_environment_source(const char* loader_folder, const WV2RuntimeSystem& system,
                                 WV2EnvironmentSource* source) {
    *source = WV2EnvironmentSource{};
    source->module = load_loader(loader_folder, &source->loader_entry);
    if (source->module != nullptr) return true;
    WV2Runtime runtime{};
    if (!wv2_find_runtime(system, &runtime)) return false;
    source->module = load_runtime(runtime, &source->runtime_entry);
    source->runtime_type = runtime.type;
    return source->module != nullptr;
}

// [main-thread]
bool wv2_environment_source_exists(const char* loader_folder, const WV2RuntimeSystem& system) {
    WV2CreateEnvironmentWithOptions entry = nullptr;
    HMODULE loader = load_loader(loader_folder, &entry);
    if (loader != nullptr) {
        FreeLibrary(loader);
        return true;
    }
    WV2Runtime runtime{};
    return wv2_find_runtime(system, &runtime);
}

// [web-view-thread]
HRESULT wv2_create_environment(const WV2EnvironmentSource& source, PCWSTR user_data_folder,
                               ICoreWebView2EnvironmentOptions* options,
                               ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
    if (source.loader_entry != nullptr) return source.loader_entry(nullptr, user_data_folder, options, handler);
    if (source.runtime_entry != nullptr)
        return source.runtime_entry(kRuntimeFlag, source.runtime_type, user_data_folder, options, handler);
    return E_FAIL;
}

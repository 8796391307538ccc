// The module loader, in the order the host's platform gives: library load (static
// initialisation), the attach notification, message 1, message 3 per open document; at unload
// message 4 per open document, message 2, the detach notification, library unload (static
// teardown).
#include "minihost/frame/loader.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>

#include <dlfcn.h>
#include <link.h>

#include "host/documents.h"
#include "host/module_app.h"
#include "host/windows_api.h"
#include "minihost/frame/documents.h"
#include "minihost/frame/frame_internal.h"
#include "minihost/frame/platform_state.h"

namespace minihost {
namespace internal {

using EntryPoint = AcRx::AppRetCode (*)(AcRx::AppMsgCode, void*);
using LibraryEntry = BOOL (*)(HINSTANCE, DWORD, LPVOID);

struct LoadedModule {
    void* handle = nullptr; // from dlopen
    HINSTANCE instance = nullptr;
    EntryPoint entry = nullptr;
    LibraryEntry libraryEntry = nullptr; // optional
    ModuleInfo info;
};

} // namespace internal

namespace {

using internal::LoadedModule;

std::vector<LoadedModule*>& modules() {
    static auto* list = new std::vector<LoadedModule*>; // lives as long as the process
    return *list;
}

bool isLoaded(const LoadedModule* module) {
    const auto& list = modules();
    return std::find(list.begin(), list.end(), module) != list.end();
}

// Runs the library-entry notification; a module that throws fails it.
bool notifyLibrary(LoadedModule* module, DWORD reason) {
    if (!module->libraryEntry)
        return true;
    try {
        return module->libraryEntry(module->instance, reason, nullptr) != FALSE;
    } catch (...) {
        return false;
    }
}

// Sends message 3 or 4 about `document` to `module` with that document current, then makes the
// user's current document current again.
void messageAbout(LoadedModule* module, int msg, AcApDocument* document) {
    AcApDocument* previous = internal::switchCurrentSilently(document);
    internal::sendMessage(module, msg, document);
    internal::switchCurrentSilently(previous);
}

// The symbol `name` of the library itself (not of one of its dependencies), or nullptr.
void* ownSymbol(void* handle, const char* name) {
    void* symbol = dlsym(handle, name);
    if (!symbol)
        return nullptr;
    link_map* map = nullptr;
    Dl_info where{};
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !dladdr(symbol, &where) ||
        !where.dli_fname || std::strcmp(where.dli_fname, map->l_name) != 0)
        return nullptr;
    return symbol;
}

// Takes `module` out of the host after its library was loaded: what it defined, what the
// linker recorded, then the library itself (static teardown).
void discard(LoadedModule* module) {
    auto& list = modules();
    list.erase(std::remove(list.begin(), list.end(), module), list.end());
    internal::forgetModule(module);
    internal::forgetLinkerRequests(module);
    dlclose(module->handle);
    delete module;
}

} // namespace

namespace internal {

int sendMessage(LoadedModule* module, int msg, void* pkt) {
    if (!module || !module->entry)
        return AcRx::kRetError;
    RunningModuleScope scope(module);
    try {
        return module->entry(static_cast<AcRx::AppMsgCode>(msg), pkt);
    } catch (...) {
        return AcRx::kRetError;
    }
}

void messageAllModules(int msg, AcApDocument* document) {
    std::vector<LoadedModule*> snapshot;
    try {
        snapshot = modules();
    } catch (const std::bad_alloc&) {
        return;
    }
    for (LoadedModule* module : snapshot)
        if (isLoaded(module))
            sendMessage(module, msg, document);
}

bool isLoadedModule(const void* appId) {
    const auto& list = modules();
    return std::find(list.begin(), list.end(), appId) != list.end();
}

} // namespace internal

void* loadModule(const std::string& path, std::string& error, ModuleInfo* info) {
    std::error_code ec;
    // A path without a slash would make dlopen search the library folders.
    std::string where = path.empty() ? path : std::filesystem::absolute(path, ec).string();
    if (ec)
        where = path;
    dlerror();
    void* handle = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        error = why ? why : "the library cannot be loaded";
        return nullptr;
    }
    for (LoadedModule* loaded : modules())
        if (loaded->handle == handle) {
            dlclose(handle); // only drops the reference this call added
            error = "it is already loaded";
            return nullptr;
        }
    void* entry = ownSymbol(handle, "acrxEntryPoint");
    if (!entry) {
        dlclose(handle);
        error = "it has no acrxEntryPoint";
        return nullptr;
    }
    Dl_info where_{};
    dladdr(entry, &where_);

    LoadedModule* module = nullptr;
    try {
        module = new LoadedModule;
        module->info.path = path;
        modules().reserve(modules().size() + 1);
    } catch (const std::bad_alloc&) {
        delete module;
        dlclose(handle);
        error = "out of memory";
        return nullptr;
    }
    module->handle = handle;
    module->instance = static_cast<HINSTANCE>(where_.dli_fbase);
    module->entry = reinterpret_cast<internal::EntryPoint>(entry);
    module->libraryEntry = reinterpret_cast<internal::LibraryEntry>(ownSymbol(handle, "DllMain"));
    VersionResource version{};
    if (readVersionResource(module->instance, version)) {
        module->info.version = versionText(version.file);
        module->info.productVersion = versionText(version.product);
    }

    if (!notifyLibrary(module, DLL_PROCESS_ATTACH)) {
        // The platform tells a library whose attach failed that it is detached, then unloads it.
        notifyLibrary(module, DLL_PROCESS_DETACH);
        discard(module);
        error = "its library initialisation (attach) failed";
        return nullptr;
    }
    modules().push_back(module);
    int answer = internal::sendMessage(module, AcRx::kInitAppMsg, module);
    if (answer != AcRx::kRetOK) {
        notifyLibrary(module, DLL_PROCESS_DETACH);
        discard(module);
        error = "its initialisation failed (message 1 answered " + std::to_string(answer) + ")";
        return nullptr;
    }
    module->info.unlockable = unlockRequested(module);
    module->info.multiDocument = multiDocumentRequested(module);
    for (AcApDocument* document : openDocuments())
        if (isLoaded(module))
            messageAbout(module, AcRx::kLoadDwgMsg, document);
    if (info)
        *info = module->info;
    return module;
}

void unloadModule(void* handle) {
    auto* module = static_cast<LoadedModule*>(handle);
    if (!isLoaded(module))
        return;
    for (AcApDocument* document : openDocuments())
        messageAbout(module, AcRx::kUnloadDwgMsg, document);
    internal::sendMessage(module, AcRx::kUnloadAppMsg, module);
    // Nothing of the module may be called once it is detached.
    auto& list = modules();
    list.erase(std::remove(list.begin(), list.end(), module), list.end());
    internal::forgetModule(module);
    notifyLibrary(module, DLL_PROCESS_DETACH);
    discard(module);
}

std::vector<void*> loadedModules() {
    return std::vector<void*>(modules().begin(), modules().end());
}

bool moduleInfo(void* handle, ModuleInfo& info) {
    auto* module = static_cast<LoadedModule*>(handle);
    if (!isLoaded(module))
        return false;
    info = module->info;
    return true;
}

} // namespace minihost

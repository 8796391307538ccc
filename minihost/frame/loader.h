// Loading and unloading modules the way the host's platform does.
#pragma once

#include <string>
#include <vector>

namespace minihost {

struct ModuleInfo {
    std::string path;
    std::string version;        // file version from the module's version resource, e.g. "1.0.0.1"
    std::string productVersion; // "" when the module has no version resource
    bool unlockable = false;    // asked the dynamic linker to let it be unloaded
    bool multiDocument = false; // asked to be registered as working with several documents
};

// Loads the module at `path`: library load (static initialisation), the attach notification,
// message 1, then message 3 for every open document. Later documents get message 3 when they
// open and message 4 when they close. Returns an opaque handle, or nullptr with `error` set to
// the reason, without the path (the library cannot be loaded, has no acrxEntryPoint, or fails
// initialisation; it is then unloaded again).
void* loadModule(const std::string& path, std::string& error, ModuleInfo* info = nullptr);
// Message 4 for every open document, message 2, the detach notification, then unloading the
// library (static teardown).
void unloadModule(void* module);
// The modules loaded now, in loading order.
std::vector<void*> loadedModules();
// What was learnt about `module` when it was loaded; false when it is not loaded.
bool moduleInfo(void* module, ModuleInfo& info);

} // namespace minihost

// Stand-ins for the extension-module bookkeeping of the Windows user-interface class library
// and for the host's user-interface library: they keep the state a module can observe.
#include <algorithm>
#include <new>
#include <vector>

#include <dlfcn.h>

#include "host/ui_library.h"
#include "host/ui_extension.h"
#include "minihost/frame/platform_state.h"

namespace {

struct UiState {
    std::vector<CDynLinkLibrary*> libraries; // owned
    int uiInits = 0;
    bool initFails = false;
    HINSTANCE resource = nullptr;
    bool resourceSet = false;
};

UiState& ui() {
    static auto* s = new UiState; // lives as long as the process
    return *s;
}

// The host's own resources: the file libminihost is mapped from.
HINSTANCE hostInstance() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&AfxGetResourceHandle), &info))
        return static_cast<HINSTANCE>(info.dli_fbase);
    return nullptr;
}

} // namespace

BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE module) {
    if (ui().initFails || !module)
        return FALSE;
    state.hModule = module;
    state.hResource = module;
    state.bInitialized = TRUE;
    return TRUE;
}

void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL) {
    auto& libs = ui().libraries;
    std::vector<CDynLinkLibrary*> ending;
    for (CDynLinkLibrary* lib : libs)
        if (lib->m_hModule == state.hModule)
            ending.push_back(lib);
    for (CDynLinkLibrary* lib : ending)
        delete lib; // the destructor takes it off the list
    state.bInitialized = FALSE;
}

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL system)
    : m_hModule(state.hModule), m_hResource(state.hResource), m_bSystem(system) {
    ui().libraries.push_back(this); // std::bad_alloc leaves nothing behind
}

CDynLinkLibrary::~CDynLinkLibrary() {
    auto& libs = ui().libraries;
    libs.erase(std::remove(libs.begin(), libs.end(), this), libs.end());
}

HINSTANCE AfxGetResourceHandle() {
    if (!ui().resourceSet) {
        ui().resource = hostInstance();
        ui().resourceSet = true;
    }
    return ui().resource;
}

void AfxSetResourceHandle(HINSTANCE resource) {
    ui().resource = resource;
    ui().resourceSet = true;
}

void InitAcUiDLL() {
    ++ui().uiInits;
}

namespace minihost {
int extensionLibraryCount() {
    return static_cast<int>(ui().libraries.size());
}
int userInterfaceInitCount() {
    return ui().uiInits;
}
void setExtensionModuleInitFails(bool fails) {
    ui().initFails = fails;
}
} // namespace minihost

// Attach and detach: the module-wide instance handle, the extension-module record, the
// user-interface library, and the per-document record store.
#include "frame/getsumleaf_app.h"

namespace {

HINSTANCE gInstance = nullptr;
ExtensionModuleRecord gExtension;

// Constructed at static initialisation (it adds itself to the document manager) and destroyed
// at static teardown (it leaves the manager, if one is still there).
AcApDataManager<CDocData> gDocumentRecords;

void attachExtensionModule(HINSTANCE instance) {
    if (gExtension.attached)
        return;
    gExtension.attached = AfxInitExtensionModule(gExtension.module, instance) != FALSE;
    if (!gExtension.attached)
        return;
    gExtension.defaultResource = AfxGetResourceHandle();
    gExtension.moduleResource = instance;
    gExtension.module.hResource = instance;
    // The class library keeps the record and destroys it at AfxTermExtensionModule. Without
    // memory for it the module still works; the user-interface library is initialised anyway.
    try {
        new CDynLinkLibrary(gExtension.module);
    } catch (...) {
    }
}

void detachExtensionModule() {
    if (!gExtension.attached)
        return;
    AfxTermExtensionModule(gExtension.module);
    gExtension.defaultResource = nullptr;
    gExtension.moduleResource = nullptr;
    gExtension.attached = false;
}

} // namespace

HINSTANCE sumleaf::moduleInstance() {
    return gInstance;
}
const ExtensionModuleRecord& sumleaf::extensionModule() {
    return gExtension;
}
AcApDataManager<CDocData>& sumleaf::documentRecords() {
    return gDocumentRecords;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    try {
        if (reason == DLL_PROCESS_ATTACH) {
            gInstance = instance;
            attachExtensionModule(instance);
            InitAcUiDLL();
        } else if (reason == DLL_PROCESS_DETACH) {
            detachExtensionModule();
        }
    } catch (...) {
        // Nothing may reach the operating system's loader; attach always reports success.
    }
    return TRUE;
}

// The application object and the message entry point.
#include "frame/getsumleaf_app.h"

#include "frame/external_function.h"

namespace {

CGetSumleafApp theApp;

// The host's dynamic linker, if the registry holds one of the right class.
AcRxDynamicLinker* dynamicLinker() {
    AcRxDictionary* registry = acrxSysRegistry();
    AcRxObject* entry = registry ? registry->at(L"DynamicLinker") : nullptr;
    if (!entry)
        return nullptr;
    AcRxClass* cls = entry->isA();
    if (!cls || !cls->isDerivedFrom(AcRxDynamicLinker::desc()))
        return nullptr;
    return static_cast<AcRxDynamicLinker*>(entry);
}

} // namespace

CGetSumleafApp& sumleaf::application() {
    return theApp;
}

AcRx::AppRetCode CGetSumleafApp::On_kInitAppMsg(void* pkt) {
    mInstance = sumleaf::moduleInstance();
    if (mAllowUnload)
        if (AcRxDynamicLinker* linker = dynamicLinker())
            linker->unlockApplication(pkt);
    if (mMultiDocument)
        if (AcRxDynamicLinker* linker = dynamicLinker())
            linker->registerAppMDIAware(pkt);
    return AcRx::kRetOK;
}

// Nothing to undo: the functions leave with each document's message 4.
AcRx::AppRetCode CGetSumleafApp::On_kUnloadAppMsg(void*) {
    return AcRx::kRetOK;
}

AcRx::AppRetCode CGetSumleafApp::On_kLoadDwgMsg(void*) {
    sumleaf::defineExternalFunctions(sumleaf::externalFunctionTable(), mInstance);
    return AcRx::kRetOK;
}

AcRx::AppRetCode CGetSumleafApp::On_kUnloadDwgMsg(void*) {
    sumleaf::removeExternalFunctions(sumleaf::externalFunctionTable(), mInstance);
    return AcRx::kRetOK;
}

AcRx::AppRetCode CGetSumleafApp::On_kInvkSubrMsg(void*) {
    sumleaf::dispatchExternalFunction(sumleaf::externalFunctionTable());
    return AcRx::kRetOK;
}

extern "C" AcRx::AppRetCode acrxEntryPoint(AcRx::AppMsgCode msg, void* pkt) {
    try {
        switch (msg) {
        case AcRx::kInitAppMsg:
            return theApp.On_kInitAppMsg(pkt);
        case AcRx::kUnloadAppMsg:
            return theApp.On_kUnloadAppMsg(pkt);
        case AcRx::kLoadDwgMsg:
            return theApp.On_kLoadDwgMsg(pkt);
        case AcRx::kUnloadDwgMsg:
            return theApp.On_kUnloadDwgMsg(pkt);
        case AcRx::kInvkSubrMsg:
            return theApp.On_kInvkSubrMsg(pkt);
        default:
            return AcRx::kRetOK;
        }
    } catch (...) {
        return AcRx::kRetOK; // nothing is reported, and nothing may reach the host
    }
}

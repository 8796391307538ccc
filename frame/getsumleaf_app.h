// The module's application object and the state the module keeps from load to unload.
#pragma once

#include "host/host_api.h"

// A document's record in documentRecords. The module stores none; the store exists for its
// registration with the document manager and its clean-up.
struct CDocData {};

class CGetSumleafApp : public AcRxArxApp {
  public:
    CGetSumleafApp() = default;

    AcRx::AppRetCode On_kInitAppMsg(void* pkt) override;
    AcRx::AppRetCode On_kUnloadAppMsg(void* pkt) override;
    AcRx::AppRetCode On_kLoadDwgMsg(void* pkt) override;
    AcRx::AppRetCode On_kUnloadDwgMsg(void* pkt) override;
    AcRx::AppRetCode On_kInvkSubrMsg(void* pkt) override;

    HINSTANCE instance() const { return mInstance; }
    bool allowUnload() const { return mAllowUnload; }
    bool multiDocument() const { return mMultiDocument; }

  private:
    HINSTANCE mInstance = nullptr; // copied from the module-wide handle at message 1
    bool mAllowUnload = true;
    bool mMultiDocument = true;
};

// The module-wide extension-module record: set at attach, cleared at detach.
struct ExtensionModuleRecord {
    AFX_EXTENSION_MODULE module;
    bool attached = false;
    HINSTANCE defaultResource = nullptr; // the resource handle before the module's attach
    HINSTANCE moduleResource = nullptr;  // the module's own
};

namespace sumleaf {
// The one application object, a static instance.
CGetSumleafApp& application();
// The instance handle the attach notification recorded; nullptr before it.
HINSTANCE moduleInstance();
const ExtensionModuleRecord& extensionModule();
// The per-document record store: a document-manager reactor from static initialisation to
// static teardown.
AcApDataManager<CDocData>& documentRecords();
} // namespace sumleaf

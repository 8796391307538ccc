// The bookkeeping of a library that extends the host's user-interface class library: the
// extension-module record, its initialisation and termination, the per-library record the class
// library keeps, and the process-wide resource handle. Only the Windows host has use for it;
// elsewhere these keep the same state without a user interface behind them.
#pragma once

#include "host/host_port.h"
#include "host/windows_api.h"

struct AFX_EXTENSION_MODULE {
    BOOL bInitialized = FALSE;
    HMODULE hModule = nullptr;
    HMODULE hResource = nullptr; // where the module's resources are looked up
};

// Initialises `state` for the library at `module`. TRUE on success.
HOST_API_PORT BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE module);
// Terminates `state` and destroys every CDynLinkLibrary made for it.
HOST_API_PORT void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL all = FALSE);

// The class library's record of an extension library. Made with `new`; the class library owns
// it from then on and destroys it in AfxTermExtensionModule.
class HOST_API_PORT CDynLinkLibrary {
  public:
    explicit CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL system = FALSE);
    virtual ~CDynLinkLibrary();
    CDynLinkLibrary(const CDynLinkLibrary&) = delete;
    CDynLinkLibrary& operator=(const CDynLinkLibrary&) = delete;

    HMODULE m_hModule;
    HMODULE m_hResource;
    BOOL m_bSystem;
};

// The handle resources are loaded from by default, and its replacement.
HOST_API_PORT HINSTANCE AfxGetResourceHandle();
HOST_API_PORT void AfxSetResourceHandle(HINSTANCE resource);

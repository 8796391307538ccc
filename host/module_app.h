// The application frame the host drives a module through: the message numbers, the exported
// entry point, and the application base classes with one virtual handler per message.
#pragma once

#include "host/host_port.h"

// Marks the few symbols a module itself exports to the host.
#if defined(_WIN32)
#define HOST_MODULE_EXPORT __declspec(dllexport)
#else
#define HOST_MODULE_EXPORT __attribute__((visibility("default")))
#endif

namespace AcRx {
// Messages the host sends to acrxEntryPoint. Any int may arrive; the fixed type keeps every
// value representable.
enum AppMsgCode : int {
    kNullMsg = 0,
    kInitAppMsg = 1,   // after loading; the packet is the application id
    kUnloadAppMsg = 2, // before unloading
    kLoadDwgMsg = 3,   // a document opened (it is current)
    kUnloadDwgMsg = 4, // a document is closing (it is current)
    kInvkSubrMsg = 5,  // a LISP function of the module is invoked; see acedGetFunCode()
};
enum AppRetCode : int {
    kRetOK = 0,
    kRetError = 3,
};
} // namespace AcRx

// The module's message entry, exported under this plain name. Defined by the module.
extern "C" HOST_MODULE_EXPORT AcRx::AppRetCode acrxEntryPoint(AcRx::AppMsgCode msg, void* pkt);

// Base of an application object: one virtual handler per message, in this slot order. Every
// default handler does nothing and returns kRetOK.
class HOST_API_PORT AcRxDbxApp {
  public:
    AcRxDbxApp();
    virtual ~AcRxDbxApp();
    AcRxDbxApp(const AcRxDbxApp&) = delete;
    AcRxDbxApp& operator=(const AcRxDbxApp&) = delete;

    virtual AcRx::AppRetCode On_kInitAppMsg(void* pkt);
    virtual AcRx::AppRetCode On_kUnloadAppMsg(void* pkt);
    virtual AcRx::AppRetCode On_kLoadDwgMsg(void* pkt);
    virtual AcRx::AppRetCode On_kUnloadDwgMsg(void* pkt);
    virtual AcRx::AppRetCode On_kInvkSubrMsg(void* pkt);
    // Handlers of the host's further messages (numbers 6 to 16), which a module may take.
    virtual AcRx::AppRetCode On_kReservedMsg6(void* pkt);
    virtual AcRx::AppRetCode On_kReservedMsg7(void* pkt);
    virtual AcRx::AppRetCode On_kReservedMsg8(void* pkt);
    virtual AcRx::AppRetCode On_kReservedMsg9(void* pkt);
    virtual AcRx::AppRetCode On_kReservedMsg10(void* pkt);
    virtual AcRx::AppRetCode On_kReservedMsg11(void* pkt);
    virtual AcRx::AppRetCode On_kReservedMsg12(void* pkt);
    virtual AcRx::AppRetCode On_kReservedMsg13(void* pkt);
    virtual AcRx::AppRetCode On_kReservedMsg14(void* pkt);
    virtual AcRx::AppRetCode On_kReservedMsg15(void* pkt);
    virtual AcRx::AppRetCode On_kReservedMsg16(void* pkt);
    // Registers the module's components with the system; nothing to do by default.
    virtual void RegisterServerComponents();
};

// An application that also runs inside the host's editor (it may define LISP functions).
class HOST_API_PORT AcRxArxApp : public AcRxDbxApp {
  public:
    AcRxArxApp();
    ~AcRxArxApp() override;
};

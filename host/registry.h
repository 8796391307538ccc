// The host's system registry of runtime objects, and its dynamic linker: the service that loads
// and unloads modules and knows what each may do.
#pragma once

#include "host/host_port.h"
#include "host/runtime_classes.h"

// A dictionary of named runtime objects. The objects belong to the host.
class HOST_API_PORT AcRxDictionary : public AcRxObject {
  public:
    AcRxClass* isA() const override;
    static AcRxClass* desc();

    // The object stored under `key`, or nullptr. Borrowed.
    virtual AcRxObject* at(const ACHAR* key) const = 0;
    // Stores `object` (borrowed) under `key` and returns what was stored there before, or
    // nullptr. A null `object` removes the entry.
    virtual AcRxObject* atPut(const ACHAR* key, AcRxObject* object) = 0;
    virtual bool has(const ACHAR* key) const = 0;
};

// The host's system registry: entry "DynamicLinker" holds the dynamic linker. Borrowed.
HOST_API_PORT AcRxDictionary* acrxSysRegistry();

// The dynamic linker. `appId` is the packet the module received with message 1.
class HOST_API_PORT AcRxDynamicLinker : public AcRxObject {
  public:
    AcRxClass* isA() const override;
    static AcRxClass* desc();

    // Lets the host unload the module on request. True when the module is known.
    virtual bool unlockApplication(void* appId) const = 0;
    // Tells the host the module works with several documents open at once.
    virtual bool registerAppMDIAware(void* appId) const = 0;

  protected:
    AcRxDynamicLinker() = default;
};

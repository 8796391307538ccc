// Runtime-class roots of the host's object system.
#pragma once

#include "host/heap.h"
#include "host/host_port.h"

class AcRxClass;

class HOST_API_PORT AcRxObject : public AcHeapOperators {
  public:
    virtual ~AcRxObject();
    // This object's runtime class.
    virtual AcRxClass* isA() const;
    // The runtime class of AcRxObject itself.
    static AcRxClass* desc();

  protected:
    AcRxObject() = default;
};

// A runtime class: a name and a parent. Classes belong to the host and live as long as it.
class HOST_API_PORT AcRxClass : public AcRxObject {
  public:
    AcRxClass(const ACHAR* name, AcRxClass* parent);
    ~AcRxClass() override;
    AcRxClass* isA() const override;
    static AcRxClass* desc();

    const ACHAR* name() const;
    AcRxClass* myParent() const;
    // True when this class is `other` or derives from it.
    bool isDerivedFrom(const AcRxClass* other) const;

  private:
    const ACHAR* mName; // static text
    AcRxClass* mpParent;
};

// Runtime classes of the host's object system, and the descriptors of the registry's classes.
#include "host/registry.h"
#include "host/runtime_classes.h"

AcRxObject::~AcRxObject() = default;

AcRxClass* AcRxObject::desc() {
    static AcRxClass* cls = new AcRxClass(L"AcRxObject", nullptr); // lives as long as the host
    return cls;
}

AcRxClass* AcRxObject::isA() const {
    return AcRxObject::desc();
}

AcRxClass::AcRxClass(const ACHAR* name, AcRxClass* parent) : mName(name), mpParent(parent) {}

AcRxClass::~AcRxClass() = default;

AcRxClass* AcRxClass::desc() {
    static AcRxClass* cls = new AcRxClass(L"AcRxClass", AcRxObject::desc());
    return cls;
}

AcRxClass* AcRxClass::isA() const {
    return AcRxClass::desc();
}

const ACHAR* AcRxClass::name() const {
    return mName;
}

AcRxClass* AcRxClass::myParent() const {
    return mpParent;
}

bool AcRxClass::isDerivedFrom(const AcRxClass* other) const {
    for (const AcRxClass* cls = this; cls; cls = cls->mpParent)
        if (cls == other)
            return true;
    return false;
}

AcRxClass* AcRxDictionary::desc() {
    static AcRxClass* cls = new AcRxClass(L"AcRxDictionary", AcRxObject::desc());
    return cls;
}

AcRxClass* AcRxDictionary::isA() const {
    return desc();
}

AcRxClass* AcRxDynamicLinker::desc() {
    static AcRxClass* cls = new AcRxClass(L"AcRxDynamicLinker", AcRxObject::desc());
    return cls;
}

AcRxClass* AcRxDynamicLinker::isA() const {
    return desc();
}

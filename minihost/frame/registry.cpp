// The system registry and its dynamic linker, which records what modules ask of it.
#include <map>
#include <new>
#include <set>
#include <string>

#include "host/registry.h"
#include "minihost/frame/frame_internal.h"
#include "minihost/frame/platform_state.h"

namespace minihost {
namespace {

struct LinkerRequests {
    std::set<const void*> unlocked;
    std::set<const void*> multiDocument;
};

LinkerRequests& requests() {
    static auto* r = new LinkerRequests; // lives as long as the process
    return *r;
}

bool record(std::set<const void*>& set, const void* appId) {
    try {
        set.insert(appId);
    } catch (const std::bad_alloc&) {
    }
    return internal::isLoadedModule(appId);
}

class DynamicLinker : public AcRxDynamicLinker {
  public:
    static AcRxClass* desc() {
        static AcRxClass* cls = new AcRxClass(L"MiniHostDynamicLinker", AcRxDynamicLinker::desc());
        return cls;
    }
    AcRxClass* isA() const override { return desc(); }

    bool unlockApplication(void* appId) const override {
        return record(requests().unlocked, appId);
    }
    bool registerAppMDIAware(void* appId) const override {
        return record(requests().multiDocument, appId);
    }
};

class Registry : public AcRxDictionary {
  public:
    AcRxObject* at(const ACHAR* key) const override {
        if (!key)
            return nullptr;
        auto it = mEntries.find(key);
        return it == mEntries.end() ? nullptr : it->second;
    }
    AcRxObject* atPut(const ACHAR* key, AcRxObject* object) override {
        if (!key)
            return nullptr;
        AcRxObject* previous = at(key);
        try {
            if (object)
                mEntries[key] = object;
            else
                mEntries.erase(key);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        return previous;
    }
    bool has(const ACHAR* key) const override { return at(key) != nullptr; }

  private:
    std::map<std::wstring, AcRxObject*> mEntries;
};

} // namespace

bool unlockRequested(const void* appId) {
    return requests().unlocked.count(appId) != 0;
}

bool multiDocumentRequested(const void* appId) {
    return requests().multiDocument.count(appId) != 0;
}

namespace internal {
void forgetLinkerRequests(const void* appId) {
    requests().unlocked.erase(appId);
    requests().multiDocument.erase(appId);
}
void forgetAllLinkerRequests() {
    requests().unlocked.clear();
    requests().multiDocument.clear();
}
} // namespace internal

} // namespace minihost

AcRxDictionary* acrxSysRegistry() {
    // The registry and the linker live as long as the host.
    static AcRxDictionary* registry = [] {
        auto* r = new minihost::Registry;
        r->atPut(L"DynamicLinker", new minihost::DynamicLinker);
        return r;
    }();
    return registry;
}

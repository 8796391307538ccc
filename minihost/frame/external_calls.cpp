// External LISP functions: per-document definitions, direct registrations, and the stack of
// calls in progress behind acedGetArgs, acedGetFunCode and the result functions.
#include "minihost/frame/external_calls.h"

#include <cstdlib>
#include <cwctype>
#include <map>
#include <new>

#include "host/documents.h"
#include "host/lisp_calls.h"
#include "minihost/runtime/current_folder.h"
#include "minihost/runtime/fault.h"
#include "minihost/frame/frame_internal.h"
#include "minihost/runtime/text/text_copy.h"

namespace minihost {
namespace {

using internal::LoadedModule;

struct Definition {
    std::wstring name;
    int code;
    LoadedModule* module; // who defined it; nullptr for the host's own callers
};

struct Registration {
    LoadedModule* module;
    int code;
    int (*handler)();
};

// One call in progress. Nested calls stack up; each keeps its own arguments and result.
struct Frame {
    resbuf* args;
    int code;
    ResultReceiver* receiver; // takes the result chain instead of a copy, or nullptr
    CallResult::Kind kind = CallResult::NoResult;
    resbuf* value = nullptr;
};

struct State {
    // Keyed by document; nullptr holds what was defined while no document was open.
    std::map<AcApDocument*, std::vector<Definition>> definitions;
    std::vector<Registration> registrations;
    std::vector<Frame*> frames;
    LoadedModule* running = nullptr;
};

// Lives as long as the process: modules may still call in during static teardown.
State& state() {
    static State* s = new State;
    return *s;
}

AcApDocument* currentDocument() {
    AcApDocManager* manager = acDocManagerPtr();
    return manager ? manager->curDocument() : nullptr;
}

// LISP symbols are not case sensitive.
bool sameName(const std::wstring& a, const wchar_t* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    return i == a.size() && !b[i];
}

Definition* findDefinition(AcApDocument* document, const wchar_t* name) {
    auto it = state().definitions.find(document);
    if (it == state().definitions.end())
        return nullptr;
    for (Definition& d : it->second)
        if (sameName(d.name, name))
            return &d;
    return nullptr;
}

void releaseResult(Frame& frame) {
    acutRelRb(frame.value);
    frame.value = nullptr;
}

// The host's own copy of a result chain, or nullptr when out of memory (nothing left then).
resbuf* copyChain(const resbuf* chain, bool& ok) {
    resbuf* head = nullptr;
    resbuf** link = &head;
    ok = true;
    for (; chain; chain = chain->rbnext) {
        auto* node = static_cast<resbuf*>(std::calloc(1, sizeof(resbuf)));
        if (!node) {
            ok = false;
            break;
        }
        accounting::nodes(1);
        node->restype = chain->restype;
        node->resval = chain->resval;
        *link = node;
        link = &node->rbnext;
        if (chain->restype == RTSTR) {
            node->resval.rstring = copyText(chain->resval.rstring ? chain->resval.rstring : L"");
            if (!node->resval.rstring) {
                node->restype = RTNIL; // nothing to free in it
                ok = false;
                break;
            }
        }
    }
    if (!ok) {
        acutRelRb(head);
        return nullptr;
    }
    return head;
}

template <class Run>
CallResult runCall(int code, const resbuf* args, LoadedModule* module, ResultReceiver* receiver,
                   Run run) {
    Frame frame{const_cast<resbuf*>(args), code, receiver};
    CallResult result;
    try {
        state().frames.push_back(&frame);
    } catch (const std::bad_alloc&) {
        return result; // nothing ran
    }
    {
        internal::RunningModuleScope scope(module);
        CurrentFolderScope folder; // no chdir between the calls the handler makes
        try {
            result.handlerReturned = run();
        } catch (...) {
            result.handlerReturned = 0; // a module must not throw; the host survives it
        }
    }
    state().frames.pop_back();
    result.kind = frame.kind;
    result.value = frame.value;
    return result;
}

} // namespace

CallResult callHandler(int (*handler)(), int code, const resbuf* args, ResultReceiver* receiver) {
    if (!handler)
        return CallResult{};
    return runCall(code, args, nullptr, receiver, [handler] { return handler(); });
}

CallResult invokeExternal(const std::wstring& name, const resbuf* args, ResultReceiver* receiver) {
    const Definition* found = findDefinition(currentDocument(), name.c_str());
    if (!found)
        return CallResult{};
    Definition definition = *found; // the handler may change the definitions
    for (const Registration& r : state().registrations)
        if (r.module == definition.module && r.code == definition.code) {
            int (*handler)() = r.handler;
            return runCall(definition.code, args, definition.module, receiver,
                           [handler] { return handler(); });
        }
    if (!definition.module) {
        CallResult none;
        none.kind = CallResult::NoResult;
        return none;
    }
    return invokeByCode(definition.module, definition.code, args, receiver);
}

CallResult invokeByCode(void* module, int code, const resbuf* args, ResultReceiver* receiver) {
    if (!internal::isLoadedModule(module))
        return CallResult{};
    auto* loaded = static_cast<internal::LoadedModule*>(module);
    return runCall(code, args, loaded, receiver, [loaded] {
        internal::sendMessage(loaded, 5, nullptr);
        return 0;
    });
}

std::vector<std::wstring> definedFunctions() {
    std::vector<std::wstring> names;
    auto it = state().definitions.find(currentDocument());
    if (it != state().definitions.end())
        for (const Definition& d : it->second)
            names.push_back(d.name);
    return names;
}

namespace internal {

LoadedModule* runningModule() {
    return state().running;
}

RunningModuleScope::RunningModuleScope(LoadedModule* module) : mPrevious(state().running) {
    state().running = module;
}

RunningModuleScope::~RunningModuleScope() {
    state().running = mPrevious;
}

void forgetDocument(AcApDocument* document) {
    state().definitions.erase(document);
}

void forgetModule(LoadedModule* module) {
    for (auto& entry : state().definitions) {
        auto& list = entry.second;
        for (auto it = list.begin(); it != list.end();)
            it = it->module == module ? list.erase(it) : it + 1;
    }
    auto& regs = state().registrations;
    for (auto it = regs.begin(); it != regs.end();)
        it = it->module == module ? regs.erase(it) : it + 1;
}

void forgetUnownedDefinitions() {
    state().definitions.erase(nullptr);
    forgetModule(nullptr);
}

} // namespace internal
} // namespace minihost

using minihost::state;

extern "C" int acedDefun(const ACHAR* name, int code) {
    if (!name || !*name || code < 0)
        return RTERROR;
    try {
        AcApDocument* document = minihost::currentDocument();
        minihost::internal::LoadedModule* module = minihost::internal::runningModule();
        if (auto* existing = minihost::findDefinition(document, name)) {
            existing->name = name;
            existing->code = code;
            existing->module = module;
        } else {
            state().definitions[document].push_back(minihost::Definition{name, code, module});
        }
    } catch (const std::bad_alloc&) {
        return RTERROR;
    }
    return RTNORM;
}

extern "C" int acedRegFunc(int (*handler)(), int code) {
    if (code < 0)
        return RTERROR;
    minihost::internal::LoadedModule* module = minihost::internal::runningModule();
    auto& regs = state().registrations;
    for (auto it = regs.begin(); it != regs.end(); ++it)
        if (it->module == module && it->code == code) {
            if (handler)
                it->handler = handler;
            else
                regs.erase(it); // a null handler withdraws the registration
            return RTNORM;
        }
    if (!handler)
        return RTNORM;
    try {
        regs.push_back(minihost::Registration{module, code, handler});
    } catch (const std::bad_alloc&) {
        return RTERROR;
    }
    return RTNORM;
}

extern "C" int acedUndef(const ACHAR* name, int code) {
    if (!name)
        return RTERROR;
    auto it = state().definitions.find(minihost::currentDocument());
    if (it == state().definitions.end())
        return RTERROR;
    auto& list = it->second;
    for (auto d = list.begin(); d != list.end(); ++d)
        if (d->code == code && minihost::sameName(d->name, name)) {
            list.erase(d);
            return RTNORM;
        }
    return RTERROR;
}

extern "C" int acedGetFunCode() {
    return state().frames.empty() ? RTERROR : state().frames.back()->code;
}

extern "C" resbuf* acedGetArgs() {
    return state().frames.empty() ? nullptr : state().frames.back()->args;
}

extern "C" int acedRetNil() {
    if (state().frames.empty())
        return RTERROR;
    minihost::Frame& frame = *state().frames.back();
    minihost::releaseResult(frame);
    frame.kind = minihost::CallResult::Nil;
    return RTNORM;
}

extern "C" int acedRetList(const resbuf* list) {
    if (state().frames.empty())
        return RTERROR;
    minihost::Frame& top = *state().frames.back();
    if (top.receiver && list) {
        if (!top.receiver->receive(list))
            return RTERROR; // the earlier result stands
        minihost::releaseResult(top);
        top.kind = minihost::CallResult::Value;
        return RTNORM;
    }
    bool ok = true;
    resbuf* copy = minihost::copyChain(list, ok);
    if (!ok)
        return RTERROR; // the earlier result stands
    minihost::Frame& frame = *state().frames.back();
    minihost::releaseResult(frame);
    frame.value = copy;
    frame.kind = copy ? minihost::CallResult::Value : minihost::CallResult::Nil;
    return RTNORM;
}

// LISP value chains: acutBuildList, acutRelRb, acutNewString.
#include <cstdarg>
#include <cstdlib>
#include <cwchar>
#include <new>

#include "host/lisp_calls.h"
#include "minihost/runtime/fault.h"
#include "minihost/runtime/text/text_copy.h"

namespace {

// One node with its own copy of a string value.
resbuf* newNode(short type) {
    auto* node = static_cast<resbuf*>(std::calloc(1, sizeof(resbuf)));
    if (node) {
        node->restype = type;
        minihost::accounting::nodes(1);
    }
    return node;
}

void releaseNode(resbuf* node) {
    if (node->restype == RTSTR)
        std::free(node->resval.rstring);
    std::free(node);
    minihost::accounting::nodes(-1);
}

} // namespace

extern "C" resbuf* acutBuildList(int rtype, ...) {
    if (minihost::faultHit(minihost::HostOp::BuildList))
        return nullptr;
    resbuf* head = nullptr;
    resbuf** link = &head;
    bool ok = true;
    std::va_list args;
    va_start(args, rtype);
    for (int type = rtype; type != RTNONE; type = va_arg(args, int)) {
        resbuf* node = newNode(static_cast<short>(type));
        if (!node) {
            ok = false;
            break;
        }
        *link = node;
        link = &node->rbnext;
        switch (type) {
        case RTSTR: {
            const ACHAR* text = va_arg(args, const ACHAR*);
            node->resval.rstring = minihost::copyText(text ? text : L"");
            ok = node->resval.rstring != nullptr;
            break;
        }
        case RTREAL:
            node->resval.rreal = va_arg(args, double);
            break;
        case RTSHORT:
            node->resval.rint = static_cast<short>(va_arg(args, int));
            break;
        case RTLONG:
            node->resval.rlong = va_arg(args, int);
            break;
        case RTLB:
        case RTLE:
        case RTDOTE:
        case RTNIL:
        case RTT:
            break;
        default:
            ok = false; // a code this host cannot build
        }
        if (!ok)
            break;
    }
    va_end(args);
    if (!ok) {
        acutRelRb(head);
        return nullptr;
    }
    return head;
}

extern "C" int acutRelRb(resbuf* chain) {
    while (chain) {
        resbuf* next = chain->rbnext;
        releaseNode(chain);
        chain = next;
    }
    return RTNORM;
}

Acad::ErrorStatus acutNewString(const ACHAR* source, ACHAR*& out) {
    if (!source)
        return Acad::eInvalidInput;
    if (minihost::faultHit(minihost::HostOp::NewString))
        return Acad::eOutOfMemory;
    ACHAR* copy = minihost::copyText(source);
    if (!copy)
        return Acad::eOutOfMemory;
    try {
        minihost::accounting::stringMade(copy);
    } catch (const std::bad_alloc&) {
        std::free(copy);
        return Acad::eOutOfMemory;
    }
    out = copy;
    return Acad::eOk;
}

// The stand-in's runtime `free` for modules linked with --wrap=free: forgets an acutNewString
// copy before releasing it, so that liveCounts() can tell copies that were never released.
extern "C" __attribute__((visibility("default"))) void __wrap_free(void* p) {
    minihost::accounting::stringFreed(p);
    std::free(p);
}

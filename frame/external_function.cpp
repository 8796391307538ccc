// Walking the function table: define, remove and dispatch.
#include "frame/external_function.h"

#if defined(_WIN32)
// The begin and end markers: null slots in the groups that sort before and after the rows.
// They exist even when no row does, so that a module without rows still links. They are not
// const, so that no linker folds the two identical constants into one.
#if defined(_MSC_VER)
#define SUMLEAF_TABLE_MARKER_(name) __declspec(allocate(name))
#else
#define SUMLEAF_TABLE_MARKER_(name) __attribute__((section(name), used))
#endif
SUMLEAF_TABLE_MARKER_("sumleaf_extfn$a") static const ExternalFunctionEntry* gTableBegin = nullptr;
SUMLEAF_TABLE_MARKER_("sumleaf_extfn$z") static const ExternalFunctionEntry* gTableEnd = nullptr;
#else
// The linker defines these when at least one object contributes a slot; with no slot at all
// they are weak zeros and the table is empty.
extern "C" {
extern const ExternalFunctionEntry* const __start_sumleaf_extfn[]
    __attribute__((weak, visibility("hidden")));
extern const ExternalFunctionEntry* const __stop_sumleaf_extfn[]
    __attribute__((weak, visibility("hidden")));
}
#endif

namespace sumleaf {
namespace {

// LoadStringW fills at most this many characters, terminator included.
constexpr int kNameBufferSize = 132;

// The row's name, or its string resource copied into `buffer` ("" when there is none).
const wchar_t* rowName(const ExternalFunctionEntry& row, HINSTANCE instance,
                       wchar_t (&buffer)[kNameBufferSize]) {
    if (row.name)
        return row.name;
    buffer[0] = L'\0';
    LoadStringW(instance, row.nameResourceId, buffer, kNameBufferSize);
    return buffer;
}

// The address of `slot` as a number the optimiser cannot trace back to the object it points
// into. The table's bounds lie in different objects, and comparing or stepping pointers from
// one object to another is undefined: an optimiser may take the end as never reached.
std::uintptr_t opaqueAddress(const ExternalFunctionEntry* const* slot) {
    const volatile std::uintptr_t address = reinterpret_cast<std::uintptr_t>(slot);
    return address;
}

// Calls visit(row, code) for every non-empty slot in order.
template <class Visit> void forEachRow(ExternalFunctionSlots slots, Visit visit) {
    const std::uintptr_t end = opaqueAddress(slots.end);
    int code = 0;
    for (std::uintptr_t at = opaqueAddress(slots.begin); at < end; at += sizeof(*slots.begin)) {
        const ExternalFunctionEntry* row =
            *reinterpret_cast<const ExternalFunctionEntry* const*>(at);
        if (!row)
            continue;
        if (visit(*row, code))
            return;
        ++code;
    }
}

} // namespace

ExternalFunctionSlots externalFunctionTable() {
#if defined(_WIN32)
    // The rows lie between the markers; the markers themselves are not walked.
    return {&gTableBegin + 1, &gTableEnd};
#else
    if (!__start_sumleaf_extfn || !__stop_sumleaf_extfn)
        return {nullptr, nullptr};
    return {__start_sumleaf_extfn, __stop_sumleaf_extfn};
#endif
}

int defineExternalFunctions(ExternalFunctionSlots slots, HINSTANCE instance) {
    forEachRow(slots, [instance](const ExternalFunctionEntry& row, int code) {
        wchar_t buffer[kNameBufferSize];
        acedDefun(rowName(row, instance, buffer), code);
        if (row.registerDirect)
            acedRegFunc(row.handler, code);
        return false;
    });
    return 0;
}

int removeExternalFunctions(ExternalFunctionSlots slots, HINSTANCE instance) {
    forEachRow(slots, [instance](const ExternalFunctionEntry& row, int code) {
        wchar_t buffer[kNameBufferSize];
        acedUndef(rowName(row, instance, buffer), code);
        return false;
    });
    return 0;
}

int dispatchExternalFunction(ExternalFunctionSlots slots) {
    const int wanted = acedGetFunCode();
    forEachRow(slots, [wanted](const ExternalFunctionEntry& row, int code) {
        if (code != wanted)
            return false;
        if (row.handler)
            row.handler(); // its answer is the host's business, not the dispatcher's
        return true;
    });
    return 0;
}

} // namespace sumleaf

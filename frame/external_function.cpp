// Walking the function table: define, remove and dispatch.
#include "external_function.h"

// The linker defines these when at least one object contributes a slot; with no slot at all
// they are weak zeros and the table is empty.
extern "C" {
extern const ExternalFunctionEntry* const __start_gsl_extfn[]
    __attribute__((weak, visibility("hidden")));
extern const ExternalFunctionEntry* const __stop_gsl_extfn[]
    __attribute__((weak, visibility("hidden")));
}

namespace gsl {
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

// Calls visit(row, code) for every non-empty slot in order.
template <class Visit> void forEachRow(ExternalFunctionSlots slots, Visit visit) {
    int code = 0;
    for (const ExternalFunctionEntry* const* slot = slots.begin; slot != slots.end; ++slot) {
        if (!*slot)
            continue;
        if (visit(**slot, code))
            return;
        ++code;
    }
}

} // namespace

ExternalFunctionSlots externalFunctionTable() {
    if (!__start_gsl_extfn || !__stop_gsl_extfn)
        return {nullptr, nullptr};
    return {__start_gsl_extfn, __stop_gsl_extfn};
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

} // namespace gsl

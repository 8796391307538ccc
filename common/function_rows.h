// The rows of the module's function table: what a row holds, and the macros with which the
// source file of each LISP function contributes its own row. Shared by frame/, which walks the
// table (frame/external_function.h), and props/, whose handlers each declare a row; it depends
// on nothing of either.
//
// Each row is a slot in a section of its own that the linker gathers between a begin and an end
// marker. On ELF that is the section "sumleaf_extfn", marked by the linker's __start_/__stop_
// symbols. On Windows (PE/COFF) it is the grouped sections "sumleaf_extfn$a" (the begin marker),
// "sumleaf_extfn$m" (the rows) and "sumleaf_extfn$z" (the end marker), which the linker merges into
// one section ordered by the text after the '$'. A slot is a pointer to an entry; a null slot is
// empty, skipped, and takes no function code (the linker may also pad between rows with zeros).
// A row's function code is the number of non-empty slots before it, so codes follow the order
// in which the objects are linked (see props/CMakeLists.txt).
#pragma once

#include <cstdint>

struct ExternalFunctionEntry {
    const wchar_t* name;          // nullptr: the name is string resource nameResourceId
    int (*handler)();             // returns 1 to the host; the result is what it set
    bool registerDirect;          // also registered for direct calls (acedRegFunc)
    std::uint32_t nameResourceId; // kNoNameResource when `name` is given
};

constexpr std::uint32_t kNoNameResource = 0xFFFFFFFFu;

// SUMLEAF_EXTERNAL_FUNCTION_SLOT_(row): the declaration of slot `row` in the table's section.
#if defined(_MSC_VER)
// The platform's compiler: sections are declared once, and a slot is an external object that
// the linker is told to keep, since nothing refers to it by name.
#pragma section("sumleaf_extfn$a", read)
#pragma section("sumleaf_extfn$m", read)
#pragma section("sumleaf_extfn$z", read)
#define SUMLEAF_EXTERNAL_FUNCTION_SLOT_(row)                                                       \
    __pragma(comment(linker, "/include:sumleafExternalFunctionSlot_" #row)) extern "C" __declspec( \
        allocate("sumleaf_extfn$m"))                                                               \
        const ExternalFunctionEntry* const sumleafExternalFunctionSlot_##row
#elif defined(_WIN32)
// GCC and clang for MinGW: the same grouped sections, named by attribute.
#define SUMLEAF_EXTERNAL_FUNCTION_SLOT_(row)                                                       \
    __attribute__((section("sumleaf_extfn$m"), used)) static const ExternalFunctionEntry* const row
#else
#define SUMLEAF_EXTERNAL_FUNCTION_SLOT_(row)                                                       \
    __attribute__((section("sumleaf_extfn"), used)) static const ExternalFunctionEntry* row
#endif

#define SUMLEAF_EXTERNAL_FUNCTION_ROW_(row, nameText, resourceId, handlerFn, direct)               \
    static const ExternalFunctionEntry row##Entry = {nameText, handlerFn, direct, resourceId};     \
    SUMLEAF_EXTERNAL_FUNCTION_SLOT_(row) = &row##Entry

// A row named by `nameText`, a wide string literal.
#define SUMLEAF_EXTERNAL_FUNCTION(row, nameText, handlerFn, direct)                                \
    SUMLEAF_EXTERNAL_FUNCTION_ROW_(row, nameText, kNoNameResource, handlerFn, direct)
// A row whose name is the module's string resource `resourceId`.
#define SUMLEAF_EXTERNAL_FUNCTION_NAMED_BY_RESOURCE(row, resourceId, handlerFn, direct)            \
    SUMLEAF_EXTERNAL_FUNCTION_ROW_(row, nullptr, resourceId, handlerFn, direct)
// An empty slot.
#define SUMLEAF_EXTERNAL_FUNCTION_EMPTY_SLOT(row) SUMLEAF_EXTERNAL_FUNCTION_SLOT_(row) = nullptr

// Fuzz target: the header-variables section of binary drawings (AcDb:Header, decompressed).
//
// The first three bytes choose the context: byte 0 the version (bits 0-1: AC1018, AC1024,
// AC1027, AC1032), whether the section's CRC is made to match before reading (bit 2, so that
// mutations reach the variables), and the length of the new value (bits 3-7); byte 1 the
// code-page index; byte 2 the file's byte at 0x12. The rest is the section.
//
// Whatever the bytes, reading and checking give a status and never crash. When the full check
// passes, a rewrite to a value derived from the input passes it too, reads back that value and
// keeps every other variable's bits; rewriting that back to the old value gives the original
// bytes, or, where the original stored its value in a form the writer does not use (a longer
// count code, no terminator, a two-short footer for a short stream), exactly what rewriting
// the original to its own value gives: the same section with only that form made the usual one.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "minihost/drawing/dwg/header/dwg_bits.h"
#include "minihost/drawing/dwg/dwg_bytes.h"
#include "minihost/drawing/dwg/header/dwg_header.h"

namespace {

using namespace minihost::dwg;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

const char* const kVersions[] = {"AC1018", "AC1024", "AC1027", "AC1032"};

// Makes the CRC match the bytes the size field covers, when the field leaves room for it.
void sealCrc(std::string& section, bool wideText) {
    const std::size_t dataBegin = wideText ? 0x18 : 0x14;
    if (section.size() < dataBegin)
        return;
    const std::uint64_t crcAt = dataBegin + std::uint64_t{get32(bytes(section) + 0x10)};
    if (crcAt + 2 > section.size())
        return;
    const auto at = static_cast<std::size_t>(crcAt);
    put16(bytes(section) + at, headerCrc(bytes(section) + 0x10, at - 0x10));
}

// A value of `length` characters drawn from the input: letters, and characters beyond ASCII
// that some code pages and every later version hold.
std::wstring valueFrom(const std::uint8_t* data, std::size_t size, std::size_t length,
                       bool wideText) {
    const std::wstring pool = wideText ? L"ab/:.é中Ω\U0001F600" : L"ab/:.é";
    std::wstring value;
    for (std::size_t i = 0; i < length; ++i)
        value += pool[(i < size ? data[i] : i) % pool.size()];
    return value;
}

// Every variable's bits but HYPERLINKBASE's, by name.
std::map<std::string, std::string> others(const std::string& section, const HeaderContext& c) {
    std::vector<HeaderVariable> variables;
    if (checkHeader(section, c, &variables) != Acad::eOk)
        fail("a rewritten section does not pass the full check");
    std::map<std::string, std::string> out;
    for (const HeaderVariable& v : variables) {
        BitReader in(bytes(section), section.size(), v.begin, v.end);
        std::string& bits = out[v.name];
        while (in.left() > 0)
            bits += static_cast<char>('0' + in.b());
    }
    out.erase("HYPERLINKBASE");
    return out;
}

// The section rewritten to `value`: true with `out`, false when the value cannot be stored.
bool rewrite(const std::string& section, const HeaderContext& c, const std::wstring& value,
             std::string& out) {
    const Acad::ErrorStatus status = rewriteHeaderHyperlinkBase(section, c, value, out);
    if (status == Acad::eInvalidInput || status == Acad::eNotImplementedYet)
        return false;
    if (status != Acad::eOk)
        fail("a section that passed the full check is not rewritten");
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    HeaderContext context;
    context.version = kVersions[data[0] & 3];
    const bool wideText = (data[0] & 3) != 0;
    context.form = textForm(context.version, data[1]);
    context.byte12 = data[2];
    std::string section(reinterpret_cast<const char*>(data) + 3, size - 3);
    if (data[0] & 4)
        sealCrc(section, wideText);

    std::wstring old;
    const Acad::ErrorStatus read = readHeaderHyperlinkBase(section, context, old);
    if (checkHeader(section, context) != Acad::eOk)
        return 0;
    if (read != Acad::eOk)
        fail("a section that passes the full check does not read");

    const std::wstring value = valueFrom(data + 3, size - 3, (data[0] >> 3) * 11u, wideText);
    std::string changed;
    if (!rewrite(section, context, value, changed))
        return 0;
    std::wstring back;
    if (readHeaderHyperlinkBase(changed, context, back) != Acad::eOk || back != value)
        fail("a rewritten section does not read back its new value");
    const auto before = others(section, context);
    if (others(changed, context) != before)
        fail("a rewrite changed another variable");

    std::string restored, normal;
    const bool restores = rewrite(changed, context, old, restored);
    if (restores != rewrite(section, context, old, normal))
        fail("the old value is stored from one section and not from the other");
    if (restores && restored != normal)
        fail("rewriting back to the old value does not give the original bytes");
    if (restores && others(normal, context) != before)
        fail("rewriting a section to its own value changed another variable");
    return 0;
}

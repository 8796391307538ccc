// The head a save writes: the drawing's own head with the summary properties put in, every
// byte that does not change kept as it was. See docs/drawing-file.md.
#include "minihost/drawing/drawing_file_impl.h"

#include <algorithm>
#include <string>
#include <vector>

#include "minihost/drawing/dxf/dxf_text.h"

namespace minihost {
namespace {

void appendGroup(std::string& out, const char* code, const std::string& value,
                 const std::string& eol) {
    out += code;
    out += eol;
    out += value;
    out += eol;
}

bool appendVariable(std::string& out, const char* name, const std::wstring& text,
                    const std::string& eol) {
    std::string line;
    if (!dxf::encodeValue(text, line))
        return false;
    appendGroup(out, "  9", name, eol);
    appendGroup(out, "  1", line, eol);
    return true;
}

bool appendCustom(std::string& out, const SummaryData& summary, const std::string& eol) {
    for (const auto& pair : summary.custom)
        if (!appendVariable(out, "$CUSTOMPROPERTYTAG", pair.first, eol) ||
            !appendVariable(out, "$CUSTOMPROPERTY", pair.second, eol))
            return false;
    return true;
}

} // namespace

namespace drawing {

Acad::ErrorStatus buildHead(const DrawingFile& file, const SummaryData& summary, std::string& out) {
    const std::vector<Var>& vars = file.vars;
    const int kNone = -2, kStart = -1;
    int firstOf[kBuiltInCount];
    std::fill(firstOf, firstOf + kBuiltInCount, kNone);
    int firstCustom = kNone, codePage = kNone, versionVar = kNone;
    for (int j = 0; j < static_cast<int>(vars.size()); ++j) {
        int kind = vars[j].kind;
        if (kind >= 0 && kind < kBuiltInCount && firstOf[kind] == kNone)
            firstOf[kind] = j;
        if ((kind == kCustomTag || kind == kCustomValue) && firstCustom == kNone)
            firstCustom = j;
        if (vars[j].name == "$DWGCODEPAGE" && codePage == kNone)
            codePage = j;
        if (vars[j].name == "$ACADMAINTVER" || (vars[j].name == "$ACADVER" && versionVar == kNone))
            versionVar = j;
    }
    // One text decoded at a time: never a second copy of every property.
    bool changed[kBuiltInCount];
    for (int i = 0; i < kBuiltInCount; ++i) {
        std::wstring before;
        readBuiltIn(file, i, before);
        changed[i] = summary.builtIn[i] != before;
    }
    bool customChanged;
    {
        CustomList before;
        readCustom(file, before);
        customChanged = summary.custom != before;
    }

    // Where missing variables go: the seven texts in order after $DWGCODEPAGE, then the custom
    // pairs; each after the nearest earlier one of that chain that the file has.
    const int kChain[] = {
        -1 /* $DWGCODEPAGE */, kTitle,          kSubject,  kAuthor, kKeywords, kComments,
        kLastSavedBy,          kRevisionNumber, kCustomTag};
    const int chainLength = static_cast<int>(sizeof kChain / sizeof kChain[0]);
    auto presentAt = [&](int element) {
        return element == -1 ? codePage : element == kCustomTag ? firstCustom : firstOf[element];
    };
    std::vector<std::vector<int>> after(vars.size()); // insertions after each variable
    std::vector<int> atStart, atEnd;
    for (int k = 1; k < chainLength; ++k) {
        int element = kChain[k];
        bool missing = element == kCustomTag
                           ? firstCustom == kNone && !summary.custom.empty()
                           : firstOf[element] == kNone && !summary.builtIn[element].empty();
        if (!missing)
            continue;
        int anchor = kNone;
        for (int p = k - 1; p >= 0 && anchor == kNone; --p)
            anchor = presentAt(kChain[p]);
        if (anchor == kNone)
            anchor = versionVar == kNone ? kStart : versionVar;
        (anchor == kStart ? atStart : after[anchor]).push_back(element);
    }
    if (firstOf[kHyperlinkBase] == kNone && !summary.builtIn[kHyperlinkBase].empty())
        (vars.empty() ? atStart : after.back()).push_back(kHyperlinkBase);

    auto insert = [&](const std::vector<int>& elements) {
        for (int element : elements) {
            bool ok = element == kCustomTag ? appendCustom(out, summary, file.eol)
                                            : appendVariable(out, kBuiltInNames[element],
                                                             summary.builtIn[element], file.eol);
            if (!ok)
                return false;
        }
        return true;
    };

    out.clear();
    out.reserve(file.head.size() + 1024);
    out.append(file.head, 0, vars.empty() ? file.head.size() : vars.front().begin);
    if (!insert(atStart))
        return Acad::eInvalidInput;
    for (int j = 0; j < static_cast<int>(vars.size()); ++j) {
        const Var& var = vars[j];
        int kind = var.kind;
        bool raw = true;
        if (kind >= 0 && kind < kBuiltInCount && changed[kind]) {
            raw = false;
            if (j == firstOf[kind] &&
                !appendVariable(out, kBuiltInNames[kind], summary.builtIn[kind], file.eol))
                return Acad::eInvalidInput;
        } else if ((kind == kCustomTag || kind == kCustomValue) && customChanged) {
            raw = false;
            if (j == firstCustom && !appendCustom(out, summary, file.eol))
                return Acad::eInvalidInput;
        }
        if (raw)
            out.append(file.head, var.begin, var.end - var.begin);
        if (!insert(after[j]))
            return Acad::eInvalidInput;
    }
    if (out.size() > kMaxHead)
        return Acad::eInvalidInput; // it could not be read back
    return Acad::eOk;
}

} // namespace drawing
} // namespace minihost

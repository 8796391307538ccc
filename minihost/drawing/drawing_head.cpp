// The head a save writes: the drawing's own head with the summary properties put in, every
// byte that does not change kept as it was. See docs/drawing-file.md.
#include "minihost/drawing/drawing_file_impl.h"

#include <algorithm>
#include <string>
#include <vector>

#include "minihost/drawing/dxf/dxf_text.h"
#include "minihost/drawing/pair_alignment.h"

namespace minihost {
namespace {

void appendGroup(std::string& out, const char* code, const std::string& value,
                 const std::string& eol) {
    out += code;
    out += eol;
    out += value;
    out += eol;
}

// Writes header variables in the file's line end style and code page.
struct VariableWriter {
    std::string& out;
    const std::string& eol;
    int codePage;

    bool variable(const char* name, const std::wstring& text) const {
        std::string line;
        if (!dxf::encodeValue(text, line, codePage))
            return false;
        appendGroup(out, "  9", name, eol);
        appendGroup(out, "  1", line, eol);
        return true;
    }

    bool pair(const std::pair<std::wstring, std::wstring>& pair) const {
        return variable("$CUSTOMPROPERTYTAG", pair.first) &&
               variable("$CUSTOMPROPERTY", pair.second);
    }
};

} // namespace

namespace drawing {

Acad::ErrorStatus buildHead(const DrawingFile& file, const SummaryData& summary, std::string& out) {
    const std::vector<Var>& vars = file.vars;
    const VariableWriter write{out, file.eol, file.codePage};
    const int kNone = -2, kStart = -1;
    int firstOf[kBuiltInCount];
    std::fill(firstOf, firstOf + kBuiltInCount, kNone);
    int firstCustom = kNone, codePageVar = kNone, versionVar = kNone;
    for (int j = 0; j < static_cast<int>(vars.size()); ++j) {
        int kind = vars[j].kind;
        if (kind >= 0 && kind < kBuiltInCount && firstOf[kind] == kNone)
            firstOf[kind] = j;
        if ((kind == kCustomTag || kind == kCustomValue) && firstCustom == kNone)
            firstCustom = j;
        if (vars[j].name == "$DWGCODEPAGE" && codePageVar == kNone)
            codePageVar = j;
        if (vars[j].name == "$ACADMAINTVER" || (vars[j].name == "$ACADVER" && versionVar == kNone))
            versionVar = j;
    }
    bool changed[kBuiltInCount];
    for (int i = 0; i < kBuiltInCount; ++i)
        changed[i] = summary.builtIn[i] != file.original.builtIn[i];
    const bool customChanged = summary.custom != file.original.custom;

    // Where missing variables go: the seven texts in order after $DWGCODEPAGE, then the custom
    // pairs; each after the nearest earlier one of that chain that the file has.
    const int kChain[] = {
        -1 /* $DWGCODEPAGE */, kTitle,          kSubject,  kAuthor, kKeywords, kComments,
        kLastSavedBy,          kRevisionNumber, kCustomTag};
    const int chainLength = static_cast<int>(sizeof kChain / sizeof kChain[0]);
    auto presentAt = [&](int element) {
        return element == -1 ? codePageVar : element == kCustomTag ? firstCustom : firstOf[element];
    };
    std::vector<std::vector<int>> after(vars.size()); // insertions after each variable
    std::vector<int> atStart;
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

    // The custom pairs the file has: each one kept, rewritten in part or removed, and new ones
    // put after the kept pair that precedes them. A file with a tag or a value on its own is
    // rewritten as a whole, since removing a pair there could join its neighbours.
    const std::vector<std::pair<int, int>>& pairVars = file.customVars;
    bool wholeList = pairVars.size() != file.original.custom.size();
    for (const auto& p : pairVars)
        wholeList = wholeList || p.first < 0 || p.second < 0;
    std::vector<int> newOf, pairOf(vars.size(), -1);
    std::vector<std::vector<int>> afterPair(pairVars.size());
    std::vector<int> beforePairs;
    if (customChanged && !wholeList) {
        newOf = alignPairs(file.original.custom, summary.custom);
        std::vector<int> oldOf(summary.custom.size(), -1);
        for (std::size_t p = 0; p < pairVars.size(); ++p) {
            pairOf[pairVars[p].first] = pairOf[pairVars[p].second] = static_cast<int>(p);
            if (newOf[p] >= 0)
                oldOf[newOf[p]] = static_cast<int>(p);
        }
        int kept = -1;
        for (std::size_t q = 0; q < oldOf.size(); ++q) {
            if (oldOf[q] >= 0)
                kept = oldOf[q];
            else
                (kept < 0 ? beforePairs : afterPair[kept]).push_back(static_cast<int>(q));
        }
    }
    auto insertPairs = [&](const std::vector<int>& indices) {
        for (int q : indices)
            if (!write.pair(summary.custom[q]))
                return false;
        return true;
    };
    // Writes custom variable j when the list changed; false when a text cannot be written.
    auto customVariable = [&](int j) {
        if (wholeList) {
            if (j == firstCustom)
                for (const auto& pair : summary.custom)
                    if (!write.pair(pair))
                        return false;
            return true;
        }
        const int p = pairOf[j];
        const bool isTag = vars[j].kind == kCustomTag;
        if (isTag && p == 0 && !insertPairs(beforePairs))
            return false;
        if (newOf[p] >= 0) {
            const auto& before = file.original.custom[p];
            const auto& now = summary.custom[newOf[p]];
            if (isTag && now.first == before.first)
                out.append(file.head, vars[j].begin, vars[j].end - vars[j].begin);
            else if (!isTag && now.second == before.second)
                out.append(file.head, vars[j].begin, vars[j].end - vars[j].begin);
            else if (!write.variable(isTag ? "$CUSTOMPROPERTYTAG" : "$CUSTOMPROPERTY",
                                     isTag ? now.first : now.second))
                return false;
        }
        return isTag || insertPairs(afterPair[p]);
    };
    auto insert = [&](const std::vector<int>& elements) {
        for (int element : elements) {
            bool ok = true;
            if (element == kCustomTag)
                for (const auto& pair : summary.custom)
                    ok = ok && write.pair(pair);
            else
                ok = write.variable(kBuiltInNames[element], summary.builtIn[element]);
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
        if (kind >= 0 && kind < kBuiltInCount && changed[kind]) {
            // A later duplicate goes, so that every reader sees the new text.
            if (j == firstOf[kind] && !write.variable(kBuiltInNames[kind], summary.builtIn[kind]))
                return Acad::eInvalidInput;
        } else if ((kind == kCustomTag || kind == kCustomValue) && customChanged) {
            if (!customVariable(j))
                return Acad::eInvalidInput;
        } else {
            out.append(file.head, var.begin, var.end - var.begin);
        }
        if (!insert(after[j]))
            return Acad::eInvalidInput;
    }
    if (out.size() > kMaxHead)
        return Acad::eInvalidInput; // it could not be read back
    return Acad::eOk;
}

} // namespace drawing
} // namespace minihost

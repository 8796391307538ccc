// The head a save writes: the drawing's own head with the summary properties put in, every
// byte that does not change kept as it was. See docs/drawing-file.md.
#include "minihost/drawing/drawing_file_impl.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "minihost/drawing/dxf/dxf_text.h"
#include "minihost/drawing/dxf/pair_alignment.h"

namespace minihost {
namespace dxf {
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
        if (!encodeValue(text, line, codePage))
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

// What takes the place of the custom variables of a head whose custom list changed: each pair
// the file has is kept, rewritten in part or removed, and new pairs go after the kept pair that
// precedes them (before the first pair when none does). A file with a tag or a value on its own
// has its whole list rewritten where the first pair was, since removing a pair there could join
// a lone tag to a lone value.
class CustomPairs {
  public:
    // `first` is the index of the file's first custom variable.
    CustomPairs(const DrawingFile& file, int first, const CustomList& before,
                const SummaryData& summary, const VariableWriter& write)
        : mFile(file), mBeforeList(before), mSummary(summary), mWrite(write), mFirst(first),
          mPairOf(file.vars.size(), -1), mAfter(file.customVars.size()) {
        const auto& pairVars = file.customVars;
        mWholeList = pairVars.size() != before.size();
        for (const auto& p : pairVars)
            mWholeList = mWholeList || p.first < 0 || p.second < 0;
        if (mWholeList || summary.custom == before)
            return;
        mNewOf = drawing::alignPairs(before, summary.custom);
        std::vector<int> oldOf(summary.custom.size(), -1);
        for (std::size_t p = 0; p < pairVars.size(); ++p) {
            mPairOf[pairVars[p].first] = mPairOf[pairVars[p].second] = static_cast<int>(p);
            if (mNewOf[p] >= 0)
                oldOf[mNewOf[p]] = static_cast<int>(p);
        }
        int kept = -1;
        for (std::size_t q = 0; q < oldOf.size(); ++q) {
            if (oldOf[q] >= 0)
                kept = oldOf[q];
            else
                (kept < 0 ? mBefore : mAfter[kept]).push_back(static_cast<int>(q));
        }
    }

    // Writes what takes the place of custom variable j; false when a text cannot be written.
    bool variable(int j) const {
        if (mWholeList) {
            if (j != mFirst)
                return true;
            for (const auto& pair : mSummary.custom)
                if (!mWrite.pair(pair))
                    return false;
            return true;
        }
        const Var& var = mFile.vars[j];
        const bool isTag = var.kind == kCustomTag;
        const int p = mPairOf[j];
        if (isTag && p == 0 && !pairs(mBefore))
            return false;
        if (mNewOf[p] >= 0) {
            const auto& before = mBeforeList[p];
            const auto& now = mSummary.custom[mNewOf[p]];
            if (isTag ? now.first == before.first : now.second == before.second)
                mWrite.out.append(mFile.head, var.begin, var.end - var.begin);
            else if (!mWrite.variable(isTag ? "$CUSTOMPROPERTYTAG" : "$CUSTOMPROPERTY",
                                      isTag ? now.first : now.second))
                return false;
        }
        return isTag || pairs(mAfter[p]);
    }

  private:
    bool pairs(const std::vector<int>& indices) const {
        for (int q : indices)
            if (!mWrite.pair(mSummary.custom[q]))
                return false;
        return true;
    }

    const DrawingFile& mFile;
    const CustomList& mBeforeList; // the file's custom pairs, decoded
    const SummaryData& mSummary;
    const VariableWriter& mWrite;
    bool mWholeList = false;
    int mFirst;               // the file's first custom variable
    std::vector<int> mNewOf;  // per pair of the file: the pair it becomes, -1 when removed
    std::vector<int> mPairOf; // per variable of the file: the custom pair it belongs to
    std::vector<int> mBefore; // new pairs before the file's first pair
    std::vector<std::vector<int>> mAfter; // new pairs after each pair of the file
};

// Where the variables of the properties stand in a head: indices into DrawingFile::vars, kNone
// for one the head lacks.
struct HeadIndex {
    static constexpr int kNone = -2;
    int firstOf[kBuiltInCount]; // the first variable of each built-in property
    int firstCustom = kNone, codePage = kNone, version = kNone;

    HeadIndex(const std::vector<Var>& vars, const std::string& head) {
        std::fill(firstOf, firstOf + kBuiltInCount, kNone);
        for (int j = 0; j < static_cast<int>(vars.size()); ++j) {
            int kind = vars[j].kind;
            if (kind >= 0 && kind < kBuiltInCount && firstOf[kind] == kNone)
                firstOf[kind] = j;
            if ((kind == kCustomTag || kind == kCustomValue) && firstCustom == kNone)
                firstCustom = j;
            const std::string_view name = vars[j].name(head);
            if (name == "$DWGCODEPAGE" && codePage == kNone)
                codePage = j;
            if (name == "$ACADMAINTVER" || (name == "$ACADVER" && version == kNone))
                version = j;
        }
    }
};

// The properties a head lacks and the summary sets, by where they go: at the start of the
// variables, or after a variable of the head. An element is a BuiltInField, or kCustomTag for
// the whole custom list.
struct Insertions {
    std::vector<int> atStart;
    std::vector<std::vector<int>> after; // per variable of the head
};

// Where missing variables go: the seven texts in order after $DWGCODEPAGE, then the custom
// pairs; each after the nearest earlier one of that chain that the file has (else after the
// version, else at the start). HyperlinkBase goes last.
Insertions planInsertions(const HeadIndex& index, const SummaryData& summary, std::size_t vars) {
    const int kNone = HeadIndex::kNone, kStart = -1;
    const int kChain[] = {
        -1 /* $DWGCODEPAGE */, kTitle,          kSubject,  kAuthor, kKeywords, kComments,
        kLastSavedBy,          kRevisionNumber, kCustomTag};
    const int chainLength = static_cast<int>(sizeof kChain / sizeof kChain[0]);
    auto presentAt = [&](int element) {
        return element == -1           ? index.codePage
               : element == kCustomTag ? index.firstCustom
                                       : index.firstOf[element];
    };
    Insertions plan;
    plan.after.resize(vars);
    for (int k = 1; k < chainLength; ++k) {
        int element = kChain[k];
        bool missing = element == kCustomTag
                           ? index.firstCustom == kNone && !summary.custom.empty()
                           : index.firstOf[element] == kNone && !summary.builtIn[element].empty();
        if (!missing)
            continue;
        int anchor = kNone;
        for (int p = k - 1; p >= 0 && anchor == kNone; --p)
            anchor = presentAt(kChain[p]);
        if (anchor == kNone)
            anchor = index.version == kNone ? kStart : index.version;
        (anchor == kStart ? plan.atStart : plan.after[anchor]).push_back(element);
    }
    if (index.firstOf[kHyperlinkBase] == kNone && !summary.builtIn[kHyperlinkBase].empty())
        (vars == 0 ? plan.atStart : plan.after.back()).push_back(kHyperlinkBase);
    return plan;
}

// Writes the properties `elements` (of Insertions) new; false when a text cannot be written.
bool insert(const VariableWriter& write, const SummaryData& summary,
            const std::vector<int>& elements) {
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
}

} // namespace

Acad::ErrorStatus buildHead(const DrawingFile& file, const SummaryData& summary, std::string& out) {
    const std::vector<Var>& vars = file.vars;
    const VariableWriter write{out, file.eol, file.codePage};
    const HeadIndex index(vars, file.head);
    // One text decoded at a time: never a second copy of every property.
    bool changed[kBuiltInCount];
    for (int i = 0; i < kBuiltInCount; ++i) {
        std::wstring before;
        readBuiltIn(file, i, before);
        changed[i] = summary.builtIn[i] != before;
    }
    CustomList customBefore; // released once the head is built
    readCustom(file, customBefore);
    const bool customChanged = summary.custom != customBefore;
    const Insertions plan = planInsertions(index, summary, vars.size());
    const CustomPairs customPairs(file, index.firstCustom, customBefore, summary, write);

    out.clear();
    out.reserve(file.head.size() + 1024);
    out.append(file.head, 0, vars.empty() ? file.head.size() : vars.front().begin);
    if (!insert(write, summary, plan.atStart))
        return Acad::eInvalidInput;
    for (int j = 0; j < static_cast<int>(vars.size()); ++j) {
        const Var& var = vars[j];
        int kind = var.kind;
        if (kind >= 0 && kind < kBuiltInCount && changed[kind]) {
            // A later duplicate goes, so that every reader sees the new text.
            if (j == index.firstOf[kind] &&
                !write.variable(kBuiltInNames[kind], summary.builtIn[kind]))
                return Acad::eInvalidInput;
        } else if ((kind == kCustomTag || kind == kCustomValue) && customChanged) {
            if (!customPairs.variable(j))
                return Acad::eInvalidInput;
        } else {
            out.append(file.head, var.begin, var.end - var.begin);
        }
        if (!insert(write, summary, plan.after[j]))
            return Acad::eInvalidInput;
    }
    // A reader must find the header's closing group within its first kMaxHead bytes too.
    const std::size_t closingGroup = 2 * file.eol.size() + sizeof "  0" + sizeof "ENDSEC";
    if (out.size() + closingGroup > kMaxHead)
        return Acad::eInvalidInput; // it could not be read back
    return Acad::eOk;
}

} // namespace dxf
} // namespace minihost

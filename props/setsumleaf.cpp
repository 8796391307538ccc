// The setsumleaf handler.
#include <memory>
#include <string>
#include <vector>

#include "common/function_rows.h"
#include "props/lisp_functions.h"
#include "props/property_list.h"
#include "props/property_update.h"
#include "props/target_drawing.h"

namespace {

struct ChainRelease {
    void operator()(resbuf* chain) const { acutRelRb(chain); }
};
using OwnedChain = std::unique_ptr<resbuf, ChainRelease>;

// The pairs named by the items from `scan` on: every string collected in order and paired up,
// a T anywhere clears `clearFirst`, everything else (numbers, nil, list brackets) passed over.
// A last string without a partner is ignored.
std::vector<PropertyPair> collectPairs(const resbuf* scan, bool& clearFirst) {
    std::vector<PropertyPair> pairs;
    {
        std::vector<std::wstring> strings;
        for (; scan; scan = scan->rbnext) {
            if (scan->restype == RTSTR)
                strings.emplace_back(scan->resval.rstring ? scan->resval.rstring : L"");
            else if (scan->restype == RTT)
                clearFirst = false;
        }
        pairs.reserve(strings.size() / 2);
        for (std::size_t i = 0; i + 1 < strings.size(); i += 2)
            pairs.push_back(PropertyPair{strings[i], strings[i + 1]});
    }
    return pairs;
}

void setSumleaf(const resbuf* args) {
    TargetDrawing target{acdbHostApplicationServices()->workingDatabase(), false};
    ACHAR fullPath[kFullPathLength];
    const resbuf* scan = args;
    if (args && args->restype == RTSTR) {
        target = ResolveTargetDrawing(args->resval.rstring ? args->resval.rstring : L"", fullPath);
        if (!target.database)
            return;
        scan = args->rbnext;
    }
    // Destroys a side database unsaved on every way out before its save.
    SideDatabaseOwner side(target);

    bool clearFirst = true;
    const std::vector<PropertyPair> pairs = collectPairs(scan, clearFirst);
    if (ApplyPropertyPairs(target.database, pairs, clearFirst) != Acad::eOk)
        return;

    OwnedChain list(BuildPropertyList(target.database));
    bool saved = true;
    if (target.isSide) {
        target.database->setRetainOriginalThumbnailBitmap(true);
        saved = target.database->saveAs(fullPath, true, AcDb::kDHL_CURRENT, nullptr) == Acad::eOk;
        side.destroy();
    }
    // A drawing whose file could not be written answers nothing: the caller must not take the
    // properties for saved.
    if (list && saved)
        acedRetList(list.get());
}

} // namespace

int SetSumleafHandler() {
    try {
        setSumleaf(acedGetArgs());
    } catch (...) {
        // Out of memory while copying the arguments: nothing may reach the host. A side database
        // has been destroyed unsaved, so its file is untouched; no result is set.
    }
    return 1;
}

// The row of (setsumleaf) in the module's function table.
SUMLEAF_EXTERNAL_FUNCTION(setsumleafRow, L"setsumleaf", SetSumleafHandler, true);

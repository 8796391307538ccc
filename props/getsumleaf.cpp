// The getsumleaf handler.
#include "common/function_rows.h"
#include "props/lisp_functions.h"
#include "props/property_list.h"
#include "props/target_drawing.h"

namespace {

void getSumleaf(const resbuf* args) {
    TargetDrawing target{acdbHostApplicationServices()->workingDatabase(), false};
    ACHAR fullPath[kFullPathLength];
    if (args && args->restype == RTSTR) {
        target = ResolveTargetDrawing(args->resval.rstring ? args->resval.rstring : L"", fullPath);
        if (!target.database)
            return;
    }
    SideDatabaseOwner side(target);
    if (resbuf* list = BuildPropertyList(target.database)) {
        acedRetList(list);
        acutRelRb(list);
    }
    // The side database goes only now, after the list has been handed over and released.
}

} // namespace

int GetSumleafHandler() {
    const resbuf* args = acedGetArgs();
    acedRetNil();
    try {
        getSumleaf(args);
    } catch (...) {
        // Nothing may reach the host; what was made has been released, the result stays nil.
    }
    return 1;
}

// The row of (getsumleaf) in the module's function table.
SUMLEAF_EXTERNAL_FUNCTION(getsumleafRow, L"getsumleaf", GetSumleafHandler, true);

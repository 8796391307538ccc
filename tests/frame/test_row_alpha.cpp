#include "common/function_rows.h"
#include "host/host_api.h"
#include "tests/frame/test_rows.h"

namespace {
int gCalls = 0;
}

int alphaCalls() {
    return gCalls;
}

int AlphaHandler() {
    ++gCalls;
    resbuf* list = acutBuildList(RTSTR, L"alpha", RTSHORT, acedGetFunCode(), RTNONE);
    acedRetList(list);
    acutRelRb(list);
    return 1;
}

SUMLEAF_EXTERNAL_FUNCTION(alphaRow, L"alpha", AlphaHandler, true);

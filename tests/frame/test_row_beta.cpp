#include "common/function_rows.h"
#include "host/host_api.h"
#include "host/resources.h"
#include "tests/frame/test_rows.h"

namespace {
int gCalls = 0;
}

int betaCalls() {
    return gCalls;
}

int BetaHandler() {
    ++gCalls;
    resbuf* list = acutBuildList(RTSTR, L"beta", RTSHORT, acedGetFunCode(), RTNONE);
    acedRetList(list);
    acutRelRb(list);
    return 1;
}

SUMLEAF_STRING_RESOURCE(betaName, kBetaNameId, L"beta");
SUMLEAF_EXTERNAL_FUNCTION_NAMED_BY_RESOURCE(betaRow, kBetaNameId, BetaHandler, false);

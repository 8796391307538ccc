// Modules the loader must turn away. Built twice: with SUMLEAF_NO_ENTRY_POINT it has no
// acrxEntryPoint; otherwise its initialisation fails. Either way it registers a document
// reactor at static initialisation, which its static teardown removes again, so a test can
// tell that the library was really unloaded.
#include "host/host_api.h"

namespace {
AcApDataManager<int> gRecords;
}

#if !defined(SUMLEAF_NO_ENTRY_POINT)
extern "C" AcRx::AppRetCode acrxEntryPoint(AcRx::AppMsgCode msg, void*) {
    if (msg == AcRx::kInitAppMsg)
        return AcRx::kRetError;
    if (msg == AcRx::kLoadDwgMsg)
        acedDefun(L"broken", 0); // must never happen: initialisation failed
    return AcRx::kRetOK;
}
#endif

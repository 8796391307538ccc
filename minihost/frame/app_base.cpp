// Default handlers of the application base classes: every message is accepted and ignored.
#include "host/module_app.h"

AcRxDbxApp::AcRxDbxApp() = default;
AcRxDbxApp::~AcRxDbxApp() = default;
AcRx::AppRetCode AcRxDbxApp::On_kInitAppMsg(void*) {
    return AcRx::kRetOK;
}
AcRx::AppRetCode AcRxDbxApp::On_kUnloadAppMsg(void*) {
    return AcRx::kRetOK;
}
AcRx::AppRetCode AcRxDbxApp::On_kLoadDwgMsg(void*) {
    return AcRx::kRetOK;
}
AcRx::AppRetCode AcRxDbxApp::On_kUnloadDwgMsg(void*) {
    return AcRx::kRetOK;
}
AcRx::AppRetCode AcRxDbxApp::On_kInvkSubrMsg(void*) {
    return AcRx::kRetOK;
}
AcRx::AppRetCode AcRxDbxApp::On_kReservedMsg6(void*) {
    return AcRx::kRetOK;
}
AcRx::AppRetCode AcRxDbxApp::On_kReservedMsg7(void*) {
    return AcRx::kRetOK;
}
AcRx::AppRetCode AcRxDbxApp::On_kReservedMsg8(void*) {
    return AcRx::kRetOK;
}
AcRx::AppRetCode AcRxDbxApp::On_kReservedMsg9(void*) {
    return AcRx::kRetOK;
}
AcRx::AppRetCode AcRxDbxApp::On_kReservedMsg10(void*) {
    return AcRx::kRetOK;
}
AcRx::AppRetCode AcRxDbxApp::On_kReservedMsg11(void*) {
    return AcRx::kRetOK;
}
AcRx::AppRetCode AcRxDbxApp::On_kReservedMsg12(void*) {
    return AcRx::kRetOK;
}
AcRx::AppRetCode AcRxDbxApp::On_kReservedMsg13(void*) {
    return AcRx::kRetOK;
}
AcRx::AppRetCode AcRxDbxApp::On_kReservedMsg14(void*) {
    return AcRx::kRetOK;
}
AcRx::AppRetCode AcRxDbxApp::On_kReservedMsg15(void*) {
    return AcRx::kRetOK;
}
AcRx::AppRetCode AcRxDbxApp::On_kReservedMsg16(void*) {
    return AcRx::kRetOK;
}
void AcRxDbxApp::RegisterServerComponents() {}

AcRxArxApp::AcRxArxApp() = default;
AcRxArxApp::~AcRxArxApp() = default;

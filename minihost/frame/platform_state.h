// What the stand-in's system registry, dynamic linker, extension-module bookkeeping and
// user-interface library have been asked, for the loader's report and for tests.
#pragma once

#include <string>

namespace minihost {

// Whether the module with application id `appId` asked to be unloadable, and to work with
// several documents. Forgotten when that module is unloaded.
bool unlockRequested(const void* appId);
bool multiDocumentRequested(const void* appId);

// Extension-module records (CDynLinkLibrary) alive now, and how often InitAcUiDLL ran.
int extensionLibraryCount();
int userInterfaceInitCount();
// Makes every later AfxInitExtensionModule fail (true) or succeed (false). For tests.
void setExtensionModuleInitFails(bool fails);

// A module's version resource: four numbers each for file and product version. False when the
// module at `instance` (its load address) has none.
struct VersionResource {
    unsigned file[4];
    unsigned product[4];
};
bool readVersionResource(const void* instance, VersionResource& out);
// "1.0.0.1"
std::string versionText(const unsigned (&parts)[4]);

} // namespace minihost

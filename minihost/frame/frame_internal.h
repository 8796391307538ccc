// How the stand-in's documents, external calls and module loader reach each other. Internal to
// libminihost.
#pragma once

class AcApDocument;

namespace minihost {
namespace internal {

struct LoadedModule; // loader.cpp

// The module whose code the host is running now (a message or a direct handler), or nullptr.
LoadedModule* runningModule();

class RunningModuleScope {
  public:
    explicit RunningModuleScope(LoadedModule* module);
    ~RunningModuleScope();
    RunningModuleScope(const RunningModuleScope&) = delete;
    RunningModuleScope& operator=(const RunningModuleScope&) = delete;

  private:
    LoadedModule* mPrevious;
};

// loader.cpp: sends `msg` to `module`'s entry point and returns its answer; a module that
// throws answers kRetError.
int sendMessage(LoadedModule* module, int msg, void* pkt);
// Sends `msg` (3 or 4) about `document`, which is current, to every loaded module.
void messageAllModules(int msg, AcApDocument* document);
bool isLoadedModule(const void* appId);

// external_calls.cpp: drop what a closed document or an unloaded module defined.
void forgetDocument(AcApDocument* document);
void forgetModule(LoadedModule* module);
void forgetUnownedDefinitions();

// documents.cpp: makes `document` current without telling reactors (for messages the host
// sends about a document that is not the user's current one). Returns the previous one.
AcApDocument* switchCurrentSilently(AcApDocument* document);

// registry.cpp
void forgetLinkerRequests(const void* appId);
void forgetAllLinkerRequests();

} // namespace internal
} // namespace minihost

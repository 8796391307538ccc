// The recording host: the calls the stand-in cannot serve on Windows (LISP definitions and calls,
// documents, the system registry, the user-interface library, drawing files) are answered
// simply and written to the event list.
#include "tests/windows/recording_host.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "minihost/drawing/drawing_file.h"

namespace {

struct State {
    std::vector<std::string> events;
    std::map<int, int (*)()> direct; // handlers registered for direct calls, by code
    int code = -1;
    const resbuf* args = nullptr;
    std::string result = "none";
    std::string endedResult;
    std::vector<AcApDocManagerReactor*> reactors;
};

State& state() {
    static State* s = new State; // lives as long as the process, past the module's teardown
    return *s;
}

void record(const std::string& event) {
    state().events.push_back(event);
}

// Wide text as ASCII, with anything else as \uXXXX.
std::string narrow(const ACHAR* text) {
    std::string out;
    for (; text && *text; ++text) {
        if (*text >= 0x20 && *text < 0x7F) {
            out += static_cast<char>(*text);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(*text));
            out += escape;
        }
    }
    return out;
}

// A chain as text: strings quoted, lists in parentheses.
std::string chainText(const resbuf* chain) {
    std::string out;
    bool separate = false;
    for (const resbuf* rb = chain; rb; rb = rb->rbnext) {
        if (rb->restype == RTLE) {
            out += ')';
            separate = true;
            continue;
        }
        if (separate)
            out += ' ';
        separate = true;
        switch (rb->restype) {
        case RTLB:
            out += '(';
            separate = false;
            break;
        case RTSTR:
            out += '"' + narrow(rb->resval.rstring) + '"';
            break;
        case RTSHORT:
            out += std::to_string(rb->resval.rint);
            break;
        case RTNIL:
            out += "nil";
            break;
        case RTT:
            out += "T";
            break;
        default:
            out += "<" + std::to_string(rb->restype) + ">";
        }
    }
    return out;
}

// One open document, on the host's working database.
class Document : public AcApDocument {
  public:
    const ACHAR* fileName() const override { return L"C:\\drawings\\working.dwg"; }
    AcDbDatabase* database() const override {
        return acdbHostApplicationServices()->workingDatabase();
    }
};

Document& theDocument() {
    static Document* d = new Document;
    return *d;
}

class DocumentIterator : public AcApDocumentIterator {
  public:
    bool done() const override { return mDone; }
    void step() override { mDone = true; }
    AcApDocument* document() override { return mDone ? nullptr : &theDocument(); }

  private:
    bool mDone = false;
};

class DocManager : public AcApDocManager {
  public:
    AcApDocumentIterator* newAcApDocumentIterator() override { return new DocumentIterator; }
    void addReactor(AcApDocManagerReactor* reactor) override {
        state().reactors.push_back(reactor);
        record("reactor added");
    }
    void removeReactor(AcApDocManagerReactor* reactor) override {
        auto& reactors = state().reactors;
        for (auto it = reactors.begin(); it != reactors.end(); ++it) {
            if (*it == reactor) {
                reactors.erase(it);
                record("reactor removed");
                return;
            }
        }
        record("unknown reactor removed");
    }
    AcApDocument* curDocument() const override { return &theDocument(); }
    int documentCount() const override { return 1; }
};

class DynamicLinker : public AcRxDynamicLinker {
  public:
    bool unlockApplication(void* appId) const override {
        record("unlock application " + appIdText(appId));
        return true;
    }
    bool registerAppMDIAware(void* appId) const override {
        record("several documents " + appIdText(appId));
        return true;
    }

  private:
    static std::string appIdText(void* appId) { return appId ? "(with its id)" : "(no id)"; }
};

class Registry : public AcRxDictionary {
  public:
    AcRxObject* at(const ACHAR* key) const override {
        static DynamicLinker* linker = new DynamicLinker;
        return key && std::wstring(key) == L"DynamicLinker" ? linker : nullptr;
    }
    AcRxObject* atPut(const ACHAR*, AcRxObject*) override { return nullptr; }
    bool has(const ACHAR* key) const override { return at(key) != nullptr; }
};

} // namespace

// The LISP interpreter.
extern "C" int acedDefun(const ACHAR* name, int code) {
    record("defun " + narrow(name) + " " + std::to_string(code));
    return RTNORM;
}
extern "C" int acedRegFunc(int (*handler)(), int code) {
    state().direct[code] = handler;
    record("regfunc " + std::to_string(code));
    return RTNORM;
}
extern "C" int acedUndef(const ACHAR* name, int code) {
    record("undef " + narrow(name) + " " + std::to_string(code));
    return RTNORM;
}
extern "C" int acedGetFunCode() {
    return state().code;
}
extern "C" resbuf* acedGetArgs() {
    return const_cast<resbuf*>(state().args);
}
extern "C" int acedRetNil() {
    state().result = "nil";
    return RTNORM;
}
extern "C" int acedRetList(const resbuf* list) {
    state().result = chainText(list);
    return RTNORM;
}

// Documents.
void AcApDocManagerReactor::documentCreated(AcApDocument*) {}
void AcApDocManagerReactor::documentToBeDestroyed(AcApDocument*) {}
void AcApDocManagerReactor::documentBecameCurrent(AcApDocument*) {}
AcApDocManager* acDocManagerPtr() {
    static DocManager* manager = new DocManager;
    return manager;
}

// The system registry and its dynamic linker.
AcRxDictionary* acrxSysRegistry() {
    static Registry* registry = new Registry;
    return registry;
}

// The user-interface class library and the host's user-interface library.
BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE module) {
    state.hModule = module;
    state.hResource = module;
    state.bInitialized = TRUE;
    record("extension module initialised");
    return TRUE;
}
void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL) {
    state.bInitialized = FALSE;
    record("extension module terminated");
}
CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL system)
    : m_hModule(state.hModule), m_hResource(state.hResource), m_bSystem(system) {
    record("extension library record made");
}
CDynLinkLibrary::~CDynLinkLibrary() = default;
HINSTANCE AfxGetResourceHandle() {
    return GetModuleHandleW(nullptr);
}
void AfxSetResourceHandle(HINSTANCE) {}
void InitAcUiDLL() {
    record("user-interface library initialised");
}

// Drawing files: none can be read or written here.
namespace minihost {
void DrawingFileDelete::operator()(DrawingFile*) const {}
Acad::ErrorStatus readDrawingFile(const wchar_t* path, DrawingFilePtr&, SummaryData&) {
    record("read " + narrow(path));
    return Acad::eFileNotFound;
}
Acad::ErrorStatus saveDrawingFile(DrawingFile*, const SummaryData&, const wchar_t* path,
                                  const SaveOptions&) {
    record("save " + narrow(path));
    return Acad::eFileWriteError;
}
Acad::ErrorStatus saveDrawingFile(DrawingFilePtr& file, const SummaryData& summary,
                                  const wchar_t* path, const SaveOptions& options) {
    return saveDrawingFile(file.get(), summary, path, options);
}
} // namespace minihost

// The loader's side.
extern "C" int recordingHostEventCount() {
    return static_cast<int>(state().events.size());
}
extern "C" const char* recordingHostEvent(int index) {
    return state().events.at(index).c_str();
}
extern "C" void recordingHostTakeEvents() {
    state().events.clear();
}

extern "C" void recordingHostBeginCall(int code, const resbuf* args) {
    state().code = code;
    state().args = args;
    state().result = "none";
}
extern "C" bool recordingHostCallDirect() {
    auto it = state().direct.find(state().code);
    if (it == state().direct.end())
        return false;
    it->second();
    return true;
}
extern "C" const char* recordingHostEndCall() {
    State& s = state();
    s.endedResult = s.result;
    s.code = -1;
    s.args = nullptr;
    s.result = "none";
    return s.endedResult.c_str();
}

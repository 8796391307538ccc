// A small Windows loader: loads a module the way the host does, sends it the messages of load,
// one drawing, function calls and unload, and prints what happened, line by line, with the
// events the recording host saw. The test compares the transcript with the expected one.
//
//   module_loader MODULE [call CODE [STRING...] | direct CODE]...
//
// "call" invokes the function under CODE through message 5 with the strings as arguments (a
// lone T is the symbol T); "direct" runs the handler the module registered for direct calls
// under CODE.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/windows/recording_host.h"

namespace {

using EntryPoint = AcRx::AppRetCode (*)(AcRx::AppMsgCode, void*);

// Prints the host's events since the last time, indented under the step that caused them.
void printEvents() {
    for (int i = 0; i < recordingHostEventCount(); ++i)
        std::printf("  %s\n", recordingHostEvent(i));
    recordingHostTakeEvents();
}

void message(EntryPoint entry, int msg, void* packet) {
    const int answer = entry(static_cast<AcRx::AppMsgCode>(msg), packet);
    std::printf("message %d: %d\n", msg, answer);
    printEvents();
}

// The arguments as a chain made by the host, or nullptr for none.
resbuf* argumentChain(const std::vector<std::wstring>& strings) {
    resbuf* head = nullptr;
    resbuf** link = &head;
    for (const std::wstring& s : strings) {
        *link = s == L"T" ? acutBuildList(RTT, RTNONE) : acutBuildList(RTSTR, s.c_str(), RTNONE);
        link = &(*link)->rbnext;
    }
    return head;
}

std::wstring widen(const char* text) {
    std::wstring out;
    for (; *text; ++text)
        out += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: module_loader MODULE [call CODE [STRING...] | direct CODE]...\n");
        return 2;
    }
    const std::wstring path = widen(argv[1]);

    HMODULE module = LoadLibraryW(path.c_str());
    std::printf("load: %s\n", module ? "loaded" : "failed");
    printEvents();
    if (!module)
        return 1;
    auto entry = reinterpret_cast<EntryPoint>(
        reinterpret_cast<void*>(GetProcAddress(module, "acrxEntryPoint")));
    if (!entry) {
        std::printf("no acrxEntryPoint\n");
        return 1;
    }

    int appId = 0;
    message(entry, AcRx::kInitAppMsg, &appId);
    message(entry, AcRx::kLoadDwgMsg, nullptr);

    for (int i = 2; i < argc;) {
        const bool direct = std::strcmp(argv[i], "direct") == 0;
        if ((!direct && std::strcmp(argv[i], "call") != 0) || i + 1 >= argc) {
            std::fprintf(stderr, "unexpected argument: %s\n", argv[i]);
            return 2;
        }
        const int code = std::atoi(argv[i + 1]);
        i += 2;
        std::vector<std::wstring> strings;
        std::string shown;
        while (i < argc && std::strcmp(argv[i], "call") != 0 &&
               std::strcmp(argv[i], "direct") != 0) {
            strings.push_back(widen(argv[i]));
            shown += std::string(" \"") + argv[i] + "\"";
            ++i;
        }
        resbuf* args = argumentChain(strings);
        recordingHostBeginCall(code, args);
        if (direct) {
            const bool ran = recordingHostCallDirect();
            std::printf("direct %d%s: %s\n", code, shown.c_str(), ran ? "ran" : "no handler");
        } else {
            std::printf("call %d%s: %d\n", code, shown.c_str(), entry(AcRx::kInvkSubrMsg, nullptr));
        }
        printEvents();
        std::printf("  result %s\n", recordingHostEndCall());
        acutRelRb(args);
    }

    message(entry, AcRx::kUnloadDwgMsg, nullptr);
    message(entry, AcRx::kUnloadAppMsg, &appId);
    const BOOL freed = FreeLibrary(module);
    const bool gone = GetModuleHandleW(path.c_str()) == nullptr;
    std::printf("unload: %s\n", freed && gone ? "unloaded" : "still loaded");
    printEvents();
    return 0;
}

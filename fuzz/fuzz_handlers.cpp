// Fuzz target: getsumleaf and setsumleaf called with arbitrary argument chains, in sequence,
// against the working drawing, open documents and drawing files in a temporary folder.
//
// After every call: the handler returned 1; once the caller has released the arguments and the
// result, no node, string copy, side database or document iterator is live; and every file in
// the folder is unchanged, or is the drawing the call wrote, reading back with exactly the
// properties the call returned (a backup beside it holding what the drawing held before).
//
// Input: one byte of set-up flags, then calls. A call is a byte (bit 0: setsumleaf; the next
// four bits: the number of items) followed by its items, each a type byte and its payload.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "host/host_api.h"
#include "minihost/frame/documents.h"
#include "minihost/frame/external_calls.h"
#include "minihost/runtime/fault.h"
#include "props/lisp_functions.h"
#include "props/property_update.h"
#include "tests/support/chain_text.h"
#include "tests/support/property_lists.h"

namespace fs = std::filesystem;
using minihost::CallResult;
using testing_support::chainText;
using testing_support::listOf;
using testing_support::listOfFile;

namespace {

std::string gTrace; // the calls of the current input, for the report of a finding

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "finding: %s\ncalls:\n%s\n", what.c_str(), gTrace.c_str());
    std::abort();
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out)
        fail("cannot write " + path.string());
}

AcDbDatabase* working() {
    return acdbHostApplicationServices()->workingDatabase();
}

// What the folder holds: name -> bytes ("<folder>" for a folder). Files whose inode, size and
// time of change match the previous snapshot are not read again.
struct Entry {
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t changed = 0;
    std::shared_ptr<const std::string> bytes; // shared: snapshots are taken after every call
};
using Snapshot = std::map<std::string, Entry>;

Snapshot snapshot(const fs::path& folder, const Snapshot& previous = {}) {
    Snapshot files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        struct stat st {};
        if (::stat(entry.path().c_str(), &st) != 0)
            fail("cannot stat " + name);
        Entry e{st.st_ino, st.st_size,
                static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec,
                nullptr};
        auto old = previous.find(name);
        if (S_ISDIR(st.st_mode))
            e.bytes = std::make_shared<const std::string>("<folder>");
        else if (old != previous.end() && old->second.inode == e.inode &&
                 old->second.size == e.size && old->second.changed == e.changed)
            e.bytes = old->second.bytes;
        else
            e.bytes = std::make_shared<const std::string>(readBytes(entry.path()));
        files[name] = std::move(e);
    }
    return files;
}

// The folder of drawings, made once; each input starts from what it held then.
struct World {
    fs::path folder;
    fs::path start; // the folder the fuzzer runs in
    Snapshot initial;
    Snapshot current;                // as the last input left it
    std::vector<std::wstring> paths; // what a string argument may name
    std::vector<std::wstring> keys;  // what a key may be
};

void makeDrawing(const fs::path& path, std::vector<PropertyPair> pairs) {
    AcDbDatabase db(true, false);
    if (ApplyPropertyPairs(&db, pairs, true) != Acad::eOk ||
        db.saveAs(path.wstring().c_str(), false, AcDb::kDHL_CURRENT) != Acad::eOk)
        fail("cannot make " + path.string());
}

World& world() {
    static World* w = [] {
        auto* made = new World;
        // In memory when the system has a memory file system: saves flush to disk.
        std::error_code error;
        const fs::path base = fs::is_directory("/dev/shm", error) && !std::getenv("TMPDIR")
                                  ? fs::path("/dev/shm")
                                  : fs::temp_directory_path();
        std::string pattern = (base / "sumleaf-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            fail("cannot make a temporary folder");
        made->folder = pattern;
        made->start = fs::current_path();
        std::atexit([] {
            minihost::closeAllDocuments();
            std::error_code ignored;
            fs::remove_all(world().folder, ignored);
        });
        const fs::path& f = made->folder;
        makeDrawing(f / "a.dxf", {{L"Title", L"a"}, {L"Client", L"ACME"}, {L"Job", L"1"}});
        makeDrawing(f / "open.dxf", {{L"Author", L"open"}});
        makeDrawing(f / "twin.dxf", {{L"Title", L"lower"}});
        makeDrawing(f / "TWIN.DXF", {{L"Title", L"upper"}});
        makeDrawing(f / "a.bak", {{L"Title", L"backup"}});
        fs::create_directory(f / "sub");
        writeBytes(f / "damaged.dxf", "  0\nSECTION\n  2\nHEADER\n");
        // Real drawings, when the shared folder is beside the clone: a current one, and an
        // older one whose text is in its code page.
        const fs::path shared = fs::path(SUMLEAF_SOURCE_DIR) / ".." / "shared" / "drawings";
        for (const char* name : {"sample_2018.dxf", "sample_2004.dxf"})
            if (fs::exists(shared / name))
                writeBytes(f / name, readBytes(shared / name));
        // Binary drawings: one edited in place in every version's way, and one refused.
        const fs::path binary = shared.parent_path() / "dwg";
        for (const char* name : {"r2010_custom.dwg", "r2004_summary.dwg", "r2000_plain.dwg"})
            if (fs::exists(binary / name))
                writeBytes(f / name, readBytes(binary / name));
        made->initial = snapshot(f);
        made->current = made->initial;

        const std::wstring w = f.wstring();
        made->paths = {w + L"/a.dxf",
                       w + L"/open.dxf",
                       w + L"/OPEN.DXF",
                       w + L"\\open.dxf",
                       w + L"/sub/../a.dxf",
                       w + L"/twin.dxf",
                       w + L"/TWIN.DXF",
                       w + L"/a.bak",
                       w + L"/damaged.dxf",
                       w + L"/missing.dxf",
                       w + L"/sample_2018.dxf",
                       w + L"/sample_2004.dxf",
                       w + L"/r2010_custom.dwg",
                       w + L"/r2004_summary.dwg",
                       w + L"/r2000_plain.dwg",
                       w,
                       w + L"/sub",
                       L"a.dxf",
                       L"./open.dxf",
                       L"",
                       L"/",
                       w + L"/" + std::wstring(300, L'x') + L".dxf"};
        made->keys = {L"Title",          L"subject",     L"AUTHOR",
                      L"Keywords",       L"Comments",    L"Hyperlinkbase",
                      L"RevisionNumber", L"LastSavedBy", L"Client",
                      L"client",         L"Job",         L"",
                      L" Title"};
        return made;
    }();
    return *w;
}

// Reads the input from the front; past its end everything is 0.
class Bytes {
  public:
    Bytes(const std::uint8_t* data, std::size_t size) : mData(data), mSize(size) {}
    bool empty() const { return mAt >= mSize; }
    std::uint8_t next() { return mAt < mSize ? mData[mAt++] : 0; }
    template <class T> T value() {
        T v{};
        unsigned char raw[sizeof(T)] = {};
        for (unsigned char& b : raw)
            b = next();
        std::memcpy(&v, raw, sizeof v);
        return v;
    }

  private:
    const std::uint8_t* mData;
    std::size_t mSize;
    std::size_t mAt = 0;
};

// Text from the input: ASCII as it is, other bytes as characters of every kind the host may
// meet, units that are no Unicode scalar value included. A length byte above 200 repeats the
// text to make long strings.
std::wstring text(Bytes& in) {
    static const wchar_t kOdd[8] = {L'\u00e9',
                                    L'\u20ac',
                                    static_cast<wchar_t>(0x1F600),
                                    static_cast<wchar_t>(0xD800),
                                    static_cast<wchar_t>(0x110000),
                                    L'\\',
                                    L'\r',
                                    L'\n'};
    const std::uint8_t length = in.next();
    std::wstring out;
    for (int i = 0; i < (length > 200 ? length - 200 : length) && !in.empty(); ++i) {
        std::uint8_t b = in.next();
        out += b < 0x80 ? static_cast<wchar_t>(b) : kOdd[b & 7];
    }
    if (length > 200 && !out.empty()) {
        std::wstring piece = out;
        while (out.size() < 70000)
            out += piece;
    }
    return out;
}

void append(resbuf*& head, resbuf*& tail, resbuf* node) {
    if (!node)
        fail("the host could not build an argument");
    (head ? tail->rbnext : head) = node;
    tail = node;
}

resbuf* arguments(Bytes& in, int count, std::string& description) {
    World& w = world();
    resbuf* head = nullptr;
    resbuf* tail = nullptr;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t type = in.next();
        switch (type % 12) {
        case 0:
            append(head, tail, acutBuildList(RTT, RTNONE));
            break;
        case 1:
            append(head, tail, acutBuildList(RTNIL, RTNONE));
            break;
        case 2:
            append(head, tail,
                   acutBuildList(RTSHORT, static_cast<int>(in.value<std::int16_t>()), RTNONE));
            break;
        case 3:
            append(head, tail, acutBuildList(RTLONG, in.value<std::int32_t>(), RTNONE));
            break;
        case 4:
            append(head, tail, acutBuildList(RTREAL, in.value<double>(), RTNONE));
            break;
        case 5:
            append(head, tail, acutBuildList(RTLB, RTNONE));
            break;
        case 6:
            append(head, tail, acutBuildList(RTLE, RTNONE));
            break;
        case 7:
            append(head, tail, acutBuildList(RTDOTE, RTNONE));
            break;
        case 8:
            append(head, tail,
                   acutBuildList(RTSTR, w.paths[in.next() % w.paths.size()].c_str(), RTNONE));
            break;
        case 9:
            append(head, tail,
                   acutBuildList(RTSTR, w.keys[in.next() % w.keys.size()].c_str(), RTNONE));
            break;
        case 10:
            append(head, tail, acutBuildList(RTSTR, text(in).c_str(), RTNONE));
            break;
        default: { // a string node whose text is a null pointer
            resbuf* node = acutBuildList(RTSTR, L"", RTNONE);
            append(head, tail, node);
            std::free(node->resval.rstring);
            node->resval.rstring = nullptr;
        }
        }
    }
    description = chainText(head);
    return head;
}

void checkNothingLive(const char* when) {
    minihost::LiveCounts live = minihost::liveCounts();
    if (live.nodes || live.strings || live.databases || live.iterators)
        fail(std::string("left live ") + when + ": nodes " + std::to_string(live.nodes) +
             ", strings " + std::to_string(live.strings) + ", databases " +
             std::to_string(live.databases) + ", iterators " + std::to_string(live.iterators));
}

// Every change in the folder since `before` is the drawing the call wrote, with the properties
// it returned, or the backup of that drawing's previous content.
void checkFiles(const Snapshot& before, const Snapshot& after, bool isSet, const CallResult& result,
                const std::string& returned) {
    const fs::path& folder = world().folder;
    int written = 0;
    for (const auto& [name, entry] : after) {
        const std::string& bytes = *entry.bytes;
        auto old = before.find(name);
        if (old != before.end() && *old->second.bytes == bytes)
            continue;
        const fs::path path(name);
        if (path.extension() == ".bak") {
            // A backup holds what its drawing held before the call.
            bool isBackup = false;
            for (const auto& [other, otherEntry] : before)
                if (other != name && fs::path(other).stem() == path.stem() &&
                    *otherEntry.bytes == bytes)
                    isBackup = true;
            if (isBackup)
                continue;
        }
        if (!isSet || result.kind != CallResult::Value)
            fail(name + " changed but the call returned no list");
        const std::string back = listOfFile(folder / name);
        if (back != returned)
            fail(name + " reads back as " + back + " but the call returned " + returned);
        ++written;
    }
    for (const auto& [name, entry] : before)
        if (!after.count(name))
            fail(name + " disappeared");
    if (written > 1)
        fail("one call wrote several drawings");
}

void reset() {
    World& w = world();
    minihost::closeAllDocuments();
    minihost::clearFaults();
    // Put the folder back as it was made.
    Snapshot now = snapshot(w.folder, w.current);
    for (const auto& [name, entry] : now)
        if (!w.initial.count(name))
            fs::remove_all(w.folder / name);
    for (const auto& [name, entry] : w.initial)
        if (*entry.bytes != "<folder>" && (!now.count(name) || *now[name].bytes != *entry.bytes)) {
            writeBytes(w.folder / name, *entry.bytes);
            now.erase(name); // rewritten in place: its time of change may not have moved
        }
    w.current = snapshot(w.folder, now);
    if (ApplyPropertyPairs(working(), {{L"Title", L"working"}}, true) != Acad::eOk)
        fail("cannot reset the working drawing");
}

void openDocument(const std::wstring& path) {
    std::string error;
    if (!minihost::openDocument(path, error))
        fail("cannot open " + testing_support::utf8(path) + ": " + error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    World& w = world();
    reset();
    gTrace.clear();
    Bytes in(data, size);

    // Open documents: always open.dxf; by the flags also the two twins, in either order, an
    // unnamed new drawing, and a closed drawing's document that becomes current.
    const std::uint8_t flags = in.next();
    openDocument(w.paths[1]);
    if (flags & 1)
        openDocument(w.paths[(flags & 2) ? 6 : 5]);
    if (flags & 4)
        openDocument(w.paths[(flags & 2) ? 5 : 6]);
    if ((flags & 8) && !minihost::openNewDocument(L""))
        fail("cannot open a new document");
    if (flags & 16)
        openDocument(w.paths[0]);

    Snapshot before = w.current;
    for (int calls = 0; calls < 16 && !in.empty(); ++calls) {
        const std::uint8_t header = in.next();
        const bool isSet = header & 1;
        std::string description;
        resbuf* args = arguments(in, (header >> 1) & 15, description);
        gTrace += std::string(isSet ? "(setsumleaf " : "(getsumleaf ") + description + ")\n";

        // Relative paths name files in the folder while the call runs. (libFuzzer itself
        // needs the starting folder: it reads its corpus by relative paths.)
        if (chdir(w.folder.c_str()) != 0)
            fail("cannot enter the temporary folder");
        CallResult result = isSet ? minihost::callHandler(SetSumleafHandler, 0, args)
                                  : minihost::callHandler(GetSumleafHandler, 1, args);
        if (chdir(w.start.c_str()) != 0)
            fail("cannot go back to the starting folder");
        acutRelRb(args);
        const std::string returned = result.value ? chainText(result.value) : "";
        acutRelRb(result.value);
        if (result.handlerReturned != 1)
            fail("the handler returned " + std::to_string(result.handlerReturned));
        if (!isSet && result.kind != CallResult::Value && result.kind != CallResult::Nil)
            fail("getsumleaf set no result");
        checkNothingLive("after the call");

        Snapshot after = snapshot(w.folder, before);
        checkFiles(before, after, isSet, result, returned);
        checkNothingLive("after reading the files back");
        before = std::move(after);
    }
    w.current = std::move(before);
    // Leave as much as was found, so that libFuzzer's leak check has no reason to run.
    reset();
    return 0;
}

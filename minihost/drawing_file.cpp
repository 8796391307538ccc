// Drawing files kept as ASCII DXF: the header is parsed and held in memory, the rest stays in
// the file and is copied by the kernel when a save needs it. See docs/drawing-file.md.
#include "drawing_file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "dxf_new_drawing.h"
#include "dxf_text.h"
#include "file_faults.h"

namespace minihost {
namespace {

// Everything from the start of the file to the end of its header is held in memory, so it is
// capped; no drawing a CAD program writes comes near.
constexpr std::size_t kMaxHead = 16u << 20;
constexpr std::size_t kReadChunk = 64u << 10;
// Lines met while looking for the preview from the end of the file.
constexpr std::size_t kMaxTailLine = 1u << 20;

const char* const kBuiltInNames[kBuiltInCount] = {
    "$TITLE",    "$SUBJECT",     "$AUTHOR",         "$KEYWORDS",
    "$COMMENTS", "$LASTSAVEDBY", "$REVISIONNUMBER", "$HYPERLINKBASE"};

enum VarKind { kOther = -1, kCustomTag = kBuiltInCount, kCustomValue };

struct Var {
    std::string name;
    std::size_t begin = 0, end = 0; // the variable's groups within the head
    std::size_t valueBegin = 0, valueEnd = 0;
    bool hasValue = false;
    int kind = kOther;
};

class Fd {
  public:
    explicit Fd(int fd = -1) : mFd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return mFd; }
    int release() {
        int fd = mFd;
        mFd = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (mFd >= 0)
            ::close(mFd);
        mFd = fd;
    }

  private:
    int mFd;
};

std::string trimmed(const char* s, std::size_t n) {
    std::size_t b = 0;
    while (b < n && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r'))
        ++b;
    while (n > b && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r'))
        --n;
    return std::string(s + b, n - b);
}

bool parseCode(const std::string& text, int& code) {
    if (text.empty() || text.size() > 7)
        return false;
    std::size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size())
        return false;
    int value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    code = text[0] == '-' ? -value : value;
    return true;
}

} // namespace

class DrawingFile {
  public:
    DrawingFile() = default;
    DrawingFile(const DrawingFile&) = delete;
    DrawingFile& operator=(const DrawingFile&) = delete;
    ~DrawingFile() {
        if (fd >= 0)
            ::close(fd);
    }

    void swap(DrawingFile& other) {
        std::swap(fd, other.fd);
        head.swap(other.head);
        memTail.swap(other.memTail);
        std::swap(tailOffset, other.tailOffset);
        std::swap(size, other.size);
        vars.swap(other.vars);
        std::swap(varsBegin, other.varsBegin);
        version.swap(other.version);
        eol.swap(other.eol);
        std::swap(encoding, other.encoding);
        std::swap(original, other.original);
    }

    int fd = -1;          // the file read (or last saved); -1 for a new drawing
    std::string head;     // bytes [0, tailOffset): up to the header's closing ENDSEC group
    std::string memTail;  // a new drawing's remaining bytes (fd < 0)
    off_t tailOffset = 0; // where the rest of the drawing starts in the file
    off_t size = 0;       // the file's size when it was read
    std::vector<Var> vars;
    std::size_t varsBegin = 0; // where the first variable would start in the head
    std::string version;
    std::string eol = "\r\n";
    dxf::Encoding encoding = dxf::Encoding::Utf8;
    SummaryData original; // the properties as read, to tell which variables a save changes
};

void DrawingFileDelete::operator()(DrawingFile* file) const {
    delete file;
}

namespace {

// Reads the head of a drawing a chunk at a time, from a file or from memory.
class HeadReader {
  public:
    HeadReader(int fd, off_t size, std::string& head) : mFd(fd), mSize(size), mHead(head) {}

    // The next line starting at `pos`: [pos, stop) without its line end; `next` is where the
    // following line starts. False at the end of the data (`pos` == end); `tooLong` when the
    // head cap is reached first and `ioError` when a read fails.
    bool line(std::size_t pos, std::size_t& stop, std::size_t& next) {
        terminated = true;
        for (;;) {
            std::size_t nl = mHead.find('\n', pos);
            if (nl != std::string::npos) {
                stop = nl;
                next = nl + 1;
                if (stop > pos && mHead[stop - 1] == '\r')
                    --stop;
                return true;
            }
            if (!more()) {
                if (tooLong || ioError || pos >= mHead.size())
                    return false;
                stop = next = mHead.size(); // a last line without a line end
                terminated = false;
                return true;
            }
        }
    }

    bool atEnd() const { return static_cast<off_t>(mHead.size()) >= mSize; }
    bool tooLong = false;
    bool ioError = false;
    bool terminated = true; // the last line read had a line end

  private:
    bool more() {
        if (mFd < 0 || atEnd())
            return false;
        if (mHead.size() >= kMaxHead) {
            tooLong = true;
            return false;
        }
        // Small reads first: a header is usually a few KiB, and the cost of reading the
        // properties must not grow with the drawing.
        std::size_t chunk =
            std::min<std::size_t>(kReadChunk, std::max<std::size_t>(4096, mHead.size()));
        std::size_t want = std::min<std::size_t>(chunk, kMaxHead - mHead.size());
        want = std::min<std::size_t>(want, static_cast<std::size_t>(mSize) - mHead.size());
        std::size_t old = mHead.size();
        mHead.resize(old + want);
        ssize_t got;
        do
            got = fsys::pread(mFd, &mHead[old], want, static_cast<off_t>(old));
        while (got < 0 && errno == EINTR);
        if (got <= 0) {
            mHead.resize(old);
            ioError = got < 0;
            if (got == 0)
                mSize = static_cast<off_t>(old); // the file shrank
            return false;
        }
        mHead.resize(old + static_cast<std::size_t>(got));
        return true;
    }

    int mFd;
    off_t mSize;
    std::string& mHead;
};

// True when `text` (what a cut file holds) could be the start of a DXF drawing.
bool couldBeDrawingStart(const std::string& text) {
    static const std::string kStart = "0SECTION";
    std::string compact;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            compact += c;
    return !text.empty() && compact.size() <= kStart.size() &&
           kStart.compare(0, compact.size(), compact) == 0;
}

bool supportedVersion(const std::string& version) {
    return version == "AC1018" || version == "AC1021" || version == "AC1024" ||
           version == "AC1027" || version == "AC1032";
}

// True when the last group of the data in [from, size) is 0/EOF: checks only the end.
bool endsWithEof(int fd, const std::string& memTail, off_t from, off_t size) {
    constexpr off_t kWindow = 256;
    off_t start = std::max(from, size - kWindow);
    std::string tail;
    if (fd < 0) {
        tail = memTail.substr(static_cast<std::size_t>(start - from));
    } else {
        tail.resize(static_cast<std::size_t>(size - start));
        std::size_t have = 0;
        while (have < tail.size()) {
            ssize_t got =
                fsys::pread(fd, &tail[have], tail.size() - have, start + static_cast<off_t>(have));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            have += static_cast<std::size_t>(got);
        }
    }
    auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\x1a' || c == '\0';
    };
    std::size_t n = tail.size();
    while (n > 0 && blank(tail[n - 1]))
        --n;
    std::size_t lineStart = tail.rfind('\n', n == 0 ? 0 : n - 1);
    if (lineStart == std::string::npos || trimmed(&tail[lineStart + 1], n - lineStart - 1) != "EOF")
        return false;
    if (lineStart == 0)
        return false;
    std::size_t codeStart = tail.rfind('\n', lineStart - 1);
    if (codeStart == std::string::npos)
        return false;
    return trimmed(&tail[codeStart + 1], lineStart - codeStart - 1) == "0";
}

// Parses the head of a drawing (file `fd` of `size` bytes, or `file.head` already filled when
// fd < 0) into `file`. Leaves `file.fd` alone.
Acad::ErrorStatus parseHead(int fd, off_t size, DrawingFile& file, bool checkEnd = true) {
    std::string& head = file.head;
    HeadReader reader(fd, size, head);
    std::size_t pos = 0;
    // A group is two lines: its code and its value.
    std::size_t codeBegin = 0, codeStop, valueBegin, valueStop, next;
    int code = 0;
    enum Got { kGroup, kEnd, kBadCode };
    auto group = [&]() -> Got {
        codeBegin = pos;
        if (!reader.line(pos, codeStop, valueBegin) || !reader.terminated)
            return kEnd; // a line cut short is where a truncated file ends
        if (!parseCode(trimmed(&head[codeBegin], codeStop - codeBegin), code))
            return kBadCode;
        if (!reader.line(valueBegin, valueStop, next) || !reader.terminated)
            return kEnd;
        pos = next;
        return kGroup;
    };
    auto endStatus = [&]() {
        if (reader.ioError)
            return Acad::eFileAccessErr;
        return reader.tooLong ? Acad::eDwgCorrupt : Acad::eDwgNeedsRecovery;
    };

    reader.line(0, codeStop, next); // loads the first chunk
    if (reader.ioError)
        return Acad::eFileAccessErr;
    if (head.size() >= 22 && head.find("Binary DXF") != std::string::npos &&
        head.find("Binary DXF") < 22)
        return Acad::eUnsupportedVersion; // the binary form of DXF
    if (head.compare(0, 3, "\xEF\xBB\xBF") == 0)
        pos = 3;
    std::size_t first = pos;
    Got got = group();
    if (got != kGroup || code != 0 ||
        trimmed(&head[valueBegin], valueStop - valueBegin) != "SECTION") {
        if (reader.ioError)
            return Acad::eFileAccessErr;
        bool cut = got == kEnd && !reader.tooLong;
        return cut && couldBeDrawingStart(head.substr(first)) ? Acad::eDwgNeedsRecovery
                                                              : Acad::eNotADrawing;
    }
    got = group();
    if (got == kEnd)
        return endStatus();
    if (got == kBadCode || code != 2)
        return Acad::eDwgCorrupt;
    if (trimmed(&head[valueBegin], valueStop - valueBegin) != "HEADER")
        return Acad::eUnsupportedVersion; // a DXF without a header tells no version
    file.varsBegin = pos;
    for (;;) {
        got = group();
        if (got == kEnd)
            return endStatus();
        if (got == kBadCode)
            return Acad::eDwgCorrupt;
        if (code == 0) {
            if (trimmed(&head[valueBegin], valueStop - valueBegin) != "ENDSEC")
                return Acad::eDwgCorrupt;
            break;
        }
        if (code == 9) {
            if (!file.vars.empty())
                file.vars.back().end = codeBegin;
            Var var;
            var.name = trimmed(&head[valueBegin], valueStop - valueBegin);
            var.begin = codeBegin;
            for (int i = 0; i < kBuiltInCount; ++i)
                if (var.name == kBuiltInNames[i])
                    var.kind = i;
            if (var.name == "$CUSTOMPROPERTYTAG")
                var.kind = kCustomTag;
            else if (var.name == "$CUSTOMPROPERTY")
                var.kind = kCustomValue;
            file.vars.push_back(std::move(var));
            continue;
        }
        if (file.vars.empty())
            return Acad::eDwgCorrupt; // a value that belongs to no variable
        Var& var = file.vars.back();
        if (!var.hasValue) {
            var.hasValue = true;
            var.valueBegin = valueBegin;
            var.valueEnd = valueStop;
        }
    }
    // The head ends where the header's ENDSEC group starts.
    if (fd < 0)
        file.memTail = head.substr(codeBegin);
    head.resize(codeBegin);
    file.tailOffset = static_cast<off_t>(codeBegin);
    if (!file.vars.empty())
        file.vars.back().end = codeBegin;
    file.eol = head.find("\r\n") == head.find('\n') - 1 ? "\r\n" : "\n";

    auto value = [&](const Var& var) {
        return var.hasValue ? std::string(&head[var.valueBegin], var.valueEnd - var.valueBegin)
                            : std::string();
    };
    std::string codePage;
    for (const Var& var : file.vars) {
        if (var.name == "$ACADVER" && file.version.empty())
            file.version = trimmed(value(var).data(), value(var).size());
        else if (var.name == "$DWGCODEPAGE" && codePage.empty())
            codePage = value(var);
    }
    if (!supportedVersion(file.version))
        return Acad::eUnsupportedVersion;
    file.encoding =
        file.version == "AC1018"
            ? (codePage.empty() ? dxf::Encoding::Cp1252 : dxf::encodingOfCodePage(codePage))
            : dxf::Encoding::Utf8;

    SummaryData& data = file.original;
    bool seen[kBuiltInCount] = {};
    bool tagPending = false;
    for (const Var& var : file.vars) {
        if (var.kind == kOther)
            continue;
        std::string raw = value(var);
        std::wstring text = dxf::decodeValue(raw.data(), raw.size(), file.encoding);
        if (var.kind < kBuiltInCount) {
            if (!seen[var.kind])
                data.builtIn[var.kind] = std::move(text);
            seen[var.kind] = true;
        } else if (var.kind == kCustomTag) {
            data.custom.emplace_back(std::move(text), std::wstring());
            tagPending = true;
        } else {
            if (!tagPending)
                data.custom.emplace_back(std::wstring(), std::wstring());
            data.custom.back().second = std::move(text);
            tagPending = false;
        }
        if (var.kind != kCustomTag)
            tagPending = false;
    }

    off_t total = fd >= 0 ? size : file.tailOffset + static_cast<off_t>(file.memTail.size());
    if (checkEnd && !endsWithEof(fd, file.memTail, file.tailOffset, total))
        return reader.ioError ? Acad::eFileAccessErr : Acad::eDwgNeedsRecovery;
    file.size = total;
    return Acad::eOk;
}

Acad::ErrorStatus openStatus(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return Acad::eFileNotFound;
    case ENOMEM:
        return Acad::eOutOfMemory;
    default:
        return Acad::eFileAccessErr;
    }
}

// Reads the head of the open file `fd` into a new DrawingFile that owns fd on success.
Acad::ErrorStatus loadFrom(Fd& fd, DrawingFilePtr& out) {
    struct stat st;
    if (fsys::fstat(fd.get(), &st) != 0)
        return Acad::eFileAccessErr;
    if (!S_ISREG(st.st_mode))
        return Acad::eFileAccessErr;
    DrawingFilePtr file(new DrawingFile);
    Acad::ErrorStatus status = parseHead(fd.get(), st.st_size, *file);
    if (status != Acad::eOk)
        return status;
    file->fd = fd.release();
    out = std::move(file);
    return Acad::eOk;
}

// ---- Writing ----

void appendGroup(std::string& out, const char* code, const std::string& value,
                 const std::string& eol) {
    out += code;
    out += eol;
    out += value;
    out += eol;
}

bool appendVariable(std::string& out, const char* name, const std::wstring& text,
                    const std::string& eol) {
    std::string line;
    if (!dxf::encodeValue(text, line))
        return false;
    appendGroup(out, "  9", name, eol);
    appendGroup(out, "  1", line, eol);
    return true;
}

bool appendCustom(std::string& out, const SummaryData& summary, const std::string& eol) {
    for (const auto& pair : summary.custom)
        if (!appendVariable(out, "$CUSTOMPROPERTYTAG", pair.first, eol) ||
            !appendVariable(out, "$CUSTOMPROPERTY", pair.second, eol))
            return false;
    return true;
}

// The head of `file` with the properties of `summary`: variables that change are rewritten in
// place, missing ones are inserted where CAD programs put them, every other byte is kept.
Acad::ErrorStatus buildHead(const DrawingFile& file, const SummaryData& summary, std::string& out) {
    const std::vector<Var>& vars = file.vars;
    const int kNone = -2, kStart = -1;
    int firstOf[kBuiltInCount];
    std::fill(firstOf, firstOf + kBuiltInCount, kNone);
    int firstCustom = kNone, codePage = kNone, versionVar = kNone;
    for (int j = 0; j < static_cast<int>(vars.size()); ++j) {
        int kind = vars[j].kind;
        if (kind >= 0 && kind < kBuiltInCount && firstOf[kind] == kNone)
            firstOf[kind] = j;
        if ((kind == kCustomTag || kind == kCustomValue) && firstCustom == kNone)
            firstCustom = j;
        if (vars[j].name == "$DWGCODEPAGE" && codePage == kNone)
            codePage = j;
        if (vars[j].name == "$ACADMAINTVER" || (vars[j].name == "$ACADVER" && versionVar == kNone))
            versionVar = j;
    }
    bool changed[kBuiltInCount];
    for (int i = 0; i < kBuiltInCount; ++i)
        changed[i] = summary.builtIn[i] != file.original.builtIn[i];
    bool customChanged = summary.custom != file.original.custom;

    // Where missing variables go: the seven texts in order after $DWGCODEPAGE, then the custom
    // pairs; each after the nearest earlier one of that chain that the file has.
    const int kChain[] = {
        -1 /* $DWGCODEPAGE */, kTitle,          kSubject,  kAuthor, kKeywords, kComments,
        kLastSavedBy,          kRevisionNumber, kCustomTag};
    const int chainLength = static_cast<int>(sizeof kChain / sizeof kChain[0]);
    auto presentAt = [&](int element) {
        return element == -1 ? codePage : element == kCustomTag ? firstCustom : firstOf[element];
    };
    std::vector<std::vector<int>> after(vars.size()); // insertions after each variable
    std::vector<int> atStart, atEnd;
    for (int k = 1; k < chainLength; ++k) {
        int element = kChain[k];
        bool missing = element == kCustomTag
                           ? firstCustom == kNone && !summary.custom.empty()
                           : firstOf[element] == kNone && !summary.builtIn[element].empty();
        if (!missing)
            continue;
        int anchor = kNone;
        for (int p = k - 1; p >= 0 && anchor == kNone; --p)
            anchor = presentAt(kChain[p]);
        if (anchor == kNone)
            anchor = versionVar == kNone ? kStart : versionVar;
        (anchor == kStart ? atStart : after[anchor]).push_back(element);
    }
    if (firstOf[kHyperlinkBase] == kNone && !summary.builtIn[kHyperlinkBase].empty())
        (vars.empty() ? atStart : after.back()).push_back(kHyperlinkBase);

    auto insert = [&](const std::vector<int>& elements) {
        for (int element : elements) {
            bool ok = element == kCustomTag ? appendCustom(out, summary, file.eol)
                                            : appendVariable(out, kBuiltInNames[element],
                                                             summary.builtIn[element], file.eol);
            if (!ok)
                return false;
        }
        return true;
    };

    out.clear();
    out.reserve(file.head.size() + 1024);
    out.append(file.head, 0, vars.empty() ? file.head.size() : vars.front().begin);
    if (!insert(atStart))
        return Acad::eInvalidInput;
    for (int j = 0; j < static_cast<int>(vars.size()); ++j) {
        const Var& var = vars[j];
        int kind = var.kind;
        bool raw = true;
        if (kind >= 0 && kind < kBuiltInCount && changed[kind]) {
            raw = false;
            if (j == firstOf[kind] &&
                !appendVariable(out, kBuiltInNames[kind], summary.builtIn[kind], file.eol))
                return Acad::eInvalidInput;
        } else if ((kind == kCustomTag || kind == kCustomValue) && customChanged) {
            raw = false;
            if (j == firstCustom && !appendCustom(out, summary, file.eol))
                return Acad::eInvalidInput;
        }
        if (raw)
            out.append(file.head, var.begin, var.end - var.begin);
        if (!insert(after[j]))
            return Acad::eInvalidInput;
    }
    if (out.size() > kMaxHead)
        return Acad::eInvalidInput; // it could not be read back
    return Acad::eOk;
}

// Reads lines backwards from the end of a file, down to a floor.
class BackLines {
  public:
    BackLines(int fd, off_t floor, off_t end) : mFd(fd), mFloor(floor), mPos(end) {}

    // The previous line, trimmed, and the offset where it starts. False at the floor, on a
    // read error or when a line is too long to be one that matters.
    bool previous(std::string& text, off_t& start) {
        if (mPos <= mFloor || mDone)
            return false;
        std::string line; // reversed
        off_t pos = mPos;
        if (mStarted)
            --pos; // step over the '\n' that ends the previous line
        mStarted = true;
        while (pos > mFloor) {
            char c;
            if (!byteAt(pos - 1, c)) {
                ioError = true;
                return fail();
            }
            if (c == '\n')
                break;
            line += c;
            if (line.size() > kMaxTailLine)
                return fail();
            --pos;
        }
        std::string forward(line.rbegin(), line.rend());
        text = trimmed(forward.data(), forward.size());
        start = pos;
        mPos = pos;
        return true;
    }

  private:
    bool fail() {
        mDone = true;
        return false;
    }

  public:
    bool ioError = false;

  private:
    bool byteAt(off_t offset, char& c) {
        if (offset < mBufStart || offset >= mBufStart + static_cast<off_t>(mBuf.size())) {
            off_t start = std::max(mFloor, offset + 1 - static_cast<off_t>(kReadChunk));
            mBuf.resize(static_cast<std::size_t>(offset + 1 - start));
            std::size_t have = 0;
            while (have < mBuf.size()) {
                ssize_t got = fsys::pread(mFd, &mBuf[have], mBuf.size() - have,
                                          start + static_cast<off_t>(have));
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0)
                    return false;
                have += static_cast<std::size_t>(got);
            }
            mBufStart = start;
        }
        c = mBuf[static_cast<std::size_t>(offset - mBufStart)];
        return true;
    }

    int mFd;
    off_t mFloor, mPos;
    bool mStarted = false, mDone = false;
    std::string mBuf;
    off_t mBufStart = 0;
};

// The preview section when it is the drawing's last section (where CAD programs put it):
// [begin, end) runs from its SECTION group to the EOF group.
enum class Preview { kNone, kFound, kReadError };

Preview findPreview(const DrawingFile& file, off_t& begin, off_t& end) {
    if (file.fd < 0)
        return Preview::kNone;
    BackLines lines(file.fd, file.tailOffset, file.size);
    auto none = [&]() { return lines.ioError ? Preview::kReadError : Preview::kNone; };
    std::string text, code;
    off_t start;
    do
        if (!lines.previous(text, start))
            return none();
    while (text.empty() || text == "\x1a");
    if (text != "EOF" || !lines.previous(code, end) || code != "0")
        return none();
    if (!lines.previous(text, start) || text != "ENDSEC" || !lines.previous(code, start) ||
        code != "0")
        return none();
    for (;;) {
        if (!lines.previous(text, start) || !lines.previous(code, start) || code == "0")
            return none();
        if (code == "2") {
            if (text != "THUMBNAILIMAGE" || !lines.previous(text, start) || text != "SECTION" ||
                !lines.previous(code, begin) || code != "0")
                return none();
            return Preview::kFound;
        }
    }
}

Acad::ErrorStatus writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t put = fsys::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return Acad::eFileWriteError;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return Acad::eOk;
}

// Copies [from, to) of `in` to the end of `out`: in the kernel where it can, else by reading.
Acad::ErrorStatus copyRange(int in, off_t from, off_t to, int out) {
    bool kernel = true;
    std::string buffer;
    while (from < to) {
        std::size_t want = static_cast<std::size_t>(std::min<off_t>(to - from, 1 << 30));
        if (kernel) {
            off_t at = from;
            ssize_t got = fsys::copyRange(in, &at, out, want);
            if (got > 0) {
                from = at;
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0 &&
                (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
                kernel = false; // this pair of file systems cannot copy in the kernel
                continue;
            }
            return got == 0 ? Acad::eFileAccessErr : Acad::eFileWriteError;
        }
        if (buffer.empty())
            buffer.resize(1 << 20);
        want = std::min(want, buffer.size());
        ssize_t got = fsys::pread(in, &buffer[0], want, from);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return Acad::eFileAccessErr; // the drawing we copy from is gone or shrank
        Acad::ErrorStatus status = writeAll(out, buffer.data(), static_cast<std::size_t>(got));
        if (status != Acad::eOk)
            return status;
        from += got;
    }
    return Acad::eOk;
}

std::string tempName(const std::string& folder, const std::string& base, const char* what) {
    static std::atomic<unsigned long> counter{0};
    unsigned long stamp =
        static_cast<unsigned long>(std::chrono::steady_clock::now().time_since_epoch().count());
    return folder + "/." + base + "." + std::to_string(::getpid()) + "-" +
           std::to_string(++counter) + "-" + std::to_string(stamp % 1000000) + what;
}

// Undoes a save whose new file is already at `target`: `previous` (a name of the old file,
// or empty when there was none) goes back to the path.
void rollBack(const std::string& target, const std::string& previous, int folder) {
    if (previous.empty())
        fsys::unlink(target.c_str());
    else
        fsys::rename(previous.c_str(), target.c_str());
    fsys::dirFsync(folder);
}

} // namespace

Acad::ErrorStatus readDrawingFile(const wchar_t* path, DrawingFilePtr& file, SummaryData& summary) {
    std::string name;
    if (!path || !dxf::toUtf8(path, name))
        return Acad::eInvalidInput;
    if (name.empty())
        return Acad::eFileNotFound;
    Fd fd(fsys::open(name.c_str(), O_RDONLY | O_NONBLOCK));
    if (fd.get() < 0)
        return openStatus(errno);
    DrawingFilePtr loaded;
    Acad::ErrorStatus status = loadFrom(fd, loaded);
    if (status != Acad::eOk)
        return status;
    SummaryData data = loaded->original;
    file = std::move(loaded);
    summary = std::move(data);
    return Acad::eOk;
}

namespace {
// A new empty drawing, held in memory until it is saved.
DrawingFilePtr newDrawingFile() {
    DrawingFilePtr file(new DrawingFile);
    file->head = dxf::newDrawingText();
    if (parseHead(-1, static_cast<off_t>(file->head.size()), *file) != Acad::eOk)
        return nullptr;
    return file;
}
} // namespace

Acad::ErrorStatus saveDrawingFile(DrawingFile* file, const SummaryData& summary,
                                  const wchar_t* path, const SaveOptions& options) {
    if (options.hasSecurityParams)
        return Acad::eNotSupportedInDwgApi;
    if (options.version != 33)
        return Acad::eUnsupportedVersion;
    std::string target;
    if (!path || !*path || !dxf::toUtf8(path, target))
        return Acad::eInvalidInput;
    DrawingFilePtr fresh;
    if (!file) {
        fresh = newDrawingFile();
        if (!fresh)
            return Acad::eOutOfMemory;
        file = fresh.get();
    }
    if (file->version != "AC1032")
        return Acad::eUnsupportedVersion; // the stand-in cannot convert between versions

    std::string head;
    Acad::ErrorStatus status = buildHead(*file, summary, head);
    if (status != Acad::eOk)
        return status;
    off_t previewBegin = file->size, previewEnd = file->size;
    if (!options.retainPreview) {
        Preview preview = findPreview(*file, previewBegin, previewEnd);
        if (preview == Preview::kReadError)
            return Acad::eFileAccessErr;
        if (preview == Preview::kNone)
            previewBegin = previewEnd = file->size;
    }

    std::filesystem::path targetPath(target);
    std::string folder = targetPath.has_parent_path() ? targetPath.parent_path().string() : ".";
    std::string base = targetPath.filename().string();
    if (base.empty() || base == "." || base == "..")
        return Acad::eInvalidInput;

    struct stat old;
    bool exists = fsys::statPath(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT)
        return openStatus(errno);
    if (exists && !S_ISREG(old.st_mode))
        return Acad::eFileAccessErr;
    Fd dir(fsys::open(folder.c_str(), O_RDONLY | O_DIRECTORY));
    if (dir.get() < 0)
        return openStatus(errno);

    std::string temp;
    Fd out;
    for (int attempt = 0; attempt < 100 && out.get() < 0; ++attempt) {
        temp = tempName(folder, base, ".tmp");
        out.reset(fsys::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666));
        if (out.get() < 0 && errno != EEXIST)
            return openStatus(errno);
    }
    if (out.get() < 0)
        return Acad::eFileSystemErr;

    // From here on the temporary file goes again on any failure, running out of memory
    // included, until it has taken the path.
    struct TempFile {
        const std::string* name;
        ~TempFile() {
            if (name)
                fsys::unlink(name->c_str());
        }
    } tempFile{&temp};
    auto fail = [&](Acad::ErrorStatus why) {
        out.reset();
        fsys::unlink(temp.c_str());
        tempFile.name = nullptr;
        return why;
    };
    if (exists && fsys::fchmod(out.get(), old.st_mode & 07777) != 0)
        return fail(Acad::eFileSystemErr);
    status = writeAll(out.get(), head.data(), head.size());
    if (status == Acad::eOk && file->fd < 0)
        status = writeAll(out.get(), file->memTail.data(), file->memTail.size());
    if (status == Acad::eOk && file->fd >= 0) {
        status = copyRange(file->fd, file->tailOffset, previewBegin, out.get());
        if (status == Acad::eOk)
            status = copyRange(file->fd, previewEnd, file->size, out.get());
    }
    if (status != Acad::eOk)
        return fail(status);
    if (fsys::fsync(out.get()) != 0)
        return fail(Acad::eFileWriteError);

    // Keep the old file under a second name while the new one takes the path, so that the
    // path never lacks a complete drawing and a late failure can put the old one back. It
    // becomes the backup only once the new file holds the path: a failed save leaves an older
    // backup as it was.
    std::string previous;
    std::string backupName;
    bool backup = false;
    if (exists) {
        backupName = targetPath.replace_extension(".bak").string();
        backup = options.keepBackup && backupName != target;
        previous = tempName(folder, base, ".old");
        if (fsys::link(target.c_str(), previous.c_str()) != 0)
            return fail(Acad::eFileSystemErr);
    }
    if (fsys::rename(temp.c_str(), target.c_str()) != 0) {
        if (!previous.empty())
            fsys::unlink(previous.c_str());
        return fail(Acad::eFileSystemErr);
    }
    tempFile.name = nullptr;
    if (fsys::dirFsync(dir.get()) != 0) {
        rollBack(target, previous, dir.get());
        return Acad::eFileSystemErr;
    }
    if (!previous.empty() && (backup ? fsys::rename(previous.c_str(), backupName.c_str())
                                     : fsys::unlink(previous.c_str())) != 0) {
        rollBack(target, previous, dir.get());
        return Acad::eFileSystemErr;
    }

    // The file now at the path is what `file` stands for from here on. Its head is known, so
    // nothing more is asked of the file system once the new file has taken the path.
    // Without memory for that, `file` keeps standing for what it was read from, which saves
    // the same drawing.
    if (!fresh) {
        try {
            DrawingFile saved;
            saved.head = head + "  0" + file->eol + "ENDSEC" + file->eol;
            if (parseHead(-1, static_cast<off_t>(saved.head.size()), saved, false) == Acad::eOk) {
                saved.memTail.clear();
                saved.size = static_cast<off_t>(head.size()) + file->size - file->tailOffset -
                             (previewEnd - previewBegin);
                saved.fd = out.release();
                file->swap(saved);
            }
        } catch (const std::bad_alloc&) {
        }
    }
    return Acad::eOk;
}

} // namespace minihost

// Reading a DXF drawing: its head is parsed and held in memory; of the rest only the end is
// read, to tell a whole file from a cut one. See docs/drawing-file.md.
#include "minihost/drawing/drawing_file_impl.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "minihost/drawing/dxf/dxf_text.h"
#include "minihost/drawing/file/file_faults.h"

namespace minihost {
namespace dxf {
namespace {

// The text s[0, n) without the blanks at either end, as a view into it.
inline std::string_view trimmedView(const char* s, std::size_t n) {
    std::size_t b = 0;
    while (b < n && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r'))
        ++b;
    while (n > b && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r'))
        --n;
    return std::string_view(s + b, n - b);
}

bool parseCode(std::string_view text, int& code) {
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

// Reads the head of a drawing a chunk at a time, from a file or from memory.
class HeadReader {
  public:
    HeadReader(int fd, off_t size, std::string& head) : mFd(fd), mSize(size), mHead(head) {}

    // The next line starting at `pos`: [pos, stop) without its line end; `next` is where the
    // following line starts. False at the end of the data (`pos` == end); `tooLong` when the
    // head cap is reached first and `ioError` when a read fails.
    [[gnu::always_inline]] bool line(std::size_t pos, std::size_t& stop, std::size_t& next) {
        // Most lines are whole in the head already, with the line end known: found in line.
        const std::size_t nl = mEnd ? findLineEnd(pos, mEnd) : std::string::npos;
        if (nl == std::string::npos)
            return lineReadingMore(pos, stop, next);
        terminated = true;
        stop = nl;
        next = nl + 1;
        if (mEnd == '\n' && stop > pos && mHead[stop - 1] == '\r')
            --stop;
        return true;
    }

    // A group code's line at `pos` in its usual form, read in one pass: blanks, an optional
    // '-', one to six digits, blanks, and the line end, all in the head already. Gives what
    // line() and parseCode give for it; false for any other line, which the caller then reads
    // by line() (the same line: nothing is consumed here).
    [[gnu::always_inline]] bool codeLine(std::size_t pos, int& code, std::size_t& next) {
        const char* p = mHead.data() + pos;
        const char* const end = mHead.data() + mHead.size();
        const char lineEnd = mEnd;
        auto blank = [lineEnd](char c) {
            return c == ' ' || c == '\t' || (c == '\r' && lineEnd == '\n');
        };
        if (!lineEnd)
            return false;
        while (p < end && blank(*p))
            ++p;
        const bool negative = p < end && *p == '-';
        p += negative ? 1 : 0;
        const char* const digits = p;
        int value = 0;
        while (p < end && *p >= '0' && *p <= '9' && p - digits < 6)
            value = value * 10 + (*p++ - '0');
        if (p == digits)
            return false;
        while (p < end && blank(*p))
            ++p;
        if (p == end || *p != lineEnd)
            return false;
        terminated = true;
        code = negative ? -value : value;
        next = static_cast<std::size_t>(p - mHead.data()) + 1;
        return true;
    }

    // The character that ends lines: '\r' when the first line ends with a CR alone, else '\n'
    // (LF, or CRLF with the CR taken off).
    char lineEnd() {
        while (!mEnd) {
            std::size_t at = mHead.find_first_of("\r\n", mScanned);
            if (at != std::string::npos && (mHead[at] == '\n' || at + 1 < mHead.size())) {
                mEnd = mHead[at] == '\r' && mHead[at + 1] != '\n' ? '\r' : '\n';
                break;
            }
            mScanned = at == std::string::npos ? mHead.size() : at;
            if (!more())
                mEnd = at == std::string::npos ? '\n' : '\r';
        }
        return mEnd;
    }

    bool atEnd() const { return static_cast<off_t>(mHead.size()) >= mSize; }
    bool tooLong = false;
    bool ioError = false;
    bool terminated = true; // the last line read had a line end

  private:
    // line() where the head may need more of the file first.
    bool lineReadingMore(std::size_t pos, std::size_t& stop, std::size_t& next) {
        terminated = true;
        const char end = lineEnd();
        for (;;) {
            std::size_t nl = findLineEnd(pos, end);
            if (nl != std::string::npos) {
                stop = nl;
                next = nl + 1;
                if (end == '\n' && stop > pos && mHead[stop - 1] == '\r')
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

    // Where the first `end` at or after `pos` is, or npos. A header's lines are a few bytes
    // long: sixteen bytes compared at once, in line, cost less than a call of memchr.
    [[gnu::always_inline]] std::size_t findLineEnd(std::size_t pos, char end) const {
        const char* data = mHead.data();
        const std::size_t size = mHead.size();
#if defined(__SSE2__)
        const __m128i wanted = _mm_set1_epi8(end);
        for (; pos + 16 <= size; pos += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
            const int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted));
            if (hits != 0)
                return pos + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(hits)));
        }
#endif
        if (pos >= size)
            return std::string::npos;
        const void* at = std::memchr(data + pos, end, size - pos);
        return at ? static_cast<std::size_t>(static_cast<const char*>(at) - data)
                  : std::string::npos;
    }

    bool more() {
        if (mFd < 0 || atEnd())
            return false;
        if (mHead.size() >= kMaxHead) {
            tooLong = true;
            return false;
        }
        // Small reads first: a header is usually 5 to 10 KiB, which one read of 16 KiB holds,
        // and the cost of reading the properties must not grow with the drawing.
        std::size_t chunk =
            std::min<std::size_t>(kReadChunk, std::max<std::size_t>(16384, mHead.size()));
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
    char mEnd = 0;            // 0 until the first line end is seen
    std::size_t mScanned = 0; // where the search for it goes on
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

// True when the last group of the data in [from, size), whose lines end with `end`, is 0/EOF:
// checks only the end.
bool endsWithEof(int fd, const std::string& memTail, off_t from, off_t size, char end) {
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
    std::size_t lineStart = tail.rfind(end, n == 0 ? 0 : n - 1);
    if (lineStart == std::string::npos || trimmed(&tail[lineStart + 1], n - lineStart - 1) != "EOF")
        return false;
    if (lineStart == 0)
        return false;
    std::size_t codeStart = tail.rfind(end, lineStart - 1);
    if (codeStart == std::string::npos)
        return false;
    return trimmed(&tail[codeStart + 1], lineStart - codeStart - 1) == "0";
}

} // namespace

std::string trimmed(const char* s, std::size_t n) {
    return std::string(trimmedView(s, n));
}

namespace {

// Whether a variable's name is `wanted`: most names of the same length differ in the letter
// after the '$', which rules them out without a call of memcmp.
bool isNamed(std::string_view name, std::string_view wanted) {
    return name.size() == wanted.size() && name.size() > 1 && name[1] == wanted[1] &&
           name == wanted;
}

// The names of the variables of the properties, by VarKind, and per name length the kinds
// whose names have that length (a bit each).
struct KindNames {
    static constexpr std::size_t kLongest = 31;
    std::array<std::string_view, kBuiltInCount + 2> names;
    std::array<unsigned, kLongest + 1> byLength{};

    KindNames() {
        for (int i = 0; i < kBuiltInCount; ++i)
            names[static_cast<std::size_t>(i)] = kBuiltInNames[i];
        names[kCustomTag] = "$CUSTOMPROPERTYTAG";
        names[kCustomValue] = "$CUSTOMPROPERTY";
        for (std::size_t i = 0; i < names.size(); ++i)
            byLength[names[i].size()] |= 1u << i;
    }
};

// A header variable whose name is head[nameBegin, nameEnd) and whose groups start at `begin`,
// with its kind. A header has hundreds of variables and a read looks at each: a table by
// length rules out most names without reading a byte of them.
Var namedVar(const std::string& head, std::size_t nameBegin, std::size_t nameEnd,
             std::size_t begin) {
    static const KindNames kKinds;
    Var var;
    var.nameBegin = nameBegin;
    var.nameEnd = nameEnd;
    var.begin = begin;
    const std::size_t length = nameEnd - nameBegin;
    unsigned candidates = length <= KindNames::kLongest ? kKinds.byLength[length] : 0;
    for (; candidates != 0; candidates &= candidates - 1) {
        const auto i = static_cast<std::size_t>(__builtin_ctz(candidates));
        if (isNamed(var.name(head), kKinds.names[i])) {
            var.kind = static_cast<int>(i);
            break;
        }
    }
    return var;
}

// The drawing's version and the code page of its text, from its parsed variables.
Acad::ErrorStatus readVersion(DrawingFile& file) {
    auto value = [&](const Var& var) {
        return var.hasValue ? std::string(&file.head[var.valueBegin], var.valueEnd - var.valueBegin)
                            : std::string();
    }; // only for the short variables of the version and code page
    std::string codePage;
    bool versionSeen = !file.version.empty(), codePageSeen = false; // the first of each counts
    for (const Var& var : file.vars) {
        const std::string_view name = var.name(file.head);
        if (!versionSeen && isNamed(name, "$ACADVER")) {
            file.version = trimmed(value(var).data(), value(var).size());
            versionSeen = !file.version.empty();
        } else if (!codePageSeen && isNamed(name, "$DWGCODEPAGE")) {
            codePage = value(var);
            codePageSeen = !codePage.empty();
        }
        if (versionSeen && codePageSeen)
            break; // both lead the header: the hundreds of variables after them need no look
    }
    if (!supportedVersion(file.version))
        return Acad::eUnsupportedVersion;
    if (file.version == "AC1018") {
        file.codePage = codePage.empty() ? codepage::kWestern : codepage::fromDxfName(codePage);
        if (!codepage::isAvailable(file.codePage))
            return Acad::eNotImplementedYet; // its text cannot be read correctly here
    }
    return Acad::eOk;
}

// Each custom property's tag and value variables: a value belongs to the tag just before it, a
// value with none is a property without a tag, and a tag with none one without a value.
void pairCustomVars(DrawingFile& file) {
    bool tagPending = false;
    for (std::size_t j = 0; j < file.vars.size(); ++j) {
        const int kind = file.vars[j].kind;
        if (kind == kCustomTag) {
            file.customVars.emplace_back(static_cast<int>(j), -1);
            tagPending = true;
        } else if (kind == kCustomValue) {
            if (!tagPending)
                file.customVars.emplace_back(-1, -1);
            file.customVars.back().second = static_cast<int>(j);
            tagPending = false;
        } else if (kind != kOther) {
            tagPending = false;
        }
    }
}

// The groups of a head, one at a time: a group is two lines, its code and its value.
class GroupReader {
  public:
    enum Got { kGroup, kEnd, kBadCode };

    GroupReader(HeadReader& reader, std::string& head) : mReader(reader), mHead(head) {}

    Got next() {
        codeBegin = pos;
        std::size_t codeStop, following;
        if (!mReader.codeLine(pos, code, valueBegin)) {
            if (!mReader.line(pos, codeStop, valueBegin) || !mReader.terminated)
                return kEnd; // a line cut short is where a truncated file ends
            if (!parseCode(trimmedView(&mHead[codeBegin], codeStop - codeBegin), code))
                return kBadCode;
        }
        if (!mReader.line(valueBegin, valueStop, following) || !mReader.terminated)
            return kEnd;
        pos = following;
        return kGroup;
    }
    // A view into the head: valid until the next group is read.
    std::string_view value() const {
        return trimmedView(&mHead[valueBegin], valueStop - valueBegin);
    }
    // What a head that ends early is.
    Acad::ErrorStatus endStatus() const {
        if (mReader.ioError)
            return Acad::eFileAccessErr;
        return mReader.tooLong ? Acad::eDwgCorrupt : Acad::eDwgNeedsRecovery;
    }

    std::size_t pos = 0; // where the next group starts
    std::size_t codeBegin = 0, valueBegin = 0, valueStop = 0;
    int code = 0;

  private:
    HeadReader& mReader;
    std::string& mHead;
};

// The first two groups of a DXF drawing: 0 SECTION, 2 HEADER.
Acad::ErrorStatus readHeaderStart(HeadReader& reader, const std::string& head,
                                  GroupReader& groups) {
    std::size_t stop, next;
    reader.line(0, stop, next); // loads the first chunk
    if (reader.ioError)
        return Acad::eFileAccessErr;
    // The binary form of DXF: its title within the first 22 bytes (a search of those alone).
    if (head.size() >= 22 &&
        std::string_view(head.data(), std::min<std::size_t>(head.size(), 31)).find("Binary DXF") <
            22)
        return Acad::eUnsupportedFileFormat;
    if (head.compare(0, 3, "\xEF\xBB\xBF") == 0)
        groups.pos = 3;
    const std::size_t first = groups.pos;
    GroupReader::Got got = groups.next();
    if (got != GroupReader::kGroup || groups.code != 0 || groups.value() != "SECTION") {
        if (reader.ioError)
            return Acad::eFileAccessErr;
        bool cut = got == GroupReader::kEnd && !reader.tooLong;
        return cut && couldBeDrawingStart(head.substr(first)) ? Acad::eDwgNeedsRecovery
                                                              : Acad::eNotADrawing;
    }
    got = groups.next();
    if (got == GroupReader::kEnd)
        return groups.endStatus();
    if (got == GroupReader::kBadCode || groups.code != 2)
        return Acad::eDwgCorrupt;
    if (groups.value() != "HEADER")
        return Acad::eUnsupportedVersion; // a DXF without a header tells no version
    return Acad::eOk;
}

// The header's variables up to its ENDSEC group, into file.vars.
Acad::ErrorStatus readVariables(GroupReader& groups, DrawingFile& file) {
    file.vars.reserve(320); // a header has 250 to 300 variables
    for (;;) {
        GroupReader::Got got = groups.next();
        if (got == GroupReader::kEnd)
            return groups.endStatus();
        if (got == GroupReader::kBadCode)
            return Acad::eDwgCorrupt;
        if (groups.code == 0)
            return groups.value() == "ENDSEC" ? Acad::eOk : Acad::eDwgCorrupt;
        if (groups.code == 9) {
            if (!file.vars.empty())
                file.vars.back().end = groups.codeBegin;
            const std::string_view name = groups.value();
            const std::size_t nameBegin = static_cast<std::size_t>(name.data() - file.head.data());
            file.vars.push_back(
                namedVar(file.head, nameBegin, nameBegin + name.size(), groups.codeBegin));
            continue;
        }
        if (file.vars.empty())
            return Acad::eDwgCorrupt; // a value that belongs to no variable
        Var& var = file.vars.back();
        if (!var.hasValue) {
            var.hasValue = true;
            var.valueBegin = groups.valueBegin;
            var.valueEnd = groups.valueStop;
        }
    }
}

} // namespace

Acad::ErrorStatus parseHead(int fd, off_t size, DrawingFile& file, bool checkEnd) {
    std::string& head = file.head;
    HeadReader reader(fd, size, head);
    GroupReader groups(reader, head);
    Acad::ErrorStatus status = readHeaderStart(reader, head, groups);
    if (status != Acad::eOk)
        return status;
    file.varsBegin = groups.pos;
    if ((status = readVariables(groups, file)) != Acad::eOk)
        return status;
    // The head ends where the header's ENDSEC group starts.
    const std::size_t endsec = groups.codeBegin;
    if (fd < 0)
        file.memTail = head.substr(endsec);
    head.resize(endsec);
    file.tailOffset = static_cast<off_t>(endsec);
    if (!file.vars.empty())
        file.vars.back().end = endsec;
    if (reader.lineEnd() == '\r')
        file.eol = "\r";
    else
        file.eol = head.find("\r\n") == head.find('\n') - 1 ? "\r\n" : "\n";
    if ((status = readVersion(file)) != Acad::eOk)
        return status;
    pairCustomVars(file);

    off_t total = fd >= 0 ? size : file.tailOffset + static_cast<off_t>(file.memTail.size());
    if (checkEnd && !endsWithEof(fd, file.memTail, file.tailOffset, total, reader.lineEnd()))
        return reader.ioError ? Acad::eFileAccessErr : Acad::eDwgNeedsRecovery;
    file.size = total;
    return Acad::eOk;
}

std::wstring variableText(const DrawingFile& file, const Var& var) {
    if (!var.hasValue)
        return {};
    return decodeValue(&file.head[var.valueBegin], var.valueEnd - var.valueBegin, file.codePage);
}

void readBuiltIn(const DrawingFile& file, int field, std::wstring& text) {
    text.clear();
    for (const Var& var : file.vars)
        if (var.kind == field) { // the first one counts
            text = variableText(file, var);
            return;
        }
}

void readBuiltIns(const DrawingFile& file, std::wstring (&texts)[kBuiltInCount]) {
    bool found[kBuiltInCount] = {};
    for (std::wstring& text : texts)
        text.clear();
    for (const Var& var : file.vars)
        if (var.kind >= 0 && var.kind < kBuiltInCount && !found[var.kind]) {
            found[var.kind] = true; // the first one counts
            texts[var.kind] = variableText(file, var);
        }
}

void readCustom(const DrawingFile& file, CustomList& custom) {
    custom.clear();
    auto text = [&file](int j) {
        return j < 0 ? std::wstring() : variableText(file, file.vars[static_cast<std::size_t>(j)]);
    };
    for (const auto& [tag, value] : file.customVars)
        custom.emplace_back(text(tag), text(value));
}

} // namespace dxf
} // namespace minihost

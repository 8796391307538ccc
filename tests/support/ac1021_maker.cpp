#include "tests/support/ac1021_maker.h"

#include <algorithm>
#include <initializer_list>
#include <stdexcept>

namespace ac1021_maker {
namespace {

constexpr std::uint64_t kPagesStart = 0x480;

void put(std::string& s, std::size_t at, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i)
        s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void add(std::string& s, std::uint64_t v, int n = 8) {
    s.append(n, '\0');
    put(s, s.size() - n, v, n);
}

std::uint64_t roundUp(std::uint64_t n, std::uint64_t unit) {
    return (n + unit - 1) / unit * unit;
}

// The bytes in the order the check values visit them.
std::string shuffled(const std::string& data) {
    std::string out;
    std::size_t at = 0;
    for (; data.size() - at >= 8; at += 8)
        for (int i : {6, 7, 4, 5, 2, 3, 0, 1})
            out += data[at + i];
    const std::size_t r = data.size() - at;
    if (r >= 4)
        out += data.substr(at + 2, 2) + data.substr(at, 2) + data.substr(at + 4);
    else
        out += data.substr(at);
    return out;
}

// Bit by bit, not by table: a different road to the same values.
std::uint64_t crcReflected(std::uint64_t crc, const std::string& data) {
    for (unsigned char b : data) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = crc & 1 ? (crc >> 1) ^ 0x95AC9329AC4BC9B5 : crc >> 1;
    }
    return crc;
}

std::uint64_t crcForward(std::uint64_t crc, const std::string& data) {
    for (unsigned char b : data) {
        crc ^= std::uint64_t{b} << 56;
        for (int i = 0; i < 8; ++i)
            crc = crc >> 63 ? (crc << 1) ^ 0x42F0E1EBA9EA3693 : crc << 1;
    }
    return crc;
}

std::uint32_t next(std::uint32_t s) {
    return s * 0x343FDu + 0x269EC3u;
}

std::uint64_t pageCrc(const std::string& data) { // the seed is 0
    const std::uint32_t s = next(static_cast<std::uint32_t>(data.size()));
    const std::uint32_t t = next(s);
    return crcReflected(~(std::uint64_t{s} | std::uint64_t{t} << 32), shuffled(data));
}

std::uint32_t pageChecksum(const std::string& data) {
    const std::uint32_t x = next(static_cast<std::uint32_t>(data.size()));
    std::uint64_t s1 = x & 0xFFFF, s2 = x >> 16;
    for (std::size_t at = 0; at < data.size(); at += 0x15B0) {
        for (unsigned char b : shuffled(data.substr(at, 0x15B0))) {
            s1 += b;
            s2 += s1;
        }
        s1 %= 0xFFF1;
        s2 %= 0xFFF1;
    }
    return static_cast<std::uint32_t>(s2 << 16 | s1);
}

std::string utf16Text(const std::wstring& text) {
    std::string units;
    std::size_t count = 1; // the NUL
    for (wchar_t c : text) {
        auto v = static_cast<std::uint32_t>(c);
        if (v >= 0x10000) {
            add(units, 0xD800 + ((v - 0x10000) >> 10), 2);
            v = 0xDC00 + ((v - 0x10000) & 0x3FF);
            ++count;
        }
        add(units, v, 2);
        ++count;
    }
    std::string out;
    add(out, count, 2);
    add(units, 0, 2);
    return out + units;
}

// Bytes of `data` placed as `words` interleaved code words of `k` data bytes, parity zero,
// padded to `size`.
std::string interleave(const std::string& data, std::uint64_t words, std::uint64_t k,
                       std::uint64_t size) {
    std::string out(size, '\0');
    for (std::size_t at = 0; at < data.size(); ++at)
        out[at / k + (at % k) * words] = data[at];
    return out;
}

std::vector<std::uint64_t> interleavedOffsets(std::uint64_t base, std::uint64_t words,
                                              std::uint64_t k, std::uint64_t from,
                                              std::uint64_t to) {
    std::vector<std::uint64_t> out;
    for (std::uint64_t at = from; at < to; ++at)
        out.push_back(base + at / k + (at % k) * words);
    return out;
}

} // namespace

std::string summarySection(const minihost::SummaryData& data) {
    std::string out;
    for (const std::wstring& text : data.builtIn)
        out += utf16Text(text);
    for (std::uint64_t time : {0x0000000500000002ull, 0x0249F1CB01234567ull, 0x0249F1CC00ABCDEFull})
        add(out, time);
    add(out, data.custom.size(), 2);
    for (const auto& pair : data.custom)
        out += utf16Text(pair.first) + utf16Text(pair.second);
    add(out, 0, 4);
    add(out, 0, 4);
    return out;
}

namespace {

// Where the decoder puts a literal run's input bytes: output byte k is input byte order[k].
std::vector<std::size_t> literalOrder(std::size_t n) {
    static const char* const kPieces[32] = {
        "",     "1",    "2",   "3",    "4",     "41",    "141",  "142",   "8",     "81",    "181",
        "182",  "84",   "841", "1841", "1842",  "88",    "818",  "1881",  "883",   "884",   "8841",
        "8842", "8843", "888", "8818", "88181", "88182", "8884", "88841", "88842", "288841"};
    std::vector<std::size_t> order;
    auto group = [&order](std::size_t start, const std::string& pieces) {
        std::vector<std::size_t> starts;
        for (char c : pieces) {
            starts.push_back(start);
            start += static_cast<std::size_t>(c - '0');
        }
        for (std::size_t i = pieces.size(); i-- > 0;) {
            const std::size_t size = static_cast<std::size_t>(pieces[i] - '0');
            const bool reversed = size == 2 || size == 3;
            for (std::size_t j = 0; j < size; ++j)
                order.push_back(starts[i] + (reversed ? size - 1 - j : j));
        }
    };
    std::size_t base = 0;
    for (; n - base >= 32; base += 32)
        group(base, "8888");
    group(base, kPieces[n - base]);
    return order;
}

std::string literalInput(const std::string& literals) {
    std::string in(literals.size(), '\0');
    const std::vector<std::size_t> order = literalOrder(literals.size());
    for (std::size_t k = 0; k < literals.size(); ++k)
        in[order[k]] = literals[k];
    return in;
}

void literalCount(std::string& out, std::size_t n) { // n >= 8
    if (n < 0x17) {
        out += static_cast<char>(n - 8);
        return;
    }
    out += '\x0F';
    std::size_t rest = n - 0x17;
    if (rest < 0xFF) {
        out += static_cast<char>(rest);
        return;
    }
    out += '\xFF';
    for (rest -= 0xFF; rest >= 0xFFFF; rest -= 0xFFFF)
        add(out, 0xFFFF, 2);
    add(out, rest, 2);
}

struct Token {
    std::size_t from = 0, literals = 0, count = 0, distance = 0;
};

std::vector<Token> tokens(const std::string& data) {
    std::vector<Token> out;
    std::size_t i = 0, from = 0;
    while (i < data.size()) {
        std::size_t best = 0, distance = 0;
        for (std::size_t d = 1; d <= 512 && d <= i; ++d) {
            std::size_t c = 0;
            while (c < 14 && i + c < data.size() && data[i + c] == data[i + c - d])
                ++c;
            if (c > best)
                best = c, distance = d;
        }
        if (best < 3) {
            ++i;
            continue;
        }
        out.push_back({from, i - from, best, distance});
        i += best;
        from = i;
    }
    if (from < data.size() || out.empty())
        out.push_back({from, data.size() - from, 0, 0});
    return out;
}

} // namespace

std::string compress(const std::string& data) {
    const std::vector<Token> list = tokens(data);
    std::string out;
    for (std::size_t k = 0; k < list.size(); ++k) {
        const Token& t = list[k];
        if (k == 0 && t.literals < 8)
            out += std::string("\x20\0\0", 3) + static_cast<char>(t.literals);
        else if (t.literals >= 8)
            literalCount(out, t.literals);
        out += literalInput(data.substr(t.from, t.literals));
        if (t.count == 0)
            break;
        const std::size_t next = k + 1 < list.size() ? list[k + 1].literals : 0;
        const std::size_t tail = next >= 1 && next <= 7 ? next : 0;
        out += static_cast<char>(t.count << 4 | ((t.distance - 1) & 0xF));
        out += static_cast<char>(((t.distance - 1) >> 4) << 3 | tail);
    }
    return out;
}

namespace {

// A system page as stored: its code words and check values.
struct SystemPage {
    std::string bytes;
    std::uint64_t storedSize = 0, size = 0, words = 0, storedCrc = 0, crc = 0;
};

SystemPage systemPage(const std::string& plain, std::uint64_t factor, bool compressed) {
    SystemPage page;
    std::string stored = plain;
    if (compressed && compress(plain).size() < plain.size())
        stored = compress(plain);
    page.storedSize = stored.size();
    page.size = plain.size();
    page.words = (roundUp(stored.size(), 8) * factor + 238) / 239;
    page.bytes = interleave(stored, page.words, 239, roundUp(255 * page.words, 8));
    page.storedCrc = pageCrc(stored);
    page.crc = pageCrc(plain);
    return page;
}

class Builder {
  public:
    explicit Builder(const Options& o, Made& made) : mOptions(o), mMade(made) {}

    void section(const std::string& name, const std::string& data, int pageCount, int encoding,
                 bool compressed, bool summary);
    void gap(std::size_t size) { mRegions.push_back({-1, std::string(size, '\x5A')}); }
    std::string finish();

  private:
    struct Region {
        std::int64_t id;
        std::string bytes;
    };
    std::uint64_t address() const {
        std::uint64_t at = kPagesStart;
        for (const Region& r : mRegions)
            at += r.bytes.size();
        return at;
    }
    std::string page(const std::string& plain, int encoding, bool compressed, bool summary);
    std::string pageMap(std::uint64_t ownSize, std::int64_t ownId) const;
    std::string payload(const SystemPage& pages, std::uint64_t pageMapAt, std::int64_t pageMapId,
                        const SystemPage& sections, std::int64_t sectionMapId, std::uint64_t end,
                        int fill) const;
    std::string header(std::uint64_t end, const SystemPage& pages, std::uint64_t pageMapAt,
                       std::int64_t pageMapId, const SystemPage& sections, std::int64_t smId);

    const Options& mOptions;
    Made& mMade;
    std::vector<Region> mRegions;
    std::string mSectionMap;
    int mSections = 0;
    std::int64_t mNextId = 1;
    std::uint64_t mSummaryAddress = 0;
};

// One data page of `plain`, placed; its entry in the section map.
std::string Builder::page(const std::string& plain, int encoding, bool compressed, bool summary) {
    std::string stored = plain;
    if (compressed && compress(plain).size() < plain.size()) {
        stored = compress(plain);
        mMade.compressedPages += summary;
    }
    const std::uint64_t at = address();
    Region region{mNextId++, stored};
    std::vector<std::uint64_t> covered;
    if (encoding == 4) {
        const std::uint64_t words = std::max<std::uint64_t>(1, (stored.size() + 250) / 251);
        region.bytes = interleave(stored, words, 251, roundUp(255 * words, 8));
        covered = interleavedOffsets(at, words, 251, 0, stored.size());
    } else {
        region.bytes.resize(roundUp(stored.size(), 0x20), '\0');
        for (std::uint64_t i = 0; i < stored.size(); ++i)
            covered.push_back(at + i);
    }
    if (summary) {
        mMade.regions.push_back({"summary page " + std::to_string(region.id), covered});
        mSummaryAddress = mSummaryAddress ? mSummaryAddress : at;
        mMade.summaryPageBytes += region.bytes.size();
    }
    std::string entry;
    add(entry, region.bytes.size());
    add(entry, static_cast<std::uint64_t>(region.id));
    add(entry, plain.size());
    add(entry, stored.size());
    add(entry, pageChecksum(plain));
    add(entry, pageCrc(stored));
    mRegions.push_back(std::move(region));
    return entry;
}

void Builder::section(const std::string& name, const std::string& data, int pageCount, int encoding,
                      bool compressed, bool summary) {
    const std::size_t chunk = (data.size() + pageCount - 1) / pageCount;
    std::string name16;
    for (char c : name + '\0')
        add(name16, static_cast<unsigned char>(c), 2);
    for (std::uint64_t v : {std::uint64_t{data.size()}, std::uint64_t{chunk}, std::uint64_t{0},
                            std::uint64_t{0x5EC7104}, std::uint64_t{name16.size()},
                            std::uint64_t{0}, std::uint64_t(encoding), std::uint64_t(pageCount)})
        add(mSectionMap, v);
    mSectionMap += name16;
    for (int p = 0; p < pageCount; ++p) {
        const std::string plain = data.substr(p * chunk, chunk);
        std::string entry;
        add(entry, p * chunk);
        mSectionMap += entry + page(plain, encoding, compressed, summary);
    }
    ++mSections;
}

std::string Builder::pageMap(std::uint64_t ownSize, std::int64_t ownId) const {
    std::string map;
    for (const Region& r : mRegions) {
        add(map, r.bytes.size());
        add(map, static_cast<std::uint64_t>(r.id));
    }
    add(map, ownSize);
    add(map, static_cast<std::uint64_t>(ownId));
    return map;
}

// The header's payload; `fill` bytes of the fields no reader needs made non-zero, which
// lengthens its compressed form a byte at a time.
std::string Builder::payload(const SystemPage& pages, std::uint64_t pageMapAt,
                             std::int64_t pageMapId, const SystemPage& sections,
                             std::int64_t sectionMapId, std::uint64_t end, int fill) const {
    std::string p(0x110, '\0');
    const std::pair<std::size_t, std::uint64_t> fields[] = {{0x00, 0x70},
                                                            {0x08, end},
                                                            {0x10, pages.storedCrc},
                                                            {0x18, mOptions.factor},
                                                            {0x38, pageMapAt - kPagesStart},
                                                            {0x40, std::uint64_t(pageMapId)},
                                                            {0x48, end - 0x400 - kPagesStart},
                                                            {0x50, pages.storedSize},
                                                            {0x58, pages.size},
                                                            {0x60, mRegions.size() + 1},
                                                            {0x68, std::uint64_t(pageMapId)},
                                                            {0x70, 0x20},
                                                            {0x78, 0x40},
                                                            {0x80, pages.crc},
                                                            {0x88, 0xF800},
                                                            {0x90, 4},
                                                            {0x98, 1},
                                                            {0xA0, std::uint64_t(mSections)},
                                                            {0xA8, sections.crc},
                                                            {0xB0, sections.storedSize},
                                                            {0xC0, std::uint64_t(sectionMapId)},
                                                            {0xC8, sections.size},
                                                            {0xD0, sections.storedCrc},
                                                            {0xD8, mOptions.factor},
                                                            {0xE8, 0x60100}};
    for (const auto& f : fields)
        put(p, f.first, f.second, 8);
    const std::size_t spare[] = {0x20, 0x28, 0x30, 0xB8, 0xE0, 0xF8, 0x100};
    std::uint32_t s = 12345;
    for (int i = 0; i < fill; ++i) {
        s = next(s);
        p[spare[i / 8] + i % 8] = static_cast<char>(1 + (s >> 16) % 255);
    }
    put(p, 0x108, crcForward(0x686A5C74BB328BE4, shuffled(p)), 8);
    return p;
}

// The file header's code words: the payload compressed to one of the lengths whose CRC start
// value is known (or stored, when asked).
std::string Builder::header(std::uint64_t end, const SystemPage& pages, std::uint64_t pageMapAt,
                            std::int64_t pageMapId, const SystemPage& sections, std::int64_t smId) {
    static const std::uint64_t kStarts[] = {0x72182B364D43F885, 0xDA088710F3EAD1F8,
                                            0xF9AF353B747E4113, 0x407FF11758D60560,
                                            0x75621E993B47B3C2};
    std::string h(717, '\0');
    put(h, 0x08, 0x1122334455667788, 8);
    std::string stored;
    for (int fill = 0; fill <= 56 && stored.empty(); ++fill) {
        const std::string p = payload(pages, pageMapAt, pageMapId, sections, smId, end, fill);
        const std::string packed = compress(p);
        if (mOptions.storedPayload) {
            stored = p;
            put(h, 0x18, static_cast<std::uint32_t>(-static_cast<std::int32_t>(p.size())), 4);
        } else if (packed.size() >= 162 && packed.size() <= 166) {
            stored = packed;
            put(h, 0x10, crcForward(kStarts[packed.size() - 162], shuffled(packed)), 8);
            put(h, 0x18, packed.size(), 4);
        }
    }
    if (stored.empty())
        throw std::logic_error("no payload of a length with a known CRC start");
    mMade.payloadLength = stored.size();
    h.replace(0x20, stored.size(), stored);
    const std::uint64_t from = mOptions.storedPayload ? 0x18 : 0x10;
    std::vector<std::uint64_t> covered = interleavedOffsets(0x80, 3, 239, from, 0x1C);
    for (std::uint64_t at : interleavedOffsets(0x80, 3, 239, 0x20, 0x20 + stored.size()))
        covered.push_back(at);
    mMade.regions.push_back({"file header", covered});
    return interleave(h, 3, 239, 0x400);
}

std::string Builder::finish() {
    const std::uint64_t sectionMapAt = address();
    const std::int64_t sectionMapId = mNextId++;
    const SystemPage sections = systemPage(mSectionMap, mOptions.factor, mOptions.compressMaps);
    mRegions.push_back({sectionMapId, sections.bytes});
    const std::uint64_t pageMapAt = address();
    const std::int64_t pageMapId = mNextId++;
    std::uint64_t size = 0;
    SystemPage pages = systemPage(pageMap(size, pageMapId), mOptions.factor, mOptions.compressMaps);
    while (pages.bytes.size() > size) {
        size = pages.bytes.size();
        pages = systemPage(pageMap(size, pageMapId), mOptions.factor, mOptions.compressMaps);
    }
    pages.bytes.resize(size, '\0');
    mMade.regions.push_back({"section map", interleavedOffsets(sectionMapAt, sections.words, 239, 0,
                                                               sections.storedSize)});
    mMade.regions.push_back(
        {"page map", interleavedOffsets(pageMapAt, pages.words, 239, 0, pages.storedSize)});
    const std::uint64_t end = pageMapAt + size + 0x400;

    std::string file(0x80, '\0');
    file.replace(0, 6, "AC1021");
    put(file, 0x13, 30, 2);
    put(file, 0x20, mMade.summaryAddress = mSummaryAddress, 4);
    put(file, 0x28, 0x80, 4);
    file += header(end, pages, pageMapAt, pageMapId, sections, sectionMapId);
    for (const Region& r : mRegions)
        file += r.bytes;
    file += pages.bytes;
    return file + file.substr(0x80, 0x400);
}

// Filler bytes that do not repeat much.
std::string filler(std::size_t n, std::uint32_t seed) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i)
        out += static_cast<char>((seed = next(seed)) >> 16);
    return out;
}

} // namespace

Made make(const std::string& summary, const Options& options) {
    Made made;
    Builder b(options, made);
    b.section("AcDb:Preview", filler(700, 7), 2, 4, false, false);
    b.gap(0x40);
    if (options.summaryPages > 0)
        b.section("AcDb:SummaryInfo", summary, options.summaryPages, options.encoding,
                  options.compressed, true);
    b.section("AcDb:AppInfo", filler(300, 9) + std::string(200, '\0'), 1, 1, true, false);
    made.file = b.finish();
    return made;
}

} // namespace ac1021_maker

#include "tests/support/ac1015_maker.h"

#include <cstring>

namespace ac1015_maker {
namespace {

using minihost::dwg::BitWriter;

constexpr std::uint64_t kDictionary = 0x0C, kRecord = 0x1F;
const char kFileHeaderEnd[] = "\x95\xA0\x4E\x28\x99\x82\x1A\xE5\x5E\x41\xE0\x5F\x9D\x3A\x4D\x00";
const char kHeaderStart[] = "\xCF\x7B\x1F\x23\xFD\xDE\x38\xA9\x5F\x7C\x68\xB8\x4E\x6D\x33\x5F";
const char kHeaderEnd[] = "\x30\x84\xE0\xDC\x02\x21\xC7\x56\xA0\x83\x97\x47\xB1\x92\xCC\xA0";
const char kClassesStart[] = "\x8D\xA1\xC4\xB8\xC4\xA9\xF8\xC5\xC0\xDC\xF4\x5F\xE7\xCF\xB6\x8A";
const char kClassesEnd[] = "\x72\x5E\x3B\x47\x3B\x56\x07\x3A\x3F\x23\x0B\xA0\x18\x30\x49\x75";

std::uint16_t crc16(const std::string& data, std::size_t begin = 0) {
    std::uint16_t c = 0xC0C1;
    for (std::size_t i = begin; i < data.size(); ++i) {
        c ^= static_cast<std::uint8_t>(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? static_cast<std::uint16_t>((c >> 1) ^ 0xA001) : c >> 1;
    }
    return c;
}

void le(std::string& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string sentinel(const char* bytes) {
    return std::string(bytes, 16);
}

bool isText(std::uint16_t code) {
    return (code <= 9 && code != 5) || (code >= 300 && code <= 309); // 5: a handle
}

// Every variable of the AC1014 and AC1012 list to the named-object dictionary, and the five
// handles and four numbers after it: a letter for the code, then how many. Values are chosen
// so that every code has its own length: a code read as another moves everything after it.
// D BD, T TV, L BL, S BS, H handle, B bit, M TIMEBLL, P 3BD, R 2RD, C RC, N the dictionary.
const char kVariables[] = "D4 T4 L2 S1 H1 B26 S12 S19 D21 T1 M4 S1 H6 P3 R2 D1 P3 H1 P3 R2 D1 P3 "
                          "H1 B11 C2 B2 C3 B1 C4 S6 H1 D17 T5 S3 H10 H2 N1 H5 S4";

// Writes variable number `n` of `code`; values vary with `n`, so that a walk out of step does
// not fall back into step.
void writeVariable(BitWriter& w, char code, unsigned n) {
    const std::uint8_t low = static_cast<std::uint8_t>(n * 37 + 11);
    switch (code) {
    case 'D':
    case 'P':
        for (int i = code == 'P' ? 3 : 1; i > 0; --i) {
            w.bits(0, 2);
            for (int byte : {int{low}, 0, 0, 0, 0, 0, 0x04, 0x40}) // about 2.5
                w.rc(static_cast<std::uint8_t>(byte));
        }
        break;
    case 'T':
        w.tv(std::string(n % 3 + 1, 'a') + '\0');
        break;
    case 'L':
    case 'M':
        for (int i = code == 'M' ? 2 : 1; i > 0; --i)
            writeBL(w, 70000 + n);
        break;
    case 'S':
        w.bs(static_cast<std::uint16_t>(n % 200 + 3));
        break;
    case 'H':
        writeH(w, 5, 0x100 + n);
        break;
    case 'B':
        w.b(n & 1);
        break;
    case 'R':
        for (int i = 0; i < 16; ++i)
            w.rc(static_cast<std::uint8_t>(low + i));
        break;
    case 'C':
        w.rc(low);
        break;
    case 'N':
        writeH(w, 3, kDictionary);
        break;
    }
}

std::string headerVariables() {
    BitWriter w;
    unsigned n = 0;
    for (const char* p = kVariables; *p;) {
        const char code = *p++;
        const int count = static_cast<int>(std::strtol(p, const_cast<char**>(&p), 10));
        for (int i = 0; i < count; ++i)
            writeVariable(w, code, n++);
        while (*p == ' ')
            ++p;
    }
    return w.bytes();
}

// A section framed by its sentinels, its size and a CRC of both.
std::string framed(const char* start, const std::string& data, const char* end) {
    std::string out = sentinel(start);
    le(out, data.size(), 4);
    out += data;
    le(out, crc16(out, 16), 2);
    return out + sentinel(end);
}

std::string classes(std::uint16_t recordClass) {
    BitWriter w;
    auto add = [&](std::uint16_t number, const char* name) {
        w.bs(number);
        w.bs(0);
        w.tv(std::string("ObjectDBX Classes") + '\0');
        w.tv(std::string("AcDbThing") + '\0');
        w.tv(std::string(name) + '\0');
        w.b(0);
        w.bs(0x1F3);
    };
    add(500, "ACDBDICTIONARYWDFLT");
    add(recordClass, "XRECORD");
    return w.bytes();
}

std::string record(std::uint16_t type, const std::vector<Item>& items) {
    const std::string bytes = itemBytes(items);
    std::uint32_t handleStream = 0; // measured first, as in dictionary()
    for (int pass = 0;; ++pass) {
        BitWriter w;
        w.bs(type);
        writeH(w, 0, kRecord);
        w.bs(0); // no extended data
        writeRL(w, handleStream);
        writeBL(w, 0);
        writeBL(w, static_cast<std::uint32_t>(bytes.size()));
        for (char c : bytes)
            w.rc(static_cast<std::uint8_t>(c));
        if (pass == 0) {
            handleStream = static_cast<std::uint32_t>(w.size());
            continue;
        }
        writeH(w, 4, kDictionary);
        writeH(w, 3, 0);
        return w.bytes();
    }
}

// An object as stored: its size, its data, a CRC of both.
std::string stored(const std::string& data) {
    std::string out;
    le(out, data.size(), 2);
    out += data;
    le(out, crc16(out), 2);
    return out;
}

// A modular character; `negative` makes it signed, with the sign in the last byte's 0x40.
void modularChar(std::string& out, std::uint64_t v, bool isSigned, bool negative = false) {
    for (; v >= (isSigned ? 0x40u : 0x80u); v >>= 7)
        out += static_cast<char>(0x80 | (v & 0x7F));
    out += static_cast<char>(v | (negative ? 0x40 : 0));
}

// The object map: one block of the two objects, then the empty block that ends it.
std::string objectMap(std::uint64_t dictionaryAt, std::uint64_t recordAt) {
    std::string pairs;
    modularChar(pairs, kDictionary, false);
    modularChar(pairs, dictionaryAt, true);
    modularChar(pairs, kRecord - kDictionary, false);
    const bool back = recordAt < dictionaryAt;
    modularChar(pairs, back ? dictionaryAt - recordAt : recordAt - dictionaryAt, true, back);
    std::string out;
    for (const std::string& block : {pairs, std::string()}) {
        const std::size_t n = block.size() + 2;
        std::string b{static_cast<char>(n >> 8), static_cast<char>(n & 0xFF)};
        b += block;
        const std::uint16_t crc = crc16(b);
        out += b + static_cast<char>(crc >> 8) + static_cast<char>(crc & 0xFF);
    }
    return out;
}

} // namespace

void writeBL(BitWriter& w, std::uint32_t v) {
    if (v == 0) {
        w.bits(2, 2);
    } else if (v < 256) {
        w.bits(1, 2);
        w.rc(static_cast<std::uint8_t>(v));
    } else {
        w.bits(0, 2);
        writeRL(w, v);
    }
}

void writeRL(BitWriter& w, std::uint32_t v) {
    w.rs(static_cast<std::uint16_t>(v));
    w.rs(static_cast<std::uint16_t>(v >> 16));
}

void writeH(BitWriter& w, unsigned code, std::uint64_t value) {
    unsigned n = 0;
    while (n < 8 && (value >> (8 * n)) != 0)
        ++n;
    w.rc(static_cast<std::uint8_t>(code << 4 | n));
    for (unsigned i = n; i > 0; --i)
        w.rc(static_cast<std::uint8_t>(value >> (8 * (i - 1))));
}

std::string dictionary(bool ac1015, std::uint16_t type, bool ownerByte,
                       const std::vector<std::string>& names,
                       const std::vector<std::pair<unsigned, std::uint64_t>>& refs) {
    BitWriter body;
    writeBL(body, static_cast<std::uint32_t>(names.size()));
    if (ac1015)
        body.bs(0);
    if (ownerByte)
        body.rc(1);
    for (const std::string& name : names)
        body.tv(name);
    // The fields before the names have the same length whatever the handle stream's start.
    std::uint32_t handleStream = 0;
    for (int pass = 0;; ++pass) {
        BitWriter w;
        w.bs(type);
        if (ac1015)
            writeRL(w, handleStream);
        writeH(w, 0, kDictionary);
        w.bs(3); // extended data: 3 bytes of an application's
        writeH(w, 5, 0x12);
        for (std::uint8_t byte : {1, 2, 3})
            w.rc(byte);
        w.bs(0);
        if (!ac1015)
            writeRL(w, handleStream);
        writeBL(w, 1); // a reactor
        w.copy(reinterpret_cast<const std::uint8_t*>(body.bytes().data()), body.bytes().size(), 0,
               body.size());
        if (pass == 0) {
            handleStream = static_cast<std::uint32_t>(w.size());
            continue;
        }
        writeH(w, 4, kDictionary); // owner, reactor, extension dictionary
        writeH(w, 4, 0x01);
        writeH(w, 3, 0);
        for (auto [code, value] : refs)
            writeH(w, code, value);
        return w.bytes();
    }
}

std::string itemBytes(const std::vector<Item>& items) {
    std::string bytes;
    for (const auto& [code, value] : items) {
        le(bytes, code, 2);
        if (isText(code)) {
            le(bytes, value.size(), 2);
            bytes += '\x1E';
        }
        bytes += value;
    }
    return bytes;
}

std::vector<Item> recordItems(const std::vector<std::string>& texts,
                              const std::vector<std::string>& custom) {
    static const std::uint16_t kCodes[] = {2, 3, 4, 7, 6, 8, 9}; // by the stand-in's field order
    std::vector<Item> items = {{1, "DWGPROPS COOKIE"}};
    for (std::uint16_t code : {2, 3, 4, 6, 7, 8, 9})
        for (int field = 0; field < 7; ++field)
            if (kCodes[field] == code)
                items.emplace_back(code, texts.at(field));
    for (std::uint16_t slot = 0; slot < 10; ++slot)
        items.emplace_back(300 + slot, slot < custom.size() ? custom[slot] : "=");
    for (std::uint16_t code : {40, 41, 42})
        items.emplace_back(code, std::string("\0\0\0\0\0\x40\x8F\x40", 8)); // 1000.0
    items.emplace_back(1, texts.at(7));
    items.emplace_back(90, std::string(4, '\0'));
    return items;
}

std::string make(const std::vector<Item>& items, const Options& options) {
    const std::string header = framed(kHeaderStart, headerVariables(), kHeaderEnd);
    const std::string classList = framed(kClassesStart, classes(options.recordClass), kClassesEnd);
    std::vector<std::string> names = {"ACAD_GROUP"};
    std::vector<std::pair<unsigned, std::uint64_t>> refs = {{2, 0x0D}};
    if (options.listed) {
        names.push_back("DWGPROPS");
        refs.emplace_back(2, kRecord);
    }
    // The record before the dictionary, as often in real files: the map's address goes back.
    const std::string recordObject = stored(record(options.recordType, items));
    const std::string dictionaryObject =
        stored(dictionary(false, 42, options.ownerByte, names, refs));
    const std::uint64_t headerAt = 0x19 + 5 * 9 + 2 + 16;
    const std::uint64_t classesAt = headerAt + header.size();
    const std::uint64_t recordAt = classesAt + classList.size();
    const std::uint64_t dictionaryAt = recordAt + recordObject.size();
    const std::uint64_t mapAt = dictionaryAt + dictionaryObject.size();
    const std::string map = objectMap(dictionaryAt, recordAt);

    std::string file = options.version + std::string(0x13 - 6, '\0');
    le(file, options.codePage, 2);
    le(file, 5, 4);
    const std::uint64_t locators[5][2] = {{headerAt, header.size()},
                                          {classesAt, classList.size()},
                                          {mapAt, map.size()},
                                          {0, 0},
                                          {mapAt + map.size(), 0}};
    for (int i = 0; i < 5; ++i) {
        file += static_cast<char>(i);
        le(file, locators[i][0], 4);
        le(file, locators[i][1], 4);
    }
    le(file, crc16(file), 2);
    return file + sentinel(kFileHeaderEnd) + header + classList + recordObject + dictionaryObject +
           map;
}

} // namespace ac1015_maker

#include "minihost/drawing/code_page.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <iconv.h>
#include <memory>
#include <unordered_map>

#include "minihost/runtime/text/utf8.h"

namespace minihost {
namespace codepage {
namespace {

// iconv's name for a Windows code page; empty when there is none.
std::string iconvName(int codePage) {
    if (codePage == 20127)
        return "ASCII";
    if (codePage > 28590 && codePage <= 28606)
        return "ISO-8859-" + std::to_string(codePage - 28590);
    if (codePage == 10000)
        return "MACINTOSH";
    if (codePage == 874)
        return "WINDOWS-874"; // iconv's CP874 is the IBM one, without the Windows additions
    if ((codePage >= 437 && codePage <= 1258) || codePage == 1361)
        return "CP" + std::to_string(codePage);
    return std::string();
}

// An iconv conversion descriptor, closed with it.
class Converter {
  public:
    Converter(const std::string& to, const std::string& from)
        : mCd(to.empty() || from.empty() ? kNone : iconv_open(to.c_str(), from.c_str())) {}
    ~Converter() {
        if (ok())
            iconv_close(mCd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return mCd != kNone; }

    // Converts bytes[0, n) onward from `at`, appending to `out`, up to the end or the first
    // bytes it cannot convert. Returns how far it came; `error` is the errno that stopped it.
    std::size_t run(const char* bytes, std::size_t n, std::size_t at, std::string& out,
                    int& error) {
        char buffer[1024];
        char* in = const_cast<char*>(bytes + at);
        std::size_t left = n - at;
        error = 0;
        while (left > 0) {
            char* put = buffer;
            std::size_t room = sizeof buffer;
            std::size_t got = iconv(mCd, &in, &left, &put, &room);
            out.append(buffer, static_cast<std::size_t>(put - buffer));
            if (got == static_cast<std::size_t>(-1) && errno != E2BIG) {
                error = errno;
                break;
            }
        }
        char* put = buffer;
        std::size_t room = sizeof buffer;
        iconv(mCd, nullptr, nullptr, &put, &room); // ends a shift state, resets the descriptor
        out.append(buffer, static_cast<std::size_t>(put - buffer));
        return n - left;
    }

  private:
    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1));
    iconv_t mCd;
};

// Puts back what the system's converter reads differently from the Windows code page the
// drawing names, in UTF-8 text it decoded: its Johab (1361) reads the byte 0x5C as the won
// sign, where Windows reads a backslash (and escapes start with it).
void asWindowsReads(int codePage, std::string& utf8) {
    if (codePage != 1361)
        return;
    static const std::string kWon = "\xE2\x82\xA9";
    for (std::size_t at = utf8.find(kWon); at != std::string::npos; at = utf8.find(kWon, at))
        utf8.replace(at, kWon.size(), "\\");
}

// The bytes of single characters in one code page, each converted once and checked by
// converting it back: a conversion that maps a character onto a look-alike would otherwise
// change the text.
class CharacterBytes {
  public:
    explicit CharacterBytes(int codePage)
        : mCodePage(codePage), mTo(iconvName(codePage), "UTF-8"),
          mBack("UTF-8", iconvName(codePage)), mComposes(codePage == 1255 || codePage == 1258) {}
    bool ok() const { return mTo.ok() && mBack.ok(); }

    // The bytes of `c`, a Unicode scalar value; empty when the code page lacks it.
    const std::string& of(char32_t c) {
        auto found = mKnown.find(c);
        if (found != mKnown.end())
            return found->second;
        std::string utf8, bytes, again;
        appendUtf8(utf8, c);
        int error = 0;
        const bool converted =
            mTo.run(utf8.data(), utf8.size(), 0, bytes, error) == utf8.size() &&
            mBack.run(bytes.data(), bytes.size(), 0, again, error) == bytes.size();
        asWindowsReads(mCodePage, again);
        if (!converted || again != utf8)
            bytes.clear();
        return mKnown.emplace(c, std::move(bytes)).first->second;
    }

    // Whether `bytes`, the character `c`, still read as `c` after the byte `before`. The
    // decoders of code pages 1255 and 1258 (both single-byte) join a letter and the combining
    // mark after it into one character, even a hex digit that ends an escape.
    bool readApartAfter(char before, const std::string& bytes, char32_t c) {
        if (!mComposes)
            return true;
        const std::uint64_t key =
            static_cast<std::uint64_t>(static_cast<unsigned char>(before)) << 32 | c;
        auto found = mApart.find(key);
        if (found != mApart.end())
            return found->second;
        std::string apart, joined;
        int error = 0;
        mBack.run(&before, 1, 0, apart, error);
        appendUtf8(apart, c);
        const std::string both = before + bytes;
        mBack.run(both.data(), both.size(), 0, joined, error);
        return mApart.emplace(key, joined == apart).first->second;
    }

  private:
    int mCodePage;
    Converter mTo, mBack;
    bool mComposes;
    std::unordered_map<char32_t, std::string> mKnown;
    std::unordered_map<std::uint64_t, bool> mApart;
};

} // namespace

int fromDxfName(const std::string& name) {
    std::string n;
    for (char c : name)
        if (c != ' ' && c != '\t')
            n += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto number = [&](std::size_t from) {
        if (from >= n.size() || n.size() - from > 5)
            return kUnknown;
        int value = 0;
        for (std::size_t i = from; i < n.size(); ++i) {
            if (n[i] < '0' || n[i] > '9')
                return kUnknown;
            value = value * 10 + (n[i] - '0');
        }
        return value;
    };
    if (n.rfind("ANSI_", 0) == 0)
        return number(5);
    if (n.rfind("DOS", 0) == 0)
        return number(3);
    if (n.rfind("ISO8859-", 0) == 0) {
        int part = number(8);
        return part >= 1 && part <= 16 ? 28590 + part : kUnknown;
    }
    static const std::pair<const char*, int> kNamed[] = {
        {"ASCII", 20127}, {"MACINTOSH", 10000}, {"BIG5", 950},   {"GB2312", 936},
        {"KSC5601", 949}, {"JOHAB", 1361},      {"UTF8", kUtf8}, {"UTF-8", kUtf8}};
    for (const auto& named : kNamed)
        if (n == named.first)
            return named.second;
    return kUnknown;
}

bool isAvailable(int codePage) {
    if (codePage == kUtf8)
        return true;
    // What the system converts does not change while the process runs; a read asks each time.
    thread_local std::unordered_map<int, bool> known;
    auto found = known.find(codePage);
    if (found != known.end())
        return found->second;
    const std::string name = iconvName(codePage);
    const bool available = Converter("UTF-8", name).ok() && Converter(name, "UTF-8").ok();
    known.emplace(codePage, available);
    return available;
}

namespace {
// The converter from `codePage` to UTF-8, opened once per thread and code page: a read decodes
// each of a drawing's texts, and opening a converter costs more than most texts' conversion.
// Each run leaves it reset. Null when the system has none.
Converter* decoderFrom(int codePage) {
    thread_local std::unordered_map<int, std::unique_ptr<Converter>> open;
    std::unique_ptr<Converter>& converter = open[codePage];
    if (!converter)
        converter = std::make_unique<Converter>("UTF-8", iconvName(codePage));
    return converter->ok() ? converter.get() : nullptr;
}
} // namespace

Status decode(int codePage, const char* bytes, std::size_t n, std::wstring& out) {
    if (codePage == kUtf8) {
        out += decodeUtf8(reinterpret_cast<const unsigned char*>(bytes), n);
        return Status::kOk;
    }
    Converter* decoder = decoderFrom(codePage);
    if (!decoder)
        return Status::kUnavailable;
    Converter& toUtf8 = *decoder;
    std::string utf8;
    for (std::size_t at = 0; at < n;) {
        int error = 0;
        at = toUtf8.run(bytes, n, at, utf8, error);
        if (at < n) { // no character starts here, or the last one is cut short
            appendUtf8(utf8, 0xFFFD);
            ++at;
        }
    }
    asWindowsReads(codePage, utf8);
    out += decodeUtf8(utf8);
    return Status::kOk;
}

Status encode(int codePage, const wchar_t* text, std::size_t n, std::string& out, Escape escape,
              MustEscape must) {
    if (codePage == kUtf8) {
        for (std::size_t i = 0; i < n;) {
            const char32_t c = nextCodePoint(text, n, i);
            if (isScalarValue(c) && !(must && must(c, text, n, i)))
                appendUtf8(out, c);
            else if (escape)
                escape(out, c);
            else
                return Status::kUnencodable;
        }
        return Status::kOk;
    }
    CharacterBytes characters(codePage);
    if (!characters.ok())
        return Status::kUnavailable;
    for (std::size_t i = 0; i < n;) {
        const char32_t c = nextCodePoint(text, n, i);
        const std::string* bytes =
            isScalarValue(c) && !(must && must(c, text, n, i)) ? &characters.of(c) : nullptr;
        if (bytes && !bytes->empty() &&
            (out.empty() || characters.readApartAfter(out.back(), *bytes, c))) {
            out += *bytes;
            continue;
        }
        if (!escape)
            return Status::kUnencodable;
        escape(out, c);
    }
    return Status::kOk;
}

} // namespace codepage
} // namespace minihost

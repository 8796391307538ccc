#include "minihost/drawing/dwg/ac1015/ac1015_record.h"

#include "minihost/drawing/dwg/dwg_bytes.h"

namespace minihost {
namespace dwg {
namespace ac1015 {
namespace {

const char kCookie[] = "DWGPROPS COOKIE";

enum class Value { kText, kShortText, kFixed, kUnknown };

bool within(unsigned code, unsigned low, unsigned high) {
    return code >= low && code <= high;
}

// What follows group code `code`; for kFixed, `size` gets its byte count.
Value valueOf(unsigned code, std::size_t& size) {
    if (within(code, 0, 4) || within(code, 6, 9) || within(code, 100, 102) ||
        within(code, 300, 309) || within(code, 410, 419) || within(code, 430, 439) ||
        within(code, 470, 479) || code == 999 || within(code, 1000, 1003) ||
        within(code, 1005, 1009))
        return Value::kText;
    if (within(code, 310, 319) || code == 1004)
        return Value::kShortText;
    struct Range {
        unsigned low, high;
        std::size_t size;
    };
    static const Range kFixed[] = {{10, 37, 24},  {110, 139, 24},  {210, 239, 24}, {1010, 1039, 24},
                                   {38, 59, 8},   {140, 149, 8},   {460, 469, 8},  {1040, 1042, 8},
                                   {60, 79, 2},   {170, 179, 2},   {270, 279, 2},  {370, 389, 2},
                                   {400, 409, 2}, {1070, 1070, 2}, {90, 99, 4},    {420, 429, 4},
                                   {440, 459, 4}, {1071, 1071, 4}, {160, 169, 8},  {280, 299, 1},
                                   {5, 5, 8},     {105, 105, 8},   {320, 369, 8},  {390, 399, 8}};
    for (const Range& r : kFixed)
        if (within(code, r.low, r.high)) {
            size = r.size;
            return Value::kFixed;
        }
    return Value::kUnknown;
}

// Parses the items of `data`; texts go to `texts`.
bool parseItems(const std::string& data, std::vector<TextItem>& texts) {
    const std::uint8_t* p = bytes(data);
    const std::size_t n = data.size();
    for (std::size_t at = 0; at < n;) {
        if (n - at < 2)
            return false;
        const unsigned code = get16(p + at);
        at += 2;
        std::size_t size = 0;
        const Value value = valueOf(code, size);
        if (value == Value::kUnknown)
            return false;
        std::size_t skip = 0; // the bytes before the value: its length, its code page
        if (value == Value::kText) {
            if (n - at < 3)
                return false;
            size = get16(p + at);
            skip = 3;
        } else if (value == Value::kShortText) {
            if (n - at < 1)
                return false;
            size = p[at];
            skip = 1;
        }
        if (n - at - skip < size)
            return false;
        if (value == Value::kText)
            texts.push_back(
                TextItem{static_cast<std::uint16_t>(code), data.substr(at + skip, size)});
        at += skip + size;
    }
    return true;
}

} // namespace

Acad::ErrorStatus readItems(BitReader& in, std::uint32_t m, std::vector<TextItem>& texts) {
    texts.clear();
    if (m > in.left() / 8)
        return Acad::eDwgCorrupt;
    std::string data(m, '\0');
    for (char& c : data)
        c = static_cast<char>(in.rc());
    if (!in.ok() || !parseItems(data, texts)) {
        texts.clear();
        return Acad::eDwgCorrupt;
    }
    return Acad::eOk;
}

void propertiesFromItems(const std::vector<TextItem>& texts, const TextForm& form,
                         SummaryData& out) {
    if (texts.empty() || texts[0].code != 1 || texts[0].bytes != kCookie)
        return;
    bool sawHyperlinkBase = false;
    for (std::size_t i = 1; i < texts.size(); ++i) {
        const TextItem& t = texts[i];
        std::wstring text = decodeText(bytes(t.bytes), t.bytes.size(), form);
        // Comments come before Keywords here, the other way round from the summary section.
        switch (t.code) {
        case 1:
            if (!sawHyperlinkBase)
                out.builtIn[kHyperlinkBase] = std::move(text);
            sawHyperlinkBase = true;
            continue;
        case 2:
            out.builtIn[kTitle] = std::move(text);
            continue;
        case 3:
            out.builtIn[kSubject] = std::move(text);
            continue;
        case 4:
            out.builtIn[kAuthor] = std::move(text);
            continue;
        case 6:
            out.builtIn[kComments] = std::move(text);
            continue;
        case 7:
            out.builtIn[kKeywords] = std::move(text);
            continue;
        case 8:
            out.builtIn[kLastSavedBy] = std::move(text);
            continue;
        case 9:
            out.builtIn[kRevisionNumber] = std::move(text);
            continue;
        default:
            break;
        }
        // A custom slot holds "name=value"; an unused one "=".
        if (t.code < 300 || t.code > 309 || text.empty() || text == L"=")
            continue;
        const std::size_t eq = text.find(L'=');
        if (eq == std::wstring::npos)
            out.custom.emplace_back(std::move(text), std::wstring());
        else
            out.custom.emplace_back(text.substr(0, eq), text.substr(eq + 1));
    }
}

} // namespace ac1015
} // namespace dwg
} // namespace minihost

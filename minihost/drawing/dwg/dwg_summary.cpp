#include "minihost/drawing/dwg/dwg_summary.h"

#include "minihost/drawing/dwg/dwg_bytes.h"
#include "minihost/drawing/code_page.h"

namespace minihost {
namespace dwg {
namespace {

constexpr std::size_t kTimesSize = 24;

class Parser {
  public:
    Parser(const std::string& bytes, const TextForm& form) : mBytes(bytes), mForm(form) {}

    // A counted text; `raw` gets its stored bytes.
    bool text(std::wstring& value, std::string* raw = nullptr) {
        std::size_t begin = mPos;
        std::uint16_t count;
        if (!u16(count))
            return false;
        std::size_t unit = mForm.wide ? 2 : 1;
        if (count * unit > mBytes.size() - mPos)
            return false;
        const std::uint8_t* data = bytes(mBytes) + mPos;
        std::size_t units = count;
        while (units > 0 && (unit == 1 ? data[units - 1] == 0 : get16(data + 2 * (units - 1)) == 0))
            --units; // the NUL the count includes, and any padding NULs before it
        value = decodeText(data, units, mForm);
        mPos += count * unit;
        if (raw)
            raw->assign(mBytes, begin, mPos - begin);
        return true;
    }

    bool u16(std::uint16_t& value) {
        if (mBytes.size() - mPos < 2)
            return false;
        value = get16(bytes(mBytes) + mPos);
        mPos += 2;
        return true;
    }

    bool take(std::size_t n, std::string& out) {
        if (mBytes.size() - mPos < n)
            return false;
        out.assign(mBytes, mPos, n);
        mPos += n;
        return true;
    }

    std::size_t pos() const { return mPos; }

  private:
    const std::string& mBytes;
    const TextForm& mForm;
    std::size_t mPos = 0;
};

// A text as stored: its count (NUL included), its units and the NUL.
bool appendText(std::string& out, const std::wstring& text, const TextForm& form) {
    std::string units;
    if (!encodeText(text, form, units))
        return false;
    std::size_t unit = form.wide ? 2 : 1;
    std::size_t count = units.size() / unit + 1;
    if (count > 0xFFFF)
        return false;
    add16(out, static_cast<std::uint16_t>(count));
    out += units;
    out.append(unit, '\0');
    return true;
}

} // namespace

Acad::ErrorStatus parseSummary(const std::string& bytes, const TextForm& form, SummaryRecord& out) {
    SummaryRecord record;
    Parser parser(bytes, form);
    for (int i = 0; i < kBuiltInCount; ++i)
        if (!parser.text(record.data.builtIn[i], &record.rawBuiltIn[i]))
            return Acad::eDwgCorrupt;
    if (!parser.take(kTimesSize, record.times))
        return Acad::eDwgCorrupt;
    std::size_t customBegin = parser.pos();
    std::uint16_t count;
    if (!parser.u16(count))
        return Acad::eDwgCorrupt;
    for (unsigned i = 0; i < count; ++i) {
        std::wstring key, value;
        if (!parser.text(key) || !parser.text(value))
            return Acad::eDwgCorrupt;
        record.data.custom.emplace_back(std::move(key), std::move(value));
    }
    record.rawCustom.assign(bytes, customBegin, parser.pos() - customBegin);
    record.trailing.assign(bytes, parser.pos(), std::string::npos);
    out = std::move(record);
    return Acad::eOk;
}

Acad::ErrorStatus buildSummary(const SummaryRecord& old, const SummaryData& data,
                               const TextForm& form, std::string& out) {
    out.clear();
    bool changed = data.custom != old.data.custom;
    for (int i = 0; i < kBuiltInCount; ++i)
        changed = changed || data.builtIn[i] != old.data.builtIn[i];
    if (changed && !form.wide && (!form.knownPage || !codepage::isAvailable(form.codePage)))
        return Acad::eNotImplementedYet; // no converter for the drawing's code page
    for (int i = 0; i < kBuiltInCount; ++i) {
        if (data.builtIn[i] == old.data.builtIn[i] && !old.rawBuiltIn[i].empty())
            out += old.rawBuiltIn[i];
        else if (!appendText(out, data.builtIn[i], form))
            return Acad::eInvalidInput;
    }
    out += old.times;
    out.resize(out.size() + kTimesSize - old.times.size(), '\0');
    if (data.custom == old.data.custom && !old.rawCustom.empty()) {
        out += old.rawCustom;
    } else {
        if (data.custom.size() > 0xFFFF)
            return Acad::eInvalidInput;
        add16(out, static_cast<std::uint16_t>(data.custom.size()));
        for (const auto& pair : data.custom)
            if (!appendText(out, pair.first, form) || !appendText(out, pair.second, form))
                return Acad::eInvalidInput;
    }
    // A drawing without a summary section gets the two zero words that end one.
    out += old.times.empty() ? std::string(8, '\0') : old.trailing;
    return Acad::eOk;
}

} // namespace dwg
} // namespace minihost

#include "chain_text.h"

#include <sstream>

namespace testing_support {

std::string utf8(const std::wstring& text) {
    std::string out;
    for (wchar_t wc : text) {
        auto c = static_cast<char32_t>(wc);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring wide(const std::string& s) {
    std::wstring out;
    for (std::size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
        char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k <= extra && i + k < s.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out += static_cast<wchar_t>(c);
        i += 1 + extra;
    }
    return out;
}

std::string chainText(const resbuf* chain) {
    std::ostringstream out;
    int depth = 0;
    bool first = true;
    for (const resbuf* rb = chain; rb; rb = rb->rbnext) {
        if (rb->restype == RTLE) {
            out << ')';
            if (--depth < 0)
                return out.str() + " <bad chain>";
            first = false;
            continue;
        }
        if (!first)
            out << ' ';
        first = false;
        switch (rb->restype) {
        case RTLB:
            out << '(';
            ++depth;
            first = true;
            break;
        case RTSTR:
            out << '"' << utf8(rb->resval.rstring ? rb->resval.rstring : L"<null>") << '"';
            break;
        case RTT:
            out << 'T';
            break;
        case RTNIL:
            out << "nil";
            break;
        case RTSHORT:
            out << rb->resval.rint;
            break;
        case RTLONG:
            out << rb->resval.rlong;
            break;
        case RTREAL:
            out << rb->resval.rreal;
            break;
        case RTDOTE:
            out << '.';
            break;
        default:
            out << "<type " << rb->restype << '>';
        }
    }
    if (depth != 0)
        out << " <bad chain>";
    return out.str();
}

int chainLength(const resbuf* chain) {
    int n = 0;
    for (; chain; chain = chain->rbnext)
        ++n;
    return n;
}

} // namespace testing_support

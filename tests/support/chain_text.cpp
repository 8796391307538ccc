#include "tests/support/chain_text.h"

#include <sstream>

#include "minihost/runtime/text/utf8.h"

namespace testing_support {

std::string utf8(const std::wstring& text) {
    return minihost::encodeUtf8(text);
}

std::wstring wide(const std::string& utf8Text) {
    return minihost::decodeUtf8(utf8Text);
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

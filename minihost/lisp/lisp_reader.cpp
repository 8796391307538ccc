#include "minihost/lisp/lisp_reader.h"

#include <cerrno>
#include <climits>
#include <cwchar>

namespace minihost::lisp {
namespace {

bool isBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f' || c == L'\v';
}

bool isDelimiter(wchar_t c) {
    return isBlank(c) || c == L'(' || c == L')' || c == L'\'' || c == L'"' || c == L';';
}

bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// Whether `token` is written as a number: [+-] digits [. digits] [e [+-] digits], with at
// least one digit before the exponent. `integral` tells whether it has no point or exponent.
bool isNumber(const std::wstring& token, bool& integral) {
    std::size_t i = 0;
    if (i < token.size() && (token[i] == L'+' || token[i] == L'-'))
        ++i;
    std::size_t digits = 0;
    while (i < token.size() && isDigit(token[i]))
        ++i, ++digits;
    integral = true;
    if (i < token.size() && token[i] == L'.') {
        integral = false;
        ++i;
        while (i < token.size() && isDigit(token[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < token.size() && (token[i] == L'e' || token[i] == L'E')) {
        integral = false;
        ++i;
        if (i < token.size() && (token[i] == L'+' || token[i] == L'-'))
            ++i;
        std::size_t exponentDigits = 0;
        while (i < token.size() && isDigit(token[i]))
            ++i, ++exponentDigits;
        if (exponentDigits == 0)
            return false;
    }
    return i == token.size();
}

} // namespace

Reader::Result Reader::next() {
    std::size_t resume = mAt;
    if (!skipBlanks()) {
        mFormStart = resume;
        mAt = resume;
        return {Status::Incomplete, nullptr};
    }
    mFormStart = mAt;
    if (mAt == mText.size())
        return {Status::End, nullptr};
    try {
        ValuePtr form = readForm(1);
        return {Status::Form, form};
    } catch (const Incomplete&) {
        mAt = mFormStart;
        return {Status::Incomplete, nullptr};
    }
}

bool Reader::skipBlanks() {
    while (mAt < mText.size()) {
        wchar_t c = mText[mAt];
        if (isBlank(c)) {
            ++mAt;
        } else if (c == L';') {
            if (mAt + 1 < mText.size() && mText[mAt + 1] == L'|') {
                std::size_t close = mText.find(L"|;", mAt + 2);
                if (close == std::wstring::npos)
                    return false;
                mAt = close + 2;
            } else {
                std::size_t eol = mText.find(L'\n', mAt);
                mAt = eol == std::wstring::npos ? mText.size() : eol + 1;
            }
        } else {
            break;
        }
    }
    return true;
}

ValuePtr Reader::readForm(int depth) {
    if (depth > kMaxDepth)
        throw LispError("lists nested too deeply on input (more than " + std::to_string(kMaxDepth) +
                        " levels)");
    if (!skipBlanks() || mAt == mText.size())
        throw Incomplete{};
    wchar_t c = mText[mAt];
    switch (c) {
    case L'(':
        ++mAt;
        return readList(depth);
    case L')':
        ++mAt;
        throw LispError("extra right paren on input");
    case L'\'': {
        ++mAt;
        ValuePtr quoted = readForm(depth + 1);
        return list({symbol(L"QUOTE"), quoted});
    }
    case L'"':
        ++mAt;
        return readString();
    default:
        return readAtom();
    }
}

ValuePtr Reader::readList(int depth) {
    std::vector<ValuePtr> items;
    for (;;) {
        if (!skipBlanks() || mAt == mText.size())
            throw Incomplete{};
        wchar_t c = mText[mAt];
        if (c == L')') {
            ++mAt;
            return list(std::move(items));
        }
        bool dot = c == L'.' && (mAt + 1 == mText.size() || isDelimiter(mText[mAt + 1]));
        if (!dot) {
            items.push_back(readForm(depth + 1));
            continue;
        }
        if (mAt + 1 == mText.size())
            throw Incomplete{};
        ++mAt;
        if (items.empty())
            throw LispError("misplaced dot on input");
        ValuePtr tail = readForm(depth + 1);
        if (!skipBlanks() || mAt == mText.size())
            throw Incomplete{};
        if (mText[mAt] != L')') {
            ++mAt;
            throw LispError("malformed dotted pair on input");
        }
        ++mAt;
        return list(std::move(items), tail);
    }
}

ValuePtr Reader::readString() {
    std::wstring text;
    // Room for the plain run up to the closing quote or the first escape: a long string is
    // then held once, without the slack of growing.
    std::size_t plain = mText.find_first_of(L"\"\\", mAt);
    if (plain != std::wstring::npos)
        text.reserve(plain - mAt);
    for (;;) {
        if (mAt == mText.size())
            throw Incomplete{};
        wchar_t c = mText[mAt++];
        if (c == L'"')
            return string(std::move(text));
        if (c != L'\\') {
            text += c;
            continue;
        }
        if (mAt == mText.size())
            throw Incomplete{};
        wchar_t e = mText[mAt++];
        switch (e) {
        case L'n':
            text += L'\n';
            break;
        case L't':
            text += L'\t';
            break;
        case L'r':
            text += L'\r';
            break;
        case L'e':
            text += L'\x1B';
            break;
        default:
            if (e >= L'0' && e <= L'7') {
                unsigned code = e - L'0';
                for (int k = 0;
                     k < 2 && mAt < mText.size() && mText[mAt] >= L'0' && mText[mAt] <= L'7'; ++k)
                    code = code * 8 + (mText[mAt++] - L'0');
                text += static_cast<wchar_t>(code);
            } else {
                text += e; // \" \\ and any other character stand for themselves
            }
        }
    }
}

ValuePtr Reader::readAtom() {
    std::size_t start = mAt;
    while (mAt < mText.size() && !isDelimiter(mText[mAt]))
        ++mAt;
    std::wstring token = mText.substr(start, mAt - start);
    // A dot alone is only the dot of a dotted pair: as a symbol it could not be printed back.
    if (token == L".")
        throw LispError("misplaced dot on input");
    bool integral = false;
    if (isNumber(token, integral)) {
        if (integral) {
            errno = 0;
            long long n = std::wcstoll(token.c_str(), nullptr, 10);
            if (errno == 0 && n >= INT32_MIN && n <= INT32_MAX)
                return integer(static_cast<std::int32_t>(n));
        }
        // Integers beyond 32 bits become reals, as in the host.
        return real(std::wcstod(token.c_str(), nullptr));
    }
    ValuePtr name = symbol(token);
    if (name->text == L"NIL")
        return nil();
    if (name->text == L"T")
        return t();
    return name;
}

} // namespace minihost::lisp

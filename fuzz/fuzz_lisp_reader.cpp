// Fuzz target: the minihost program's LISP reader on arbitrary UTF-8 text.
//
// Every form read must print and read back to a form that prints the same (printing is what the
// program shows a user, reading is what it accepts), and malformed text must give LispError or
// an incomplete status, never anything else.
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>

#include "minihost/lisp/lisp_printer.h"
#include "minihost/lisp/lisp_reader.h"

using minihost::lisp::LispError;
using minihost::lisp::Reader;

namespace {

[[noreturn]] void fail(const char* what, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", what, text.c_str());
    std::abort();
}

// Reads the single form in `text`, or nullptr.
minihost::lisp::ValuePtr readOne(const std::wstring& text) {
    Reader reader(text);
    Reader::Result result = reader.next();
    if (result.status != Reader::Status::Form)
        return nullptr;
    if (reader.next().status != Reader::Status::End)
        return nullptr;
    return result.form;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text =
        minihost::lisp::fromUtf8(std::string(reinterpret_cast<const char*>(data), size));
    Reader reader(text);
    for (int forms = 0; forms < 10000; ++forms) {
        Reader::Result result{Reader::Status::End, nullptr};
        try {
            result = reader.next();
        } catch (const LispError&) {
            continue; // the reader stands after the offending character
        }
        if (reader.position() > text.size() || reader.formStart() > reader.position())
            fail("reader position out of range", minihost::lisp::utf8(text));
        if (result.status != Reader::Status::Form)
            break;
        if (!result.form)
            fail("a form status without a form", minihost::lisp::utf8(text));
        const std::string printed = minihost::lisp::prin1Text(result.form);
        minihost::lisp::ValuePtr again;
        try {
            again = readOne(minihost::lisp::fromUtf8(printed));
        } catch (const LispError& e) {
            fail(("printed form does not read back: " + std::string(e.what())).c_str(), printed);
        }
        if (!again)
            fail("printed form is not one form", printed);
        if (minihost::lisp::prin1Text(again) != printed)
            fail("printed form reads back as another", printed);
    }
    return 0;
}

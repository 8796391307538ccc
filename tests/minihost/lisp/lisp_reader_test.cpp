// The LISP reader and printer: what text reads as, how values print, and how malformed or
// hostile text is refused without a crash.
#include <gtest/gtest.h>

#include <string>

#include "minihost/lisp/lisp_printer.h"
#include "minihost/lisp/lisp_reader.h"

namespace {

using namespace minihost::lisp;

// The forms of `utf8Text`, each printed with prin1, separated by " | ".
std::string readAll(const std::string& utf8Text) {
    Reader reader(fromUtf8(utf8Text));
    std::string out;
    for (;;) {
        Reader::Result r = reader.next();
        if (r.status == Reader::Status::End)
            return out;
        if (r.status == Reader::Status::Incomplete)
            return out + (out.empty() ? "" : " | ") + "<incomplete>";
        out += (out.empty() ? "" : " | ") + prin1Text(r.form);
    }
}

std::string readError(const std::string& utf8Text) {
    try {
        readAll(utf8Text);
    } catch (const LispError& error) {
        return error.what();
    }
    return "no error";
}

TEST(LispReader, AtomsReadAsTheHostReadsThem) {
    EXPECT_EQ(readAll("42 -7 +3 2147483647 -2147483648"), "42 | -7 | 3 | 2147483647 | -2147483648");
    // Integers beyond 32 bits become reals.
    EXPECT_EQ(readAll("2147483648 99999999999"), "2.14748e+09 | 1.0e+11");
    EXPECT_EQ(readAll("1.5 .25 -2. 1e3 2.5E-3"), "1.5 | 0.25 | -2.0 | 1000.0 | 0.0025");
    EXPECT_EQ(readAll("t T nil NIL Nil"), "T | T | nil | nil | nil");
    EXPECT_EQ(readAll("getSumLeaf 1+ a.b - 1e e5 12x"),
              "GETSUMLEAF | 1+ | A.B | - | 1E | E5 | 12X");
}

TEST(LispReader, StringsTakeTheirEscapesAndPrintThemBack) {
    EXPECT_EQ(readAll(R"("a\"b\\c\nd\te")"), R"("a\"b\\c\nd\te")");
    Reader reader(fromUtf8(R"("q\"\\\n\t\r\e\101\x")"));
    EXPECT_EQ(reader.next().form->text, L"q\"\\\n\t\r\x1B"
                                        L"Ax");
    EXPECT_EQ(readAll("\"\x01\x7F\""), R"("\001\177")");
    EXPECT_EQ(readAll("\"multi\nline\""), R"("multi\nline")");
}

TEST(LispReader, NonAsciiTextRoundTripsAsUtf8) {
    std::string text = "\"Gr\xC3\xBC\xC3\x9F"
                       "e \xE2\x82\xAC \xF0\x9F\x93\x90\"";
    EXPECT_EQ(readAll(text), text);
    Reader reader(fromUtf8(text));
    EXPECT_EQ(reader.next().form->text, L"Gr\u00FC\u00DFe \u20AC \U0001F4D0");
    // Bytes that are not UTF-8 read as U+FFFD each, never as a crash.
    EXPECT_EQ(fromUtf8("a\xFF\xC3"), L"a\uFFFD\uFFFD");
    EXPECT_EQ(fromUtf8("\xC0\xAF"), L"\uFFFD\uFFFD");           // an overlong '/'
    EXPECT_EQ(fromUtf8("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD"); // a surrogate
    EXPECT_EQ(utf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
}

TEST(LispReader, ListsQuotesDottedPairsAndComments) {
    EXPECT_EQ(readAll("(a (b \"c\") () nil)"), R"((A (B "c") nil nil))");
    EXPECT_EQ(readAll("'x '(1 2)"), "(QUOTE X) | (QUOTE (1 2))");
    EXPECT_EQ(readAll("(\"k\" . \"v\") (1 2 . 3) (1 . (2 3)) (1 . nil)"),
              R"(("k" . "v") | (1 2 . 3) | (1 2 3) | (1))");
    EXPECT_EQ(readAll("(1 .5) (a.b)"), "(1 0.5) | (A.B)");
    EXPECT_EQ(readAll("; a comment\n1 ;| a block\n comment |; 2 ; end"), "1 | 2");
    EXPECT_EQ(readAll("(a;comment)\nb)"), "(A B)");
}

TEST(LispReader, TextEndingInsideAFormIsIncompleteAndCanBeResumed) {
    EXPECT_EQ(readAll("1 (a (b"), "1 | <incomplete>");
    EXPECT_EQ(readAll("\"open string"), "<incomplete>");
    EXPECT_EQ(readAll("\"ends in escape\\"), "<incomplete>");
    EXPECT_EQ(readAll("'"), "<incomplete>");
    EXPECT_EQ(readAll("(1 ."), "<incomplete>");
    EXPECT_EQ(readAll(";| open block"), "<incomplete>");
    Reader reader(L"(car '(1 2)) (list 3");
    EXPECT_EQ(reader.next().status, Reader::Status::Form);
    EXPECT_EQ(reader.next().status, Reader::Status::Incomplete);
    EXPECT_EQ(reader.formStart(), 13u);
}

TEST(LispReader, MalformedTextIsAnError) {
    EXPECT_EQ(readError(")"), "extra right paren on input");
    EXPECT_EQ(readError("(1 2))"), "extra right paren on input");
    EXPECT_EQ(readError("( . 1)"), "misplaced dot on input");
    EXPECT_EQ(readError("(1 . 2 3)"), "malformed dotted pair on input");
    // Outside a list's tail a lone dot is no symbol: (quote .) would not read back.
    EXPECT_EQ(readError("'."), "misplaced dot on input");
    EXPECT_EQ(readError("'.(1)"), "misplaced dot on input");
    EXPECT_EQ(readError("1 ."), "misplaced dot on input");
    EXPECT_EQ(readError("(1 '. 2)"), "misplaced dot on input");
    EXPECT_EQ(readAll(".5 .x"), "0.5 | .X");
}

TEST(LispReader, DeepNestingIsRefusedNotAStackOverflow) {
    std::string deep(100000, '(');
    EXPECT_NE(readError(deep + "1").find("nested too deeply"), std::string::npos);
    std::string quotes(100000, '\'');
    EXPECT_NE(readError(quotes + "x").find("nested too deeply"), std::string::npos);
    std::string fine = std::string(kMaxDepth - 1, '(') + std::string(kMaxDepth - 1, ')');
    EXPECT_EQ(readError(fine), "no error");
}

TEST(LispPrinter, RealsPrintWithSixSignificantDigitsAndAlwaysAPoint) {
    EXPECT_EQ(realText(1.0), "1.0");
    EXPECT_EQ(realText(3.14159265), "3.14159");
    EXPECT_EQ(realText(-0.5), "-0.5");
    EXPECT_EQ(realText(1e20), "1.0e+20");
    EXPECT_EQ(realText(1.5e-7), "1.5e-07");
    EXPECT_EQ(realText(123456789.0), "1.23457e+08");
}

TEST(LispPrinter, PrincShowsPlainTextAndPrin1QuotedText) {
    ValuePtr v = list({string(L"a\"b"), integer(1), list({string(L"\u00E9")}, string(L"t"))});
    EXPECT_EQ(prin1Text(v), "(\"a\\\"b\" 1 (\"\xC3\xA9\" . \"t\"))");
    EXPECT_EQ(princText(v), "(a\"b 1 (\xC3\xA9 . t))");
    EXPECT_EQ(prin1Text(symbol(L"abc")), "ABC");
}

TEST(LispValues, ListsNormaliseAndRefuseToNestTooDeeply) {
    EXPECT_EQ(list({})->kind, Kind::Nil);
    EXPECT_EQ(prin1Text(list({integer(1)}, list({integer(2)}))), "(1 2)");
    EXPECT_EQ(prin1Text(cdr(list({integer(1)}, integer(2)))), "2");
    EXPECT_EQ(prin1Text(cdr(list({integer(1), integer(2)}, integer(3)))), "(2 . 3)");
    EXPECT_THROW(car(integer(1)), LispError);
    ValuePtr v = nil();
    for (int i = 0; i < kMaxDepth; ++i)
        v = list({v});
    EXPECT_THROW(list({v}), LispError);
    EXPECT_TRUE(equal(list({integer(1), string(L"x")}), list({real(1.0), string(L"x")})));
    EXPECT_FALSE(equal(list({string(L"x")}), list({string(L"X")})));
    EXPECT_FALSE(equal(list({integer(1)}, integer(2)), list({integer(1), integer(2)})));
}

} // namespace

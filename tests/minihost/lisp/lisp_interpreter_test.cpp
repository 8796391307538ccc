// The evaluator and its builtins, driven directly: values, output, errors and their messages.
#include <gtest/gtest.h>

#include <sstream>

#include "minihost/lisp/lisp_interpreter.h"
#include "minihost/lisp/lisp_printer.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace minihost::lisp;

class LispInterpreterTest : public ::testing::Test {
  protected:
    // The value of `text`, printed with prin1; or "error: <message>".
    std::string eval(const std::string& text) {
        try {
            return prin1Text(in.evalText(fromUtf8(text)));
        } catch (const LispError& error) {
            return std::string("error: ") + error.what();
        }
    }

    std::ostringstream out;
    std::ostringstream err;
    Interpreter in{out, err};
};

TEST_F(LispInterpreterTest, AtomsEvaluateToThemselvesAndSymbolsToTheirValues) {
    EXPECT_EQ(eval("1 2.5 \"s\" T nil"), "nil");
    EXPECT_EQ(eval("\"s\""), "\"s\"");
    EXPECT_EQ(eval("undefined-variable"), "nil");
    EXPECT_EQ(eval("(setq a 1 b \"two\")"), "\"two\"");
    EXPECT_EQ(eval("(list a B)"), "(1 \"two\")");
    EXPECT_EQ(eval("'(a b)"), "(A B)");
    EXPECT_EQ(eval("(quote (a . b))"), "(A . B)");
}

TEST_F(LispInterpreterTest, ListBuiltins) {
    eval("(setq props '((\"Title\" \"Plan\") (\"Author\" \"Ann\") (\"Author\" \"Bob\")))");
    EXPECT_EQ(eval("(car props)"), "(\"Title\" \"Plan\")");
    EXPECT_EQ(eval("(cdr '(1))"), "nil");
    EXPECT_EQ(eval("(cadr (cadr props))"), "\"Ann\"");
    EXPECT_EQ(eval("(car nil)"), "nil");
    EXPECT_EQ(eval("(nth 2 props)"), "(\"Author\" \"Bob\")");
    EXPECT_EQ(eval("(nth 3 props)"), "nil");
    EXPECT_EQ(eval("(assoc \"Author\" props)"), "(\"Author\" \"Ann\")");
    EXPECT_EQ(eval("(assoc \"author\" props)"), "nil");
    EXPECT_EQ(eval("(assoc 'b '(1 (a . 1) (b . 2)))"), "(B . 2)");
    EXPECT_EQ(eval("(cdr '(a . b))"), "B");
}

TEST_F(LispInterpreterTest, ControlAndLogic) {
    EXPECT_EQ(eval("(if nil 1 2)"), "2");
    EXPECT_EQ(eval("(if 0 1 2)"), "1");
    EXPECT_EQ(eval("(if nil 1)"), "nil");
    EXPECT_EQ(eval("(progn (setq x 1) (setq x (list x x)))"), "(1 1)");
    EXPECT_EQ(eval("(not nil)"), "T");
    EXPECT_EQ(eval("(null '(1))"), "nil");
    EXPECT_EQ(eval("(equal '(1 (\"a\")) (list 1 (list \"a\")))"), "T");
    EXPECT_EQ(eval("(equal \"a\" \"A\")"), "nil");
    EXPECT_EQ(eval("(strcat \"Gr\xC3\xBC\" \"n\" \"\")"), "\"Gr\xC3\xBCn\"");
    EXPECT_EQ(eval("(strcat)"), "\"\"");
    // Only the chosen branch is evaluated.
    EXPECT_EQ(eval("(if T (setq y 1) (setq y 2)) y"), "1");
}

TEST_F(LispInterpreterTest, ForeachBindsItsVariableOnlyForTheLoop) {
    EXPECT_EQ(eval("(setq e \"outer\" n 0)"), "0");
    EXPECT_EQ(eval("(foreach e '(1 2 3) (setq n (list n e)) e)"), "3");
    EXPECT_EQ(eval("n"), "(((0 1) 2) 3)");
    EXPECT_EQ(eval("e"), "\"outer\"");
    EXPECT_EQ(eval("(foreach e nil (setq n 0))"), "nil");
    // Also when the body fails.
    EXPECT_EQ(eval("(foreach e '(1) (car e))"), "error: bad argument type: consp 1");
    EXPECT_EQ(eval("e"), "\"outer\"");
    EXPECT_EQ(eval("(foreach fresh '(1) fresh) fresh"), "nil");
}

TEST_F(LispInterpreterTest, OutputBuiltinsPrintAsTheHostPrints) {
    eval("(princ \"a\\\"b\") (prin1 \"a\\\"b\") (terpri) (print '(1 \"x\")) (princ 2.0)");
    EXPECT_EQ(out.str(), "a\"b\"a\\\"b\"\n\n(1 \"x\") 2.0");
    EXPECT_EQ(eval("(princ '(\"x\" 1))"), "(\"x\" 1)");
}

TEST_F(LispInterpreterTest, ResultsPrintOnLinesOfTheirOwnAndQuietResultsNotAtAll) {
    in.printResult(in.evalText(L"(princ \"partial\")"));
    in.printResult(in.evalText(L"(princ)"));
    in.printResult(in.evalText(L"'(\"\u00E4\" 1.5)"));
    EXPECT_EQ(out.str(), "partial\n\"partial\"\n(\"\xC3\xA4\" 1.5)\n");
    in.write("open line");
    in.reportError("something failed");
    EXPECT_EQ(err.str(), "; error: something failed\n");
    EXPECT_EQ(out.str().substr(out.str().size() - 10), "open line\n");
}

TEST_F(LispInterpreterTest, ErrorsNameWhatWentWrong) {
    EXPECT_EQ(eval("(nosuchfunction 1)"), "error: no function definition: NOSUCHFUNCTION");
    EXPECT_EQ(eval("(1 2)"), "error: bad function: 1");
    EXPECT_EQ(eval("(car 1)"), "error: bad argument type: consp 1");
    EXPECT_EQ(eval("(car)"), "error: too few arguments");
    EXPECT_EQ(eval("(car '(1) '(2))"), "error: too many arguments");
    EXPECT_EQ(eval("(strcat \"a\" 1)"), "error: bad argument type: stringp 1");
    EXPECT_EQ(eval("(setq 1 2)"), "error: bad argument type: symbolp 1");
    EXPECT_EQ(eval("(setq t 2)"), "error: bad argument type: symbolp T");
    EXPECT_EQ(eval("(setq a)"), "error: too few arguments");
    EXPECT_EQ(eval("(nth -1 '(1))"), "error: bad argument type: fixnump -1");
    EXPECT_EQ(eval("(nth 0 \"s\")"), "error: bad argument type: listp \"s\"");
    EXPECT_EQ(eval("(foreach e)"), "error: too few arguments");
    EXPECT_EQ(eval("(foreach 1 '(1) 1)"), "error: bad argument type: symbolp 1");
    EXPECT_EQ(eval("(list 1"), "error: malformed list on input");
    EXPECT_EQ(eval("(list 1))"), "error: extra right paren on input");
    // The arguments of an unknown function are not evaluated.
    EXPECT_EQ(eval("(nosuch (setq z 1)) "), "error: no function definition: NOSUCH");
    EXPECT_EQ(eval("z"), "nil");
}

TEST_F(LispInterpreterTest, DeepEvaluationIsRefusedNotAStackOverflow) {
    // Whatever the reader accepts can be evaluated.
    std::string deep;
    for (int i = 0; i < kMaxDepth - 1; ++i)
        deep += "(progn ";
    deep += "1" + std::string(kMaxDepth - 1, ')');
    EXPECT_EQ(eval(deep), "1");
    // Lists built up in a loop hit the same limit.
    eval("(setq x nil)");
    std::string loop = "(setq items '(";
    for (int i = 0; i < kMaxDepth + 10; ++i)
        loop += "1 ";
    loop += "))";
    eval(loop);
    EXPECT_NE(eval("(foreach i items (setq x (list x)))").find("nested too deeply"),
              std::string::npos);
}

TEST_F(LispInterpreterTest, LoadEvaluatesAFileAndGivesItsLastValue) {
    testing_support::TempDir dir;
    testing_support::writeFile(dir / "lib.lsp", "; a library\n(setq loaded 1)\n(princ \"in\")\n"
                                                "(list loaded 2)\n");
    std::string path = (dir / "lib").string();
    EXPECT_EQ(eval("(load \"" + path + ".lsp\")"), "(1 2)");
    EXPECT_EQ(eval("(load \"" + path + "\")"), "(1 2)"); // ".lsp" is added when needed
    EXPECT_EQ(out.str(), "inin");
    EXPECT_EQ(eval("(load \"" + path + "-missing\")"),
              "error: LOAD failed: \"" + path + "-missing\"");
    testing_support::writeFile(dir / "bad.lsp", "(setq before 1)\n(setq x (\n");
    EXPECT_EQ(eval("(load \"" + (dir / "bad.lsp").string() + "\")"),
              "error: malformed list on input");
    // A file that loads itself stops at the nesting limit.
    testing_support::writeFile(dir / "self.lsp", "(load \"" + (dir / "self.lsp").string() + "\")");
    EXPECT_NE(eval("(load \"" + (dir / "self.lsp").string() + "\")").find("nested too deeply"),
              std::string::npos);
}

} // namespace

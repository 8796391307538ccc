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

    // Evaluates each case's text in turn (later cases see what earlier ones set) and
    // compares its printed value or error.
    struct Case {
        std::string text;
        std::string expected;
    };
    void expectAll(const std::vector<Case>& cases) {
        for (const Case& c : cases)
            EXPECT_EQ(eval(c.text), c.expected) << "for " << c.text;
    }

    std::ostringstream out;
    std::ostringstream err;
    Interpreter in{out, err};
};

TEST_F(LispInterpreterTest, AtomsEvaluateToThemselvesAndSymbolsToTheirValues) {
    expectAll({
        {"1 2.5 \"s\" T nil", "nil"},
        {"\"s\"", "\"s\""},
        {"undefined-variable", "nil"},
        {"(setq a 1 b \"two\")", "\"two\""},
        {"(list a B)", "(1 \"two\")"},
        {"'(a b)", "(A B)"},
        {"(quote (a . b))", "(A . B)"},
    });
}

TEST_F(LispInterpreterTest, ListBuiltins) {
    eval("(setq props '((\"Title\" \"Plan\") (\"Author\" \"Ann\") (\"Author\" \"Bob\")))");
    expectAll({
        {"(car props)", "(\"Title\" \"Plan\")"},
        {"(cdr '(1))", "nil"},
        {"(cadr (cadr props))", "\"Ann\""},
        {"(car nil)", "nil"},
        {"(nth 2 props)", "(\"Author\" \"Bob\")"},
        {"(nth 3 props)", "nil"},
        {"(assoc \"Author\" props)", "(\"Author\" \"Ann\")"},
        {"(assoc \"author\" props)", "nil"},
        {"(assoc 'b '(1 (a . 1) (b . 2)))", "(B . 2)"},
        {"(cdr '(a . b))", "B"},
    });
}

TEST_F(LispInterpreterTest, ControlAndLogic) {
    expectAll({
        {"(if nil 1 2)", "2"},
        {"(if 0 1 2)", "1"},
        {"(if nil 1)", "nil"},
        {"(progn (setq x 1) (setq x (list x x)))", "(1 1)"},
        {"(not nil)", "T"},
        {"(null '(1))", "nil"},
        {"(equal '(1 (\"a\")) (list 1 (list \"a\")))", "T"},
        {"(equal \"a\" \"A\")", "nil"},
        {"(strcat \"Gr\xC3\xBC\" \"n\" \"\")", "\"Gr\xC3\xBCn\""},
        {"(strcat)", "\"\""},
        // Only the chosen branch is evaluated.
        {"(if T (setq y 1) (setq y 2)) y", "1"},
    });
}

TEST_F(LispInterpreterTest, ForeachBindsItsVariableOnlyForTheLoop) {
    expectAll({
        {"(setq e \"outer\" n 0)", "0"},
        {"(foreach e '(1 2 3) (setq n (list n e)) e)", "3"},
        {"n", "(((0 1) 2) 3)"},
        {"e", "\"outer\""},
        {"(foreach e nil (setq n 0))", "nil"},
        // Also when the body fails.
        {"(foreach e '(1) (car e))", "error: bad argument type: consp 1"},
        {"e", "\"outer\""},
        {"(foreach fresh '(1) fresh) fresh", "nil"},
    });
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
    expectAll({
        {"(nosuchfunction 1)", "error: no function definition: NOSUCHFUNCTION"},
        {"(1 2)", "error: bad function: 1"},
        {"(car 1)", "error: bad argument type: consp 1"},
        {"(car)", "error: too few arguments"},
        {"(car '(1) '(2))", "error: too many arguments"},
        {"(strcat \"a\" 1)", "error: bad argument type: stringp 1"},
        {"(setq 1 2)", "error: bad argument type: symbolp 1"},
        {"(setq t 2)", "error: bad argument type: symbolp T"},
        {"(setq a)", "error: too few arguments"},
        {"(nth -1 '(1))", "error: bad argument type: fixnump -1"},
        {"(nth 0 \"s\")", "error: bad argument type: listp \"s\""},
        {"(foreach e)", "error: too few arguments"},
        {"(foreach 1 '(1) 1)", "error: bad argument type: symbolp 1"},
        {"(list 1", "error: malformed list on input"},
        {"(list 1))", "error: extra right paren on input"},
        // The arguments of an unknown function are not evaluated.
        {"(nosuch (setq z 1)) ", "error: no function definition: NOSUCH"},
        {"z", "nil"},
    });
}

TEST_F(LispInterpreterTest, AnErrorInTheErrorHandlerIsToldOnceAndNotHandledAgain) {
    eval("(defun *error* (m) (princ (strcat \"handler: \" m \"\\n\")) (car 1))");
    eval("(defun f () (car 2))");
    try {
        in.evalText(L"(f)");
    } catch (const LispError& error) {
        in.reportError(error.what());
    }
    EXPECT_EQ(out.str(), "handler: bad argument type: consp 2\n");
    EXPECT_EQ(err.str(), "; error: bad argument type: consp 1\n");
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
    // So does a function that calls itself without end.
    EXPECT_EQ(eval("(defun f (n) (f (1+ n))) (f 0)"),
              "error: evaluation nested too deeply (more than " + std::to_string(kMaxEvalDepth) +
                  " levels)");
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

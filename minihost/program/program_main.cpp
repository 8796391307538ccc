// The minihost program: loads a module into the stand-in host, opens drawings as documents and
// runs LISP on them from the command line, from scripts or at an interactive prompt.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

#include <readline/history.h>
#include <readline/readline.h>

#include "minihost/drawing/failure_report.h"
#include "minihost/frame/documents.h"
#include "minihost/lisp/lisp_interpreter.h"
#include "minihost/lisp/lisp_printer.h"
#include "minihost/lisp/lisp_reader.h"
#include "minihost/frame/loader.h"
#include "minihost/runtime/text/path_text.h"

namespace {

using minihost::lisp::Interpreter;
using minihost::lisp::LispError;
using minihost::lisp::Reader;

const char kUsage[] =
    R"(usage: minihost [--verbose] [--module PATH] [--open DRAWING]... [-e EXPRESSION]...
                [SCRIPT.lsp]...

Runs the stand-in host with a module loaded and evaluates LISP in it.

  --module PATH     the module to load (default: GetSumleaf2021x64.arx beside this program)
  --open DRAWING    open the drawing file as a document; give it several times to open several
                    drawings; the last one opened is the current document. With none, the
                    working drawing is an unnamed new drawing.
  -e EXPRESSION     evaluate the expression and print its result on a line of its own; give it
                    several times to evaluate several expressions in order
  SCRIPT.lsp        load the script after the expressions: its top-level forms are evaluated
                    in order and only what they print is printed
  --verbose         report on standard error why a read or save of a drawing file failed,
                    with the host operation, the file and the status, e.g.
                    "; readDwgFile plan.dwg: eDwgCRCError"; the same as setting the
                    environment variable MINIHOST_VERBOSE=1. Without it the host says
                    nothing of a failure the module handles (getsumleaf gives nil).
  --help            show this text

With neither expressions nor scripts, minihost reads expressions at a prompt and prints each
result (with line editing and history on a terminal; from standard input otherwise) until the
end of input (Ctrl-D).

The LISP is the host's as scripts of the module use it: user functions (defun, lambda,
apply, mapcar), numbers, control forms, lists, strings, files and folders (open, read-line,
write-line, vl-directory-files, findfile), the catch-all error forms; the drawing builtins
drawing-new drawing-open drawing-close drawing-save drawing-current drawings; and the
functions the module defines, such as (getsumleaf PATH). docs/minihost.md lists them all.

Errors print one line starting with "; error:". At the prompt the session goes on; with -e or
scripts minihost stops at the first error with exit status 1. A module or drawing given on the
command line that cannot be loaded or opened is an error too; a misused command line exits
with status 2.
)";

struct Options {
    bool verbose = false;
    std::string module;
    std::vector<std::string> drawings;
    std::vector<std::string> expressions;
    std::vector<std::string> scripts;
};

// The folder this program was started from, with a closing '/'; "" when unknown.
std::string programFolder() {
    std::vector<char> path(4096);
    ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0)
        return {};
    std::string exe(path.data(), static_cast<std::size_t>(n));
    return exe.substr(0, exe.find_last_of('/') + 1);
}

// Parses the command line; false after printing why it is wrong.
bool parse(int argc, char** argv, Options& options, bool& help) {
    bool onlyScripts = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (onlyScripts || arg.empty() || arg[0] != '-' || arg == "-") {
            options.scripts.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyScripts = true;
        } else if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--module" || arg == "--open" || arg == "-e") {
            if (i + 1 == argc) {
                std::cerr << "minihost: " << arg << " needs a value\n";
                return false;
            }
            std::string value = argv[++i];
            if (arg == "--module")
                options.module = value;
            else if (arg == "--open")
                options.drawings.push_back(value);
            else
                options.expressions.push_back(value);
        } else if (arg.rfind("--module=", 0) == 0) {
            options.module = arg.substr(9);
        } else if (arg.rfind("--open=", 0) == 0) {
            options.drawings.push_back(arg.substr(7));
        } else {
            std::cerr << "minihost: unknown option " << arg << " (see minihost --help)\n";
            return false;
        }
    }
    return true;
}

// Runs `work`, reporting an error it raises the way the program reports every error. False
// after an error.
template <class Work> bool reportingErrors(Interpreter& in, Work work) {
    try {
        work();
        return true;
    } catch (const LispError& error) {
        in.reportError(error.what());
    } catch (const std::bad_alloc&) {
        in.reportError("out of memory");
    } catch (const std::exception& error) {
        in.reportError(error.what());
    }
    return false;
}

// Evaluates the complete forms at the start of `pending`, printing each result; keeps in
// `pending` only a form still waiting for more lines. After an error the rest is dropped.
void evaluatePending(Interpreter& in, std::wstring& pending) {
    Reader reader(pending);
    const bool ok = reportingErrors(in, [&] {
        for (;;) {
            Reader::Result next = reader.next();
            if (next.status == Reader::Status::End) {
                pending.clear();
                return;
            }
            if (next.status == Reader::Status::Incomplete) {
                pending.erase(0, reader.formStart());
                return;
            }
            in.printResult(in.eval(next.form));
        }
    });
    if (!ok)
        pending.clear();
}

// Ctrl-C at the prompt: set by the signal handler, read by the line editor's hook.
volatile std::sig_atomic_t gCancelLine = 0;

void onInterrupt(int) {
    gCancelLine = 1;
    minihost::lisp::interrupt();
}

// readline's source of keys: a key from the terminal, or, when Ctrl-C interrupted the wait, a
// newline that ends the line at once (the line is then thrown away). readline's own reading
// would go back to waiting and hand the next key to the cancelled line.
int readKey(FILE* stream) {
    for (;;) {
        unsigned char key;
        ssize_t got = ::read(fileno(stream), &key, 1);
        if (got == 1)
            return key;
        if (got < 0 && errno == EINTR) {
            if (gCancelLine)
                return '\n';
            continue;
        }
        return EOF;
    }
}

// On a terminal Ctrl-C cancels the line being typed or the evaluation running and shows the
// prompt again, as the host's command line does; Ctrl-D (end of input) ends the session.
void catchInterrupts() {
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no restart: a read waiting for input returns
    sigaction(SIGINT, &action, nullptr);
    rl_catch_signals = 0; // the handler above is the program's, while readline waits too
    rl_getc_function = readKey;
}

void interact(Interpreter& in) {
    bool terminal = isatty(STDIN_FILENO) != 0;
    if (terminal)
        catchInterrupts();
    std::wstring pending;
    for (;;) {
        std::string line;
        if (terminal) {
            gCancelLine = 0;
            minihost::lisp::clearInterrupt();
            char* read = readline(pending.empty() ? "_$ " : "   ");
            if (gCancelLine) {
                std::free(read);
                pending.clear(); // the form being typed goes, the session stays
                continue;
            }
            if (!read)
                break;
            line = read;
            std::free(read);
            if (!line.empty())
                add_history(line.c_str());
        } else if (!std::getline(std::cin, line)) {
            break;
        }
        pending += minihost::lisp::fromUtf8(line);
        pending += L'\n';
        evaluatePending(in, pending);
    }
    if (terminal)
        std::cout << '\n';
    if (pending.find_first_not_of(L" \t\r\n") != std::wstring::npos)
        in.reportError("malformed list on input");
}

// What the loader read of the module and what it asked of the host, for the prompt's first line.
std::string banner(const minihost::ModuleInfo& info) {
    std::string text = "; " + info.path.substr(info.path.find_last_of('/') + 1);
    text += info.version.empty() ? " (no version resource)" : " " + info.version;
    if (info.unlockable)
        text += ", unloadable";
    if (info.multiDocument)
        text += ", several documents";
    return text;
}

// Runs the expressions, then the scripts; false at the first error.
bool runBatch(Interpreter& in, const Options& options) {
    return reportingErrors(in, [&] {
        for (const std::string& expression : options.expressions)
            in.printResult(in.evalText(minihost::lisp::fromUtf8(expression)));
        for (const std::string& script : options.scripts)
            in.load(script);
    });
}

// --verbose, or MINIHOST_VERBOSE set to anything but "" or "0".
bool verboseWanted(const Options& options) {
    const char* variable = std::getenv("MINIHOST_VERBOSE");
    return options.verbose || (variable && *variable && std::string(variable) != "0");
}

int run(const Options& options) {
    minihost::setFailureReports(verboseWanted(options));
    std::string modulePath =
        options.module.empty() ? programFolder() + "GetSumleaf2021x64.arx" : options.module;
    std::string error;
    minihost::ModuleInfo info;
    void* module = minihost::loadModule(modulePath, error, &info);
    if (!module) {
        std::cerr << "; error: cannot load the module " << modulePath << ": " << error << '\n';
        return 1;
    }
    int status = 0;
    for (const std::string& drawing : options.drawings) {
        if (!minihost::openDocument(minihost::pathText(drawing), error)) {
            std::cerr << "; error: cannot open the drawing " << drawing << ": " << error << '\n';
            status = 1;
            break;
        }
    }
    // As in the host, there is always a drawing to work in: an unnamed new one when none was
    // named.
    if (status == 0 && options.drawings.empty() && !minihost::openNewDocument(L"")) {
        std::cerr << "; error: cannot make a new drawing: out of memory\n";
        status = 1;
    }
    if (status == 0) {
        Interpreter in(std::cout, std::cerr);
        if (options.expressions.empty() && options.scripts.empty()) {
            if (isatty(STDIN_FILENO))
                std::cerr << banner(info) << '\n';
            interact(in);
        } else if (!runBatch(in, options))
            status = 1;
        std::cout.flush();
    }
    minihost::unloadModule(module);
    minihost::closeAllDocuments();
    return status;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    bool help = false;
    if (!parse(argc, argv, options, help))
        return 2;
    if (help) {
        std::cout << kUsage;
        return 0;
    }
    try {
        return run(options);
    } catch (const std::exception& error) {
        std::cerr << "; error: " << error.what() << '\n';
        return 1;
    }
}

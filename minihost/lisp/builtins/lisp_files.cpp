// Files of the LISP: open, close and read-line, on streams of UTF-8 text.
#include "minihost/lisp/builtins/lisp_files.h"

#include <iostream>
#include <sys/stat.h>

#include "minihost/lisp/builtins/lisp_builtins.h"
#include "minihost/lisp/lisp_printer.h"
#include "minihost/lisp/builtins/lisp_text16.h"
#include "minihost/runtime/text/path_text.h"

namespace minihost::lisp {

bool FileStream::close() {
    if (!mStream)
        return false;
    bool ok = std::ferror(mStream) == 0;
    ok = std::fclose(mStream) == 0 && ok;
    mStream = nullptr;
    return ok;
}

bool FileStream::write(const std::string& bytes) {
    return mStream && std::fwrite(bytes.data(), 1, bytes.size(), mStream) == bytes.size();
}

bool FileStream::readLine(std::string& line) {
    line.clear();
    if (!mStream)
        return false;
    int c;
    bool any = false;
    while ((c = std::fgetc(mStream)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        line += static_cast<char>(c);
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return any;
}

FileStream& streamArg(const ValuePtr& v, FileStream::Mode mode) {
    if (v->kind != Kind::File || !v->file->isOpen() || v->file->mode() != mode)
        throw LispError("bad argument type: streamp " + prin1Text(v));
    return *v->file;
}

namespace {

// (open path mode [encoding]): mode "r", "w" or "a" in either case; nil when the file cannot
// be opened. Text is always UTF-8; an encoding argument is taken and not used.
ValuePtr open(Interpreter&, const Args& args) {
    expectArgs(args, 2, 3);
    const std::wstring& path = stringArg(args[0]);
    std::wstring mode = changeCase(stringArg(args[1]), true);
    if (args.size() == 3 && !isNil(args[2]))
        stringArg(args[2]);
    if (mode != L"r" && mode != L"w" && mode != L"a")
        throw LispError("bad argument value: " + prin1Text(args[1]));
    std::string bytes;
    if (!pathBytes(path, bytes))
        return nil();
    std::FILE* stream = std::fopen(bytes.c_str(), mode == L"r"   ? "rbe"
                                                  : mode == L"w" ? "wbe"
                                                                 : "abe");
    struct stat info;
    if (stream && (::fstat(fileno(stream), &info) != 0 || S_ISDIR(info.st_mode))) {
        std::fclose(stream); // a folder is no file to read
        stream = nullptr;
    }
    if (!stream)
        return nil();
    if (mode == L"r") { // a byte order mark is no part of the text
        if (std::fgetc(stream) != 0xEF || std::fgetc(stream) != 0xBB || std::fgetc(stream) != 0xBF)
            std::rewind(stream);
    }
    auto value = std::make_shared<Value>();
    value->kind = Kind::File;
    value->file = std::make_shared<FileStream>(
        stream, mode == L"r" ? FileStream::Mode::Read : FileStream::Mode::Write, path);
    return value;
}

ValuePtr close(Interpreter&, const Args& args) {
    expectArgs(args, 1, 1);
    if (args[0]->kind != Kind::File || !args[0]->file->isOpen())
        throw LispError("bad argument type: streamp " + prin1Text(args[0]));
    const bool written = args[0]->file->mode() == FileStream::Mode::Write;
    if (!args[0]->file->close() && written)
        throw LispError("cannot write to " + prin1Text(string(args[0]->file->path())));
    return nil();
}

// (read-line [file]): the next line without its line end, nil at the end; without a file, a
// line of standard input.
ValuePtr readLine(Interpreter&, const Args& args) {
    expectArgs(args, 0, 1);
    std::string line;
    if (args.empty() || isNil(args[0])) {
        if (!std::getline(std::cin, line))
            return nil();
        return string(fromUtf8(line));
    }
    if (!streamArg(args[0], FileStream::Mode::Read).readLine(line))
        return nil();
    return string(fromUtf8(line));
}

} // namespace

void defineFileBuiltins(Interpreter& in) {
    in.define(L"open", open);
    in.define(L"close", close);
    in.define(L"read-line", readLine);
    defineFolderBuiltins(in);
}

} // namespace minihost::lisp

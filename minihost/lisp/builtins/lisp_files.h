// Files that the LISP's open gives: a stream of UTF-8 text, read a line at a time or written,
// closed by close or, at the latest, when the last value holding it goes.
#pragma once

#include <cstdio>
#include <string>

#include "minihost/lisp/lisp_value.h"

namespace minihost::lisp {

class FileStream {
  public:
    enum class Mode { Read, Write };
    // Takes `stream` (may be null: then the stream is closed from the start).
    FileStream(std::FILE* stream, Mode mode, std::wstring path)
        : mStream(stream), mMode(mode), mPath(std::move(path)) {}
    ~FileStream() { close(); }
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    bool isOpen() const { return mStream != nullptr; }
    Mode mode() const { return mMode; }
    const std::wstring& path() const { return mPath; }
    // False when the stream was closed already or the last write failed.
    bool close();
    // Writes UTF-8 bytes; false when they could not be written.
    bool write(const std::string& bytes);
    // The next line without its line end ("\n" or "\r\n"); false at the end of the file.
    bool readLine(std::string& line);

  private:
    std::FILE* mStream;
    Mode mMode;
    std::wstring mPath;
};

// The open stream of a FILE argument for reading or writing; LispError "bad argument type:
// streamp ..." for a file that is closed or open the other way, or a value that is no file.
FileStream& streamArg(const ValuePtr& v, FileStream::Mode mode);

} // namespace minihost::lisp

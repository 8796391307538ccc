// The drawing-control builtins: the LISP face of the stand-in's documents and drawing files.
// Each returns T or its value, or nil after a message when the drawing work fails.
#include <cwchar>
#include <sys/stat.h>

#include "host/documents.h"
#include "host/database.h"
#include "host/wide_runtime.h"
#include "minihost/frame/documents.h"
#include "minihost/drawing/drawing_file.h"
#include "minihost/lisp/lisp_interpreter.h"
#include "minihost/lisp/lisp_printer.h"
#include "minihost/runtime/text/path_text.h"

namespace minihost::lisp {
namespace {

std::string quoted(const std::wstring& path) {
    return prin1Text(string(path));
}

// The absolute form of `path`, as documents name their files; "" when it has none.
std::wstring absolute(const std::wstring& path) {
    wchar_t buffer[4096];
    return _wfullpath(buffer, path.c_str(), sizeof buffer / sizeof buffer[0]) ? buffer : L"";
}

AcApDocument* currentDocument() {
    AcApDocManager* manager = acDocManagerPtr();
    return manager ? manager->curDocument() : nullptr;
}

// The open document whose file is `path`, or nullptr.
AcApDocument* findDocument(const std::wstring& path) {
    std::wstring wanted = absolute(path);
    for (AcApDocument* document : openDocuments())
        if (document->fileName() == wanted || document->fileName() == path)
            return document;
    return nullptr;
}

bool fileExists(const std::wstring& path) {
    struct stat info;
    std::string bytes;
    return pathBytes(path, bytes) && stat(bytes.c_str(), &info) == 0;
}

ValuePtr drawingNew(Interpreter& in, const std::vector<ValuePtr>& args) {
    expectArgs(args, 1, 1);
    const std::wstring& path = stringArg(args[0]);
    if (fileExists(path)) {
        in.warn("drawing-new: " + quoted(path) + " already exists; it is left as it is");
        return nil();
    }
    SummaryData empty;
    Acad::ErrorStatus status = saveDrawingFile(nullptr, empty, path.c_str(), SaveOptions{});
    if (status != Acad::eOk) {
        in.warn("drawing-new: cannot write " + quoted(path) + ": " + statusText(status));
        return nil();
    }
    return t();
}

ValuePtr drawingOpen(Interpreter& in, const std::vector<ValuePtr>& args) {
    expectArgs(args, 1, 1);
    const std::wstring& path = stringArg(args[0]);
    std::string error;
    if (!openDocument(path, error)) {
        in.warn("drawing-open: cannot open " + quoted(path) + ": " + error);
        return nil();
    }
    return t();
}

ValuePtr drawingClose(Interpreter& in, const std::vector<ValuePtr>& args) {
    expectArgs(args, 0, 1);
    AcApDocument* document = args.empty() ? currentDocument() : findDocument(stringArg(args[0]));
    if (!document) {
        in.warn(args.empty() ? std::string("drawing-close: no drawing is open")
                             : "drawing-close: " + quoted(args[0]->text) + " is not open");
        return nil();
    }
    closeDocument(document);
    return t();
}

ValuePtr drawingSave(Interpreter& in, const std::vector<ValuePtr>& args) {
    expectArgs(args, 0, 1);
    AcApDocument* document = currentDocument();
    AcDbDatabase* database =
        document ? document->database() : acdbHostApplicationServices()->workingDatabase();
    std::wstring target =
        args.empty() ? (document ? document->fileName() : L"") : stringArg(args[0]);
    if (target.empty()) {
        in.warn("drawing-save: the drawing has no file yet; name one: (drawing-save PATH)");
        return nil();
    }
    if (!database) {
        in.warn("drawing-save: no drawing to save");
        return nil();
    }
    Acad::ErrorStatus status = database->saveAs(target.c_str(), false);
    if (status != Acad::eOk) {
        in.warn("drawing-save: cannot save " + quoted(target) + ": " + statusText(status));
        return nil();
    }
    return t();
}

ValuePtr drawingCurrent(Interpreter& in, const std::vector<ValuePtr>& args) {
    expectArgs(args, 0, 1);
    if (args.empty()) {
        AcApDocument* document = currentDocument();
        return document ? string(document->fileName()) : nil();
    }
    AcApDocument* document = findDocument(stringArg(args[0]));
    if (!document) {
        in.warn("drawing-current: " + quoted(args[0]->text) + " is not open");
        return nil();
    }
    setCurrentDocument(document);
    return t();
}

ValuePtr drawings(Interpreter&, const std::vector<ValuePtr>& args) {
    expectArgs(args, 0, 0);
    std::vector<ValuePtr> paths;
    for (AcApDocument* document : openDocuments())
        paths.push_back(string(document->fileName()));
    return list(std::move(paths));
}

} // namespace

void defineDrawingBuiltins(Interpreter& interpreter) {
    interpreter.define(L"drawing-new", drawingNew);
    interpreter.define(L"drawing-open", drawingOpen);
    interpreter.define(L"drawing-close", drawingClose);
    interpreter.define(L"drawing-save", drawingSave);
    interpreter.define(L"drawing-current", drawingCurrent);
    interpreter.define(L"drawings", drawings);
}

} // namespace minihost::lisp

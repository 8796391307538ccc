// The stand-in's documents: opening and closing drawings as documents of the host's document
// manager. The current document's database is the working database; with no document open
// the working database is the host's unnamed new drawing.
#pragma once

#include <string>
#include <vector>

class AcApDocument;

namespace minihost {

// Opens the drawing file at `path` as a new document and makes it current; its file name is
// the absolute form of `path`. Modules are sent message 3 for it. Returns the document, or
// nullptr with `error` set (the file cannot be read: the status in words).
AcApDocument* openDocument(const std::wstring& path, std::string& error);
// Opens a document on a new drawing (nothing read from disk) whose file name is the absolute
// form of `fileName` ("" stays ""), and makes it current, as openDocument. nullptr when out of
// memory or when there is no document manager.
AcApDocument* openNewDocument(const std::wstring& fileName);
// Closes `document` without saving. Modules are sent message 4 while it is current, reactors
// are told documentToBeDestroyed, then it is destroyed. The previously opened document, if
// any, becomes current.
void closeDocument(AcApDocument* document);
// Makes `document` the current document (and its database the working database).
void setCurrentDocument(AcApDocument* document);
// The open documents in opening order.
std::vector<AcApDocument*> openDocuments();
// Closes every document (as closeDocument) and, for tests, forgets everything recorded.
void closeAllDocuments();
// Destroys the document manager: acDocManagerPtr() returns nullptr afterwards. For the
// shutdown sequence and its tests; closes every document first.
void destroyDocumentManager();
// Lets acDocManagerPtr() make a new, empty document manager again after
// destroyDocumentManager(). For tests.
void recreateDocumentManager();
// Number of reactors registered with the document manager (0 when there is none).
int documentReactorCount();
// The status by name and in words, e.g. "eFileNotFound (file not found)".
std::string statusText(int status);
// The status in words only, e.g. "file not found".
std::string statusWords(int status);

} // namespace minihost

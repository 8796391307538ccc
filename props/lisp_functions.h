// The module's two LISP functions. The host calls each handler with the call's arguments
// available through acedGetArgs(); each returns 1 on every path and never lets an exception
// out. The result is what the handler set: a property list, or nil.
#pragma once

// (getsumleaf [path] ...) -> property list of the working drawing, the open document whose
// file is `path`, or the file at `path`; nil when it cannot be read.
int GetSumleafHandler();

// (setsumleaf [path] [key value | T | (key value ...)]...) -> property list after writing the
// pairs into that drawing: replacing every property, or merging when a T is among the items.
// A drawing that was not open is saved to its file; when that save fails there is no result.
int SetSumleafHandler();

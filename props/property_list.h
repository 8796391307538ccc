// The property list: the LISP value both functions answer with.
//
//   ((key value) ...)  eight built-in sub-lists in builtInProperties order, then one per
//                      custom property in index order.
#pragma once

#include "host/host_api.h"

// Builds the property list of `database` (borrowed, unchanged). Returns a chain made by
// acutBuildList that the caller owns and releases with acutRelRb, or nullptr when the
// database's summary information is not available or the list's own brackets could not be
// made (nothing is left allocated then). A property whose sub-list cannot be made is left out;
// a built-in property whose text cannot be read is listed with "".
resbuf* BuildPropertyList(AcDbDatabase* database);

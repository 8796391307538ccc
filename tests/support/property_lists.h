// The property list of a database or of a drawing file as getsumleaf gives it, in LISP text.
// Header-only, for the tests and fuzz targets that link the module's objects.
#pragma once

#include <filesystem>
#include <string>

#include "minihost/frame/external_calls.h"
#include "props/lisp_functions.h"
#include "tests/support/chain_text.h"

namespace testing_support {

// The list of `db` (borrowed), read through the working-drawing route; "nil" when there is none.
inline std::string listOf(AcDbDatabase* db) {
    AcDbHostApplicationServices* services = acdbHostApplicationServices();
    AcDbDatabase* saved = services->workingDatabase();
    services->setWorkingDatabase(db);
    minihost::CallResult own = minihost::callHandler(GetSumleafHandler, 1, nullptr);
    services->setWorkingDatabase(saved);
    std::string text = own.value ? chainText(own.value) : "nil";
    acutRelRb(own.value);
    return text;
}

// The list of the drawing file at `path`, or "<unreadable>" when it cannot be read.
inline std::string listOfFile(const std::filesystem::path& path) {
    AcDbDatabase db(false, true);
    if (db.readDwgFile(wide(path.string()).c_str(), AcDbDatabase::kForReadAndReadShare, false,
                       nullptr) != Acad::eOk)
        return "<unreadable>";
    return listOf(&db);
}

} // namespace testing_support

// Acad::ErrorStatus values by name ("eFileNotFound") and in words ("file not found"), for the
// messages of the stand-in's program and its failure reports.
#pragma once

namespace minihost {

// The status's name, or nullptr for a value that is no status. The text is static.
const char* statusName(int status);
// What the status means to a user, or nullptr for a value that is no status. Static text.
const char* statusMeaning(int status);

} // namespace minihost

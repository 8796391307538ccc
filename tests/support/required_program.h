// Programs that tests need besides the project's own: Debian packages and the shared tools.
// Outside CI a missing one lets its test skip; in CI (CI=true), where .ci/run installs
// everything, a missing one is a failure of the running test.
#pragma once

#include <string>

namespace testing_support {

// Whether the shell command `check` exits with 0 (its output discarded), i.e. what it looks
// for is here. When it is not and this is a CI run, records a failure naming `what` (say,
// the packages that hold the program, or the tool's path).
bool haveProgram(const std::string& check, const std::string& what);

// The same for a presence found otherwise: `present`, and a CI failure naming `what` when not.
bool requiredInCi(bool present, const std::string& what);

// Whether the shared drawings (../shared beside the clone) are here; in CI a missing folder
// fails the running test, as anything a test needs does.
bool haveSharedDrawings();

} // namespace testing_support

#include "tests/support/required_program.h"

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace testing_support {

bool haveProgram(const std::string& check, const std::string& what) {
    const int status = std::system((check + " >/dev/null 2>&1").c_str());
    return requiredInCi(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0, what);
}

bool requiredInCi(bool present, const std::string& what) {
    if (present)
        return true;
    const char* ci = std::getenv("CI");
    if (ci && std::string(ci) == "true")
        ADD_FAILURE() << what << " missing, and a CI run needs it";
    return false;
}

bool haveSharedDrawings() {
    const std::filesystem::path shared = sharedDrawings().parent_path();
    return requiredInCi(std::filesystem::is_directory(shared),
                        shared.string() + " (the shared drawings)");
}

} // namespace testing_support

// A temporary folder for one test, removed with everything in it when the test ends.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return mPath; }
    std::filesystem::path operator/(const std::string& name) const { return mPath / name; }

  private:
    std::filesystem::path mPath;
};

std::string readFile(const std::filesystem::path& path);
// The names of the entries in `folder`, sorted.
std::vector<std::string> listing(const std::filesystem::path& folder);
void writeFile(const std::filesystem::path& path, const std::string& bytes);
// The folder of the real drawings made by a CAD program (../shared/drawings beside the clone).
std::filesystem::path sharedDrawings();

} // namespace testing_support

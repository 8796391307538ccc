// The runtime stand-ins as the module uses them: absolute paths within 260 characters,
// comparisons that fold A to Z only, and copies that never overrun their destination. A bad
// parameter goes to the invalid-parameter handler, which by default ends the process.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <unistd.h>

#include "host/wide_runtime.h"
#include "minihost/runtime/invalid_parameter.h"
#include "tests/support/chain_text.h"
#include "tests/support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::wide;

// Counts the invalid parameters reported while it lives, in place of the handler that aborts.
class InvalidParameters {
  public:
    InvalidParameters() : mPrevious(minihost::setInvalidParameterHandler(count)) { sCount = 0; }
    ~InvalidParameters() { minihost::setInvalidParameterHandler(mPrevious); }
    int count() const { return sCount; }

  private:
    static void count(const char*) { ++sCount; }
    static inline int sCount = 0;
    minihost::InvalidParameterHandler mPrevious;
};

// Runs a test body with `dir` as the current directory, and goes back afterwards.
class InFolder {
  public:
    explicit InFolder(const std::filesystem::path& dir) : mBefore(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~InFolder() { std::filesystem::current_path(mBefore); }

  private:
    std::filesystem::path mBefore;
};

std::wstring fullPath(const wchar_t* path, std::size_t size = 261) {
    wchar_t buffer[261] = {};
    const wchar_t* result = _wfullpath(buffer, path, size);
    return result ? std::wstring(result) : L"<null>";
}

TEST(WcrtFullPath, ResolvesRelativePathsAgainstTheCurrentFolderAsText) {
    TempDir dir;
    std::filesystem::create_directories(dir / "a" / "b");
    InFolder in(dir.path() / "a" / "b");
    std::wstring base = wide(std::filesystem::current_path().string());
    EXPECT_EQ(fullPath(L"x.dwg"), base + L"/x.dwg");
    EXPECT_EQ(fullPath(L"./x.dwg"), base + L"/x.dwg");
    EXPECT_EQ(fullPath(L"../x.dwg"), wide((dir.path() / "a").string()) + L"/x.dwg");
    EXPECT_EQ(fullPath(L"c/../../b/./y.dwg"), base + L"/y.dwg");
    // Resolved as text: the folders named need not exist.
    EXPECT_EQ(fullPath(L"no/such/../z.dwg"), base + L"/no/z.dwg");
}

TEST(WcrtFullPath, AbsolutePathsAreNormalisedAndBackslashesAreOrdinaryCharacters) {
    EXPECT_EQ(fullPath(L"/tmp//./q/../r.dwg"), L"/tmp/r.dwg");
    EXPECT_EQ(fullPath(L"/../../r.dwg"), L"/r.dwg");
    EXPECT_EQ(fullPath(L"/"), L"/");
    EXPECT_EQ(fullPath(L"/tmp/dir/"), L"/tmp/dir/");
    EXPECT_EQ(fullPath(L"/D:\\Dwg\\A.dwg"), L"/D:\\Dwg\\A.dwg");
}

TEST(WcrtFullPath, AResultThatDoesNotFitGivesNullAndLeavesTheBufferAlone) {
    // "/" + 258 characters is 259: with its terminator exactly 260.
    std::wstring fits = L"/" + std::wstring(258, L'f');
    EXPECT_EQ(fullPath(fits.c_str(), 260), fits);
    std::wstring tooLong = L"/" + std::wstring(259, L'f');
    wchar_t buffer[261];
    std::wmemset(buffer, L'#', 261);
    EXPECT_EQ(_wfullpath(buffer, tooLong.c_str(), 260), nullptr);
    EXPECT_EQ(std::wstring(buffer, 261), std::wstring(261, L'#'));
    // A relative path can grow past the limit through the current folder.
    TempDir dir;
    InFolder in(dir.path());
    std::wstring base = wide(std::filesystem::current_path().string());
    std::wstring name(259 - base.size(), L'n'); // base + "/" + name is 260 characters
    EXPECT_EQ(_wfullpath(buffer, name.c_str(), 260), nullptr);
    EXPECT_EQ(fullPath(name.substr(1).c_str(), 260), base + L"/" + name.substr(1));
}

TEST(WcrtFullPath, InvalidArgumentsGiveNull) {
    wchar_t buffer[8] = {};
    EXPECT_EQ(_wfullpath(buffer, nullptr, 8), nullptr);
    EXPECT_EQ(_wfullpath(buffer, L"", 8), nullptr);
    EXPECT_EQ(_wfullpath(buffer, L"/a", 0), nullptr);
    // Without a buffer the runtime allocates one, which the caller frees.
    wchar_t* made = _wfullpath(nullptr, L"/a/b", 0);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(std::wstring(made), L"/a/b");
    std::free(made);
}

TEST(WcrtCompareIgnoringCase, FoldsOnlyTheLettersAToZ) {
    EXPECT_EQ(_wcsicmp(L"D:/DWG/A.DWG", L"d:/dwg/a.dwg"), 0);
    EXPECT_EQ(_wcsicmp(L"", L""), 0);
    EXPECT_NE(_wcsicmp(L"\u00C4", L"\u00E4"), 0); // Ä and ä stay different
    EXPECT_NE(_wcsicmp(L"a/b", L"a\\b"), 0);
    EXPECT_LT(_wcsicmp(L"abc", L"ABD"), 0);
    EXPECT_GT(_wcsicmp(L"abcd", L"ABC"), 0);
    EXPECT_LT(_wcsicmp(L"ab", L"ABC"), 0);
    // Letters compare by their lower-case form: '_' (95) lies between 'Z' (90) and 'a' (97).
    EXPECT_LT(_wcsicmp(L"_", L"A"), 0);
    EXPECT_GT(_wcsicmp(L"_", L"["), 0);
    InvalidParameters invalid;
    EXPECT_NE(_wcsicmp(nullptr, L"a"), 0);
    EXPECT_EQ(invalid.count(), 1);
}

TEST(WcrtCopyString, CopiesWhatFitsWithItsTerminator) {
    wchar_t buffer[6];
    std::wmemset(buffer, L'#', 6);
    EXPECT_EQ(wcscpy_s(buffer, 5, L"abcd"), 0);
    EXPECT_EQ(std::wstring(buffer), L"abcd");
    EXPECT_EQ(buffer[5], L'#');
}

TEST(WcrtCopyString, ASourceThatDoesNotFitEndsTheProcessAsThePlatformsRuntimeDoes) {
    wchar_t buffer[4];
    EXPECT_DEATH(wcscpy_s(buffer, 4, L"abcd"), "invalid parameter passed to wcscpy_s");
}

TEST(WcrtCopyString, ASourceThatDoesNotFitEmptiesTheDestinationAndWritesNothingPastIt) {
    InvalidParameters invalid;
    wchar_t buffer[8];
    std::wmemset(buffer, L'#', 8);
    EXPECT_NE(wcscpy_s(buffer, 5, L"abcde"), 0);
    EXPECT_EQ(buffer[0], L'\0');
    for (int i = 1; i < 8; ++i)
        EXPECT_EQ(buffer[i], L'#') << i;
    std::wstring huge(100000, L'x');
    EXPECT_NE(wcscpy_s(buffer, 5, huge.c_str()), 0);
    EXPECT_EQ(buffer[0], L'\0');
    EXPECT_EQ(buffer[5], L'#');
    EXPECT_EQ(invalid.count(), 2);
}

TEST(WcrtCopyString, InvalidArgumentsGoToTheHandlerAndReportWhenItReturns) {
    InvalidParameters invalid;
    wchar_t buffer[4] = {L'a', L'b', 0, 0};
    EXPECT_EQ(wcscpy_s(nullptr, 4, L"a"), EINVAL);
    EXPECT_EQ(wcscpy_s(buffer, 0, L"a"), EINVAL);
    EXPECT_EQ(buffer[0], L'a');
    EXPECT_EQ(wcscpy_s(buffer, 4, nullptr), EINVAL);
    EXPECT_EQ(buffer[0], L'\0');
    EXPECT_EQ(invalid.count(), 3);
}

} // namespace

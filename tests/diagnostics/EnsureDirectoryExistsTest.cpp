#include <gtest/gtest.h>

#include <cstdio>

#include "diagnostics/EnsureDirectoryExists.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using TestSupport::CwdGuard;
using TestSupport::TempDir;

TEST(EnsureDirectoryExists, CreatesEveryMissingFolderOfAChain) {
    TempDir dir;
    CwdGuard cwd(dir.Path());
    EnsureDirectoryExists("x/y/z");
    EXPECT_TRUE(fs::is_directory("x/y/z"));
    EnsureDirectoryExists("p\\q\\r");
    EXPECT_TRUE(fs::is_directory("p/q/r"));
    EnsureDirectoryExists("trailing/slash/");
    EXPECT_TRUE(fs::is_directory("trailing/slash"));
    EnsureDirectoryExists("x/y/z/");  // existing, with a trailing separator
    EnsureDirectoryExists("x//doubled");
    EXPECT_TRUE(fs::is_directory("x/doubled"));
}

TEST(EnsureDirectoryExists, HonoursExistingPrefixesAndFiles) {
    TempDir dir;
    fs::create_directories(dir.Path() / "a" / "b");
    TestSupport::WriteFile(dir.Path() / "a" / "b" / "keep.txt", "kept");
    EnsureDirectoryExists((dir / "a") + "\\b\\c\\d");
    EXPECT_TRUE(fs::is_directory(dir.Path() / "a/b/c/d"));
    EXPECT_EQ(TestSupport::ReadFile(dir.Path() / "a/b/keep.txt"), "kept");

    // A path naming an existing file is satisfied as it is.
    EnsureDirectoryExists(dir / "a/b/keep.txt");
    EXPECT_TRUE(fs::is_regular_file(dir.Path() / "a/b/keep.txt"));
    EXPECT_TRUE(TryEnsureDirectoryExists(dir / "a/b"));
}

TEST(EnsureDirectoryExists, WildcardCharactersAreNamesNotPatterns) {
    if (!TestSupport::kPosixFileSystem) GTEST_SKIP() << "'*' and '?' are no name characters here";
    TempDir dir;
    fs::create_directories(dir.Path() / "abc");
    EXPECT_TRUE(TryEnsureDirectoryExists(dir / "a*/in"));
    EXPECT_TRUE(TryEnsureDirectoryExists(dir / "a?c"));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "a*/in"));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "a?c"));
}

TEST(EnsureDirectoryExists, TryReportsAFileInTheWayWithoutExiting) {
    TempDir dir;
    TestSupport::WriteFile(dir.Path() / "file", "x");
    EXPECT_FALSE(TryEnsureDirectoryExists(dir / "file/sub/deeper"));
    EXPECT_FALSE(fs::exists(dir.Path() / "file/sub"));
}

// A real message box would wait for a user; the hook shows the test what it would have said.
void ReportMessageBox(const std::string& caption, const std::string& text, void*) {
    const bool missingPath = text == Platform::ErrorMessage(Platform::kErrorPathNotFound);
    fprintf(stderr, "box %s: %s\n", caption.c_str(),
            missingPath ? "the system's text for a missing path" : text.c_str());
}

TEST(EnsureDirectoryExistsDeathTest, EndsTheProcessWithTheSystemErrorCode) {
    TempDir dir;
    TestSupport::WriteFile(dir.Path() / "file", "x");
    const std::string blocked = dir / "file/sub";
    Platform::SetMessageBoxSink(ReportMessageBox, nullptr);
    EXPECT_EXIT(EnsureDirectoryExists(blocked), ::testing::ExitedWithCode(3),
                "box WindowsError: the system's text for a missing path");
    Platform::SetMessageBoxSink(nullptr, nullptr);
}

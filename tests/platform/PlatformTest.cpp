#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "platform/Platform.h"
#include "platform/Wildcard.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using TestSupport::TempDir;
using TestSupport::WriteFile;

struct WildcardCase {
    const char* pattern;
    const char* name;
    bool matches;
};

class WildcardTest : public ::testing::TestWithParam<WildcardCase> {};

TEST_P(WildcardTest, FollowsDirectorySearchRules) {
    const WildcardCase& c = GetParam();
    EXPECT_EQ(Wildcard::Matches(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, WildcardTest,
    ::testing::Values(WildcardCase{"*.*", "a.txt", true}, WildcardCase{"*.*", "noext", true},
                      WildcardCase{"*.*", ".hidden", true}, WildcardCase{"*", "anything", true},
                      WildcardCase{"*.png", "a.png", true},
                      WildcardCase{"*.png", "a.png.bak", false},
                      WildcardCase{"*.png", "icons", false}, WildcardCase{"a?c", "abc", true},
                      WildcardCase{"a?c", "ac", false}, WildcardCase{"a?c", "abbc", false},
                      WildcardCase{"*.PNG", "a.png", false}, WildcardCase{"a*b*c", "aXbYbZc", true},
                      WildcardCase{"a*b*c", "aXbYbZ", false}, WildcardCase{"data.*", "data", true},
                      WildcardCase{"exact", "exact", true},
                      WildcardCase{"exact", "exactly", false}));

TEST(PlatformFind, ListsMatchesOfAFolderAndExactEntries) {
    TempDir dir;
    WriteFile(dir.Path() / "a.txt", "a");
    WriteFile(dir.Path() / "b.png", "bb");
    fs::create_directory(dir.Path() / "sub");

    std::vector<Platform::FindData> found;
    ASSERT_TRUE(Platform::FindEntries(dir / "*.*", found));
    std::vector<std::string> names;
    for (const auto& f : found) names.push_back(f.Name + (f.Folder ? "/" : ""));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"../", "./", "a.txt", "b.png", "sub/"}));

    // Backslashes separate folders here too.
    std::string backslashed = dir / "*.png";
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    ASSERT_TRUE(Platform::FindEntries(backslashed, found));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Name, "b.png");
    EXPECT_FALSE(found[0].Folder);

    ASSERT_TRUE(Platform::FindEntries(dir / "sub", found));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].Folder);
    EXPECT_TRUE(Platform::EntryExists(dir / "a.txt"));
    EXPECT_FALSE(Platform::EntryExists((dir / "sub") + "/"));
}

// A walk decides from these flags whether to enter an entry: a link must say so, and still
// tell what it leads to.
TEST(PlatformFind, MarksLinksAndWhatTheyLeadTo) {
    if (!TestSupport::kPosixFileSystem) GTEST_SKIP() << "no links to files here";
    TempDir dir;
    WriteFile(dir.Path() / "t/file.txt", "12345");
    fs::create_directory(dir.Path() / "t/sub");
    fs::create_directory_symlink(".", dir.Path() / "t/loop");
    fs::create_symlink("file.txt", dir.Path() / "t/file.lnk");
    fs::create_symlink("missing", dir.Path() / "t/dangling");
    fs::create_symlink("/dev/null", dir.Path() / "t/null");

    struct Expected {
        bool Folder;
        bool Link;
    };
    const std::map<std::string, Expected> expected{
        {"file.txt", {false, false}}, {"sub", {true, false}},      {"loop", {true, true}},
        {"file.lnk", {false, true}},  {"dangling", {false, true}}, {"null", {false, true}},
    };
    std::vector<Platform::FindData> found;
    ASSERT_TRUE(Platform::FindEntries(dir / "t/*.*", found));
    std::map<std::string, Expected> seen;
    for (const auto& f : found) {
        if (f.Name != "." && f.Name != "..") seen[f.Name] = {f.Folder, f.Link};
    }
    ASSERT_EQ(seen.size(), expected.size());
    for (const auto& [name, want] : expected) {
        EXPECT_EQ(seen[name].Folder, want.Folder) << name;
        EXPECT_EQ(seen[name].Link, want.Link) << name;
    }

    // An exact path to a link describes the link too; one that leads nowhere is not found.
    ASSERT_TRUE(Platform::FindEntries(dir / "t/loop", found));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].Folder && found[0].Link);
    ASSERT_TRUE(Platform::FindEntries(dir / "t/sub", found));
    EXPECT_FALSE(found[0].Link);
    EXPECT_FALSE(Platform::FindEntries(dir / "t/dangling", found));
}

TEST(PlatformFind, ReportsNoMatchAndMissingFolderWithWin32Codes) {
    TempDir dir;
    std::vector<Platform::FindData> found;
    EXPECT_FALSE(Platform::FindEntries(dir / "*.none", found));
    EXPECT_EQ(Platform::GetLastError(), Platform::kErrorFileNotFound);
    EXPECT_FALSE(Platform::FindEntries(dir / "missing/*.*", found));
    EXPECT_EQ(Platform::GetLastError(), Platform::kErrorPathNotFound);
    EXPECT_TRUE(found.empty());
}

TEST(PlatformFiles, FolderOperationsSetWin32ErrorCodes) {
    TempDir dir;
    EXPECT_TRUE(Platform::CreateFolder(dir / "new"));
    EXPECT_FALSE(Platform::CreateFolder(dir / "new"));
    EXPECT_EQ(Platform::GetLastError(), Platform::kErrorAlreadyExists);
    EXPECT_FALSE(Platform::CreateFolder(dir / "missing/child"));
    EXPECT_EQ(Platform::GetLastError(), Platform::kErrorPathNotFound);
    EXPECT_FALSE(Platform::RemoveFile(dir / "nothing.txt"));
    EXPECT_EQ(Platform::GetLastError(), Platform::kErrorFileNotFound);
    EXPECT_FALSE(Platform::RemoveFile(dir / "missing/nothing.txt"));
    EXPECT_EQ(Platform::GetLastError(), Platform::kErrorPathNotFound);
    EXPECT_EQ(Platform::OpenStream(dir / "new", "rb"), nullptr);  // a folder is no stream
    EXPECT_EQ(Platform::GetLastError(), Platform::kErrorAccessDenied);
    EXPECT_NE(Platform::ErrorMessage(Platform::kErrorPathNotFound),
              Platform::ErrorMessage(Platform::kErrorFileNotFound));
}

TEST(PlatformFiles, StreamsNeverWaitOnAPipeOrDevice) {
    if (!TestSupport::kPosixFileSystem) GTEST_SKIP() << "no pipes or devices as files here";
    TempDir dir;
    ASSERT_TRUE(TestSupport::MakeFifo(dir.Path() / "pipe"));
    ASSERT_TRUE(TestSupport::MakeFileLink("/dev/zero", dir.Path() / "zero.lnk"));
    for (const std::string& path : {dir / "pipe", std::string("/dev/null"), dir / "zero.lnk"}) {
        for (const char* mode : {"rb", "wb", "at"}) {
            EXPECT_EQ(Platform::OpenStream(path, mode), nullptr) << path << " " << mode;
            EXPECT_EQ(Platform::GetLastError(), Platform::kErrorAccessDenied) << path;
        }
    }
}

TEST(PlatformFiles, StreamsCreateExclusivelyAndAppend) {
    TempDir dir;
    FILE* created = Platform::OpenStream(dir / "new.txt", "wt");
    ASSERT_NE(created, nullptr);
    fputs("text", created);
    fclose(created);
    EXPECT_EQ(Platform::OpenStream(dir / "new.txt", "wbx"), nullptr);
    EXPECT_EQ(Platform::GetLastError(), Platform::kErrorFileExists);
    FILE* fresh = Platform::OpenStream(dir / "fresh.bin", "wbx");
    ASSERT_NE(fresh, nullptr);
    fclose(fresh);
    FILE* appended = Platform::OpenStream(dir / "new.txt", "at");
    ASSERT_NE(appended, nullptr);
    fputs("+more", appended);
    fclose(appended);
    EXPECT_EQ(TestSupport::ReadFile(dir.Path() / "new.txt"), "text+more");
}

TEST(PlatformFiles, ReadOnlyFilesAreNotDeleted) {
    TempDir dir;
    WriteFile(dir.Path() / "locked.txt", "x");
    fs::permissions(dir.Path() / "locked.txt", fs::perms::owner_read | fs::perms::group_read);
    Platform::FileAttributes attributes;
    ASSERT_TRUE(Platform::GetAttributes(dir / "locked.txt", attributes));
    EXPECT_TRUE(attributes.ReadOnly);
    EXPECT_FALSE(Platform::RemoveFile(dir / "locked.txt"));
    EXPECT_EQ(Platform::GetLastError(), Platform::kErrorAccessDenied);
    EXPECT_TRUE(fs::exists(dir.Path() / "locked.txt"));
}

TEST(PlatformFiles, CopyStreamRangeMovesExactlyTheRange) {
    TempDir dir;
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + (i >> 11));
    WriteFile(dir.Path() / "in.bin", big);
    FILE* in = Platform::OpenStream(dir / "in.bin", "rb");
    FILE* out = Platform::OpenStream(dir / "out.bin", "wb");
    ASSERT_TRUE(in && out);
    fputs("head", out);  // data already buffered in the stream must come first
    EXPECT_TRUE(Platform::CopyStreamRange(in, 5, big.size() - 10, out));
    fputs("tail", out);
    EXPECT_FALSE(Platform::CopyStreamRange(in, static_cast<int64_t>(big.size()) - 3, 10, out));
    fclose(in);
    fclose(out);
    const std::string copied = TestSupport::ReadFile(dir.Path() / "out.bin");
    ASSERT_GE(copied.size(), big.size() - 2);
    EXPECT_EQ(copied.substr(0, 4), "head");
    EXPECT_TRUE(copied.compare(4, big.size() - 10, big, 5, big.size() - 10) == 0);
    EXPECT_EQ(copied.substr(4 + big.size() - 10, 4), "tail");
}

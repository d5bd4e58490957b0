#include <gtest/gtest.h>

#include <filesystem>

#include "diagnostics/GFile.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

void MakeReadOnly(const fs::path& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

// The system's text goes into the line as the system gives it, line end included.
std::string Reason(uint32_t code) {
    return Platform::ErrorMessage(code);
}

}  // namespace

TEST(GFile, ExistsAndGetSize_TellFilesFromFoldersAndMissingPaths) {
    TempDir dir;
    WriteFile(dir.Path() / "five.bin", "12345");
    WriteFile(dir.Path() / "empty.bin", "");
    fs::create_directory(dir.Path() / "folder");

    EXPECT_TRUE(GFile::Exists(dir / "five.bin"));
    EXPECT_FALSE(GFile::Exists(dir / "folder"));
    EXPECT_FALSE(GFile::Exists(dir / "missing"));

    EXPECT_EQ(GFile::GetSize(dir / "five.bin"), 5u);
    EXPECT_EQ(GFile::GetSize(dir / "empty.bin"), 0u);
    EXPECT_EQ(GFile::GetSize(dir / "missing"), 0xFFFFFFFFu);
}

TEST(GFile, Delete_RemovesSilentlyOrLogsTheSystemReason) {
    TestSupport::LogCapture log;
    TempDir dir;
    WriteFile(dir.Path() / "a.txt", "a");
    EXPECT_TRUE(GFile::Delete(dir / "a.txt"));
    EXPECT_FALSE(fs::exists(dir.Path() / "a.txt"));
    const std::string path = dir / "missing.txt";
    EXPECT_FALSE(GFile::Delete(path));
    EXPECT_EQ(log.Messages(), std::vector<std::string>{"Error deleting file [" + path + "] -> " +
                                                       Reason(Platform::kErrorFileNotFound)});
}

TEST(GFile, Delete_KeepsAReadOnlyFile) {
    TestSupport::LogCapture log;
    TempDir dir;
    const std::string path = dir / "locked.txt";
    WriteFile(path, "keep");
    MakeReadOnly(path);
    EXPECT_FALSE(GFile::Delete(path));
    EXPECT_EQ(ReadFile(path), "keep");
    EXPECT_EQ(log.Messages(), (std::vector<std::string>{"GFile::Delete read only",
                                                        "Error deleting file [" + path + "] -> " +
                                                            Reason(Platform::kErrorAccessDenied)}));
}

TEST(GFile, DeleteFolderTree_RemovesEverythingBelow) {
    TestSupport::LogCapture log;
    TempDir dir;
    WriteFile(dir.Path() / "t/a.txt", "");
    WriteFile(dir.Path() / "t/sub/b.txt", "");
    WriteFile(dir.Path() / "t/sub/deeper/c.txt", "");
    fs::create_directories(dir.Path() / "t/empty");
    EXPECT_TRUE(GFile::DeleteFolderTree(dir / "t"));
    EXPECT_FALSE(fs::exists(dir.Path() / "t"));
    // Nothing left to delete is no failure either.
    EXPECT_TRUE(GFile::DeleteFolderTree(dir / "t"));
    EXPECT_TRUE(log.Messages().empty());
}

// Whatever keeps the folder alive, the caller is told it is still there.
TEST(GFile, DeleteFolderTree_FailsWhileTheFolderRemains) {
    {
        TestSupport::LogCapture log;
        TempDir dir;
        WriteFile(dir.Path() / "t/.keep", "");
        WriteFile(dir.Path() / "t/a.txt", "");
        EXPECT_FALSE(GFile::DeleteFolderTree(dir / "t"));
        EXPECT_TRUE(fs::exists(dir.Path() / "t/.keep"));
        EXPECT_FALSE(fs::exists(dir.Path() / "t/a.txt"));
        EXPECT_EQ(log.Messages(), std::vector<std::string>{"Error removing " + dir / "t"});
    }
    {
        TestSupport::LogCapture log;
        TempDir dir;
        WriteFile(dir.Path() / "t/sub/locked.txt", "");
        MakeReadOnly(dir.Path() / "t/sub/locked.txt");
        EXPECT_FALSE(GFile::DeleteFolderTree(dir / "t"));
        EXPECT_TRUE(fs::exists(dir.Path() / "t/sub/locked.txt"));
        const std::vector<std::string> messages = log.Messages();
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back(), "Error removing " + dir / "t");
    }
    {
        TestSupport::LogCapture log;
        TempDir dir;
        WriteFile(dir.Path() / "t/locked.txt", "");
        WriteFile(dir.Path() / "t/sub/other.txt", "");
        MakeReadOnly(dir.Path() / "t/locked.txt");
        EXPECT_FALSE(GFile::DeleteFolderTree(dir / "t"));
        EXPECT_TRUE(fs::exists(dir.Path() / "t/locked.txt"));
        EXPECT_EQ(log.Messages(),
                  std::vector<std::string>{"Error deleting " + dir / "t/locked.txt"});
    }
}

TEST(GFile, DeleteFolderTree_RemovesALinkButNotWhatItPointsTo) {
    if (!TestSupport::FolderLinksWork()) GTEST_SKIP() << "no links to folders here";
    TempDir dir;
    WriteFile(dir.Path() / "outside/precious.txt", "keep");
    WriteFile(dir.Path() / "t/a.txt", "");
    ASSERT_TRUE(TestSupport::MakeFolderLink(dir.Path() / "outside", dir.Path() / "t/link"));
    EXPECT_TRUE(GFile::DeleteFolderTree(dir / "t"));
    EXPECT_FALSE(fs::exists(dir.Path() / "t"));
    EXPECT_EQ(ReadFile(dir.Path() / "outside/precious.txt"), "keep");
}

TEST(GFile, DeleteFilesInFolder_DeletesFilesBelowAndKeepsFolders) {
    TempDir dir;
    WriteFile(dir.Path() / "t/a.txt", "");
    WriteFile(dir.Path() / "t/sub/b.txt", "");
    WriteFile(dir.Path() / "t/.keep", "");
    GFile::DeleteFilesInFolder(dir / "t/");
    EXPECT_EQ(TestSupport::ListTree(dir.Path() / "t"), std::vector<std::string>{".keep"});
    EXPECT_TRUE(fs::is_directory(dir.Path() / "t/sub"));
}

// Links are deleted as entries of this folder, never followed to what they point to.
TEST(GFile, DeleteFilesInFolder_NeverReachesThroughALink) {
    if (!TestSupport::kPosixFileSystem) GTEST_SKIP() << "no links to files here";
    TempDir dir;
    WriteFile(dir.Path() / "t/a.txt", "");
    WriteFile(dir.Path() / "outside/sentinel.txt", "keep");
    WriteFile(dir.Path() / "outside/target.txt", "keep");
    fs::create_directories(dir.Path() / "t/sub");
    fs::create_directory_symlink(dir.Path() / "outside", dir.Path() / "t/out");
    fs::create_directory_symlink("..", dir.Path() / "t/sub/loop");
    fs::create_symlink(dir.Path() / "outside/target.txt", dir.Path() / "t/file.lnk");
    GFile::DeleteFilesInFolder(dir / "t/");
    EXPECT_EQ(ReadFile(dir.Path() / "outside/sentinel.txt"), "keep");
    EXPECT_EQ(ReadFile(dir.Path() / "outside/target.txt"), "keep");
    EXPECT_FALSE(fs::exists(dir.Path() / "t/a.txt"));
    EXPECT_FALSE(fs::is_symlink(dir.Path() / "t/file.lnk"));
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "t/out"));
}

TEST(GFile, MakeUniqueName_SkipsTakenFilesButNotFolders) {
    TempDir dir;
    TestSupport::CwdGuard cwd(dir.Path());
    EXPECT_EQ(GFile::MakeUniqueName("shot", "bmp"), "shot.bmp");
    WriteFile(dir.Path() / "shot.bmp", "");
    WriteFile(dir.Path() / "shot(1).bmp", "");
    EXPECT_EQ(GFile::MakeUniqueName("shot", "bmp"), "shot(2).bmp");
    for (int n = 2; n <= 9; ++n)
        WriteFile(dir.Path() / ("shot(" + std::to_string(n) + ").bmp"), "");
    EXPECT_EQ(GFile::MakeUniqueName("shot", "bmp"), "shot(10).bmp");
    fs::create_directory(dir.Path() / "pic.png");
    EXPECT_EQ(GFile::MakeUniqueName("pic", "png"), "pic.png");
}

struct ExtensionCase {
    const char* Name;
    const char* Extension;
    const char* Expected;
};

class EnsureExtension : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(EnsureExtension, AppendsUnlessTheNameAlreadyEndsInIt) {
    const ExtensionCase& c = GetParam();
    EXPECT_EQ(GFile::EnsureExtension(c.Name, c.Extension), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(GFile, EnsureExtension,
                         ::testing::Values(ExtensionCase{"a.png", ".png", "a.png"},
                                           ExtensionCase{"a.PNG", ".png", "a.PNG.png"},
                                           ExtensionCase{".png", ".png", ".png.png"},
                                           ExtensionCase{"a", ".png", "a.png"},
                                           ExtensionCase{"", ".png", ".png"},
                                           ExtensionCase{"b.jpeg", ".jpeg", "b.jpeg"}));

TEST(GFile, GetExeFolder_IsTheFolderOfThisProgram) {
    const fs::path exe = TestSupport::ThisProgram();
    EXPECT_EQ(GFile::GetExeFolder(), exe.parent_path().string());
}

// The exporter run as a user runs it, in a scratch working folder.
#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "support/PakBuilder.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using TestSupport::ListTree;
using TestSupport::ReadFile;

using TestSupport::TempDir;

namespace {

const char kBanner[] = "Pak exporter 1.0\n";

std::string Transcript(const std::string& argument) {
    return std::string(kBanner) + "Loading " + argument +
           "...\nLoading complete\nExtracting files...\nExtraction complete...";
}

}  // namespace

TEST(Exporter, WithoutArgumentPrintsOnlyTheBanner) {
    TempDir dir;
    auto result = TestSupport::Run(EXPORTER_PATH, {}, dir.Path());
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Out, kBanner);
    EXPECT_TRUE(ListTree(dir.Path()).empty());
}

TEST(Exporter, UnpacksTheArchiveBelowExtracted) {
    TempDir dir;
    TestSupport::PakBuilder b;
    b.Add("readme.txt", "hello").Add("levels/one/map.txt", "map").Add("docs\\credits.txt", "us");
    TestSupport::WriteFile(dir.Path() / "data.pak", b.Bytes());
    auto result = TestSupport::Run(EXPORTER_PATH, {"data.pak", "ignored", "extra"}, dir.Path());
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Out, Transcript("data.pak"));
    EXPECT_TRUE(result.Err.empty()) << result.Err;
    EXPECT_EQ(ListTree(dir.Path()),
              (std::vector<std::string>{"data.pak", "extracted/docs/credits.txt",
                                        "extracted/levels/one/map.txt", "extracted/readme.txt"}));
    EXPECT_EQ(ReadFile(dir.Path() / "extracted/levels/one/map.txt"), "map");
}

TEST(Exporter, MissingEmptyAndHostileArchivesKeepTheTranscriptAndStatus) {
    TempDir dir;
    TestSupport::WriteFile(dir.Path() / "empty.pak", "");
    TestSupport::PakBuilder hostile;
    hostile.Add("../outside.txt", "x").Add("/etc/evil", "x").Add("a", "file").Add("a/b", "blocked");
    hostile.Add("fine.txt", "fine");
    TestSupport::WriteFile(dir.Path() / "hostile.pak", hostile.Bytes());
    TestSupport::PakBuilder damaged;
    damaged.Add("x", "y");
    damaged.CountOverride = 1000;
    TestSupport::WriteFile(dir.Path() / "damaged.pak", damaged.Bytes());

    fs::create_directory(dir.Path() / "work");
    // An archive that was never read says so in one line on standard error; an empty file is
    // an archive without entries, and a hostile one is read, its bad entries refused.
    const struct {
        const char* Archive;
        std::string Err;
    } cases[] = {
        {"../missing.pak",
         "exporter: cannot open ../missing.pak: " + Platform::ErrorMessage(2) + "\n"},
        {"../empty.pak", ""},
        {"../hostile.pak", ""},
        {"../damaged.pak",
         "exporter: ../damaged.pak is not a readable pak archive: the entry count is larger "
         "than the file can hold\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Archive);
        auto result = TestSupport::Run(EXPORTER_PATH, {c.Archive}, dir.Path() / "work");
        EXPECT_EQ(result.ExitCode, 0);
        EXPECT_EQ(result.Out, Transcript(c.Archive));
        EXPECT_EQ(result.Err, c.Err);
    }
    // Only the hostile archive's one sound entry and its blocking file were written.
    EXPECT_EQ(ListTree(dir.Path()),
              (std::vector<std::string>{"damaged.pak", "empty.pak", "hostile.pak",
                                        "work/extracted/a", "work/extracted/fine.txt"}));
}

TEST(Exporter, BundledSampleUnpacks) {
    TempDir dir;
    auto result = TestSupport::Run(EXPORTER_PATH, {SOURCE_ROOT "/examples/sample.pak"}, dir.Path());
    EXPECT_EQ(result.ExitCode, 0);
    const auto files = ListTree(dir.Path() / "extracted");
    EXPECT_NE(std::find(files.begin(), files.end(), "docs/credits.txt"), files.end());
    EXPECT_NE(std::find(files.begin(), files.end(), "levels/one/map.txt"), files.end());
}

TEST(Exporter, LinksPlantedInExtractedLeadNowhere) {
    if (!TestSupport::kPosixFileSystem) GTEST_SKIP() << "no links to files here";
    TempDir dir;
    TestSupport::PakBuilder b;
    b.Add("evil/x", "x").Add("evil/deep/er/y", "y").Add("file", "x").Add("dangling", "x");
    b.Add("hard", "new").Add("fine.txt", "fine");
    TestSupport::WriteFile(dir.Path() / "data.pak", b.Bytes());
    TestSupport::WriteFile(dir.Path() / "outside/sentinel", "untouched");
    const fs::path extracted = dir.Path() / "extracted";
    fs::create_directory(extracted);
    ASSERT_TRUE(TestSupport::MakeFolderLink("../outside", extracted / "evil"));
    ASSERT_TRUE(TestSupport::MakeFileLink("../outside/sentinel", extracted / "file"));
    ASSERT_TRUE(TestSupport::MakeFileLink("../outside/created", extracted / "dangling"));
    fs::create_hard_link(dir.Path() / "outside/sentinel", extracted / "hard");

    auto result = TestSupport::Run(EXPORTER_PATH, {"data.pak"}, dir.Path());
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Out, Transcript("data.pak"));
    EXPECT_EQ(ListTree(dir.Path() / "outside"), std::vector<std::string>{"sentinel"});
    EXPECT_EQ(ReadFile(dir.Path() / "outside/sentinel"), "untouched");
    EXPECT_EQ(ReadFile(extracted / "hard"), "new");
    EXPECT_EQ(ReadFile(extracted / "fine.txt"), "fine");
}

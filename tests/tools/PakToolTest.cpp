// The pak tool run as a user runs it: a real process, its exit status and its output.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "support/PakBuilder.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using TestSupport::PakBuilder;
using TestSupport::ReadFile;
using TestSupport::RunResult;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

RunResult Pak(const std::vector<std::string>& args, const fs::path& cwd) {
    return TestSupport::Run(BIN_DIR "/pak", args, cwd);
}

std::vector<std::string> SortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

void MakeData(const TempDir& dir) {
    WriteFile(dir.Path() / "data/a.txt", "alpha");
    WriteFile(dir.Path() / "data/sub/b.bin", std::string("\0\x01\x02", 3));
    WriteFile(dir.Path() / "data/.hidden", "no");
}

std::string OneEntryBytes() {
    PakBuilder b;
    b.Add("a.txt", "abc");
    return b.BytesWithDerivedOffsets();
}

}  // namespace

TEST(PakTool, CreateListExtract_RoundTripQuietly) {
    TempDir dir;
    MakeData(dir);
    RunResult r = Pak({"create", "data", "game.pak", "--prefix", "gfx"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out + r.Err, "");

    r = Pak({"list", "game.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    const std::vector<std::string> lines = SortedLines(r.Out);
    ASSERT_EQ(lines.size(), 2u);
    // Offsets depend on the walk order; the one that comes first starts after the table.
    EXPECT_TRUE(lines[0] == "gfx/a.txt\t5\t788" || lines[0] == "gfx/a.txt\t5\t791") << lines[0];
    EXPECT_TRUE(lines[1] == "gfx/sub/b.bin\t3\t788" || lines[1] == "gfx/sub/b.bin\t3\t793")
        << lines[1];

    r = Pak({"list", "--long", "game.pak"}, dir.Path());
    EXPECT_NE(r.Out.find("gfx/a.txt\t5\t"), std::string::npos);
    EXPECT_NE(r.Out.find("\tdata/a.txt\n"), std::string::npos) << r.Out;

    r = Pak({"extract", "game.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out + r.Err, "");
    EXPECT_EQ(TestSupport::ListTree(dir.Path() / "extracted"),
              (std::vector<std::string>{"gfx/a.txt", "gfx/sub/b.bin"}));
    EXPECT_EQ(ReadFile(dir.Path() / "extracted/gfx/sub/b.bin"), std::string("\0\x01\x02", 3));

    r = Pak({"verify", "game.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_EQ(r.Out + r.Err, "");
}

TEST(PakTool, Create_FlatNamesWarnAboutDuplicatesAndSkipNothingSilently) {
    TempDir dir;
    WriteFile(dir.Path() / "data/one/same.txt", "1");
    WriteFile(dir.Path() / "data/two/same.txt", "2");
    WriteFile(dir.Path() / "data/two" / std::string(126, 'n'), "long");
    RunResult r = Pak({"create", "data/", "data/flat.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Err.find("2 files stored as [same.txt]"), std::string::npos) << r.Err;

    // A prefix makes the long name too long for its field: the file is left out, and said so.
    r = Pak({"create", "data", "data/flat.pak", "--prefix", "p"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("left out [data/two/" + std::string(126, 'n') + "]"), std::string::npos)
        << r.Err;
    r = Pak({"list", "data/flat.pak"}, dir.Path());
    EXPECT_EQ(SortedLines(r.Out).size(), 2u) << "the archive itself is never packed\n" << r.Out;
}

TEST(PakTool, Extract_OnlyTheNamedEntriesIntoDest) {
    TempDir dir;
    MakeData(dir);
    ASSERT_EQ(Pak({"create", "data", "game.pak", "--prefix", "gfx"}, dir.Path()).ExitCode, 0);
    RunResult r = Pak({"extract", "game.pak", "out", "gfx/sub/b.bin"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(TestSupport::ListTree(dir.Path() / "out"), std::vector<std::string>{"gfx/sub/b.bin"});

    r = Pak({"extract", "game.pak", "out2", "gfx/a.txt", "GFX/A.TXT"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("no entry named [GFX/A.TXT]"), std::string::npos) << r.Err;
    EXPECT_EQ(TestSupport::ListTree(dir.Path() / "out2"), std::vector<std::string>{"gfx/a.txt"});
}

TEST(PakTool, Extract_WritesNothingOutsideDest) {
    TempDir dir;
    PakBuilder builder;
    builder.Add("../escaped.txt", "x").Add("/abs.txt", "x").Add("link/through.txt", "x");
    builder.Add("link/new/deeper.txt", "x").Add("filelink", "x").Add("dangling", "x");
    builder.Add("hard", "replaced");
    builder.Add("ok\\inner.txt", "fine");
    WriteFile(dir.Path() / "evil.pak", builder.BytesWithDerivedOffsets());
    fs::create_directories(dir.Path() / "dest");
    WriteFile(dir.Path() / "outside/sentinel", "untouched");
    fs::create_directory_symlink(dir.Path() / "outside", dir.Path() / "dest/link");
    fs::create_symlink(dir.Path() / "outside/sentinel", dir.Path() / "dest/filelink");
    fs::create_symlink(dir.Path() / "outside/new", dir.Path() / "dest/dangling");
    fs::create_hard_link(dir.Path() / "outside/sentinel", dir.Path() / "dest/hard");

    RunResult r = Pak({"extract", "evil.pak", "dest"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 1);
    for (const char* refused : {"[../escaped.txt]", "[/abs.txt]", "[link/through.txt]",
                                "[link/new/deeper.txt]", "[filelink]", "[dangling]"}) {
        EXPECT_NE(r.Err.find(refused), std::string::npos) << refused << "\n" << r.Err;
    }
    EXPECT_EQ(r.Err.find("[hard]"), std::string::npos) << r.Err;
    EXPECT_EQ(TestSupport::ListTree(dir.Path() / "outside"), std::vector<std::string>{"sentinel"});
    EXPECT_EQ(ReadFile(dir.Path() / "outside/sentinel"), "untouched");
    EXPECT_EQ(ReadFile(dir.Path() / "dest/ok/inner.txt"), "fine");
    EXPECT_EQ(ReadFile(dir.Path() / "dest/hard"), "replaced");
}

TEST(PakTool, Extract_ADestThatCannotBeMadeFailsWithStatusTwo) {
    TempDir dir;
    WriteFile(dir.Path() / "game.pak", OneEntryBytes());
    WriteFile(dir.Path() / "file", "in the way");
    RunResult r = Pak({"extract", "game.pak", "file/sub"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_NE(r.Err.find("cannot create file/sub"), std::string::npos) << r.Err;
}

struct DamageCase {
    const char* Label;
    std::string Bytes;
    const char* Expected;  // a phrase of the report
};

class PakVerify : public ::testing::TestWithParam<DamageCase> {};

TEST_P(PakVerify, ReportsDamageWithStatusOne) {
    TempDir dir;
    WriteFile(dir.Path() / "bad.pak", GetParam().Bytes);
    RunResult r = Pak({"verify", "bad.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE((r.Out + r.Err).find(GetParam().Expected), std::string::npos) << r.Out << r.Err;
    // Extraction refuses the same damage rather than pass the result off as whole; bytes
    // after the data harm no entry.
    if (std::string(GetParam().Label) != "TrailingBytes") {
        EXPECT_NE(Pak({"extract", "bad.pak", "x"}, dir.Path()).ExitCode, 0);
    }
}

DamageCase WithBuilder(const char* label, PakBuilder builder, const char* expected,
                       const std::string& tail = "") {
    return {label, builder.BytesWithDerivedOffsets() + tail, expected};
}

PakBuilder OneEntry(const std::string& name, const std::string& data) {
    PakBuilder b;
    b.Add(name, data);
    return b;
}

PakBuilder Oversized() {
    PakBuilder b = OneEntry("a.txt", "abc");
    b.Records[0].SizeOverride = 1000;
    return b;
}

PakBuilder CountTooLarge() {
    PakBuilder b = OneEntry("a.txt", "abc");
    b.CountOverride = 50;
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    PakTool, PakVerify,
    ::testing::Values(
        DamageCase{"CutCount", std::string("\x01\0", 2), "damaged"},
        WithBuilder("CountTooLarge", CountTooLarge(), "damaged"),
        WithBuilder("DataPastEnd", Oversized(), "entry 0 [a.txt]"),
        WithBuilder("Unterminated", OneEntry(std::string(128, 'n'), "x"), "not terminated"),
        WithBuilder("Climbs", OneEntry("a/../../b.txt", "x"), "entry 0 [a/../../b.txt]"),
        WithBuilder("TrailingBytes", OneEntry("a.txt", "abc"), "2 bytes after", "zz")),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return info.param.Label; });

TEST(PakTool, ErrorsGoToStandardErrorWithNonZeroStatus) {
    TempDir dir;
    WriteFile(dir.Path() / "empty.pak", "");
    struct Case {
        std::vector<std::string> Args;
        int Status;
        const char* Phrase;
    };
    const std::vector<Case> cases{
        {{"list", "missing.pak"}, 2, "cannot open missing.pak"},
        {{"verify", "missing.pak"}, 2, "cannot open missing.pak"},
        {{"create", "nofolder", "x.pak"}, 2, "nofolder"},
        {{"create", ".", "x.pak", "--prefix", ".."}, 2, "prefix"},
        {{"frobnicate"}, 2, "ubcommand is required"},
        {{}, 2, "ubcommand is required"},
    };
    for (const Case& c : cases) {
        RunResult r = Pak(c.Args, dir.Path());
        EXPECT_EQ(r.ExitCode, c.Status) << c.Phrase;
        EXPECT_EQ(r.Out, "") << c.Phrase;
        EXPECT_NE(r.Err.find(c.Phrase), std::string::npos) << r.Err;
    }
    EXPECT_FALSE(fs::exists(dir.Path() / "x.pak"));

    // An empty file is an archive with no entries.
    RunResult r = Pak({"verify", "empty.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
}

TEST(PakTool, HelpAndVersion) {
    TempDir dir;
    for (const char* command : {"list", "extract", "create", "verify"}) {
        RunResult r = Pak({command, "--help"}, dir.Path());
        EXPECT_EQ(r.ExitCode, 0) << command;
        EXPECT_NE(r.Out.find(std::string("pak ") + command), std::string::npos) << r.Out;
    }
    RunResult r = Pak({"--version"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_EQ(r.Out, "pak 1.0.0\n");
}

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

// Walking a folder never follows a link to a folder (a loop once listed each file 41 times,
// two never ended); a link to a file packs its bytes; a device is left out, not read.
TEST(PakTool, Create_PacksLinkedFilesButNeitherFolderLinksNorDevices) {
    if (!TestSupport::kPosixFileSystem) GTEST_SKIP() << "no links to files here";
    TempDir dir;
    WriteFile(dir.Path() / "data/a.txt", "alpha");
    WriteFile(dir.Path() / "outside/x.bin", "linked bytes");
    fs::create_directory_symlink(".", dir.Path() / "data/loop");
    fs::create_directory_symlink(".", dir.Path() / "data/loop2");
    fs::create_symlink(dir.Path() / "outside/x.bin", dir.Path() / "data/x.bin");
    fs::create_symlink("/dev/null", dir.Path() / "data/null");

    RunResult r = Pak({"create", "data", "game.pak", "--prefix", "p"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 1);
    for (const char* phrase : {"left out [data/loop]: it is a link to a folder",
                               "left out [data/loop2]: it is a link to a folder",
                               "left out [data/null]: it is not a regular file"}) {
        EXPECT_NE(r.Err.find(phrase), std::string::npos) << phrase << "\n" << r.Err;
    }
    ASSERT_EQ(Pak({"extract", "game.pak", "out"}, dir.Path()).ExitCode, 0);
    EXPECT_EQ(TestSupport::ListTree(dir.Path() / "out"),
              (std::vector<std::string>{"p/a.txt", "p/x.bin"}));
    EXPECT_EQ(ReadFile(dir.Path() / "out/p/x.bin"), "linked bytes");
}

// A backslash separates folders in every path the engine is given, the folder argument too.
TEST(PakTool, Create_TakesAFolderWrittenWithBackslashes) {
    TempDir dir;
    WriteFile(dir.Path() / "chain/a/x.txt", "x");
    RunResult r = Pak({"create", "chain\\a", "out.pak", "--prefix", "p"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    r = Pak({"list", "out.pak"}, dir.Path());
    EXPECT_EQ(r.Out, "p/x.txt\t1\t396\n");
}

// Names come from whoever made the archive: no byte of one may act on the terminal or
// split the entry across lines or fields.
TEST(PakTool, PrintsEveryNamePathAndMessageEscaped) {
    TempDir dir;
    struct Case {
        std::string Name;
        const char* Shown;
    };
    const std::vector<Case> cases{
        {"\x1b]0;owned\x07.txt", "\\033]0;owned\\a.txt"},
        {"\x1b[2J\x1b[H", "\\033[2J\\033[H"},
        {"tab\there\nnext line.txt", "tab\\there\\nnext line.txt"},
        {"\xc2\x9b"
         "31mred",
         "\\302\\23331mred"},                               // C1 control, as UTF-8
        {"\xe2\x80\xaegnp.exe", "\\342\\200\\256gnp.exe"},  // right-to-left override
        {"caf\xc3\xa9 \xe6\x97\xa5.txt", "caf\xc3\xa9 \xe6\x97\xa5.txt"},
        {"latin\xe9.txt", "latin\\351.txt"},
        {"docs\\readme.txt", "docs\\readme.txt"},
    };
    PakBuilder builder;
    for (const Case& c : cases) builder.Add(c.Name, "d");
    builder.Records[0].SourcePath = "src\x1b[2J/a.txt";
    WriteFile(dir.Path() / "names.pak", builder.BytesWithDerivedOffsets());

    RunResult r = Pak({"list", "--long", "names.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    std::istringstream out(r.Out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(out, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), cases.size()) << r.Out;
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(lines[i].substr(0, lines[i].find('\t')), cases[i].Shown) << i;
    }
    EXPECT_NE(lines[0].find("\tsrc\\033[2J/a.txt"), std::string::npos) << lines[0];

    // Messages quote paths and names the same way, each on one line.
    builder.Records[1].SizeOverride = 1000;
    // Only a POSIX file system lets a file name hold a line end.
    const bool posix = TestSupport::kPosixFileSystem;
    const std::string badName = posix ? "bad\nname.pak" : "bad.pak";
    WriteFile(dir.Path() / badName, builder.BytesWithDerivedOffsets());
    r = Pak({"verify", badName}, dir.Path());
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Out.find(std::string(posix ? "bad\\nname.pak" : "bad.pak") +
                         ": entry 1 [\\033[2J\\033[H]: "),
              std::string::npos)
        << r.Out;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", "no\x1b[2Jsuch.pak"},
          std::vector<std::string>{"create", "no\x1b[2Jsuch", "x.pak"},
          std::vector<std::string>{"list", "a.pak", "extra\x1b[2J"}}) {
        r = Pak(args, dir.Path());
        EXPECT_EQ(r.ExitCode, 2);
        EXPECT_EQ(r.Err.find('\x1b'), std::string::npos) << r.Err;
        EXPECT_NE(r.Err.find("\\033[2J"), std::string::npos) << r.Err;
    }
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
    if (!TestSupport::kPosixFileSystem) GTEST_SKIP() << "no links to files here";
    TempDir dir;
    PakBuilder builder;
    builder.Add("../escaped.txt", "x").Add("/abs.txt", "x").Add("link/through.txt", "x");
    builder.Add("link/new/deeper.txt", "x").Add("filelink", "x").Add("dangling", "x");
    builder.Add("hard", "replaced");
    builder.Add("ok\\inner.txt", "fine");
    WriteFile(dir.Path() / "evil.pak", builder.BytesWithDerivedOffsets());
    fs::create_directories(dir.Path() / "dest");
    WriteFile(dir.Path() / "outside/sentinel", "untouched");
    ASSERT_TRUE(TestSupport::MakeFolderLink(dir.Path() / "outside", dir.Path() / "dest/link"));
    ASSERT_TRUE(
        TestSupport::MakeFileLink(dir.Path() / "outside/sentinel", dir.Path() / "dest/filelink"));
    ASSERT_TRUE(
        TestSupport::MakeFileLink(dir.Path() / "outside/new", dir.Path() / "dest/dangling"));
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

// The pak tool run as a user runs it: a real process, its exit status and its output. This
// file covers reading (list, cat, extract, verify), create, and the messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "PakToolSupport.h"

using namespace PakToolTest;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> SortedLines(const std::string& text) {
    std::vector<std::string> lines = Lines(text);
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

std::vector<std::string> StoredNames(const fs::path& pak) {
    std::vector<std::string> names;
    for (const auto& entry : Entries(pak)) names.push_back(entry.first);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(PakTool, CreateListExtract_RoundTripQuietly) {
    TempDir dir;
    MakeData(dir);
    RunResult r = Pak({"create", "data", "game.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out + r.Err, "");
    // Paths below the folder, folders separated as the archives of the game separate them.
    EXPECT_EQ(StoredNames(dir.Path() / "game.pak"),
              (std::vector<std::string>{"a.txt", "sub\\b.bin"}));

    r = Pak({"list", "game.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    const std::vector<std::string> lines = SortedLines(r.Out);
    ASSERT_EQ(lines.size(), 2u);
    // Offsets depend on the walk order; the one that comes first starts after the table.
    EXPECT_TRUE(lines[0] == "a.txt\t5\t788" || lines[0] == "a.txt\t5\t791") << lines[0];
    EXPECT_TRUE(lines[1] == "sub/b.bin\t3\t788" || lines[1] == "sub/b.bin\t3\t793") << lines[1];

    r = Pak({"list", "--long", "game.pak"}, dir.Path());
    ASSERT_FALSE(r.Out.empty());
    EXPECT_EQ(Lines(r.Out)[0], "NAME\tSIZE\tOFFSET\tSOURCE");
    EXPECT_NE(r.Out.find("\tdata/a.txt\n"), std::string::npos) << r.Out;

    r = Pak({"extract", "game.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out + r.Err, "");
    EXPECT_EQ(TestSupport::ListTree(dir.Path() / "extracted"),
              (std::vector<std::string>{"a.txt", "sub/b.bin"}));
    EXPECT_EQ(ReadFile(dir.Path() / "extracted/sub/b.bin"), std::string("\0\x01\x02", 3));

    r = Pak({"verify", "game.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_EQ(r.Out + r.Err, "");
}

// An unpacked game archive packs again under its original names (with '\' between folders).
TEST(PakTool, Create_UnpackedArchivePacksAgainUnderItsNames) {
    TempDir dir;
    WriteFile(dir.Path() / "game.pak", GameArchive());
    ASSERT_EQ(Pak({"extract", "game.pak", "-C", "unpacked"}, dir.Path()).ExitCode, 0);
    RunResult r = Pak({"create", "unpacked", "again.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(
        StoredNames(dir.Path() / "again.pak"),
        (std::vector<std::string>{"data\\empty.dat", "docs\\credits.txt", "levels\\one\\map.txt",
                                  "levels\\two\\map.txt", "readme.txt"}));
}

struct NamingCase {
    const char* Label;
    std::vector<std::string> Options;
    std::vector<std::string> Stored;  // sorted
};

class CreateNaming : public ::testing::TestWithParam<NamingCase> {};

TEST_P(CreateNaming, StoresTheNamesAsked) {
    TempDir dir;
    WriteFile(dir.Path() / "mod/a.txt", "a");
    WriteFile(dir.Path() / "mod/gfx/b.txt", "b");
    std::vector<std::string> args{"create", "mod", "out.pak"};
    args.insert(args.end(), GetParam().Options.begin(), GetParam().Options.end());
    RunResult r = Pak(args, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(StoredNames(dir.Path() / "out.pak"), GetParam().Stored);
}

INSTANTIATE_TEST_SUITE_P(
    PakTool, CreateNaming,
    ::testing::Values(
        NamingCase{"Paths", {}, {"a.txt", "gfx\\b.txt"}},
        NamingCase{"Flat", {"--flat"}, {"a.txt", "b.txt"}},
        NamingCase{"EmptyPrefixIsNone", {"--prefix", ""}, {"a.txt", "gfx\\b.txt"}},
        NamingCase{"Prefix", {"--prefix", "data/x/"}, {"data\\x\\a.txt", "data\\x\\gfx\\b.txt"}},
        NamingCase{"FlatWithPrefix", {"--flat", "-p", "p"}, {"p\\a.txt", "p\\b.txt"}}),
    [](const ::testing::TestParamInfo<NamingCase>& info) { return info.param.Label; });

TEST(PakTool, Create_FlatNamesThatCollideAreAnErrorAndNothingIsWritten) {
    TempDir dir;
    WriteFile(dir.Path() / "data/one/same.txt", "1");
    WriteFile(dir.Path() / "data/two/same.txt", "2");
    RunResult r = Pak({"create", "data", "flat.pak", "--flat"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("would both be stored as 'same.txt'"), std::string::npos) << r.Err;
    EXPECT_FALSE(fs::exists(dir.Path() / "flat.pak"));
}

TEST(PakTool, Create_LeavesOutNamesTooLongAndNeverPacksItself) {
    TempDir dir;
    WriteFile(dir.Path() / "data/a.txt", "a");
    WriteFile(dir.Path() / "data/two" / std::string(124, 'n'), "long");
    RunResult r = Pak({"create", "data", "data/self.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("left out: data/two/" + std::string(124, 'n') +
                         " would be stored under a name longer than 127 bytes"),
              std::string::npos)
        << r.Err;
    EXPECT_EQ(StoredNames(dir.Path() / "data/self.pak"), std::vector<std::string>{"a.txt"});
    // Packed again, the archive meets itself in the folder: no news, and not packed.
    fs::remove(dir.Path() / "data/two" / std::string(124, 'n'));
    r = Pak({"create", "data", "data/self.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(StoredNames(dir.Path() / "data/self.pak"), std::vector<std::string>{"a.txt"});
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
    for (const char* phrase : {"pak: left out: data/loop is a link to a folder\n",
                               "pak: left out: data/loop2 is a link to a folder\n",
                               "pak: left out: data/null is not a regular file\n"}) {
        EXPECT_NE(r.Err.find(phrase), std::string::npos) << phrase << "\n" << r.Err;
    }
    ASSERT_EQ(Pak({"extract", "game.pak", "-C", "out"}, dir.Path()).ExitCode, 0);
    EXPECT_EQ(TestSupport::ListTree(dir.Path() / "out"),
              (std::vector<std::string>{"p/a.txt", "p/x.bin"}));
    EXPECT_EQ(ReadFile(dir.Path() / "out/p/x.bin"), "linked bytes");
}

// Where a backslash separates folders, a file whose own name holds one cannot be named by
// any path: "sub\x.txt" would be read as sub/x.txt, another file, packed twice.
TEST(PakTool, Create_LeavesOutNamesHoldingABackslash) {
    if (!TestSupport::kPosixFileSystem) GTEST_SKIP() << "names cannot hold a backslash here";
    TempDir dir;
    WriteFile(dir.Path() / "data/sub/x.txt", "the real one");
    WriteFile(dir.Path() / "data/sub\\x.txt", "a lookalike");
    WriteFile(dir.Path() / "data/odd\\folder/y.txt", "y");
    RunResult r = Pak({"create", "data", "game.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 1);
    for (const char* line :
         {"pak: left out: data/sub\\\\x.txt holds a backslash, which archives use to separate "
          "folders\n",
          "pak: left out: data/odd\\\\folder holds a backslash, which archives use to separate "
          "folders\n"}) {
        EXPECT_NE(r.Err.find(line), std::string::npos) << line << r.Err;
    }
    EXPECT_EQ(Entries(dir.Path() / "game.pak"), (EntryList{{"sub\\x.txt", "the real one"}}));
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

// Names come from whoever made the archive: no byte of one may act on the terminal or split
// the entry across lines or fields, and no two names may print alike.
TEST(PakTool, PrintsEveryNameUnambiguously) {
    TempDir dir;
    struct Case {
        std::string Name;
        const char* Shown;
        const char* Json;
    };
    const std::vector<Case> cases{
        {"\x1b]0;owned\x07.txt", "\\033]0;owned\\a.txt", "\"\\u001b]0;owned\\u0007.txt\""},
        {"\x1b[2J\x1b[H", "\\033[2J\\033[H", "\"\\u001b[2J\\u001b[H\""},
        {"tab\there\nnext line.txt", "tab\\there\\nnext line.txt",
         "\"tab\\u0009here\\u000anext line.txt\""},
        {"\xc2\x9b"
         "31mred",
         "\\302\\23331mred", "\"\\u009b31mred\""},  // C1 control, as UTF-8
        {"\xe2\x80\xaegnp.exe", "\\342\\200\\256gnp.exe", "\"\\u202egnp.exe\""},
        {"caf\xc3\xa9 \xe6\x97\xa5.txt", "caf\xc3\xa9 \xe6\x97\xa5.txt",
         "\"caf\xc3\xa9 \xe6\x97\xa5.txt\""},
        {"latin\xe9.txt", "latin\\351.txt", "\"latin\\udce9.txt\""},
        // A folder, and a tab that would print the same way were backslashes shown as they are.
        {"docs\\tools.txt", "docs/tools.txt", "\"docs\\\\tools.txt\""},
        {"docs\tools.txt", "docs\\tools.txt", "\"docs\\u0009ools.txt\""},
        {"dir\\033x", "dir/033x", "\"dir\\\\033x\""},
        {"dir\x1bx", "dir\\033x", "\"dir\\u001bx\""},
        {"quote\"d/x", "quote\"d/x", "\"quote\\\"d/x\""},
    };
    PakBuilder builder;
    for (const Case& c : cases) builder.Add(c.Name, "d");
    builder.Records[0].SourcePath = "src\x1b[2J\\a.txt";
    WriteFile(dir.Path() / "names.pak", builder.BytesWithDerivedOffsets());

    RunResult r = Pak({"list", "--long", "names.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    std::vector<std::string> lines = Lines(r.Out);
    ASSERT_EQ(lines.size(), cases.size() + 1) << r.Out;
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(lines[i + 1].substr(0, lines[i + 1].find('\t')), cases[i].Shown) << i;
    }
    EXPECT_NE(lines[1].find("\tsrc\\033[2J/a.txt"), std::string::npos) << lines[1];

    r = Pak({"list", "--json", "names.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    lines = Lines(r.Out);
    ASSERT_EQ(lines.size(), cases.size() + 2) << r.Out;
    EXPECT_EQ(lines.front(), "[");
    EXPECT_EQ(lines.back(), "]");
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(lines[i + 1].substr(0, lines[i + 1].find(", \"size\"")),
                  std::string("{\"name\": ") + cases[i].Json)
            << i;
    }
    EXPECT_EQ(lines[1].substr(lines[1].find(", \"size\"")),
              ", \"size\": 1, \"offset\": 4708, \"source\": \"src\\u001b[2J\\\\a.txt\"},");

    // For programs: the stored bytes, each name ended by a NUL.
    int status = -1;
    const std::string raw = PakBytes({"list", "-0", "names.pak"}, dir.Path(), status);
    EXPECT_EQ(status, 0);
    std::string expected;
    for (const Case& c : cases) expected += c.Name + '\0';
    EXPECT_EQ(raw, expected);

    // A shown name typed back selects its own entry, not its lookalike.
    builder.Records[7].Data = "folder";
    builder.Records[8].Data = "tab";
    WriteFile(dir.Path() / "names.pak", builder.BytesWithDerivedOffsets());
    EXPECT_EQ(PakBytes({"cat", "names.pak", "docs/tools.txt"}, dir.Path(), status), "folder");
}

TEST(PakTool, MessagesQuotePathsAndNamesEscapedOnOneLine) {
    TempDir dir;
    PakBuilder builder;
    builder.Add("ok.txt", "d").Add("\x1b[2J\x1b[H", "d");
    builder.Records[1].SizeOverride = 1000;
    // Only a POSIX file system lets a file name hold a line end.
    const bool posix = TestSupport::kPosixFileSystem;
    const std::string badName = posix ? "bad\nname.pak" : "bad.pak";
    WriteFile(dir.Path() / badName, builder.BytesWithDerivedOffsets());
    RunResult r = Pak({"verify", badName}, dir.Path());
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Out.find(std::string(posix ? "bad\\nname.pak" : "bad.pak") +
                         ": entry 1 '\\033[2J\\033[H': "),
              std::string::npos)
        << r.Out;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", "no\x1b[2Jsuch.pak"},
          std::vector<std::string>{"create", "no\x1b[2Jsuch", "x.pak"},
          std::vector<std::string>{"list", "a.pak", "extra\x1b[2J"},
          std::vector<std::string>{"bogus\x1b[2J"}}) {
        r = Pak(args, dir.Path());
        EXPECT_EQ(r.ExitCode, 2);
        EXPECT_EQ(r.Err.find('\x1b'), std::string::npos) << r.Err;
        EXPECT_NE(r.Err.find("\\033[2J"), std::string::npos) << r.Err;
    }
}

struct SelectCase {
    const char* Label;
    std::vector<std::string> Names;
    std::vector<std::string> Written;  // below the target, sorted
    int Status;
    const char* Complaint;  // a phrase of standard error, or ""
};

class ExtractSelection : public ::testing::TestWithParam<SelectCase> {};

TEST_P(ExtractSelection, WritesWhatTheNamesSelect) {
    TempDir dir;
    PakBuilder b;
    b.Add("readme.txt", "r").Add("levels/one/map.txt", "1").Add("levels\\two\\map.txt", "2");
    b.Add("levels/index.txt", "i").Add("docs\\credits.txt", "c").Add("Docs/Upper.txt", "u");
    WriteFile(dir.Path() / "game.pak", b.BytesWithDerivedOffsets());
    std::vector<std::string> args{"extract", "game.pak"};
    args.insert(args.end(), GetParam().Names.begin(), GetParam().Names.end());
    RunResult r = Pak(args, dir.Path());
    EXPECT_EQ(r.ExitCode, GetParam().Status) << r.Err;
    EXPECT_EQ(r.Out, "");
    if (*GetParam().Complaint == '\0') {
        EXPECT_EQ(r.Err, "");
    } else {
        EXPECT_NE(r.Err.find(GetParam().Complaint), std::string::npos) << r.Err;
    }
    EXPECT_EQ(TestSupport::ListTree(dir.Path() / "extracted"), GetParam().Written);
}

INSTANTIATE_TEST_SUITE_P(
    PakTool, ExtractSelection,
    ::testing::Values(
        SelectCase{"OneName", {"readme.txt"}, {"readme.txt"}, 0, ""},
        SelectCase{"EitherSeparator",
                   {"docs/credits.txt", "levels/two\\map.txt"},
                   {"docs/credits.txt", "levels/two/map.txt"},
                   0,
                   ""},
        SelectCase{"Folder",
                   {"levels/"},
                   {"levels/index.txt", "levels/one/map.txt", "levels/two/map.txt"},
                   0,
                   ""},
        SelectCase{"PatternStaysInItsLevel", {"levels/*"}, {"levels/index.txt"}, 0, ""},
        SelectCase{"PatternPerLevel",
                   {"levels/*/map.???"},
                   {"levels/one/map.txt", "levels/two/map.txt"},
                   0,
                   ""},
        SelectCase{"PatternNeverCrossesASeparator",
                   {"*map.txt"},
                   {},
                   1,
                   "pak: no entry matches '*map.txt'\n"},
        SelectCase{"CaseCounts", {"docs/"}, {"docs/credits.txt"}, 0, ""},
        SelectCase{"UnmatchedIsAnErrorButTheRestIsWritten",
                   {"readme.txt", "README.TXT", "x/"},
                   {"readme.txt"},
                   1,
                   "pak: no entry matches 'README.TXT'\npak: no entry matches 'x/'\n"},
        // Where the destination once followed the archive.
        SelectCase{"AFolderNeedsDashC",
                   {"out"},
                   {},
                   1,
                   "no entry matches 'out'\npak: a folder to unpack into is given with -C"}),
    [](const ::testing::TestParamInfo<SelectCase>& info) { return info.param.Label; });

// The hint about -C is for a lone plain word only: a pattern or a folder name that matches
// nothing, or a word given with -C, is a name the user meant.
TEST(PakTool, Extract_HintsAtDashCOnlyForAPlainWord) {
    TempDir dir;
    WriteFile(dir.Path() / "game.pak", GameArchive());
    for (const std::vector<std::string>& names :
         {std::vector<std::string>{"music/*"}, {"music/"}, {"out", "-C", "here"}}) {
        std::vector<std::string> args{"extract", "game.pak"};
        args.insert(args.end(), names.begin(), names.end());
        RunResult r = Pak(args, dir.Path());
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_EQ(r.Err, "pak: no entry matches '" + names[0] + "'\n");
    }
}

TEST(PakTool, Extract_IntoTheFolderGivenWithDashC) {
    TempDir dir;
    WriteFile(dir.Path() / "game.pak", GameArchive());
    RunResult r = Pak({"extract", "game.pak", "levels\\", "-C", "out/deeper"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(TestSupport::ListTree(dir.Path() / "out"),
              (std::vector<std::string>{"deeper/levels/one/map.txt", "deeper/levels/two/map.txt"}));
    EXPECT_FALSE(fs::exists(dir.Path() / "extracted"));
    r = Pak({"extract", "--directory", "all", "game.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(TestSupport::ListTree(dir.Path() / "all").size(), 5u);
}

TEST(PakTool, Cat_WritesTheBytesAloneInTheOrderNamed) {
    TempDir dir;
    const std::string binary("\0\x01\r\n\x1a\xff end", 10);
    PakBuilder b;
    b.Add("bin/data.bin", binary).Add("a.txt", "A").Add("b.txt", "B").Add("a*b", "star");
    b.Add("broken", "x");
    b.Records[4].SizeOverride = 1000;
    WriteFile(dir.Path() / "game.pak", b.BytesWithDerivedOffsets());
    int status = -1;
    EXPECT_EQ(PakBytes({"cat", "game.pak", "bin\\data.bin"}, dir.Path(), status), binary);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(PakBytes({"cat", "game.pak", "b.txt", "a.txt", "b.txt"}, dir.Path(), status), "BAB");
    EXPECT_EQ(PakBytes({"cat", "game.pak", "?.txt"}, dir.Path(), status), "AB");
    // A name that holds a wildcard is typed as it is.
    EXPECT_EQ(PakBytes({"cat", "game.pak", "a*b"}, dir.Path(), status), "star");

    RunResult r = Pak({"cat", "game.pak", "missing", "a.txt", "broken"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Out, "A");
    EXPECT_NE(r.Err.find("pak: no entry matches 'missing'\n"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("entry 4 'broken': the data runs past the end"), std::string::npos)
        << r.Err;
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

    // Chosen by pattern or all at once, the same entries are refused.
    for (const std::vector<std::string>& names :
         {std::vector<std::string>{}, std::vector<std::string>{"*", "*/", "../*", "/abs.txt"}}) {
        std::vector<std::string> args{"extract", "evil.pak", "-C", "dest"};
        args.insert(args.end(), names.begin(), names.end());
        RunResult r = Pak(args, dir.Path());
        EXPECT_EQ(r.ExitCode, 1);
        for (const char* refused : {"'../escaped.txt'", "'/abs.txt'", "'link/through.txt'",
                                    "'link/new/deeper.txt'", "'filelink'", "'dangling'"}) {
            EXPECT_NE(r.Err.find(refused), std::string::npos) << refused << "\n" << r.Err;
        }
        EXPECT_EQ(r.Err.find("'hard'"), std::string::npos) << r.Err;
        EXPECT_EQ(TestSupport::ListTree(dir.Path() / "outside"),
                  std::vector<std::string>{"sentinel"});
        EXPECT_EQ(ReadFile(dir.Path() / "outside/sentinel"), "untouched");
        EXPECT_EQ(ReadFile(dir.Path() / "dest/ok/inner.txt"), "fine");
        EXPECT_EQ(ReadFile(dir.Path() / "dest/hard"), "replaced");
    }
}

TEST(PakTool, Extract_ADestThatCannotBeMadeFailsWithStatusTwo) {
    TempDir dir;
    WriteFile(dir.Path() / "game.pak", OneEntryBytes());
    WriteFile(dir.Path() / "file", "in the way");
    RunResult r = Pak({"extract", "game.pak", "-C", "file/sub"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_NE(r.Err.find("cannot create file/sub"), std::string::npos) << r.Err;
}

struct DamageCase {
    const char* Label;
    std::string Bytes;
    std::vector<std::string> Report;  // every line verify prints, after "bad.pak: "
    bool ExtractRefuses;              // whether extraction refuses some of it
};

class PakVerify : public ::testing::TestWithParam<DamageCase> {};

TEST_P(PakVerify, ReportsEachProblemOnALineWithStatusOne) {
    TempDir dir;
    WriteFile(dir.Path() / "bad.pak", GetParam().Bytes);
    RunResult r = Pak({"verify", "bad.pak"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Err, "");
    std::vector<std::string> expected;
    for (const std::string& line : GetParam().Report) expected.push_back("bad.pak: " + line);
    EXPECT_EQ(Lines(r.Out), expected);
    // Extraction refuses the same damage rather than pass the result off as whole; the
    // other problems harm no entry here.
    EXPECT_EQ(Pak({"extract", "bad.pak", "-C", "x"}, dir.Path()).ExitCode != 0,
              GetParam().ExtractRefuses);
}

DamageCase WithBuilder(const char* label, PakBuilder builder, std::vector<std::string> report,
                       bool refuses = true, const std::string& tail = "") {
    return {label, builder.BytesWithDerivedOffsets() + tail, std::move(report), refuses};
}

PakBuilder Build(std::vector<std::pair<std::string, std::string>> entries) {
    PakBuilder b;
    for (const auto& e : entries) b.Add(e.first, e.second);
    return b;
}

PakBuilder Oversized() {
    PakBuilder b = Build({{"a.txt", "abc"}});
    b.Records[0].SizeOverride = 1000;
    return b;
}

PakBuilder CountTooLarge() {
    PakBuilder b = Build({{"a.txt", "abc"}});
    b.CountOverride = 50;
    return b;
}

// Offsets as another writer might store them: b's data said to start inside a's.
DamageCase StoredOverlap() {
    PakBuilder b = Build({{"a.txt", "aaaa"}, {"b.txt", "bbbb"}, {"c.txt", "cc"}});
    b.Records[0].StoredOffset = 1180;
    b.Records[1].StoredOffset = 1182;
    b.Records[2].StoredOffset = 1188;
    return {"StoredOffsetsOverlap",
            b.Bytes(),
            {"entry 1 'b.txt': the table says its data starts at 1182, but it lies at 1184",
             "entry 0 'a.txt' and entry 1 'b.txt': their data overlap by the offsets the "
             "table stores"},
            false};
}

INSTANTIATE_TEST_SUITE_P(
    PakTool, PakVerify,
    ::testing::Values(
        DamageCase{"Empty", "", {"the file is empty, too short for an entry count"}, false},
        DamageCase{
            "CutCount", std::string("\x01\0", 2), {"damaged: the entry count is cut short"}, true},
        WithBuilder("CountTooLarge", CountTooLarge(),
                    {"damaged: the entry count is larger than the file can hold"}),
        WithBuilder("DataPastEnd", Oversized(),
                    {"entry 0 'a.txt': the data runs past the end of the archive"}),
        WithBuilder("Unterminated", Build({{std::string(128, 'n'), "x"}}),
                    {"entry 0 '" + std::string(128, 'n') + "': the name is not terminated"}),
        WithBuilder("Climbs", Build({{"a/../../b.txt", "x"}}),
                    {"entry 0 'a/../../b.txt': the name climbs out of its folder with .."}),
        WithBuilder("SameName", Build({{"a.txt", "1"}, {"b.txt", "2"}, {"a.txt", "3"}}),
                    {"entry 2 'a.txt' has the same name as entry 0 'a.txt'"}, false),
        WithBuilder(
            "SameFileOnWindows",
            Build({{"Docs/Read.txt", "1"}, {"docs\\READ.TXT", "2"}, {"x/./y", "3"}, {"x\\y", "4"}}),
            {"entry 1 'docs/READ.TXT' and entry 0 'Docs/Read.txt' are one file when "
             "unpacked on Windows",
             "entry 3 'x/y' and entry 2 'x/./y' are one file when unpacked on Windows"},
            false),
        StoredOverlap(),
        WithBuilder("TrailingBytes", Build({{"a.txt", "abc"}}),
                    {"2 bytes after the last entry's data"}, false, "zz")),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return info.param.Label; });

TEST(PakTool, ErrorsGoToStandardErrorWithNonZeroStatus) {
    TempDir dir;
    fs::create_directories(dir.Path() / "folder");
    WriteFile(dir.Path() / "game.pak", OneEntryBytes());
    struct Case {
        std::vector<std::string> Args;
        int Status;
        const char* Message;  // a whole line of standard error
    };
    const std::vector<Case> cases{
        {{"list", "missing.pak"}, 2, "pak: cannot open missing.pak: "},
        {{"verify", "missing.pak"}, 2, "pak: cannot open missing.pak: "},
        {{"create", "nofolder", "x.pak"}, 2, "pak: nofolder: no such folder"},
        {{"create", ".", "x.pak", "--prefix", ".."},
         2,
         "pak: the prefix '..' cannot be stored: it climbs out of its folder with .."},
        {{"create", ".", "folder"}, 2, "pak: folder is a folder"},
        {{"list", "folder"}, 2, "pak: folder is a folder"},
        {{"extract", "folder"}, 2, "pak: folder is a folder"},
        {{"verify", "folder"}, 2, "pak: folder is a folder"},
        {{"add", "folder", "game.pak"}, 2, "pak: folder is a folder"},
        {{"extract", "game.pak", "x"}, 1, "pak: no entry matches 'x'"},
        {{"bogus"}, 2, "pak: unknown command 'bogus'"},
        {{}, 2, "A subcommand is required"},
    };
    for (const Case& c : cases) {
        RunResult r = Pak(c.Args, dir.Path());
        EXPECT_EQ(r.ExitCode, c.Status) << c.Message;
        EXPECT_EQ(r.Out, "") << c.Message;
        EXPECT_EQ(r.Err.rfind(c.Message, 0), 0u) << r.Err;
    }
    EXPECT_FALSE(fs::exists(dir.Path() / "x.pak"));
    EXPECT_FALSE(fs::exists(dir.Path() / "extracted"));
}

TEST(PakTool, HelpAndVersion) {
    TempDir dir;
    for (const char* command : {"list", "cat", "extract", "create", "add", "remove", "verify"}) {
        RunResult r = Pak({command, "--help"}, dir.Path());
        EXPECT_EQ(r.ExitCode, 0) << command;
        EXPECT_NE(r.Out.find(std::string("pak ") + command), std::string::npos) << r.Out;
    }
    EXPECT_NE(Pak({"verify", "--help"}, dir.Path()).Out.find("no checksums"), std::string::npos);
    RunResult r = Pak({"--version"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_EQ(r.Out, "pak 1.0.0\n");
}

// The pak tool's add and remove: entries replaced where they stand, the order kept, and the
// old archive intact whenever the new one cannot be written whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "PakToolSupport.h"

using namespace PakToolTest;

namespace {

// The pak tool under a limit on the size of the files it writes: a write past it fails, or
// with killed set, the system ends the process there.
RunResult PakWithFileSizeLimit(const std::vector<std::string>& args, const fs::path& cwd,
                               size_t limit, bool killed) {
    std::vector<std::string> shell{
        "-c", std::string(killed ? "" : "trap '' XFSZ; ") + "exec prlimit --fsize=\"$0\" \"$@\"",
        std::to_string(limit), BIN_DIR "/pak"};
    shell.insert(shell.end(), args.begin(), args.end());
    return TestSupport::Run("/bin/sh", shell, cwd);
}

std::string Pseudorandom(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return bytes;
}

}  // namespace

TEST(PakToolEdit, Add_ReplacesEntriesWhereTheyStandAndAppendsNewOnes) {
    TempDir dir;
    WriteFile(dir.Path() / "game.pak", GameArchive());
    WriteFile(dir.Path() / "levels/one/map.txt", "new map one");
    WriteFile(dir.Path() / "new/extra.txt", "extra");
    RunResult r = Pak({"add", "game.pak", "./levels\\one/map.txt", "new/extra.txt"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out + r.Err, "");
    // The replaced entry keeps the name as the archive spelled it: lookups compare bytes.
    EXPECT_EQ(Entries(dir.Path() / "game.pak"), (EntryList{{"readme.txt", "read me"},
                                                           {"levels/one/map.txt", "new map one"},
                                                           {"levels\\two\\map.txt", "map two"},
                                                           {"docs\\credits.txt", "credits"},
                                                           {"data/empty.dat", ""},
                                                           {"new\\extra.txt", "extra"}}));

    r = Pak({"add", "game.pak", "new/extra.txt", "--as", "docs/credits.txt"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(Entries(dir.Path() / "game.pak")[3],
              std::make_pair(std::string("docs\\credits.txt"), std::string("extra")));
    EXPECT_EQ(Entries(dir.Path() / "game.pak").size(), 6u);
}

TEST(PakToolEdit, Add_TakesFoldersByTheirPathsOrUnderAnotherName) {
    TempDir dir;
    WriteFile(dir.Path() / "mod/b.txt", "b");
    WriteFile(dir.Path() / "mod/gfx/a.png", "png");
    WriteFile(dir.Path() / "mod/.hidden", "never");
    // A missing archive is made.
    RunResult r = Pak({"add", "game.pak", "mod/"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    r = Pak({"add", "game.pak", "mod", "--as", "data/x"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EntryList entries = Entries(dir.Path() / "game.pak");
    // Each folder's files in the order the walk met them; sorted within each add here.
    std::sort(entries.begin(), entries.begin() + 2);
    std::sort(entries.begin() + 2, entries.end());
    EXPECT_EQ(entries, (EntryList{{"mod\\b.txt", "b"},
                                  {"mod\\gfx\\a.png", "png"},
                                  {"data\\x\\b.txt", "b"},
                                  {"data\\x\\gfx\\a.png", "png"}}));
}

TEST(PakToolEdit, Add_DropsLaterEntriesOfTheSameName) {
    TempDir dir;
    PakBuilder b;
    b.Add("a.txt", "1").Add("b.txt", "2").Add("a.txt", "3");
    WriteFile(dir.Path() / "game.pak", b.BytesWithDerivedOffsets());
    WriteFile(dir.Path() / "a.txt", "new");
    // The later one would be unpacked over the new bytes.
    ASSERT_EQ(Pak({"add", "game.pak", "a.txt"}, dir.Path()).ExitCode, 0);
    EXPECT_EQ(Entries(dir.Path() / "game.pak"), (EntryList{{"a.txt", "new"}, {"b.txt", "2"}}));
}

TEST(PakToolEdit, Add_KeepsAnEntryItsFileCannotReplace) {
    TempDir dir;
    WriteFile(dir.Path() / "game.pak", GameArchive());
    const EntryList before = Entries(dir.Path() / "game.pak");
    RunResult r = Pak({"add", "game.pak", "game.pak", "--as", "readme.txt"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("pak: left out: game.pak is the archive being written\n"),
              std::string::npos)
        << r.Err;
    EXPECT_EQ(Entries(dir.Path() / "game.pak"), before);

    if (!TestSupport::MakeFifo(dir.Path() / "pipe")) return;
    r = Pak({"add", "game.pak", "pipe", "--as", "readme.txt"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("pak: left out: pipe is not a regular file\n"), std::string::npos)
        << r.Err;
    EXPECT_EQ(Entries(dir.Path() / "game.pak"), before);
}

TEST(PakToolEdit, RefusalsLeaveTheArchiveAsItWas) {
    TempDir dir;
    WriteFile(dir.Path() / "up.txt", "up");
    WriteFile(dir.Path() / "work/a.txt", "a");
    WriteFile(dir.Path() / "work/game.pak", GameArchive());
    PakBuilder damaged;
    damaged.Add("a.txt", "abc").Add("b.txt", "b");
    damaged.Records[1].SizeOverride = 99;
    WriteFile(dir.Path() / "work/damaged.pak", damaged.BytesWithDerivedOffsets());
    struct Case {
        std::vector<std::string> Args;
        int Status;
        const char* Message;
    };
    const std::vector<Case> cases{
        {{"add", "game.pak", "../up.txt"},
         2,
         "pak: cannot store ../up.txt as a name: it climbs out of its folder with ..; name its "
         "entry with --as\n"},
        {{"add", "game.pak", "a.txt", "--as", "/abs.txt"},
         2,
         "pak: cannot store /abs.txt as a name: it starts with a separator\n"},
        {{"add", "game.pak", "a.txt", "a.txt", "--as", "x"},
         2,
         "pak: --as names the entry of one PATH, not of 2\n"},
        {{"add", "game.pak", "a.txt", "missing.txt"}, 2, "pak: cannot add missing.txt: "},
        {{"add", "damaged.pak", "a.txt"},
         1,
         "pak: damaged.pak: entry 1 'b.txt': the data runs past the end of the archive\npak: "
         "damaged.pak is damaged, so it is left as it is\n"},
        {{"remove", "damaged.pak", "a.txt"}, 1, "pak: damaged.pak: entry 1 'b.txt'"},
        {{"remove", "missing.pak", "a.txt"}, 2, "pak: cannot open missing.pak: "},
        {{"remove", "game.pak", "nothing"}, 1, "pak: no entry matches 'nothing'\n"},
    };
    const std::string game = ReadFile(dir.Path() / "work/game.pak");
    const std::string damagedBytes = ReadFile(dir.Path() / "work/damaged.pak");
    for (const Case& c : cases) {
        RunResult r = Pak(c.Args, dir.Path() / "work");
        EXPECT_EQ(r.ExitCode, c.Status) << c.Message;
        EXPECT_EQ(r.Err.rfind(c.Message, 0), 0u) << r.Err;
        EXPECT_EQ(ReadFile(dir.Path() / "work/game.pak"), game) << c.Message;
        EXPECT_EQ(ReadFile(dir.Path() / "work/damaged.pak"), damagedBytes) << c.Message;
    }
    EXPECT_EQ(TestSupport::ListTree(dir.Path() / "work"),
              (std::vector<std::string>{"a.txt", "damaged.pak", "game.pak"}));

    // A read-only archive is kept, as the engine never deletes a read-only file.
    fs::permissions(dir.Path() / "work/game.pak",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    RunResult r = Pak({"remove", "game.pak", "readme.txt"}, dir.Path() / "work");
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_EQ(r.Err.rfind("pak: cannot write game.pak: ", 0), 0u) << r.Err;
    EXPECT_EQ(ReadFile(dir.Path() / "work/game.pak"), game);
    fs::permissions(dir.Path() / "work/game.pak", fs::perms::owner_write, fs::perm_options::add);
}

TEST(PakToolEdit, Remove_TakesNamesPatternsAndFoldersAndKeepsTheOrder) {
    TempDir dir;
    WriteFile(dir.Path() / "game.pak", GameArchive());
    RunResult r = Pak({"remove", "game.pak", "levels/", "readme.txt"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out + r.Err, "");
    EXPECT_EQ(Entries(dir.Path() / "game.pak"),
              (EntryList{{"docs\\credits.txt", "credits"}, {"data/empty.dat", ""}}));

    // What matched goes; what did not is named.
    r = Pak({"remove", "game.pak", "nothing", "d*/*.dat"}, dir.Path());
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Err, "pak: no entry matches 'nothing'\n");
    EXPECT_EQ(Entries(dir.Path() / "game.pak"), (EntryList{{"docs\\credits.txt", "credits"}}));

    ASSERT_EQ(Pak({"remove", "game.pak", "*/"}, dir.Path()).ExitCode, 0);
    EXPECT_EQ(ReadFile(dir.Path() / "game.pak"), std::string(4, '\0'));
    EXPECT_EQ(Pak({"verify", "game.pak"}, dir.Path()).ExitCode, 0);
}

// The new archive is written beside the old one; a write that fails midway, or a process
// ended there, leaves the old archive byte for byte.
TEST(PakToolEdit, AnInterruptedRewriteLeavesTheOldArchive) {
    if (!TestSupport::kPosixFileSystem) GTEST_SKIP() << "needs a limit on written file sizes";
    TempDir dir;
    PakBuilder b;
    for (unsigned i = 0; i < 3; ++i) b.Add("part" + std::to_string(i), Pseudorandom(64 << 10, i));
    WriteFile(dir.Path() / "game.pak", b.BytesWithDerivedOffsets());
    WriteFile(dir.Path() / "big.bin", Pseudorandom(100 << 10, 7));
    const std::string old = ReadFile(dir.Path() / "game.pak");
    const std::vector<std::string> tree = TestSupport::ListTree(dir.Path());

    struct Case {
        std::vector<std::string> Args;
        size_t Limit;
    };
    const std::vector<Case> cases{{{"add", "game.pak", "big.bin"}, 150000},
                                  {{"remove", "game.pak", "part1"}, 100000}};
    for (const Case& c : cases) {
        RunResult r = PakWithFileSizeLimit(c.Args, dir.Path(), c.Limit, false);
        EXPECT_EQ(r.ExitCode, 2) << c.Args[0];
        EXPECT_EQ(r.Err,
                  "pak: cannot write game.pak: The file would be larger than the system allows\n");
        EXPECT_EQ(ReadFile(dir.Path() / "game.pak"), old);
        // Nothing is left behind.
        EXPECT_EQ(TestSupport::ListTree(dir.Path()), tree);
    }
    for (const Case& c : cases) {
        RunResult r = PakWithFileSizeLimit(c.Args, dir.Path(), c.Limit, true);
        EXPECT_NE(r.ExitCode, 0) << c.Args[0];
        EXPECT_EQ(ReadFile(dir.Path() / "game.pak"), old);
    }
    // A half-written file an ended process left is no obstacle to the next run.
    ASSERT_EQ(Pak({"add", "game.pak", "big.bin"}, dir.Path()).ExitCode, 0);
    const EntryList entries = Entries(dir.Path() / "game.pak");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[1].second, Pseudorandom(64 << 10, 1));
    EXPECT_EQ(entries[3], std::make_pair(std::string("big.bin"), Pseudorandom(100 << 10, 7)));
}

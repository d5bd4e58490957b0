#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "pak/GPakFile.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

// Every entry of an archive read back through the reading side: name -> bytes.
std::map<std::string, std::string> ReadBack(const std::string& archive) {
    GPakFile pak;
    pak.Load(archive);
    std::map<std::string, std::string> entries;
    for (int32_t i = 0; i < pak.GetNumEntries(); ++i) {
        const GPakEntry& entry = pak.GetEntries()[i];
        EXPECT_TRUE(pak.IsEntryUsable(i)) << entry.Name;
        std::string data(entry.Size, '\0');
        fseek(pak.GetHandle(), entry.Offset, SEEK_SET);
        if (entry.Size) {
            EXPECT_EQ(fread(&data[0], 1, entry.Size, pak.GetHandle()), entry.Size);
        }
        entries[entry.Name] = data;
    }
    return entries;
}

bool Mentions(const std::vector<std::string>& messages, const std::string& text) {
    for (const std::string& m : messages) {
        if (m.find(text) != std::string::npos) return true;
    }
    return false;
}

const std::string kBinary("\0\x01\xff\r\n\x1a tail", 11);

GPakSource FileSource(const std::string& name, const std::string& path) {
    GPakSource source;
    source.Name = name;
    source.SourcePath = path;
    return source;
}

}  // namespace

struct NameModeCase {
    int Prefixed;
    const char* SearchPath;
    std::map<std::string, std::string> Expected;
};

class CreateRoundTrip : public ::testing::TestWithParam<NameModeCase> {};

TEST_P(CreateRoundTrip, StoresEveryFileByteForByteUnderItsName) {
    const NameModeCase& c = GetParam();
    TempDir dir;
    WriteFile(dir.Path() / "data/a.txt", "alpha");
    WriteFile(dir.Path() / "data/sub/B.bin", kBinary);
    WriteFile(dir.Path() / "data/sub/deeper/empty", "");
    WriteFile(dir.Path() / "data/.hidden", "never");
    TestSupport::CwdGuard cwd(dir.Path());

    GPakFile pak;
    pak.Create(c.SearchPath, "out.pak", c.Prefixed, "gfx");
    EXPECT_EQ(ReadBack("out.pak"), c.Expected);

    // The object holds exactly the table that went to disk.
    GPakFile loaded;
    loaded.Load("out.pak");
    ASSERT_EQ(pak.GetNumEntries(), loaded.GetNumEntries());
    const size_t tableBytes = GPakFile::kRecordSize * static_cast<size_t>(pak.GetNumEntries());
    EXPECT_EQ(memcmp(pak.GetEntries(), loaded.GetEntries(), tableBytes), 0);
    int64_t total = 4 + static_cast<int64_t>(tableBytes);
    for (const auto& entry : c.Expected) total += static_cast<int64_t>(entry.second.size());
    EXPECT_EQ(static_cast<int64_t>(fs::file_size("out.pak")), total);
}

INSTANTIATE_TEST_SUITE_P(
    GPakFile, CreateRoundTrip,
    ::testing::Values(
        NameModeCase{0, "data/*.*", {{"a.txt", "alpha"}, {"B.bin", kBinary}, {"empty", ""}}},
        NameModeCase{
            1,
            "data/*.*",
            {{"gfx/a.txt", "alpha"}, {"gfx/sub/B.bin", kBinary}, {"gfx/sub/deeper/empty", ""}}},
        NameModeCase{
            1,
            "./data\\*.*",
            {{"gfx/a.txt", "alpha"}, {"gfx/sub/B.bin", kBinary}, {"gfx/sub/deeper/empty", ""}}}));

TEST(GPakFileCreate, WritesTheDocumentedLayout) {
    TempDir dir;
    WriteFile(dir.Path() / "data/a.txt", "abc");
    GPakFile pak;
    pak.Create(dir / "data/*.*", dir / "one.pak", 0, "");
    const std::string bytes = ReadFile(dir.Path() / "one.pak");
    ASSERT_EQ(bytes.size(), 399u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x01\0\0\0", 4));
    EXPECT_EQ(bytes.substr(4, 256),
              (dir / "data/a.txt") + std::string(256 - (dir / "data/a.txt").size(), '\0'));
    EXPECT_EQ(bytes.substr(260, 128), "a.txt" + std::string(123, '\0'));
    EXPECT_EQ(bytes.substr(388, 8), std::string("\x8c\x01\0\0\x03\0\0\0", 8));
    EXPECT_EQ(bytes.substr(396), "abc");

    fs::create_directory(dir.Path() / "nothing");
    pak.Create(dir / "nothing/*.*", dir / "empty.pak", 0, "");
    EXPECT_EQ(ReadFile(dir.Path() / "empty.pak"), std::string(4, '\0'));
    EXPECT_EQ(pak.GetNumEntries(), 0);
}

// Sizes around the point where the writer stops reading files whole.
TEST(GPakFileCreate, CopiesFilesOfEverySizeExactly) {
    TempDir dir;
    std::map<std::string, std::string> expected;
    for (size_t size : {size_t{0}, size_t{1} << 20, (size_t{1} << 20) + 1, (size_t{3} << 20) + 7}) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + size) >> 3);
        const std::string name = "f" + std::to_string(size);
        WriteFile(dir.Path() / "data" / name, bytes);
        expected[name] = bytes;
    }
    GPakFile pak;
    pak.Create(dir / "data/*.*", dir / "sizes.pak", 0, "");
    EXPECT_EQ(ReadBack(dir / "sizes.pak"), expected);
}

// A name that does not fit its field is left out, never cut into a name that may collide.
TEST(GPakFileCreate, SkipsFilesWhoseNamesDoNotFit) {
    TempDir dir;
    TestSupport::CwdGuard cwd(dir.Path());
    const std::string fits(125, 'f');     // "p/" + 125 = 127 bytes
    const std::string tooLong(126, 'l');  // 128 bytes
    WriteFile(dir.Path() / "d" / fits, "1");
    WriteFile(dir.Path() / "d" / tooLong, "2");
    // Source paths: "d/" + 100 + "/" + 100 + "/" + name.
    const std::string level(100, 'x');
    WriteFile(dir.Path() / "d" / level / level / std::string(51, 'p'), "3");  // 255 bytes
    WriteFile(dir.Path() / "d" / level / level / std::string(52, 'q'), "4");  // 256 bytes

    TestSupport::LogCapture log;
    GPakFile pak;
    pak.Create("d/*.*", "named.pak", 1, "p");
    EXPECT_EQ(ReadBack("named.pak"), (std::map<std::string, std::string>{{"p/" + fits, "1"}}));

    pak.Create("d/*.*", "flat.pak", 0, "");
    const std::map<std::string, std::string> flat = ReadBack("flat.pak");
    EXPECT_EQ(flat, (std::map<std::string, std::string>{
                        {fits, "1"}, {tooLong, "2"}, {std::string(51, 'p'), "3"}}));
    const std::vector<std::string> messages = log.Messages();
    EXPECT_TRUE(Mentions(messages, "d/" + tooLong + "]"));
    EXPECT_TRUE(Mentions(messages, std::string(52, 'q') + "]"));
}

// A pipe would block the writer forever; a dangling link has nothing to read.
TEST(GPakFileCreate, LeavesOutWhatIsNotAPlainFile) {
    TempDir dir;
    if (!TestSupport::kPosixFileSystem) GTEST_SKIP() << "no pipes or links to files here";
    WriteFile(dir.Path() / "data/plain.txt", "plain");
    ASSERT_TRUE(TestSupport::MakeFifo(dir.Path() / "data/pipe"));
    ASSERT_TRUE(TestSupport::MakeFileLink(dir.Path() / "nowhere", dir.Path() / "data/dangling"));
    TestSupport::LogCapture log;
    GPakFile pak;
    pak.Create(dir / "data/*.*", dir / "out.pak", 0, "");
    EXPECT_EQ(ReadBack(dir / "out.pak"),
              (std::map<std::string, std::string>{{"plain.txt", "plain"}}));
    const std::vector<std::string> messages = log.Messages();
    EXPECT_TRUE(Mentions(messages, "pipe]: it is not a regular file"));
    EXPECT_TRUE(Mentions(messages, "dangling]: it cannot be opened"));

    // The same outcome, for callers that must not read log text.
    const GPakCreateResult& result = pak.GetCreateResult();
    EXPECT_TRUE(result.Written);
    std::map<std::string, GPakReason> leftOut;
    for (const GPakProblem& left : result.LeftOut) leftOut[left.Source] = left.Reason;
    EXPECT_EQ(leftOut, (std::map<std::string, GPakReason>{
                           {dir / "data/dangling", GPakReason::CannotOpen},
                           {dir / "data/pipe", GPakReason::NotARegularFile}}));
}

// A tree of many files, with sizes on both sides of the whole-read limit and of the gathered
// writes, and things that are no plain files among them.
TEST(GPakFileCreate, ManyFilesOfEverySizeAndKindPackExactly) {
    TempDir dir;
    std::map<std::string, std::string> expected;
    std::vector<size_t> sizes{0, 1, 65535, 65536, 65537, size_t{1} << 20, (size_t{1} << 20) + 1};
    for (size_t i = 0; i < 150; ++i) sizes.push_back(i < 7 ? sizes[i] : (i * 2399) % 140000);
    for (size_t i = 0; i < sizes.size(); ++i) {
        std::string bytes(sizes[i], '\0');
        for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>((k * 131 + i) >> 2);
        const std::string name = "f" + std::to_string(i);
        WriteFile(dir.Path() / "data" / name, bytes);
        expected[name] = bytes;
    }
    std::map<std::string, GPakReason> leftOut;
    if (TestSupport::kPosixFileSystem) {
        for (int i = 0; i < 3; ++i) {
            const std::string n = std::to_string(i);
            ASSERT_TRUE(TestSupport::MakeFifo(dir.Path() / "data" / ("pipe" + n)));
            ASSERT_TRUE(TestSupport::MakeFileLink(dir.Path() / "nowhere",
                                                  dir.Path() / "data" / ("dangling" + n)));
            leftOut[dir / ("data/pipe" + n)] = GPakReason::NotARegularFile;
            leftOut[dir / ("data/dangling" + n)] = GPakReason::CannotOpen;
        }
    }
    GPakFile pak;
    pak.Create(dir / "data/*.*", dir / "many.pak", 0, "");
    EXPECT_EQ(ReadBack(dir / "many.pak"), expected);
    const GPakCreateResult& result = pak.GetCreateResult();
    EXPECT_TRUE(result.Written);
    std::map<std::string, GPakReason> seen;
    for (const GPakProblem& left : result.LeftOut) seen[left.Source] = left.Reason;
    EXPECT_EQ(seen, leftOut);
}

TEST(GPakFileCreate, NeverPacksTheArchiveIntoItself) {
    TempDir dir;
    WriteFile(dir.Path() / "data/a.txt", "a");
    TestSupport::CwdGuard cwd(dir.Path());
    GPakFile pak;
    pak.Create("data/*.*", "data/self.pak", 0, "");
    EXPECT_TRUE(pak.GetCreateResult().LeftOut.empty());
    pak.Create("./data/*.*", "data/../data/self.pak", 0, "");
    ASSERT_EQ(pak.GetCreateResult().LeftOut.size(), 1u);
    EXPECT_EQ(pak.GetCreateResult().LeftOut[0].Reason, GPakReason::IsTheArchive);
    EXPECT_EQ(ReadBack("data/self.pak"), (std::map<std::string, std::string>{{"a.txt", "a"}}));
    // No temporary file is left behind either.
    EXPECT_EQ(TestSupport::ListTree(dir.Path()),
              (std::vector<std::string>{"data/a.txt", "data/self.pak"}));
}

TEST(GPakFileCreate, FailureKeepsTheOldArchiveAndLeavesNoTemporaryFile) {
    TempDir dir;
    WriteFile(dir.Path() / "data/a.txt", "a");
    fs::create_directory(dir.Path() / "taken");
    WriteFile(dir.Path() / "taken/inside", "x");

    TestSupport::LogCapture log;
    GPakFile pak;
    // A folder stands where the archive should go.
    pak.Create(dir / "data/*.*", dir / "taken", 0, "");
    EXPECT_EQ(ReadFile(dir.Path() / "taken/inside"), "x");
    // The archive's folder does not exist.
    pak.Create(dir / "data/*.*", dir / "missing/out.pak", 0, "");
    EXPECT_FALSE(fs::exists(dir.Path() / "missing"));

    EXPECT_FALSE(pak.GetCreateResult().Written);
    EXPECT_EQ(pak.GetCreateResult().SystemError, Platform::kErrorPathNotFound);
    EXPECT_EQ(log.Messages(),
              (std::vector<std::string>{"Failed to create pak file", "Failed to create pak file"}));
    EXPECT_EQ(TestSupport::ListTree(dir.Path()),
              (std::vector<std::string>{"data/a.txt", "taken/inside"}));
    // The object still describes what it meant to write.
    ASSERT_EQ(pak.GetNumEntries(), 1);
    EXPECT_STREQ(pak.GetEntries()[0].Name, "a.txt");
}

TEST(GPakFileCreate, ReleasesAnArchiveTheObjectHeldBefore) {
    TempDir dir;
    WriteFile(dir.Path() / "one/a.txt", "a");
    WriteFile(dir.Path() / "one/b.txt", "b");
    WriteFile(dir.Path() / "two/c.txt", "c");
    GPakFile pak;
    pak.Create(dir / "one/*.*", dir / "one.pak", 0, "");
    pak.Load(dir / "one.pak");
    ASSERT_EQ(pak.GetNumEntries(), 2);
    ASSERT_NE(pak.GetHandle(), nullptr);

    pak.Create(dir / "two/*.*", dir / "two.pak", 0, "");
    EXPECT_EQ(pak.GetNumEntries(), 1);
    EXPECT_EQ(pak.GetDataStart(), 4 + 392);
    EXPECT_EQ(pak.GetHandle(), nullptr) << "a stream of the old archive would not match the table";
    EXPECT_EQ(pak.Find("a.txt"), nullptr);
    EXPECT_NE(pak.Find("c.txt"), nullptr);
}

// Sources that vanish or change while the archive is written never leave a table that
// disagrees with the data. A dangling link makes the writer log while it copies; the debug
// log's output hook then changes the other sources under its feet.
enum class Change { Removed, Grown, Shrunk };

class CreateWithChangingSources : public ::testing::TestWithParam<Change> {};

TEST_P(CreateWithChangingSources, ArchiveMatchesTheFilesAsTheyWereRead) {
    if (!TestSupport::kPosixFileSystem) GTEST_SKIP() << "needs a dangling link to a file";
    TempDir dir;
    for (int i = 0; i < 8; ++i) {
        WriteFile(dir.Path() / "data" / ("v" + std::to_string(i)), "victim data");
    }
    WriteFile(dir.Path() / "data/keep.txt", "stays");
    ASSERT_TRUE(TestSupport::MakeFileLink(dir.Path() / "nowhere", dir.Path() / "data/broken"));

    struct Context {
        fs::path Folder;
        Change What;
        bool Done = false;
        std::vector<std::string> Messages;
    } context{dir.Path() / "data", GetParam(), false, {}};
    // The log must be open for the writer to log; this test listens to it itself.
    TestSupport::LogCapture log;
    Platform::SetDebuggerSink(
        [](const std::string& text, void* raw) {
            Context& c = *static_cast<Context*>(raw);
            if (text != "\n") c.Messages.push_back(text);
            if (c.Done || text.find("Not packing") == std::string::npos) return;
            c.Done = true;
            for (int i = 0; i < 8; ++i) {
                const fs::path victim = c.Folder / ("v" + std::to_string(i));
                if (c.What == Change::Removed) fs::remove(victim);
                if (c.What == Change::Grown) TestSupport::WriteFile(victim, "victim data, longer");
                if (c.What == Change::Shrunk) TestSupport::WriteFile(victim, "v");
            }
        },
        &context);
    GPakFile pak;
    pak.Create(dir / "data/*.*", dir / "out.pak", 1, "p");
    Platform::SetDebuggerSink(nullptr, nullptr);
    ASSERT_TRUE(context.Done);

    std::map<std::string, std::string> expected{{"p/keep.txt", "stays"}};
    for (int i = 0; i < 8; ++i) {
        const std::string name = "v" + std::to_string(i);
        if (GetParam() != Change::Removed) {
            expected["p/" + name] = ReadFile(dir.Path() / "data" / name);
        }
    }
    EXPECT_EQ(ReadBack(dir / "out.pak"), expected);
    EXPECT_EQ(static_cast<size_t>(pak.GetNumEntries()), expected.size());
    EXPECT_TRUE(Mentions(context.Messages, "broken]: it cannot be opened"));
}

INSTANTIATE_TEST_SUITE_P(GPakFile, CreateWithChangingSources,
                         ::testing::Values(Change::Removed, Change::Grown, Change::Shrunk));

// Entries carried over from an archive keep their bytes and names, mixed with files, in the
// order given; the archive they come from may be the one being replaced.
TEST(GPakFileWrite, CarriesEntriesOverAndReplacesTheirOwnArchive) {
    TempDir dir;
    const std::string large(3 << 20, 'L');
    WriteFile(dir.Path() / "old/a.txt", "alpha");
    WriteFile(dir.Path() / "old/large.bin", large);
    WriteFile(dir.Path() / "new.txt", kBinary);
    GPakFile old;
    old.Create(dir / "old/*.*", dir / "game.pak", 0, "");
    ASSERT_TRUE(old.GetCreateResult().Written);
    std::vector<GPakSource> sources;
    for (int32_t i = old.GetNumEntries() - 1; i >= 0; --i) {
        const GPakEntry& entry = old.GetEntries()[i];
        sources.push_back(
            {entry.Name, entry.SourcePath, dir / "game.pak", entry.Offset, entry.Size});
    }
    sources.insert(sources.begin() + 1, FileSource("sub\\new.txt", dir / "new.txt"));

    GPakFile pak;
    pak.Write(sources, dir / "game.pak");
    ASSERT_TRUE(pak.GetCreateResult().Written);
    EXPECT_TRUE(pak.GetCreateResult().LeftOut.empty());
    EXPECT_EQ(ReadBack(dir / "game.pak"),
              (std::map<std::string, std::string>{
                  {"a.txt", "alpha"}, {"large.bin", large}, {"sub\\new.txt", kBinary}}));
    EXPECT_STREQ(pak.GetEntries()[1].Name, "sub\\new.txt");
    EXPECT_EQ(TestSupport::ListTree(dir.Path()),
              (std::vector<std::string>{"game.pak", "new.txt", "old/a.txt", "old/large.bin"}));
}

// Leaving out an entry of an old archive would lose it: the whole write fails instead.
TEST(GPakFileWrite, AnEntryThatCannotBeReadWholeFailsTheWrite) {
    TempDir dir;
    WriteFile(dir.Path() / "data/a.txt", "alpha");
    WriteFile(dir.Path() / "data/b.txt", "bravo");
    GPakFile old;
    old.Create(dir / "data/*.*", dir / "game.pak", 0, "");
    const GPakEntry last = old.GetEntries()[1];
    WriteFile(dir.Path() / "target.pak", "old target");
    // The archive lost its last byte since its table was read.
    std::string bytes = ReadFile(dir.Path() / "game.pak");
    bytes.pop_back();
    WriteFile(dir.Path() / "game.pak", bytes);

    GPakFile pak;
    pak.Write({FileSource("new.txt", dir / "data/a.txt"),
               {last.Name, last.SourcePath, dir / "game.pak", last.Offset, last.Size}},
              dir / "target.pak");
    const GPakCreateResult& result = pak.GetCreateResult();
    EXPECT_FALSE(result.Written);
    EXPECT_EQ(result.Failure.Index, 1);
    EXPECT_EQ(result.Failure.Reason, GPakReason::DataPastEnd);
    EXPECT_EQ(ReadFile(dir.Path() / "target.pak"), "old target");
    EXPECT_EQ(TestSupport::ListTree(dir.Path()),
              (std::vector<std::string>{"data/a.txt", "data/b.txt", "game.pak", "target.pak"}));

    // A read-only target is kept as well.
    fs::permissions(dir.Path() / "target.pak",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    pak.Write({FileSource("new.txt", dir / "data/a.txt")}, dir / "target.pak");
    EXPECT_FALSE(pak.GetCreateResult().Written);
    EXPECT_EQ(pak.GetCreateResult().SystemError, Platform::kErrorAccessDenied);
    EXPECT_EQ(ReadFile(dir.Path() / "target.pak"), "old target");
    fs::permissions(dir.Path() / "target.pak", fs::perms::owner_write, fs::perm_options::add);
}

#include <gtest/gtest.h>

#include <functional>

#include "pak/GPakFile.h"
#include "platform/Platform.h"
#include "support/PakBuilder.h"
#include "support/TestSupport.h"

using TestSupport::PakBuilder;
using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;
namespace fs = std::filesystem;

namespace {

// Loads bytes as an archive from a scratch file.
struct LoadedPak {
    explicit LoadedPak(const std::string& bytes) {
        WriteFile(dir.Path() / "test.pak", bytes);
        pak.Load(dir / "test.pak");
    }
    TempDir dir;
    GPakFile pak;
};

}  // namespace

TEST(GPakFileLoad, OneEntryArchiveHasTheDocumentedByteLayout) {
    PakBuilder b;
    b.Add("a.txt", "abc");
    const std::string bytes = b.BytesWithDerivedOffsets();
    ASSERT_EQ(bytes.size(), 399u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x01\x00\x00\x00", 4));
    EXPECT_EQ(bytes.substr(260, 6), std::string("a.txt\0", 6));
    EXPECT_EQ(bytes.substr(388, 4), std::string("\x8C\x01\x00\x00", 4));
    EXPECT_EQ(bytes.substr(392, 4), std::string("\x03\x00\x00\x00", 4));
    EXPECT_EQ(bytes.substr(396), "abc");

    LoadedPak loaded(bytes);
    ASSERT_EQ(loaded.pak.GetNumEntries(), 1);
    const GPakEntry* entry = loaded.pak.Find("a.txt");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->Offset, 396);
    EXPECT_EQ(entry->Size, 3u);
    EXPECT_STREQ(entry->SourcePath, "src/a.txt");
}

TEST(GPakFileLoad, DerivesOffsetsFromSizesAndIgnoresStoredOffsets) {
    PakBuilder b;
    b.Add("ten", std::string(10, 'x')).Add("zero", "").Add("five", "12345");
    b.Records[0].StoredOffset = -7;
    b.Records[1].StoredOffset = 0x7FFFFFFF;
    b.Records[2].StoredOffset = 3;
    LoadedPak loaded(b.Bytes());
    ASSERT_EQ(loaded.pak.GetNumEntries(), 3);
    EXPECT_EQ(loaded.pak.GetDataStart(), 1180);
    EXPECT_EQ(loaded.pak.Find("ten")->Offset, 1180);
    EXPECT_EQ(loaded.pak.Find("zero")->Offset, 1190);
    EXPECT_EQ(loaded.pak.Find("five")->Offset, 1190);

    // A client reads an entry with its own seek and read on the shared stream.
    FILE* handle = loaded.pak.GetHandle();
    ASSERT_NE(handle, nullptr);
    char data[5];
    ASSERT_EQ(fseek(handle, loaded.pak.Find("five")->Offset, SEEK_SET), 0);
    ASSERT_EQ(fread(data, 1, 5, handle), 5u);
    EXPECT_EQ(std::string(data, 5), "12345");
}

TEST(GPakFileLoad, EmptyFileAndZeroCountAreEmptyArchives) {
    for (const std::string& bytes : {std::string(), std::string("\0\0\0\0", 4)}) {
        TestSupport::LogCapture log;
        LoadedPak loaded(bytes);
        EXPECT_EQ(loaded.pak.GetNumEntries(), 0);
        EXPECT_EQ(loaded.pak.GetDataStart(), 4);
        EXPECT_NE(loaded.pak.GetHandle(), nullptr);
        EXPECT_TRUE(log.Messages().empty());
    }
}

TEST(GPakFileLoad, MissingArchiveLogsOnceAndStaysEmpty) {
    TestSupport::LogCapture log;
    TempDir dir;
    GPakFile pak;
    pak.Load(dir / "missing.pak");
    EXPECT_EQ(pak.GetNumEntries(), 0);
    EXPECT_EQ(pak.GetHandle(), nullptr);
    ASSERT_EQ(log.Messages().size(), 1u);
    EXPECT_EQ(log.Messages()[0], "Failed to open pak file: [" + (dir / "missing.pak") + "]");
    EXPECT_EQ(pak.GetLoadResult().Status, GPakLoadStatus::CannotOpen);
    EXPECT_EQ(pak.GetLoadResult().SystemError, Platform::kErrorFileNotFound);

    pak.ExtractAll((dir / "out") + "/");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out"));
    EXPECT_EQ(pak.GetExtractResult().Status, GPakExtractStatus::NoArchive);
}

TEST(GPakFileFind, MatchesWholeNamesByteForByteAndPrefersTheFirst) {
    PakBuilder b;
    b.Add("a.txt", "first").Add("A.TXT", "upper").Add("a.txt", "second").Add("dir/b", "b");
    LoadedPak loaded(b.Bytes());
    GPakFile& pak = loaded.pak;
    ASSERT_NE(pak.Find("a.txt"), nullptr);
    EXPECT_EQ(pak.Find("a.txt")->Size, 5u);  // the earlier of the two
    EXPECT_EQ(pak.Find("A.TXT")->Size, 5u);
    EXPECT_EQ(pak.Find("A.TXT")->Offset, pak.Find("a.txt")->Offset + 5);
    EXPECT_EQ(pak.Find("a.tx"), nullptr);
    EXPECT_EQ(pak.Find("a.txt "), nullptr);
    EXPECT_EQ(pak.Find("dir\\b"), nullptr);  // no separator normalisation
    EXPECT_NE(pak.Find("dir/b"), nullptr);
    EXPECT_EQ(pak.Find(""), nullptr);
}

std::vector<std::pair<int32_t, GPakReason>> Reasons(const std::vector<GPakProblem>& problems) {
    std::vector<std::pair<int32_t, GPakReason>> reasons;
    for (const GPakProblem& problem : problems) reasons.emplace_back(problem.Index, problem.Reason);
    return reasons;
}

class GPakFileExtract : public ::testing::Test {
protected:
    std::string Extract(const std::string& bytes, const std::string& folderName = "out/") {
        WriteFile(dir.Path() / "test.pak", bytes);
        loaded.Load(dir / "test.pak");
        loaded.ExtractAll(dir / folderName);
        return dir / folderName;
    }
    TempDir dir;
    GPakFile loaded;
};

TEST_F(GPakFileExtract, WritesEveryEntryIntoNestedFoldersWithEitherSeparator) {
    PakBuilder b;
    b.Add("top.txt", "top")
        .Add("a/b/c.txt", "abc")
        .Add("x\\y\\z.txt", "xyz")
        .Add("m\\n/o.bin", std::string("\0\1\2", 3));
    b.Add("empty.dat", "");
    const std::string out = Extract(b.Bytes());
    EXPECT_EQ(
        TestSupport::ListTree(out),
        (std::vector<std::string>{"a/b/c.txt", "empty.dat", "m/n/o.bin", "top.txt", "x/y/z.txt"}));
    EXPECT_EQ(ReadFile(out + "a/b/c.txt"), "abc");
    EXPECT_EQ(ReadFile(out + "x/y/z.txt"), "xyz");
    EXPECT_EQ(ReadFile(out + "m/n/o.bin"), std::string("\0\1\2", 3));
    EXPECT_EQ(ReadFile(out + "empty.dat"), "");
}

TEST_F(GPakFileExtract, SecondOfTwoEqualNamesOverwritesTheFirstAndOldFilesAreReplaced) {
    WriteFile(dir.Path() / "out" / "same.txt", "an older and longer file");
    PakBuilder b;
    b.Add("same.txt", "one").Add("same.txt", "two");
    const std::string out = Extract(b.Bytes());
    EXPECT_EQ(ReadFile(out + "same.txt"), "two");
}

TEST_F(GPakFileExtract, FolderWithoutTrailingSeparatorIsJoinedDirectly) {
    PakBuilder b;
    b.Add("a.txt", "abc");
    WriteFile(dir.Path() / "test.pak", b.Bytes());
    GPakFile pak;
    pak.Load(dir / "test.pak");
    pak.ExtractAll(dir / "out");
    EXPECT_EQ(ReadFile(dir.Path() / "outa.txt"), "abc");
    // Extraction closes the stream; the table stays for lookups.
    EXPECT_EQ(pak.GetHandle(), nullptr);
    EXPECT_NE(pak.Find("a.txt"), nullptr);
}

TEST_F(GPakFileExtract, SkipsNamesThatLeaveTheTarget) {
    TestSupport::LogCapture log;
    PakBuilder b;
    for (const char* name :
         {"../escape.txt", "a/../../escape2.txt", "..\\escape3.txt", "/abs.txt", "\\abs2.txt",
          "C:evil.txt", "c:\\evil2.txt", "", "folder/", "folder\\", "ok/..", ".."}) {
        b.Add(name, "bad");
    }
    b.Add("good/..hidden/fine.txt", "good");  // ".." only as a whole component is refused
    const std::string out = Extract(b.Bytes(), "sub/out/");
    EXPECT_EQ(TestSupport::ListTree(dir.Path()),
              (std::vector<std::string>{"sub/out/good/..hidden/fine.txt", "test.pak"}));
    EXPECT_EQ(log.Messages().size(), 12u);
    for (const std::string& message : log.Messages()) {
        EXPECT_EQ(message.rfind("Skipped pak entry ", 0), 0u) << message;
    }
    const std::vector<GPakReason> expected{
        GPakReason::NameClimbsOut,           GPakReason::NameClimbsOut,
        GPakReason::NameClimbsOut,           GPakReason::NameStartsWithSeparator,
        GPakReason::NameStartsWithSeparator, GPakReason::NameHasDriveLetter,
        GPakReason::NameHasDriveLetter,      GPakReason::NameEmpty,
        GPakReason::NameEndsInSeparator,     GPakReason::NameEndsInSeparator,
        GPakReason::NameClimbsOut,           GPakReason::NameClimbsOut};
    std::vector<GPakReason> reasons;
    for (const GPakProblem& problem : loaded.GetExtractResult().Problems) {
        reasons.push_back(problem.Reason);
        EXPECT_NE(log.Messages()[static_cast<size_t>(problem.Index)].find(problem.Text()),
                  std::string::npos);
    }
    EXPECT_EQ(reasons, expected);
}

TEST_F(GPakFileExtract, DamagedCountsLeaveAnEmptyArchive) {
    PakBuilder base;
    base.Add("a.txt", "abc");
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::vector<Case> cases;
    PakBuilder negative = base;
    negative.CountOverride = 0xFFFFFFFF;
    cases.push_back({"negative", negative.Bytes()});
    PakBuilder huge = base;
    huge.CountOverride = 0x7FFFFFFF;
    cases.push_back({"larger than the file", huge.Bytes()});
    PakBuilder two = base;
    two.CountOverride = 2;  // the second record would run into the data
    cases.push_back({"table cut short", two.Bytes()});
    cases.push_back({"count cut short", std::string("\x01\x00", 2)});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestSupport::LogCapture log;
        TempDir local;
        WriteFile(local.Path() / "test.pak", c.bytes);
        GPakFile pak;
        pak.Load(local / "test.pak");
        EXPECT_EQ(pak.GetNumEntries(), 0);
        EXPECT_EQ(pak.GetLoadResult().Status, GPakLoadStatus::Damaged);
        EXPECT_EQ(pak.Find("a.txt"), nullptr);
        pak.ExtractAll(local / "out/");
        EXPECT_FALSE(std::filesystem::exists(local.Path() / "out"));
        ASSERT_EQ(log.Messages().size(), 1u);
        EXPECT_EQ(log.Messages()[0],
                  "Damaged pak file [" + (local / "test.pak") + "]: " + pak.GetLoadResult().Damage);
    }
}

TEST_F(GPakFileExtract, SkipsDamagedEntriesAndKeepsTheRest) {
    TestSupport::LogCapture log;
    PakBuilder b;
    b.Add("before.txt", "before");
    b.Add(std::string(128, 'n'), "unterminated name");
    b.Records.back().SourcePath = "fine";
    b.Add("badsource.txt", "unterminated source");
    b.Records.back().SourcePath = std::string(256, 's');
    b.Add("after.txt", "after");
    b.Add("truncated.txt", "0123456789");
    std::string bytes = b.Bytes();
    bytes.resize(bytes.size() - 4);  // the last entry's data runs past the end

    const std::string out = Extract(bytes);
    EXPECT_EQ(TestSupport::ListTree(out), (std::vector<std::string>{"after.txt", "before.txt"}));
    EXPECT_EQ(ReadFile(out + "after.txt"), "after");
    const std::vector<std::pair<int32_t, GPakReason>> damaged{{1, GPakReason::NameNotTerminated},
                                                              {2, GPakReason::SourceNotTerminated},
                                                              {4, GPakReason::DataPastEnd}};
    EXPECT_EQ(Reasons(loaded.GetLoadResult().Problems), damaged);
    EXPECT_EQ(loaded.GetLoadResult().Status, GPakLoadStatus::Loaded);
    EXPECT_EQ(Reasons(loaded.GetExtractResult().Problems), damaged);
    EXPECT_EQ(loaded.GetExtractResult().Written, 2);
    ASSERT_EQ(log.Messages().size(), 3u);
    EXPECT_NE(log.Messages()[0].find("name is not terminated"), std::string::npos);
    EXPECT_NE(log.Messages()[1].find("source path is not terminated"), std::string::npos);
    EXPECT_NE(log.Messages()[2].find("past the end of the archive"), std::string::npos);
}

TEST_F(GPakFileExtract, SkipsEntriesWhoseOffsetPassesTwoGigabytes) {
    TestSupport::LogCapture log;
    PakBuilder b;
    b.Add("huge.bin", "");
    b.Records.back().SizeOverride = 0x80000000u;  // claims 2 GiB
    b.Add("after.bin", "x");
    const std::string out = Extract(b.Bytes());
    EXPECT_TRUE(TestSupport::ListTree(out).empty());
    ASSERT_EQ(log.Messages().size(), 2u);
    EXPECT_NE(log.Messages()[0].find("past 2 GiB"), std::string::npos);
    EXPECT_NE(log.Messages()[1].find("past 2 GiB"), std::string::npos);
}

TEST_F(GPakFileExtract, AnEntryBlockedByAFileIsSkippedAndTheRunGoesOn) {
    PakBuilder b;
    b.Add("a", "plain file").Add("a/b.txt", "needs a folder named a").Add("c.txt", "c");
    const std::string out = Extract(b.Bytes());
    EXPECT_EQ(TestSupport::ListTree(out), (std::vector<std::string>{"a", "c.txt"}));
}

TEST_F(GPakFileExtract, ExistenceChecksTakeWildcardCharactersLiterally) {
    if (!TestSupport::kPosixFileSystem) GTEST_SKIP() << "'*' and '?' are no name characters here";
    // Folder names that would match the entries' folders as patterns.
    fs::create_directories(dir.Path() / "out/abc");
    fs::create_directories(dir.Path() / "out/axc");
    PakBuilder b;
    b.Add("a*/2.txt", "star").Add("a?c/3.txt", "question").Add("abc/1.txt", "plain");
    const std::string out = Extract(b.Bytes());
    EXPECT_EQ(TestSupport::ListTree(out),
              (std::vector<std::string>{"a*/2.txt", "a?c/3.txt", "abc/1.txt"}));
    EXPECT_TRUE(loaded.GetExtractResult().Problems.empty());
}

TEST_F(GPakFileExtract, AReadOnlyFileInTheWayIsKept) {
    WriteFile(dir.Path() / "out/ro.txt", "keep me");
    fs::permissions(dir.Path() / "out/ro.txt", fs::perms::owner_read);
    PakBuilder b;
    b.Add("ro.txt", "new").Add("rw.txt", "fresh");
    const std::string out = Extract(b.Bytes());
    EXPECT_EQ(ReadFile(out + "ro.txt"), "keep me");
    EXPECT_EQ(ReadFile(out + "rw.txt"), "fresh");
    ASSERT_EQ(loaded.GetExtractResult().Problems.size(), 1u);
    const GPakProblem& problem = loaded.GetExtractResult().Problems[0];
    EXPECT_EQ(problem.Reason, GPakReason::CannotCreate);
    EXPECT_EQ(problem.SystemError, Platform::kErrorAccessDenied);
    fs::permissions(dir.Path() / "out/ro.txt", fs::perms::owner_all);
}

// Many entries are written by two threads. Whatever the number, the files, the problems and
// the log lines must come out as one writer meeting the entries in order would leave them.
class ManyEntriesExtract : public ::testing::TestWithParam<int> {
protected:
    // Adds the parameter's count of plain entries, spread over a dozen folders, to b.
    static void AddFiller(PakBuilder& b) {
        for (int i = 0; i < GetParam(); ++i) {
            b.Add("fill" + std::to_string(i % 12) + "/f" + std::to_string(i) + ".dat",
                  std::string(static_cast<size_t>(i % 700), static_cast<char>('a' + i % 26)));
        }
    }
    static void CheckFiller(const std::string& out) {
        for (int i = 0; i < GetParam(); i += 37) {
            EXPECT_EQ(
                ReadFile(out + "fill" + std::to_string(i % 12) + "/f" + std::to_string(i) + ".dat"),
                std::string(static_cast<size_t>(i % 700), static_cast<char>('a' + i % 26)));
        }
    }
    std::string Extract(const PakBuilder& b) {
        WriteFile(dir.Path() / "test.pak", b.Bytes());
        loaded.Load(dir / "test.pak");
        loaded.ExtractAll(dir / "out/");
        return dir / "out/";
    }
    TempDir dir;
    GPakFile loaded;
};

TEST_P(ManyEntriesExtract, ProblemsAndLogLinesKeepTheEntriesOrder) {
    fs::create_directories(dir.Path() / "out");
    WriteFile(dir.Path() / "out/taken", "a file where a folder is needed");
    const bool linked =
        TestSupport::MakeFileLink(dir.Path() / "test.pak", dir.Path() / "out/linked.txt");
    PakBuilder b;
    AddFiller(b);
    const int32_t first = static_cast<int32_t>(b.Records.size());
    b.Add("../climbs.txt", "x").Add("taken/below.txt", "x").Add("linked.txt", "x");
    AddFiller(b);
    b.Add("/rooted.txt", "x");
    TestSupport::LogCapture log;
    const std::string out = Extract(b);

    CheckFiller(out);
    std::vector<std::pair<int32_t, GPakReason>> expected{
        {first, GPakReason::NameClimbsOut},
        {first + 1, GPakReason::PathBlocked},
        {first + 2, GPakReason::LinkOnTheWay},
        {static_cast<int32_t>(b.Records.size()) - 1, GPakReason::NameStartsWithSeparator}};
    if (!linked) expected.erase(expected.begin() + 2);
    EXPECT_EQ(Reasons(loaded.GetExtractResult().Problems), expected);
    EXPECT_EQ(loaded.GetExtractResult().Written,
              static_cast<int32_t>(b.Records.size()) - 4 + (linked ? 0 : 1));
    // A blocked path is skipped quietly; the others are logged in the entries' order.
    std::vector<std::string> lines;
    for (const auto& [index, reason] : expected) {
        if (reason == GPakReason::PathBlocked) continue;
        lines.push_back("Skipped pak entry " + std::to_string(index) + " [" +
                        b.Records[static_cast<size_t>(index)].Name +
                        "]: " + GPakFile::ReasonText(reason));
    }
    EXPECT_EQ(log.Messages(), lines);
}

// The second writer starts from the back, so these would come out wrong if it took them.
TEST_P(ManyEntriesExtract, NamesWhoseOrderMattersAreWrittenInOrder) {
    PakBuilder b;
    b.Add("a", "a plain file");
    AddFiller(b);
    b.Add("a/b.txt", "needs a folder named a")
        .Add("SAME.TXT", "other case")
        .Add("same.txt", "first")
        .Add("same.txt", "last");
    const std::string out = Extract(b);

    CheckFiller(out);
    EXPECT_EQ(ReadFile(out + "same.txt"), "last");
    EXPECT_EQ(ReadFile(out + "a"), "a plain file");
    const std::vector<std::pair<int32_t, GPakReason>> blocked{
        {GetParam() + 1, GPakReason::PathBlocked}};
    EXPECT_EQ(Reasons(loaded.GetExtractResult().Problems), blocked);
}

INSTANTIATE_TEST_SUITE_P(Counts, ManyEntriesExtract, ::testing::Values(0, 300));

// Links that someone planted in the target before the run. Whatever they point at lies in
// outside/, beside the target, where one sentinel file must stay exactly as it was.
struct PlantedLink {
    const char* Label;
    const char* Entry;
    // Plants the link, given the target and the outside folder; false when it cannot be made.
    std::function<bool(const fs::path&, const fs::path&)> Plant;
    GPakReason Expected;  // None: the entry is written, inside the target
};

class ExtractWithPlantedLinks : public ::testing::TestWithParam<PlantedLink> {};

TEST_P(ExtractWithPlantedLinks, NeverWritesOutsideTheTarget) {
    const PlantedLink& c = GetParam();
    TempDir dir;
    const fs::path target = dir.Path() / "extracted";
    const fs::path outside = dir.Path() / "outside";
    fs::create_directories(target);
    WriteFile(outside / "sentinel", "untouched");
    const bool planted = c.Plant(target, outside);
    if (!planted && !TestSupport::kPosixFileSystem) GTEST_SKIP() << "no such link on this system";
    ASSERT_TRUE(planted);

    PakBuilder b;
    b.Add(c.Entry, "payload").Add("fine/ok.txt", "ok");
    WriteFile(dir.Path() / "test.pak", b.Bytes());
    TestSupport::LogCapture log;
    GPakFile pak;
    pak.Load(dir / "test.pak");
    pak.ExtractAll(dir / "extracted/");

    EXPECT_EQ(TestSupport::ListTree(outside), std::vector<std::string>{"sentinel"});
    EXPECT_EQ(ReadFile(outside / "sentinel"), "untouched");
    size_t folders = 0;
    for (const auto& item : fs::recursive_directory_iterator(outside))
        folders += item.is_directory();
    EXPECT_EQ(folders, 0u) << "no folder may appear outside the target";
    EXPECT_EQ(ReadFile(target / "fine/ok.txt"), "ok");

    const GPakExtractResult& result = pak.GetExtractResult();
    EXPECT_EQ(result.Status, GPakExtractStatus::Done);
    if (c.Expected == GPakReason::None) {
        EXPECT_TRUE(result.Problems.empty());
        EXPECT_EQ(result.Written, 2);
        EXPECT_EQ(ReadFile(target / c.Entry), "payload");
        EXPECT_TRUE(log.Messages().empty());
    } else {
        ASSERT_EQ(result.Problems.size(), 1u);
        EXPECT_EQ(result.Problems[0].Index, 0);
        EXPECT_EQ(result.Problems[0].Reason, c.Expected);
        EXPECT_EQ(log.Messages(),
                  std::vector<std::string>{"Skipped pak entry 0 [" + std::string(c.Entry) +
                                           "]: " + GPakFile::ReasonText(c.Expected)});
    }
}

bool FolderLink(const fs::path& target, const fs::path&) {
    return TestSupport::MakeFolderLink("../outside", target / "evil");
}

INSTANTIATE_TEST_SUITE_P(
    Links, ExtractWithPlantedLinks,
    ::testing::Values(
        PlantedLink{"FolderLink", "evil/x", FolderLink, GPakReason::LinkOnTheWay},
        PlantedLink{"FolderLinkWithBackslash", "evil\\x", FolderLink, GPakReason::LinkOnTheWay},
        PlantedLink{"DeepBelowFolderLink", "evil/a/b/c.txt", FolderLink, GPakReason::LinkOnTheWay},
        PlantedLink{"FolderLinkFurtherDown", "sub/evil/x",
                    [](const fs::path& target, const fs::path&) {
                        fs::create_directory(target / "sub");
                        return TestSupport::MakeFolderLink("../../outside", target / "sub/evil");
                    },
                    GPakReason::LinkOnTheWay},
        PlantedLink{"FileLink", "f.txt",
                    [](const fs::path& target, const fs::path& outside) {
                        return TestSupport::MakeFileLink(outside / "sentinel", target / "f.txt");
                    },
                    GPakReason::LinkOnTheWay},
        PlantedLink{"DanglingLink", "d.txt",
                    [](const fs::path& target, const fs::path& outside) {
                        return TestSupport::MakeFileLink(outside / "new.txt", target / "d.txt");
                    },
                    GPakReason::LinkOnTheWay},
        // A hard link is an ordinary file here; it is replaced, never written through.
        PlantedLink{"HardLink", "h.txt",
                    [](const fs::path& target, const fs::path& outside) {
                        fs::create_hard_link(outside / "sentinel", target / "h.txt");
                        return true;
                    },
                    GPakReason::None}),
    [](const ::testing::TestParamInfo<PlantedLink>& info) { return info.param.Label; });

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "data/GBufferedFile.h"
#include "support/TestSupport.h"

using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

// Every line ReadLine hands out until the end, read with the given capacity.
std::vector<std::string> ReadAllLines(GBufferedFile& file, int capacity = 2048) {
    std::vector<std::string> lines;
    std::vector<char> buffer(static_cast<size_t>(capacity) + 1, 'X');
    int guard = 0;
    while (!file.IsEOF() && guard++ < 10000) {
        file.ReadLine(buffer.data(), capacity);
        lines.push_back(buffer.data());
    }
    return lines;
}

struct LineCase {
    const char* Name;
    std::string Bytes;
    std::vector<std::string> Lines;
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.Name;
}

class ReadLineSplitting : public ::testing::TestWithParam<LineCase> {};

}  // namespace

TEST_P(ReadLineSplitting, GivesTheLinesWithoutTheirEnds) {
    TempDir dir;
    WriteFile(dir.Path() / "f.txt", GetParam().Bytes);
    GBufferedFile file;
    ASSERT_TRUE(file.Load(dir / "f.txt"));
    EXPECT_EQ(ReadAllLines(file), GetParam().Lines);
    EXPECT_TRUE(file.IsEOF());
}

INSTANTIATE_TEST_SUITE_P(
    LineEnds, ReadLineSplitting,
    ::testing::Values(LineCase{"CrLfThenLfThenNoEnd", "a\r\nb\nc", {"a", "b", "c"}},
                      LineCase{"FinalLineEndAddsNoEmptyLine", "a\n", {"a"}},
                      LineCase{"FinalCrLfAddsNoEmptyLine", "a\r\n", {"a"}},
                      LineCase{"LoneCrIsText", std::string("a\rb\n"), {"a\rb"}},
                      LineCase{"CrAtTheVeryEndIsText", "a\r", {"a\r"}},
                      LineCase{"CrCrLfKeepsOneCr", "a\r\r\nb", {"a\r", "b"}},
                      LineCase{"TwoEmptyLines", "\n\n", {"", ""}},
                      LineCase{"LfCrIsAnEndThenText", "a\n\rb", {"a", "\rb"}},
                      LineCase{"BlanksAndTabsStay", " \tx \t\r\n", {" \tx \t"}}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return info.param.Name; });

TEST(GBufferedFile, ReadLine_KeepsNulBytesInsideTheLine) {
    TempDir dir;
    WriteFile(dir.Path() / "f.bin", std::string("a\0b\n", 4));
    GBufferedFile file;
    ASSERT_TRUE(file.Load(dir / "f.bin"));
    char buffer[8] = "zzzzzzz";
    file.ReadLine(buffer, sizeof(buffer));
    EXPECT_EQ(std::string(buffer, 4), std::string("a\0b\0", 4));
}

TEST(GBufferedFile, EmptyFileLoadsAtItsEndAndLeavesTheBufferAlone) {
    TempDir dir;
    WriteFile(dir.Path() / "empty.txt", "");
    GBufferedFile file;
    ASSERT_TRUE(file.Load(dir / "empty.txt"));
    EXPECT_EQ(file.GetSize(), 0);
    EXPECT_TRUE(file.IsEOF());
    char buffer[4] = "abc";
    file.ReadLine(buffer, sizeof(buffer));
    EXPECT_STREQ(buffer, "abc");
    file.Rewind();
    EXPECT_TRUE(file.IsEOF()) << "a rewound empty file must not look readable";
}

TEST(GBufferedFile, GetDataHoldsTheWholeFile) {
    TempDir dir;
    std::string bytes;
    for (int i = 0; i < 70000; i++) bytes.push_back(static_cast<char>(i * 7));
    WriteFile(dir.Path() / "f.bin", bytes);
    GBufferedFile file;
    ASSERT_TRUE(file.Load(dir / "f.bin"));
    ASSERT_EQ(file.GetSize(), 70000);
    EXPECT_EQ(std::string(file.GetData(), 70000), bytes);
    EXPECT_EQ(file.GetFilePath(), dir / "f.bin");
}

TEST(GBufferedFile, RewindStartsOverFromTheFirstByte) {
    TempDir dir;
    WriteFile(dir.Path() / "f.txt", "one\ntwo\n");
    GBufferedFile file;
    ASSERT_TRUE(file.Load(dir / "f.txt"));
    EXPECT_EQ(ReadAllLines(file), (std::vector<std::string>{"one", "two"}));
    file.Rewind();
    EXPECT_FALSE(file.IsEOF());
    EXPECT_EQ(ReadAllLines(file), (std::vector<std::string>{"one", "two"}));
}

TEST(GBufferedFile, LongLinesComeInPiecesWithNothingDropped) {
    TempDir dir;
    WriteFile(dir.Path() / "f.txt", "abcdefgh\r\nxyz\n1234\n");
    GBufferedFile file;
    ASSERT_TRUE(file.Load(dir / "f.txt"));
    // Capacity 5 holds four characters: a line of exactly four arrives whole.
    EXPECT_EQ(ReadAllLines(file, 5), (std::vector<std::string>{"abcd", "efgh", "xyz", "1234"}));
}

TEST(GBufferedFile, BufferWithoutRoomForTextSkipsLinesAndStillReachesTheEnd) {
    TempDir dir;
    WriteFile(dir.Path() / "f.txt", "abc\ndef\n");
    GBufferedFile file;
    ASSERT_TRUE(file.Load(dir / "f.txt"));
    EXPECT_EQ(ReadAllLines(file, 1), (std::vector<std::string>{"", ""}));
    file.Rewind();
    file.ReadLine(nullptr, 0);
    file.ReadLine(nullptr, 0);
    EXPECT_TRUE(file.IsEOF());
}

TEST(GBufferedFile, MissingFileFailsEmptyAndAtItsEnd) {
    TestSupport::LogCapture log;
    TempDir dir;
    GBufferedFile file;
    EXPECT_FALSE(file.Load(dir / "missing.txt"));
    EXPECT_EQ(file.GetSize(), 0);
    EXPECT_TRUE(file.IsEOF());
    EXPECT_TRUE(file.GetFilePath().empty());
    EXPECT_TRUE(log.Contains("GBufferedFile failed to open file [" + (dir / "missing.txt") + "]"));
}

TEST(GBufferedFile, EmptyPathLogsBothMessages) {
    TestSupport::LogCapture log;
    GBufferedFile file;
    EXPECT_FALSE(file.Load(""));
    EXPECT_EQ(log.Messages(), (std::vector<std::string>{"GBufferedFile invalid file path",
                                                        "GBufferedFile failed to open file []"}));
}

TEST(GBufferedFile, FileOverOneGigabyteIsRefused) {
    TestSupport::LogCapture log;
    TempDir dir;
    { std::ofstream create(dir.Path() / "big.bin", std::ios::binary); }
    // Sparse: no gigabyte is ever written or read.
    std::filesystem::resize_file(dir.Path() / "big.bin", (1u << 30) + 1);
    GBufferedFile file;
    EXPECT_FALSE(file.Load(dir / "big.bin"));
    EXPECT_EQ(file.GetSize(), 0);
    EXPECT_TRUE(file.IsEOF());
    EXPECT_TRUE(log.Contains("GBufferedFile File size > 1 gig"));
}

TEST(GBufferedFile, ShortReadFailsInsteadOfServingUnreadBytes) {
    // This kernel file claims a page of size but yields a few bytes: the same as a file that
    // shrank between measuring and reading.
    const std::string path = "/sys/devices/system/cpu/online";
    std::error_code error;
    if (std::filesystem::file_size(path, error) <= 16 || error) GTEST_SKIP() << "no such file";
    TestSupport::LogCapture log;
    GBufferedFile file;
    EXPECT_FALSE(file.Load(path));
    EXPECT_EQ(file.GetSize(), 0);
    EXPECT_EQ(file.GetData(), nullptr);
    EXPECT_TRUE(file.IsEOF());
    EXPECT_TRUE(file.GetFilePath().empty());
    ASSERT_EQ(log.Messages().size(), 1u);
    EXPECT_EQ(log.Messages()[0].rfind("GBufferedFile short read [" + path + "]", 0), 0u)
        << log.Messages()[0];
}

TEST(GBufferedFile, SecondLoadReplacesTheFirst) {
    TempDir dir;
    WriteFile(dir.Path() / "a.txt", "first file\n");
    WriteFile(dir.Path() / "b.txt", "b\n");
    GBufferedFile file;
    ASSERT_TRUE(file.Load(dir / "a.txt"));
    char buffer[64];
    file.ReadLine(buffer, sizeof(buffer));
    ASSERT_TRUE(file.Load(dir / "b.txt"));
    EXPECT_EQ(file.GetSize(), 2);
    EXPECT_FALSE(file.IsEOF());
    EXPECT_EQ(ReadAllLines(file), (std::vector<std::string>{"b"}));

    TestSupport::LogCapture log;
    EXPECT_FALSE(file.Load(dir / "gone.txt"));
    EXPECT_TRUE(file.GetFilePath().empty());
    EXPECT_EQ(file.GetData(), nullptr);
}

TEST(GBufferedFileManager, SamePathGivesTheSameFileRewound) {
    TempDir dir;
    WriteFile(dir.Path() / "f.txt", "one\ntwo\n");
    GBufferedFileManager manager;
    GBufferedFile* first = manager.GetFile(dir / "f.txt");
    char buffer[16];
    first->ReadLine(buffer, sizeof(buffer));
    // Changes on disk are not seen: the cached copy is served.
    WriteFile(dir.Path() / "f.txt", "changed\n");
    GBufferedFile* second = manager.GetFile(dir / "f.txt");
    EXPECT_EQ(second, first);
    second->ReadLine(buffer, sizeof(buffer));
    EXPECT_STREQ(buffer, "one");
}

TEST(GBufferedFileManager, PathsAreComparedExactly) {
    TempDir dir;
    WriteFile(dir.Path() / "f.txt", "x\n");
    GBufferedFileManager manager;
    GBufferedFile* plain = manager.GetFile(dir / "f.txt");
    GBufferedFile* dotted = manager.GetFile(dir.Path().string() + "/./f.txt");
    EXPECT_NE(plain, dotted);
    EXPECT_EQ(dotted->GetSize(), 2);
}

TEST(GBufferedFileManager, EvictionAlwaysTakesSlotZero) {
    TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 12; i++) {
        paths.push_back(dir / ("f" + std::to_string(i) + ".txt"));
        WriteFile(paths.back(), std::to_string(i) + "\n");
    }
    GBufferedFileManager manager;
    std::vector<GBufferedFile*> files;
    for (int i = 0; i < 10; i++) files.push_back(manager.GetFile(paths[static_cast<size_t>(i)]));

    // The eleventh replaces the first; the first is then read again into slot 0, replacing
    // the eleventh, while the second to tenth stay where they were.
    GBufferedFile* eleventh = manager.GetFile(paths[10]);
    EXPECT_EQ(eleventh->GetFilePath(), paths[10]);
    for (int i = 1; i < 10; i++) {
        EXPECT_EQ(manager.GetFile(paths[static_cast<size_t>(i)]), files[static_cast<size_t>(i)])
            << i;
    }
    GBufferedFile* twelfth = manager.GetFile(paths[11]);
    EXPECT_EQ(twelfth->GetFilePath(), paths[11]);
    for (int i = 1; i < 10; i++) {
        EXPECT_EQ(manager.GetFile(paths[static_cast<size_t>(i)]), files[static_cast<size_t>(i)])
            << i;
    }
    EXPECT_EQ(manager.GetFile(paths[11]), twelfth);
}

TEST(GBufferedFileManager, FailedLoadIsNeverServedAgain) {
    TestSupport::LogCapture log;
    TempDir dir;
    GBufferedFileManager manager;
    GBufferedFile* empty = manager.GetFile("");
    GBufferedFile* again = manager.GetFile("");
    EXPECT_NE(empty, again);
    EXPECT_TRUE(again->IsEOF());
    GBufferedFile* missing = manager.GetFile(dir / "missing.txt");
    EXPECT_TRUE(missing->IsEOF());
    EXPECT_EQ(missing->GetSize(), 0);
}

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "diagnostics/ErrorReporting.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

std::vector<std::string> shellTargets;
bool shellAnswer = true;

bool RecordingShell(const std::string& target) {
    shellTargets.push_back(target);
    if (!shellAnswer) Platform::SetLastError(Platform::kErrorNoAssociation);
    return shellAnswer;
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        shellTargets.clear();
        shellAnswer = true;
        SetShellOpener(RecordingShell);
    }
    void TearDown() override { SetShellOpener(nullptr); }
};

// Runs the test with PATH set to one folder, so only our stand-in opener can be found.
class PathGuard {
public:
    explicit PathGuard(const std::string& path) {
        const char* old = getenv("PATH");
        hadPath = old != nullptr;
        if (hadPath) previous = old;
        TestSupport::SetEnvironment("PATH", path.c_str());
    }
    ~PathGuard() { TestSupport::SetEnvironment("PATH", hadPath ? previous.c_str() : nullptr); }

private:
    bool hadPath = false;
    std::string previous;
};

}  // namespace

TEST_F(ShellTest, SendEmailPutsTheTextsInAsTheyStand) {
    SendEmail("Hello World", "Line & more?", "someone@example.org");
    ASSERT_EQ(shellTargets.size(), 1u);
    EXPECT_EQ(shellTargets[0], "mailto:someone@example.org?subject=Hello World&body=Line & more?");
}

TEST_F(ShellTest, SendEmailRefusesAUrlThatWouldNotFit) {
    TestSupport::LogCapture log;
    // 22 fixed characters: 233 more fill the 255 exactly.
    SendEmail(std::string(100, 's'), std::string(100, 'b'), std::string(33, 'a'));
    ASSERT_EQ(shellTargets.size(), 1u);
    EXPECT_EQ(shellTargets[0].size(), 255u);
    SendEmail(std::string(100, 's'), std::string(100, 'b'), std::string(34, 'a'));
    EXPECT_EQ(shellTargets.size(), 1u) << "a cut URL must not reach the shell";
    EXPECT_TRUE(log.Contains("SendEmail message too long (256 characters)"));
}

TEST_F(ShellTest, OpenWithShellLogsTheSystemTextOnFailure) {
    TestSupport::LogCapture log;
    OpenWithShell("readme.txt");
    EXPECT_TRUE(log.Messages().empty());
    shellAnswer = false;
    OpenWithShell("document.unknown");
    EXPECT_EQ(shellTargets, (std::vector<std::string>{"readme.txt", "document.unknown"}));
    std::string expected = Platform::ErrorMessage(Platform::kErrorNoAssociation);
    while (!expected.empty() && (expected.back() == '\n' || expected.back() == '\r')) {
        expected.pop_back();
    }
    EXPECT_EQ(log.Messages(), (std::vector<std::string>{expected}));
}

TEST(ErrorReporting, WithoutAnOpenerTheShellFailureIsLogged) {
    TempDir empty;
    TestSupport::LogCapture log;
    PathGuard path(empty.Path().string());
    OpenWithShell("document.txt");
    ASSERT_EQ(log.Messages().size(), 1u);
    EXPECT_FALSE(log.Messages()[0].empty());
}

TEST(ErrorReporting, OpenerGetsTheTargetAsOneUninterpretedArgument) {
    if (!TestSupport::kPosixFileSystem) GTEST_SKIP() << "the stand-in opener is a shell script";
    TempDir dir;
    std::string fifo = dir / "argument";
    ASSERT_TRUE(TestSupport::MakeFifo(fifo));
    // The stand-in writes its arguments, one per line, into the pipe the test reads.
    WriteFile(dir.Path() / "xdg-open",
              "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + fifo + "'\n");
    std::filesystem::permissions(dir.Path() / "xdg-open", std::filesystem::perms::owner_all);
    PathGuard path(dir.Path().string() + ":/usr/bin:/bin");

    const std::string target = "-a b;$(touch pwned)`id` 'q' \"x\" | y";
    ASSERT_TRUE(Platform::ShellOpen(target));
    std::ifstream pipe(fifo);
    std::vector<std::string> lines;
    for (std::string line; std::getline(pipe, line);) lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"./" + target}));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "pwned"));
    EXPECT_FALSE(std::filesystem::exists("pwned"));
}

namespace {

struct VersionCase {
    uint32_t Major, Minor;
    bool XPOrLater, Vista, SevenOrLater;
};

void PrintTo(const VersionCase& c, std::ostream* os) {
    *os << c.Major << "." << c.Minor;
}

class VersionCases : public ::testing::TestWithParam<VersionCase> {};

}  // namespace

TEST_P(VersionCases, AnswerForRealVersions) {
    const VersionCase& c = GetParam();
    Platform::OsVersion version;
    version.Major = c.Major;
    version.Minor = c.Minor;
    EXPECT_EQ(IsWindowsXPOrLater(version), c.XPOrLater);
    EXPECT_EQ(IsWindowsVista(version), c.Vista);
    EXPECT_EQ(IsWindows7OrLater(version), c.SevenOrLater);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionCases,
    ::testing::Values(VersionCase{5, 0, false, false, false}, VersionCase{5, 1, true, false, false},
                      VersionCase{5, 2, true, false, false}, VersionCase{6, 0, true, true, false},
                      VersionCase{6, 1, true, false, true}, VersionCase{6, 2, true, false, true},
                      VersionCase{6, 3, true, false, true}, VersionCase{10, 0, true, false, true}));

TEST(ErrorReporting, RunningSystemAnswersAsACurrentOne) {
    EXPECT_TRUE(IsWindowsXPOrLater());
    EXPECT_FALSE(IsWindowsVista());
    EXPECT_TRUE(IsWindows7OrLater());
}

TEST(ErrorReporting, DebugHeapChecksRoundTripAndLeaveOtherBits) {
    const int original = Platform::GetDebugHeapFlags();
    Platform::SetDebugHeapFlags(0x0100 | 0x01);
    SetDebugHeapChecks(true);
    EXPECT_EQ(Platform::GetDebugHeapFlags(), 0x0100 | 0x01 | 0x20 | 0x04);
    SetDebugHeapChecks(false);
    EXPECT_EQ(Platform::GetDebugHeapFlags(), 0x0100 | 0x01);
    Platform::SetDebugHeapFlags(original);
}

#include <gtest/gtest.h>

#include "diagnostics/GDebugLog.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using TestSupport::ReadFile;
using TestSupport::ReadLines;
using TestSupport::TempDir;

namespace {

// Fixes the clock and collects debugger output for one test.
class GDebugLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        Platform::SystemTime t;
        t.Year = 2026;
        t.Month = 12;
        t.Day = 7;
        t.Hour = 9;
        t.Minute = 5;
        t.Second = 3;
        t.Milliseconds = 7;
        Platform::SetUtcTimeOverride(&t);
        Platform::SetDebuggerSink(
            [](const std::string& text, void* self) {
                static_cast<GDebugLogTest*>(self)->debugger += text;
            },
            this);
    }
    void TearDown() override {
        GetDebugLog().Close();
        Platform::SetUtcTimeOverride(nullptr);
        Platform::SetDebuggerSink(nullptr, nullptr);
    }

    TempDir dir;
    std::string debugger;
};

}  // namespace

TEST_F(GDebugLogTest, LogIsSilentUntilInitAndAfterClose) {
    GetDebugLog().Log("before");
    EXPECT_TRUE(debugger.empty());

    GetDebugLog().Init(dir.Path().string());
    GetDebugLog().Log("100% done %s %n");
    GetDebugLog().Close();
    GetDebugLog().Log("after");
    GetDebugLog().Close();  // a second close does nothing

    const std::string expected =
        "[9:5:3:7]- ----DEBUG FILE----\n"
        "[9:5:3:7]- 100% done %s %n\n"
        "END DEBUG---\n";
    EXPECT_EQ(TestSupport::ReadText(dir.Path() / "debug" / "debug.txt"), expected);
    EXPECT_EQ(debugger, "----DEBUG FILE----\n100% done %s %n\n");
}

TEST_F(GDebugLogTest, InitStartsTheFileAfresh) {
    GetDebugLog().Init(dir.Path().string());
    GetDebugLog().Log("first run");
    GetDebugLog().Init(dir.Path().string());
    EXPECT_EQ(ReadLines(dir.Path() / "debug" / "debug.txt"),
              (std::vector<std::string>{"[9:5:3:7]- ----DEBUG FILE----"}));
    EXPECT_EQ(GetDebugLog().GetFolder(), dir.Path().string());
}

TEST_F(GDebugLogTest, LogErrorAppendsDatedLinesAndReopensEachTime) {
    GetDebugLog().Init(dir.Path().string());
    GetDebugLog().LogError("disk 50% full");
    fs::remove(dir.Path() / "debug" / "errors.txt");
    GetDebugLog().LogError("first after delete");
    GetDebugLog().LogError("second");
    EXPECT_EQ(TestSupport::ReadText(dir.Path() / "debug" / "errors.txt"),
              "7/12/2026 - 9::5 - first after delete\n7/12/2026 - 9::5 - second\n");
    // Nothing of the error log goes to debug.txt.
    EXPECT_EQ(ReadLines(dir.Path() / "debug" / "debug.txt").size(), 1u);
}

TEST_F(GDebugLogTest, LogErrorWithoutFolderUsesTheWorkingFolder) {
    TestSupport::CwdGuard cwd(dir.Path());
    GDebugLog log;  // a fresh log: no base folder
    log.LogError("early");
    EXPECT_EQ(TestSupport::ReadText(dir.Path() / "debug" / "errors.txt"),
              "7/12/2026 - 9::5 - early\n");
}

TEST_F(GDebugLogTest, LogErrorThatCannotWriteStillReachesTheDebuggerAndReturns) {
    TestSupport::CwdGuard cwd(dir.Path());
    TestSupport::WriteFile(dir.Path() / "debug", "a file where the folder would go");
    GDebugLog log;
    log.LogError("still heard");
    EXPECT_EQ(debugger, "still heard");
    EXPECT_EQ(ReadFile(dir.Path() / "debug"), "a file where the folder would go");
}

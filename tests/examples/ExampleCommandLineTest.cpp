// Every example takes its command line the same way: --help is the usage on standard output
// and status 0; an unknown option, an argument too many or a screenshot name it cannot write
// is refused with the reason and the usage on standard error, status 2, and nothing written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

const char* const kExamples[] = {"render_demo", "sprite_field", "text_demo", "demo", "window"};

TestSupport::RunResult RunExample(const std::string& name, const std::vector<std::string>& args,
                                  const TestSupport::TempDir& dir) {
    return TestSupport::Run(std::string(BIN_DIR) + "/" + name, args, dir.Path());
}

class ExampleCommandLine : public ::testing::TestWithParam<const char*> {};

TEST_P(ExampleCommandLine, AnswersHelpAndRefusesUnknownOptions) {
    const std::string name = GetParam();
    TestSupport::TempDir dir;
    TestSupport::RunResult help = RunExample(name, {"--help"}, dir);
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_EQ(help.Out.rfind("usage: " + name, 0), 0u) << help.Out;
    EXPECT_NE(help.Out.find("--help"), std::string::npos);
    EXPECT_EQ(help.Err, "");

    TestSupport::RunResult unknown = RunExample(name, {"--no-such-option"}, dir);
    EXPECT_EQ(unknown.ExitCode, 2);
    EXPECT_EQ(unknown.Out, "");
    EXPECT_EQ(unknown.Err, name + ": unknown option --no-such-option\n" + help.Out);
    EXPECT_TRUE(TestSupport::ListTree(dir.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleCommandLine, ::testing::ValuesIn(kExamples),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

struct Refusal {
    const char* Example;
    std::vector<std::string> Args;
    const char* Reason;
};

class ExampleRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(ExampleRefusal, SaysWhyWithTheUsageAndWritesNothing) {
    const Refusal& r = GetParam();
    TestSupport::TempDir dir;
    TestSupport::RunResult run = RunExample(r.Example, r.Args, dir);
    EXPECT_EQ(run.ExitCode, 2);
    const std::string reason = std::string(r.Example) + ": " + r.Reason + "\nusage: ";
    EXPECT_EQ(run.Err.rfind(reason, 0), 0u) << run.Err;
    EXPECT_TRUE(TestSupport::ListTree(dir.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ExampleRefusal,
    ::testing::Values(
        Refusal{"sprite_field", {"one.png", "two.png"}, "one argument too many: two.png"},
        Refusal{"text_demo", {"fonts", "shot.png", "more"}, "one argument too many: more"},
        Refusal{"render_demo",
                {"textures", "rd.xyz"},
                "a screenshot's name ends in .png, .bmp, .tga or .jpg, not rd.xyz"},
        Refusal{"sprite_field",
                {"--", "--help"},
                "a screenshot's name ends in .png, .bmp, .tga or .jpg, not --help"},
        Refusal{"demo",
                {"--headless", "--frames", "1", "--screenshot", "shot.gif"},
                "a screenshot's name ends in .png, .bmp, .tga or .jpg, not shot.gif"},
        Refusal{"window",
                {"--headless", "--frames", "1", "--screenshot=.png"},
                "a screenshot's name ends in .png, .bmp, .tga or .jpg, not .png"},
        Refusal{"demo", {"--width", "0"}, "--width takes a whole number from 1 to 8192, not 0"},
        Refusal{"window", {"--frames"}, "--frames needs a value (N)"},
        Refusal{"demo", {"--headless=yes"}, "--headless takes no value"}));

}  // namespace

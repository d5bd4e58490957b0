// The command line of every example, taken the same way: --help prints the usage on standard
// output and exits with status 0; an unknown option, a value that does not fit, a missing
// value or an argument too many prints the reason and the usage on standard error and exits
// with status 2. A screenshot's name must end in .png, .bmp, .tga or .jpg (or .jpeg), which
// also picks the file's format.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace Example {

struct Screenshot {
    std::string Path;  // empty: none asked for
    int Format = 0;    // the image file format of the name's extension
};

// The image file format of a screenshot's name; false for any other extension.
bool ScreenshotFormatFor(const std::string& path, int& format);
// A screenshot of that name, which must be one ScreenshotFormatFor takes.
Screenshot DefaultScreenshot(const std::string& path);

class CommandLine {
public:
    CommandLine(std::string program, std::string summary);

    // --name sets value to set.
    void Flag(const std::string& name, bool& value, const std::string& help, bool set = true);
    // --name N, a whole number from low to high.
    void Number(const std::string& name, const std::string& meta, long low, long high, long& value,
                const std::string& help);
    void Number(const std::string& name, const std::string& meta, int low, int high, int& value,
                const std::string& help);
    // --name TEXT.
    void Text(const std::string& name, const std::string& meta, std::string& value,
              const std::string& help);
    // --name FILE, a screenshot's name.
    void ScreenshotOption(const std::string& name, Screenshot& value, const std::string& help);
    // Arguments that are not options, each optional, taken in the order they are declared.
    void Positional(const std::string& meta, std::string& value, const std::string& help);
    void PositionalScreenshot(const std::string& meta, Screenshot& value, const std::string& help);

    // True when the example should run. Otherwise status is what main returns: 0 after
    // --help, 2 after a refusal.
    bool Parse(int argc, char** argv, int& status) const;
    // For the example's own checks after Parse: the reason and the usage on standard error.
    // Returns 2, the status of a refusal.
    int Refuse(const std::string& reason) const;
    std::string Usage() const;

private:
    struct Argument {
        std::string Name;  // "--width", or empty for a positional argument
        std::string Meta;  // what the value is called in the usage ("W"); empty for a flag
        std::string Help;
        // Takes the value; false with the reason why it does not fit.
        std::function<bool(const std::string&, std::string&)> Take;
    };

    const Argument* FindOption(const std::string& name) const;

    std::string program_;
    std::string summary_;
    std::vector<Argument> options_;
    std::vector<Argument> positionals_;
};

}  // namespace Example

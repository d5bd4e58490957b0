#include "ExampleCommandLine.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "platform/D3D9.h"

namespace Example {

namespace {

// A whole decimal number from low to high and nothing else.
bool ReadNumber(const std::string& text, long low, long high, long& value) {
    if (text.empty() || text.size() > 12 ||
        text.find_first_not_of("0123456789", text[0] == '-' ? 1 : 0) != std::string::npos ||
        text == "-")
        return false;
    const long parsed = std::strtol(text.c_str(), nullptr, 10);
    if (parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

const char* const kScreenshotNames = " (.png, .bmp, .tga or .jpg)";

bool TakeScreenshot(const std::string& text, Screenshot& shot, std::string& why) {
    if (!ScreenshotFormatFor(text, shot.Format)) {
        why = "a screenshot's name ends in .png, .bmp, .tga or .jpg, not " + text;
        return false;
    }
    shot.Path = text;
    return true;
}

}  // namespace

bool ScreenshotFormatFor(const std::string& path, int& format) {
    static const struct {
        const char* Extension;
        int Format;
    } kFormats[] = {{"png", D3DXIFF_PNG},
                    {"bmp", D3DXIFF_BMP},
                    {"tga", D3DXIFF_TGA},
                    {"jpg", D3DXIFF_JPG},
                    {"jpeg", D3DXIFF_JPG}};
    const size_t dot = path.find_last_of("./\\");
    if (dot == std::string::npos || path[dot] != '.' || dot == 0 || path[dot - 1] == '/' ||
        path[dot - 1] == '\\')
        return false;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& entry : kFormats) {
        if (extension == entry.Extension) {
            format = entry.Format;
            return true;
        }
    }
    return false;
}

Screenshot DefaultScreenshot(const std::string& path) {
    Screenshot shot;
    shot.Path = path;
    ScreenshotFormatFor(path, shot.Format);
    return shot;
}

CommandLine::CommandLine(std::string program, std::string summary)
    : program_(std::move(program)), summary_(std::move(summary)) {}

void CommandLine::Flag(const std::string& name, bool& value, const std::string& help, bool set) {
    options_.push_back({name, "", help, [&value, set](const std::string&, std::string&) {
                            value = set;
                            return true;
                        }});
}

void CommandLine::Number(const std::string& name, const std::string& meta, long low, long high,
                         long& value, const std::string& help) {
    options_.push_back(
        {name, meta, help, [&value, name, low, high](const std::string& text, std::string& why) {
             if (ReadNumber(text, low, high, value)) return true;
             why = name + " takes a whole number from " + std::to_string(low) + " to " +
                   std::to_string(high) + ", not " + text;
             return false;
         }});
}

void CommandLine::Number(const std::string& name, const std::string& meta, int low, int high,
                         int& value, const std::string& help) {
    options_.push_back(
        {name, meta, help, [&value, name, low, high](const std::string& text, std::string& why) {
             long number = 0;
             if (ReadNumber(text, low, high, number)) {
                 value = static_cast<int>(number);
                 return true;
             }
             why = name + " takes a whole number from " + std::to_string(low) + " to " +
                   std::to_string(high) + ", not " + text;
             return false;
         }});
}

void CommandLine::Text(const std::string& name, const std::string& meta, std::string& value,
                       const std::string& help) {
    options_.push_back({name, meta, help, [&value](const std::string& text, std::string&) {
                            value = text;
                            return true;
                        }});
}

void CommandLine::ScreenshotOption(const std::string& name, Screenshot& value,
                                   const std::string& help) {
    options_.push_back({name, "FILE", help + kScreenshotNames,
                        [&value](const std::string& text, std::string& why) {
                            return TakeScreenshot(text, value, why);
                        }});
}

void CommandLine::Positional(const std::string& meta, std::string& value, const std::string& help) {
    positionals_.push_back({"", meta, help, [&value](const std::string& text, std::string&) {
                                value = text;
                                return true;
                            }});
}

void CommandLine::PositionalScreenshot(const std::string& meta, Screenshot& value,
                                       const std::string& help) {
    positionals_.push_back(
        {"", meta, help + kScreenshotNames, [&value](const std::string& text, std::string& why) {
             return TakeScreenshot(text, value, why);
         }});
}

const CommandLine::Argument* CommandLine::FindOption(const std::string& name) const {
    for (const Argument& option : options_)
        if (option.Name == name) return &option;
    return nullptr;
}

bool CommandLine::Parse(int argc, char** argv, int& status) const {
    size_t positional = 0;
    bool optionsEnded = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        std::string why;
        if (!optionsEnded && arg == "--help") {
            fputs(Usage().c_str(), stdout);
            status = 0;
            return false;
        }
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            // --name value, or --name=value.
            std::string value;
            bool inline_value = false;
            const size_t equals = arg.find('=');
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
                arg.resize(equals);
                inline_value = true;
            }
            const Argument* option = FindOption(arg);
            if (option == nullptr) {
                status = Refuse("unknown option " + arg);
                return false;
            }
            if (option->Meta.empty()) {
                if (inline_value) {
                    status = Refuse(arg + " takes no value");
                    return false;
                }
            } else if (!inline_value) {
                if (i + 1 >= argc) {
                    status = Refuse(arg + " needs a value (" + option->Meta + ")");
                    return false;
                }
                value = argv[++i];
            }
            if (!option->Take(value, why)) {
                status = Refuse(why);
                return false;
            }
            continue;
        }
        if (positional >= positionals_.size()) {
            status = Refuse("one argument too many: " + arg);
            return false;
        }
        if (!positionals_[positional++].Take(arg, why)) {
            status = Refuse(why);
            return false;
        }
    }
    return true;
}

int CommandLine::Refuse(const std::string& reason) const {
    fprintf(stderr, "%s: %s\n%s", program_.c_str(), reason.c_str(), Usage().c_str());
    return 2;
}

std::string CommandLine::Usage() const {
    std::string usage = "usage: " + program_;
    if (!options_.empty()) usage += " [options]";
    for (const Argument& p : positionals_) usage += " [" + p.Meta;
    usage += std::string(positionals_.size(), ']');
    usage += "\n" + summary_ + "\n\n";
    auto line = [&usage](const std::string& left, const std::string& help) {
        usage += "  " + left;
        usage +=
            left.size() < 22 ? std::string(22 - left.size(), ' ') : "\n" + std::string(24, ' ');
        usage += help + "\n";
    };
    for (const Argument& p : positionals_) line(p.Meta, p.Help);
    for (const Argument& o : options_)
        line(o.Meta.empty() ? o.Name : o.Name + " " + o.Meta, o.Help);
    line("--help", "show this and exit");
    return usage;
}

}  // namespace Example

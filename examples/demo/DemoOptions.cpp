#include "DemoOptions.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/D3D9.h"

const char* const kDemoUsage =
    "usage: demo [--width W] [--height H] [--sprites N] [--fullscreen] [--immediate]\n"
    "            [--headless] [--no-batching] [--textures DIR] [--font DIR]\n"
    "            [--frames N [--screenshot FILE] [--hold]]\n";

namespace {

// A whole decimal number from 1 (0 where zero is allowed) to limit, nothing else.
bool ReadCount(const char* text, long low, long limit, long& value) {
    if (*text < '0' || *text > '9') return false;
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (*end != '\0' || parsed < low || parsed > limit) return false;
    value = parsed;
    return true;
}

}  // namespace

bool ScreenshotFormatFor(const std::string& file, int& format) {
    static const struct {
        const char* Extension;
        int Format;
    } kFormats[] = {{"png", D3DXIFF_PNG},
                    {"bmp", D3DXIFF_BMP},
                    {"tga", D3DXIFF_TGA},
                    {"jpg", D3DXIFF_JPG},
                    {"jpeg", D3DXIFF_JPG}};
    const size_t dot = file.find_last_of("./\\");
    if (dot == std::string::npos || file[dot] != '.') return false;
    std::string extension = file.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& entry : kFormats) {
        if (extension == entry.Extension) {
            format = entry.Format;
            return true;
        }
    }
    return false;
}

namespace {

// One option that takes a value; false, with a line on standard error, when the value does
// not fit or the option is unknown.
bool ParseValued(const std::string& name, const char* value, DemoOptions& options) {
    long number = 0;
    if (name == "--textures") {
        options.Textures = value;
    } else if (name == "--font") {
        options.Font = value;
    } else if (name == "--screenshot") {
        if (!ScreenshotFormatFor(value, options.ScreenshotFormat)) {
            std::fprintf(stderr, "demo: the screenshot must end in .png, .bmp, .tga or .jpg\n");
            return false;
        }
        options.Screenshot = value;
    } else if (name == "--width" || name == "--height") {
        if (!ReadCount(value, 1, 8192, number)) {
            std::fprintf(stderr, "demo: %s takes a size from 1 to 8192\n", name.c_str());
            return false;
        }
        (name == "--width" ? options.Width : options.Height) = static_cast<int>(number);
    } else if (name == "--sprites") {
        if (!ReadCount(value, 0, kMaxSprites, number)) {
            std::fprintf(stderr, "demo: --sprites takes a count from 0 to %d\n", kMaxSprites);
            return false;
        }
        options.Sprites = static_cast<int>(number);
    } else if (name == "--frames") {
        if (!ReadCount(value, 1, 100000000, number)) {
            std::fprintf(stderr, "demo: --frames takes a count from 1 to 100000000\n");
            return false;
        }
        options.Frames = number;
    } else {
        std::fprintf(stderr, "demo: unknown option %s\n", name.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool ParseDemoOptions(int argc, char** argv, DemoOptions& options) {
    const struct {
        const char* Name;
        bool* Flag;
        bool Value;
    } kFlags[] = {{"--fullscreen", &options.FullScreen, true},
                  {"--immediate", &options.Immediate, true},
                  {"--headless", &options.Headless, true},
                  {"--no-batching", &options.Batching, false},
                  {"--hold", &options.Hold, true}};
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        bool isFlag = false;
        for (const auto& flag : kFlags) {
            if (arg == flag.Name) {
                *flag.Flag = flag.Value;
                isFlag = true;
            }
        }
        if (isFlag) continue;
        if (i + 1 >= argc) {
            std::fprintf(stderr, "demo: unknown option or missing value: %s\n", arg.c_str());
            return false;
        }
        if (!ParseValued(arg, argv[++i], options)) return false;
    }
    if (options.Frames == 0 && (!options.Screenshot.empty() || options.Hold)) {
        std::fprintf(stderr,
                     "demo: --screenshot and --hold belong to an unattended run (--frames N)\n");
        return false;
    }
    return true;
}

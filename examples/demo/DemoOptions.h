// The demo's command line.
#pragma once

#include <string>

struct DemoOptions {
    int Width = 1024;
    int Height = 768;
    int Sprites = 5000;
    bool FullScreen = false;
    // Present without waiting for the display's refresh, to see what the frame costs.
    bool Immediate = false;
    bool Headless = false;
    bool Batching = true;
    std::string Textures = DEMO_TEXTURES;
    // The folder of the baked font: its texture, and its widths below data/fonts/. Empty when
    // the build baked none.
    std::string Font = DEMO_FONT;
    // Unattended run: stop after this many frames (0: run until the user quits).
    long Frames = 0;
    // Written from the last frame of an unattended run.
    std::string Screenshot;
    int ScreenshotFormat = 0;
    // After the last frame, keep the scene still on screen until Esc or a close.
    bool Hold = false;
};

// Fills options from the arguments; false, with a line on standard error, for anything it
// does not understand.
bool ParseDemoOptions(int argc, char** argv, DemoOptions& options);
// The screenshot format for a file name's extension (.png, .bmp, .tga, .jpg); false when
// the extension is none of these.
bool ScreenshotFormatFor(const std::string& file, int& format);

extern const char* const kDemoUsage;
// The most sprites the field holds, from the command line or the keys.
constexpr int kMaxSprites = 200000;

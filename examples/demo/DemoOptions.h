// The demo's command line.
#pragma once

#include <string>

#include "ExampleCommandLine.h"

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
    // The folder of the font baked as "dejavu". Empty when the build baked none.
    std::string Font = DEMO_FONT;
    // Unattended run: stop after this many frames (0: run until the user quits).
    long Frames = 0;
    // Written from the last frame of an unattended run.
    Example::Screenshot Screenshot;
    // After the last frame, keep the scene still on screen until Esc or a close.
    bool Hold = false;
};

// Fills options from the arguments. False when the demo should not run: status is then what
// main returns (0 after --help, 2 after a refusal, which is said on standard error).
bool ParseDemoOptions(int argc, char** argv, DemoOptions& options, int& status);

// The most sprites the field holds, from the command line or the keys.
constexpr int kMaxSprites = 200000;

#include "DemoOptions.h"

bool ParseDemoOptions(int argc, char** argv, DemoOptions& options, int& status) {
    Example::CommandLine line(
        "demo",
        "Sprites bouncing, turning and glowing, with an overlay of figures and text in the\n"
        "baked font. Keys: W wireframe, B batching, + and - sprites, F11 full screen,\n"
        "F12 screenshot, Esc quits.");
    line.Number("--width", "W", 1, 8192, options.Width, "the window's width (default 1024)");
    line.Number("--height", "H", 1, 8192, options.Height, "the window's height (default 768)");
    line.Number("--sprites", "N", 0, kMaxSprites, options.Sprites,
                "sprites at the start (default 5000)");
    line.Flag("--fullscreen", options.FullScreen, "a borderless window over the whole display");
    line.Flag("--immediate", options.Immediate,
              "present without waiting for the display's refresh");
    line.Flag("--headless", options.Headless, "a window without a screen, where none is needed");
    line.Flag("--no-batching", options.Batching, "one draw call per sprite", false);
    line.Text("--textures", "DIR", options.Textures, "the sprites' textures");
    line.Text("--font", "DIR", options.Font, "the folder of the font fontbake baked as dejavu");
    line.Number("--frames", "N", 1L, 100000000L, options.Frames,
                "run unattended for N frames, a 60th of a second each, then exit");
    line.ScreenshotOption("--screenshot", options.Screenshot,
                          "save the last frame of an unattended run");
    line.Flag("--hold", options.Hold, "after an unattended run, keep the last scene on screen");
    if (!line.Parse(argc, argv, status)) return false;
    if (options.Frames == 0 && (!options.Screenshot.Path.empty() || options.Hold)) {
        status = line.Refuse("--screenshot and --hold belong to an unattended run (--frames N)");
        return false;
    }
    return true;
}

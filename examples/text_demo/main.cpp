// The text engine at work: wrapped, justified, aligned, shortened, tabbed and turned text,
// and the frame recorder's graph, in a font baked by fontbake, saved as a screenshot. It
// draws the frame a number of times first so that the graph has real frame times to show.
//
//     text_demo [FONT_FOLDER [SCREENSHOT]]      text_demo --help
//
// FONT_FOLDER holds the font baked as "dejavu" (the build's sample font by default), at any
// cell size; SCREENSHOT defaults to text_demo.png.
#include <cstdio>
#include <string>

#include "ExampleCommandLine.h"
#include "ExampleHost.h"
#include "platform/D3D9.h"
#include "render/FrameRecorder.h"
#include "render/GD3D9.h"
#include "render/GTextureManager.h"
#include "text/TextEngine.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 400;

const char* kParagraph =
    "Users have TrueType fonts, not font textures: the baker turns one into a grid of glyph "
    "cells and the width files, and the text manager lays lines out from them, wrapping "
    "words at the width it is given.";

RECT Rect(int left, int top, int right, int bottom) {
    RECT r;
    SetRect(&r, left, top, right, bottom);
    return r;
}

void DrawFrame(GD3D9& engine, TextManager& text) {
    engine.BeginScene();
    engine.ClearScreen(0xFF1C2833);

    text.SetSize(32.0f);
    text.AddText("fontbake: office offer", 16.0f, 10.0f, 0xFFF4D03F, 0.0f, 0);
    text.SetSize(16.0f);

    engine.DrawRect(Rect(15, 55, 306, 185), 0xFF5D6D7E);
    text.AddWrappedText(kParagraph, 20.0f, 60.0f, 280.0f, 0xFFFFFFFF, -1);

    const float width = 280.0f;
    engine.DrawRect(Rect(335, 55, 625, 185), 0xFF5D6D7E);
    text.AddJustifiedText("Justified: the gaps between the words grow to fit.", 340.0f, 60.0f,
                          width, 0xFF58D68D);
    text.AddText("Aligned to the right", 340.0f, 80.0f, 0xFF5DADE2, width, 1);
    text.AddText("Centred", 340.0f, 100.0f, 0xFFAF7AC5, width, 2);
    text.AddText(
        text.TruncateWithEllipsis(static_cast<int>(width),
                                  "An ellipsis ends this line because it is far too long to fit"),
        340.0f, 120.0f, 0xFFF5B041, 0.0f, 0);
    text.AddText(text.ClipWithDots(150, "Clipped with dots to 150 pixels"), 340.0f, 140.0f,
                 0xFFEC7063, 0.0f, 0);
    text.AddText("Kerning: fo ff fa | f o f f", 340.0f, 160.0f, 0xFFFFFFFF, 0.0f, 0);

    text.AddText("Tab\tstops\tevery\t80 px", 16.0f, 200.0f, 0xFFFFFFFF, 0.0f, 0);
    text.AddText("1\t22\t333\t4444", 16.0f, 220.0f, 0xFFD5DBDB, 0.0f, 0);
    text.Render(-1);

    text.DrawRotatedText("Rotated 60", 60.0f, 370.0f, 60.0f, 0xFF48C9B0);
    text.DrawRotatedText("Upward", 200.0f, 380.0f, 0.0f, 0xFFF1948A);
    text.DrawRotatedText("Downward", 240.0f, 250.0f, 180.0f, 0xFFF8C471);

    GFrameRecorder& recorder = GetFrameRecorder();
    recorder.GraphRect = Rect(400, 250, 620, 380);
    recorder.DrawGraph();
    text.AddText("frame times (ms)", 400.0f, 230.0f, 0xFFFFFFFF, 0.0f, 0);
    text.Render(-1);
    engine.EndScene();
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = SAMPLE_FONT_DIR;
    Example::Screenshot shot = Example::DefaultScreenshot("text_demo.png");
    Example::CommandLine line("text_demo", "Draws a frame of text in a baked font and saves it.");
    line.Positional("FONT_FOLDER", folder,
                    "the folder of the font fontbake baked as dejavu, the build's sample "
                    "font by default");
    line.PositionalScreenshot("SCREENSHOT", shot, "the frame's file, text_demo.png by default");
    int status = 0;
    if (!line.Parse(argc, argv, status)) return status;

    Example::Host host;
    std::string error;
    if (!host.Start({"text_demo", kWidth, kHeight}, error)) {
        fprintf(stderr, "text_demo: %s\n", error.c_str());
        return 1;
    }
    if (host.LoadFont(folder, "dejavu", error) == nullptr) {
        fprintf(stderr, "text_demo: %s (fontbake bakes one)\n", error.c_str());
        return 1;
    }

    GD3D9& engine = GetD3DEngine();
    TextManager& text = GetTextManager();
    for (int i = 0; i < 60; i++) DrawFrame(engine, text);
    DrawFrame(engine, text);
    if (!host.FlipToScreenshot(shot, error)) {
        fprintf(stderr, "text_demo: %s\n", error.c_str());
        return 1;
    }
    printf("Wrote %s (%d x %d)\n", shot.Path.c_str(), kWidth, kHeight);
    return 0;
}

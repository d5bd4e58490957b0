// The demo's overlay, drawn with the engine's own pieces: in the top-left corner the frames
// per second, the sprite count and the switches as text in the baked font, over the frame
// recorder's graph of the recent frame times; in the bottom-right corner a panel holding a
// wrapped, justified paragraph clipped to the panel's frame; and a line of text that turns
// about the middle of the screen.
#pragma once

#include <string>

struct OverlayState {
    bool Wireframe = false;
    bool Batching = true;
    int Sprites = 0;
    // The scene stands still: the graph and the figures show the frames as they were.
    bool Held = false;
    // Seconds of scene time, which turn the rotating line.
    float Seconds = 0.0f;
};

class Overlay {
public:
    // Whether the text manager holds the baked font, current: without it the overlay draws
    // everything but the text.
    void SetHasFont(bool hasFont) { hasFont_ = hasFont; }
    bool HasFont() const { return hasFont_; }
    // The median frames per second of the newest frames the frame recorder holds; 0 before
    // the first.
    static float FramesPerSecond();
    // Closes the frame on the frame recorder, unless the scene is held, and draws.
    void Draw(const OverlayState& state);

private:
    void DrawStatus(const OverlayState& state);
    void DrawTextPanel();
    void DrawTurningLine(float seconds);

    bool hasFont_ = false;
};

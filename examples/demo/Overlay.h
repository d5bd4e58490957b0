// The demo's overlay: a panel in the top-left corner with a graph of the recent frame times,
// a bar for the frames per second, and a mark for each switch the keys turn.
#pragma once

#include <array>

struct OverlayState {
    bool Wireframe = false;
    bool Batching = true;
};

class Overlay {
public:
    void AddFrameTime(float milliseconds);
    // Over the frames the graph shows; 0 before the first.
    float FramesPerSecond() const;
    void Draw(const OverlayState& state) const;

private:
    static constexpr int kHistory = 120;
    std::array<float, kHistory> times_{};
    int next_ = 0;
    int count_ = 0;
};

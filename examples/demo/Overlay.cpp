#include "Overlay.h"

#include <algorithm>

#include "render/GD3D9.h"

namespace {

constexpr int kLeft = 8;
constexpr int kTop = 8;
constexpr int kGraphHeight = 60;
// Frame times from 0 to this many milliseconds fill the graph's height.
constexpr float kGraphMilliseconds = 50.0f;
// The bar is full at this many frames per second.
constexpr float kBarFramesPerSecond = 240.0f;

}  // namespace

void Overlay::AddFrameTime(float milliseconds) {
    times_[next_] = milliseconds;
    next_ = (next_ + 1) % kHistory;
    count_ = std::min(count_ + 1, kHistory);
}

float Overlay::FramesPerSecond() const {
    float total = 0;
    for (int i = 0; i < count_; i++) total += times_[i];
    return total > 0 ? 1000.0f * count_ / total : 0.0f;
}

void Overlay::Draw(const OverlayState& state) const {
    GD3D9& engine = GetD3DEngine();
    const int width = 2 * kHistory + 8;
    const RECT panel = {kLeft, kTop, kLeft + width, kTop + kGraphHeight + 28};
    engine.FillRect(panel, 0xC0101828);
    engine.DrawRect(panel, 0xFF8090A8);

    // The graph, oldest frame on the left, with lines at 60 and 30 frames per second.
    const float left = kLeft + 4.0f;
    const float bottom = kTop + 4.0f + kGraphHeight;
    auto heightOf = [](float ms) {
        return std::min(ms, kGraphMilliseconds) / kGraphMilliseconds * kGraphHeight;
    };
    for (float ms : {1000.0f / 60, 1000.0f / 30})
        engine.DrawLine(left, bottom - heightOf(ms), left + 2 * kHistory, bottom - heightOf(ms),
                        0xFF405060);
    for (int i = 1; i < count_; i++) {
        const int oldest = count_ < kHistory ? 0 : next_;
        const float a = times_[(oldest + i - 1) % kHistory];
        const float b = times_[(oldest + i) % kHistory];
        engine.DrawLine(left + 2.0f * (i - 1), bottom - heightOf(a), left + 2.0f * i,
                        bottom - heightOf(b), 0xFF60E080);
    }

    // Frames per second as a bar under the graph.
    const float fill = std::min(FramesPerSecond() / kBarFramesPerSecond, 1.0f);
    const RECT bar = {kLeft + 4, kTop + kGraphHeight + 10,
                      kLeft + 4 + static_cast<LONG>(fill * (width - 40)), kTop + kGraphHeight + 20};
    if (bar.right > bar.left) engine.FillRect(bar, 0xFFF4D03F);

    // The switches: wireframe, then batching; lit when on.
    for (int i = 0; i < 2; i++) {
        const bool on = i == 0 ? state.Wireframe : state.Batching;
        const RECT mark = {kLeft + width - 30 + 14 * i, kTop + kGraphHeight + 10,
                           kLeft + width - 20 + 14 * i, kTop + kGraphHeight + 20};
        engine.FillRect(mark, on ? 0xFF40C0FF : 0xFF303844);
    }
}

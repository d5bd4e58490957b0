// Shared by the renderer benchmarks: one frame timed in processor time (the machine is
// shared), and the median of a run's frame times.
#pragma once

#include <algorithm>
#include <ctime>
#include <functional>
#include <vector>

#include "render/GD3D9.h"

// The processor time of one frame drawn between BeginScene and EndScene.
inline double FrameSeconds(const std::function<void()>& frame) {
    GD3D9& engine = GetD3DEngine();
    const std::clock_t start = std::clock();
    engine.BeginScene();
    frame();
    engine.EndScene();
    return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

#include "misc/GTimer.h"

#include <cmath>
#include <cstdio>

#include "platform/Platform.h"

namespace {

GTimer::Clock* ClockOverride = nullptr;

int64_t ClockFrequency() {
    return ClockOverride ? ClockOverride->Frequency() : Platform::PerformanceFrequency();
}

int64_t ClockCounter() {
    return ClockOverride ? ClockOverride->Counter() : Platform::PerformanceCounter();
}

double ClockMilliseconds() {
    uint32_t ms = ClockOverride ? ClockOverride->Milliseconds() : Platform::MillisecondTime();
    return static_cast<double>(ms);
}

// A part of a time as an int; out-of-range and non-numbers would make the conversion undefined.
long long WholePart(double value) {
    if (std::isnan(value)) return 0;
    if (value > 9.0e18) return 9000000000000000000LL;
    if (value < -9.0e18) return -9000000000000000000LL;
    return static_cast<long long>(value);
}

}  // namespace

void GTimer::SetClockOverride(Clock* clock) {
    ClockOverride = clock;
}

void GTimer::ReadClocks() {
    LastTime = ClockMilliseconds();
    if (UsePerfCounter) LastCount = ClockCounter();
}

void GTimer::Start() {
    Paused = false;
    TotalTime = 0.0;
    FrameTime = 0.0f;
    LastTime = ClockMilliseconds();
    Frequency = ClockFrequency();
    UsePerfCounter = Frequency > 0;
    if (UsePerfCounter) LastCount = ClockCounter();
}

void GTimer::Update() {
    if (Paused) return;
    if (UsePerfCounter) {
        int64_t count = ClockCounter();
        float ms = static_cast<float>(static_cast<double>(count - LastCount) /
                                      static_cast<double>(Frequency)) *
                   1000.0f;
        FrameFactor = ms / 12.0f * Speed;
        FrameTime = ms;
        TotalTime += static_cast<double>(ms * Speed);
        LastCount = count;
    } else {
        double t = ClockMilliseconds();
        double delta = t - LastTime;
        FrameTime = static_cast<float>(delta);
        FrameFactor = static_cast<float>(delta / 12.0) * Speed;
        TotalTime += static_cast<double>(Speed) * delta;
        LastTime = t;
    }
    if (FrameTime > 36.0f) FrameTime = 36.0f;
}

void GTimer::Pause() {
    Update();
    Paused = true;
    ReadClocks();
    FrameTime = 0.0f;
}

void GTimer::Resume() {
    Paused = false;
    ReadClocks();
}

int FormatTime(char* buffer, double ms) {
    return FormatTime(buffer, 32, ms);
}

int FormatTime(char* buffer, size_t bufferSize, double ms) {
    if (buffer == nullptr || bufferSize == 0) return 0;
    double minutes = std::floor(ms / 60000.0);
    ms -= minutes * 60000.0;
    double tensOfSeconds = std::floor(ms / 10000.0);
    ms -= tensOfSeconds * 10000.0;
    double seconds = std::floor(ms / 1000.0);
    ms -= seconds * 1000.0;
    double tenths = std::floor(ms / 100.0);
    ms -= tenths * 100.0;
    int written =
        snprintf(buffer, bufferSize, "%lld:%lld%lld:%lld%lld", WholePart(minutes),
                 WholePart(tensOfSeconds), WholePart(seconds), WholePart(tenths), WholePart(ms));
    if (written < 0) return 0;
    return written < static_cast<int>(bufferSize) ? written : static_cast<int>(bufferSize) - 1;
}

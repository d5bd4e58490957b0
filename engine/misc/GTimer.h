/// @file
/// Measures the time between successive updates and keeps a speed-scaled running total. It
/// prefers the high-resolution counter and falls back to the millisecond clock.
#pragma once

#include <cstddef>
#include <cstdint>

class GTimer {
public:
    /// Where a timer reads time. Tests install their own to step time without waiting.
    class Clock {
    public:
        virtual ~Clock() = default;
        /// Counter ticks per second; 0 when there is no counter.
        virtual int64_t Frequency() = 0;
        virtual int64_t Counter() = 0;
        /// Milliseconds, wrapping at 2^32.
        virtual uint32_t Milliseconds() = 0;
    };
    /// Every timer reads this clock from then on; null returns to the platform's clocks.
    static void SetClockOverride(Clock* clock);

    GTimer() = default;

    void Start();
    void Update();
    void Pause();
    void Resume();
    void SetSpeed(float value) { Speed = value; }
    double GetTotalTime() const { return TotalTime; }
    /// Last frame time divided by 12 ms, times the speed.
    float GetFrameFactor() const { return FrameFactor; }
    /// Last frame time in milliseconds, unscaled, at most 36.
    float GetFrameTime() const { return FrameTime; }
    bool IsPaused() const { return Paused; }

private:
    void ReadClocks();

    float Speed = 1.0f;
    bool Paused = true;
    double LastTime = 0.0;
    double TotalTime = 0.0;
    float FrameFactor = 0.0f;
    float FrameTime = 0.0f;
    bool UsePerfCounter = false;
    int64_t Frequency = 0;
    int64_t LastCount = 0;
};

/// Writes ms as "m:ss:cc" minutes, seconds and the rest ("%d:%d%d:%d%d", so 83456 gives
/// "1:23:456"). Returns the number of characters written. The buffer must hold 32 bytes (10
/// for times under 100 minutes).
int FormatTime(char* buffer, double ms);
/// The same, bounded by the buffer's size.
int FormatTime(char* buffer, size_t bufferSize, double ms);

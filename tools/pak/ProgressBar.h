// A one-line progress bar on standard error, drawn only where someone is watching: on a
// terminal, and for work large enough to take a while.
#pragma once

#include <cstdint>

class ProgressBar {
public:
    // total is in any unit the caller advances by; large tells whether the work is worth a bar.
    ProgressBar(uint64_t total, bool large);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Advance(uint64_t amount);
    // Clears the bar of the one that is drawing, if any, so that a message can take the line;
    // the bar comes back with the next step.
    static void MakeRoomForMessage();

private:
    void Draw();

    uint64_t Total;
    uint64_t Done = 0;
    int Shown = -1;  // the percentage on screen
    bool Enabled;
};

#include "ProgressBar.h"

#include <cstdio>

#include "platform/Platform.h"

namespace {
constexpr int kWidth = 40;
ProgressBar* drawing = nullptr;

void ClearLine() {
    fprintf(stderr, "\r%*s\r", kWidth + 8, "");
}
}  // namespace

ProgressBar::ProgressBar(uint64_t total, bool large)
    : Total(total), Enabled(large && total > 0 && Platform::IsTerminal(stderr)) {
    if (Enabled) drawing = this;
    Draw();
}

ProgressBar::~ProgressBar() {
    if (drawing == this) drawing = nullptr;
    if (!Enabled || Shown < 0) return;
    // Leave the terminal line as it was before the bar.
    ClearLine();
    fflush(stderr);
}

void ProgressBar::MakeRoomForMessage() {
    if (!drawing || drawing->Shown < 0) return;
    ClearLine();
    drawing->Shown = -1;
}

void ProgressBar::Advance(uint64_t amount) {
    Done += amount;
    if (Done > Total) Done = Total;
    Draw();
}

void ProgressBar::Draw() {
    if (!Enabled) return;
    const int percent = static_cast<int>(Done * 100 / Total);
    if (percent == Shown) return;
    Shown = percent;
    char bar[kWidth + 1];
    const int filled = percent * kWidth / 100;
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = '\0';
    fprintf(stderr, "\r[%s] %3d%%", bar, percent);
    fflush(stderr);
}

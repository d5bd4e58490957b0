// The device's side of the headless windows: checking a handle and handing it a frame.
#pragma once

#include <d3d9.h>

#include <cstdint>
#include <vector>

namespace HeadlessWindow {

bool Exists(HWND window);
// Stores the frame as the window's last one and hands it to the window's presenter, if it
// has one; false for an unknown window or a presenter that failed.
bool Deliver(HWND window, int width, int height, std::vector<uint32_t>&& pixels, DWORD interval);

}  // namespace HeadlessWindow

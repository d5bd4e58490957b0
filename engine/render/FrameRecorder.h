/// @file
/// Development diagnostics of the renderer. The frame recorder times every frame, keeps the
/// last 100 frame times and draws them as a bar graph; while capturing it also keeps the
/// texture-setting calls with the device state at the time of each call. The texture-use list
/// collects the names of the textures the texture manager sets while its RecordTextureUse
/// switch is on, and draws them as columns of text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "misc/GTimer.h"
#include "platform/D3D9.h"
#include "render/ScreenVertex.h"

struct FrameRecord {
    std::string Label;        ///< what was called, such as "SetTextureByName"
    std::string Name;         ///< the texture name
    int32_t BlendMode = 0;    ///< the device engine's remembered blend mode
    std::string RecordLabel;  ///< the device engine's RecordLabel at the time of the call
    int32_t Value = 0;        ///< given by the caller
};

class GFrameRecorder {
public:
    static const int32_t MAXRECORDS = 900;
    static const int32_t NUMFRAMES = 100;

    /// Starts timing the first frame.
    GFrameRecorder();
    GFrameRecorder(const GFrameRecorder&) = delete;
    GFrameRecorder& operator=(const GFrameRecorder&) = delete;

    /// Discards the previous capture and starts a new one.
    void StartCapture();
    void StopCapture() { Capturing = false; }
    /// Keeps one record while capturing, up to MAXRECORDS - 1 per capture.
    void Record(const std::string& label, const std::string& name, int32_t value);

    bool IsCapturing() const { return Capturing; }
    int32_t GetRecordCount() const { return RecordCount; }
    const FrameRecord& GetRecord(int32_t index) const { return Records[index]; }

    /// Closes one frame: its time, in milliseconds, goes to the front of FrameTimes.
    void EndFrame();
    /// Closes the frame and draws the frame times in GraphRect, newest at the left, 60 ms the
    /// full height, with a line at the 60 frames per second level.
    void DrawGraph();
    /// Draws the graph as DrawGraph does, without closing a frame: the times stay as they
    /// are, for a host that shows a scene held still.
    void DrawFrameTimes();
    const float* GetFrameTimes() const { return FrameTimes; }

    RECT GraphRect = {100, 100, 500, 500};
    /// Writes every frame time to the debug log.
    bool LogFrames = false;

private:
    FrameRecord Records[MAXRECORDS];
    int32_t RecordCount = 0;
    GTimer Timer;
    float FrameTimes[NUMFRAMES] = {};
    ScreenVertex GraphVerts[NUMFRAMES * 2];
    bool Capturing = false;
};

class GTextureUseList {
public:
    GTextureUseList() = default;
    GTextureUseList(const GTextureUseList&) = delete;
    GTextureUseList& operator=(const GTextureUseList&) = delete;

    /// Appends the texture's name as the texture manager knows it, "unknown" for a texture
    /// it does not hold, or "null" for none.
    void AddTexture(IDirect3DTexture9* record);
    void Clear() { Names.clear(); }
    /// Draws the names in columns over a dimmed screen, through the text manager's current
    /// font.
    void DrawNames();
    const std::vector<std::string>& GetNames() const { return Names; }

private:
    std::vector<std::string> Names;
};

GFrameRecorder& GetFrameRecorder();
GTextureUseList& GetTextureUseList();

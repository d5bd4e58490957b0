#include "render/FrameRecorder.h"

#include <cstdio>
#include <cstring>

#include "diagnostics/GDebugLog.h"
#include "render/BaseSprite.h"
#include "render/GD3D9.h"
#include "render/GTextureManager.h"
#include "text/TextEngine.h"

GFrameRecorder& GetFrameRecorder() {
    static GFrameRecorder recorder;
    return recorder;
}

GTextureUseList& GetTextureUseList() {
    static GTextureUseList list;
    return list;
}

GFrameRecorder::GFrameRecorder() {
    for (ScreenVertex& v : GraphVerts) v = {0.0f, 0.0f, 0.0f, 1.0f, 0xFFFF4040, 0.0f, 0.0f};
    Timer.Start();
}

void GFrameRecorder::EndFrame() {
    Timer.Update();
    const double t = Timer.GetTotalTime();
    Timer.Start();
    if (LogFrames) {
        char buffer[64];
        snprintf(buffer, sizeof buffer, "Frame: %.2f\n", t);
        GetDebugLog().Log(buffer);
    }
    std::memmove(FrameTimes + 1, FrameTimes, sizeof(float) * (NUMFRAMES - 1));
    FrameTimes[0] = static_cast<float>(t);
}

void GFrameRecorder::DrawGraph() {
    EndFrame();
    DrawFrameTimes();
}

void GFrameRecorder::DrawFrameTimes() {
    GD3D9& engine = GetD3DEngine();
    engine.FillRect(GraphRect, 0x80000000);
    engine.DrawRect(GraphRect, 0x80FFFFFF);
    GetTextureManager().SetTexture(nullptr);
    const float left = static_cast<float>(GraphRect.left);
    const float bottom = static_cast<float>(GraphRect.bottom);
    const float dx = static_cast<float>(GraphRect.right - GraphRect.left) / 100.0f;
    const float dy = static_cast<float>(GraphRect.bottom - GraphRect.top) / 60.0f;
    float x = left;
    for (int32_t i = 0; i < NUMFRAMES; i++) {
        GraphVerts[2 * i].X = x;
        GraphVerts[2 * i].Y = bottom;
        GraphVerts[2 * i + 1].X = x;
        GraphVerts[2 * i + 1].Y = bottom - FrameTimes[i] * dy;
        x += dx;
    }
    engine.DrawUserPrimitives(D3DPT_LINELIST, NUMFRAMES, GraphVerts, sizeof(ScreenVertex));
    const float level = bottom - 16.666666f * dy;
    engine.DrawLine(left, level, static_cast<float>(GraphRect.right), level, 0xFFFFFFFF);
}

void GFrameRecorder::StartCapture() {
    RecordCount = 0;
    Capturing = true;
}

void GFrameRecorder::Record(const std::string& label, const std::string& name, int32_t value) {
    if (!Capturing || RecordCount >= MAXRECORDS - 1) return;
    FrameRecord& record = Records[RecordCount];
    const GD3D9& engine = GetD3DEngine();
    record.Label = label;
    record.Name = name;
    record.BlendMode = engine.BlendMode;
    record.RecordLabel = engine.RecordLabel;
    record.Value = value;
    RecordCount++;
}

void GTextureUseList::AddTexture(IDirect3DTexture9* record) {
    if (record == nullptr) {
        Names.push_back("null");
        return;
    }
    const GTexture9* texture = GetTextureManager().FindTextureByRecord(record);
    Names.push_back(texture != nullptr ? texture->Name : "unknown");
}

void GTextureUseList::DrawNames() {
    RECT r = {32, 32, ScreenWidth - 32, ScreenHeight - 32};
    GD3D9& engine = GetD3DEngine();
    engine.FillRect(r, 0x80000000);
    engine.DrawRect(r, 0x80FFFFFF);
    TextManager& text = GetTextManager();
    float x = static_cast<float>(r.left + 20);
    float y = static_cast<float>(r.top + 10);
    for (const std::string& name : Names) {
        text.AddText(name, x, y, 0xFFFFFFFF, 0.0f, 0);
        y += 20.0f;
        if (y > static_cast<float>(ScreenHeight - 20)) {
            y = static_cast<float>(r.top + 10);
            x += 200.0f;
        }
    }
    text.Render(-1);
}

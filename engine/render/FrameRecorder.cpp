#include "render/FrameRecorder.h"

#include "render/GD3D9.h"
#include "render/GTextureManager.h"

GFrameRecorder& GetFrameRecorder() {
    static GFrameRecorder recorder;
    return recorder;
}

GTextureUseList& GetTextureUseList() {
    static GTextureUseList list;
    return list;
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

// The device's scene bracket, Clear, and the fixed-function state it keeps for drawing.
#include <cstring>

#include "SoftBuffer9.h"
#include "SoftD3D.h"
#include "SoftDevice9.h"
#include "SoftSurface9.h"
#include "SoftTexture9.h"

#define DEVICE_ENTER(method)                                        \
    do {                                                            \
        HRESULT hooked = SOFTD3D_ENTER("IDirect3DDevice9", method); \
        if (hooked != S_OK) return hooked;                          \
    } while (0)

namespace {

constexpr DWORD kRenderStateCount = 256;
constexpr DWORD kSamplerStateCount = 14;
constexpr DWORD kStageStateCount = 33;

DWORD FloatBits(float value) {
    DWORD bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

// Vertex texture samplers and the displacement-map sampler have numbers of their own; the
// device keeps no state for them but accepts them.
bool IsSpecialSampler(DWORD sampler) {
    return sampler >= 256 && sampler <= 260;
}

}  // namespace

void SoftDevice9::SetDefaultState() {
    std::memset(renderStates_, 0, sizeof(renderStates_));
    DWORD* rs = renderStates_;
    rs[D3DRS_ZENABLE] = D3DZB_FALSE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_ALPHATESTENABLE] = FALSE;
    rs[D3DRS_LASTPIXEL] = TRUE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAREF] = 0;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_FOGCOLOR] = 0;
    rs[D3DRS_FOGEND] = FloatBits(1.0f);
    rs[D3DRS_FOGDENSITY] = FloatBits(1.0f);
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILMASK] = 0xFFFFFFFF;
    rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    rs[D3DRS_STENCILFAIL] = rs[D3DRS_STENCILZFAIL] = rs[D3DRS_STENCILPASS] = 1;  // keep
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_CLIPPING] = TRUE;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_COLORVERTEX] = TRUE;
    rs[D3DRS_LOCALVIEWER] = TRUE;
    rs[D3DRS_DIFFUSEMATERIALSOURCE] = 1;  // colour 1
    rs[D3DRS_SPECULARMATERIALSOURCE] = 2;
    rs[D3DRS_POINTSIZE] = FloatBits(1.0f);
    rs[D3DRS_POINTSIZE_MIN] = FloatBits(1.0f);
    rs[D3DRS_POINTSCALE_A] = FloatBits(1.0f);
    rs[D3DRS_POINTSIZE_MAX] = FloatBits(64.0f);
    rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    rs[D3DRS_COLORWRITEENABLE] = 0xF;
    rs[D3DRS_COLORWRITEENABLE1] = rs[D3DRS_COLORWRITEENABLE2] = rs[D3DRS_COLORWRITEENABLE3] = 0xF;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_BLENDFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_MINTESSELLATIONLEVEL] = FloatBits(1.0f);
    rs[D3DRS_MAXTESSELLATIONLEVEL] = FloatBits(1.0f);
    rs[D3DRS_ADAPTIVETESS_W] = FloatBits(1.0f);
    rs[D3DRS_SEPARATEALPHABLENDENABLE] = FALSE;
    rs[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
    rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;

    for (DWORD s = 0; s < kSamplers; s++) {
        DWORD* ss = samplerStates_[s];
        std::memset(ss, 0, sizeof(samplerStates_[s]));
        ss[D3DSAMP_ADDRESSU] = ss[D3DSAMP_ADDRESSV] = ss[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        ss[D3DSAMP_MAXANISOTROPY] = 1;
    }
    for (DWORD t = 0; t < kStages; t++) {
        DWORD* ts = stageStates_[t];
        std::memset(ts, 0, sizeof(stageStates_[t]));
        ts[D3DTSS_COLOROP] = t == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAOP] = t == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        ts[D3DTSS_TEXCOORDINDEX] = t;
        ts[D3DTSS_COLORARG0] = ts[D3DTSS_ALPHAARG0] = ts[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
    fvf_ = 0;
    transforms_.clear();
    std::memset(&material_, 0, sizeof(material_));
}

HRESULT SoftDevice9::BeginScene() {
    DEVICE_ENTER("BeginScene");
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT SoftDevice9::EndScene() {
    DEVICE_ENTER("EndScene");
    if (!inScene_) return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
}

HRESULT SoftDevice9::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color,
                           float /*z*/, DWORD /*stencil*/) {
    DEVICE_ENTER("Clear");
    if (count != 0 && rects == nullptr) return D3DERR_INVALIDCALL;
    if ((flags & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) == 0)
        return D3DERR_INVALIDCALL;
    // There is no depth or stencil buffer to clear.
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0) return D3DERR_INVALIDCALL;
    const SoftRaster::Surface& target = renderTarget_->Raster();
    SoftRaster::Rect view{static_cast<int>(viewport_.X), static_cast<int>(viewport_.Y),
                          static_cast<int>(viewport_.X + viewport_.Width),
                          static_cast<int>(viewport_.Y + viewport_.Height)};
    // With the scissor test on, clears stay inside the scissor rectangle too.
    if (renderStates_[D3DRS_SCISSORTESTENABLE]) {
        if (scissor_.left > view.Left) view.Left = scissor_.left;
        if (scissor_.top > view.Top) view.Top = scissor_.top;
        if (scissor_.right < view.Right) view.Right = scissor_.right;
        if (scissor_.bottom < view.Bottom) view.Bottom = scissor_.bottom;
        if (view.Left >= view.Right || view.Top >= view.Bottom) return D3D_OK;
    }
    // A clear is queued behind the draws before it, like them.
    SoftRaster::Queue* queue = Workers();
    auto fill = [&](const SoftRaster::Rect& r) -> HRESULT {
        if (queue == nullptr) {
            SoftRaster::Fill(target, r, color);
            return D3D_OK;
        }
        if (queue->Fill(target, r, color) != SoftRaster::Queue::Result::kQueued)
            return E_OUTOFMEMORY;
        renderTarget_->MarkWrite(queue->Last());
        return D3D_OK;
    };
    if (count == 0) return fill(view);
    // Each rectangle is cut to the viewport, as the clear never leaves it.
    for (DWORD i = 0; i < count; i++) {
        SoftRaster::Rect r{rects[i].x1 > view.Left ? rects[i].x1 : view.Left,
                           rects[i].y1 > view.Top ? rects[i].y1 : view.Top,
                           rects[i].x2 < view.Right ? rects[i].x2 : view.Right,
                           rects[i].y2 < view.Bottom ? rects[i].y2 : view.Bottom};
        if (r.Left < r.Right && r.Top < r.Bottom) {
            const HRESULT result = fill(r);
            if (FAILED(result)) return result;
        }
    }
    return D3D_OK;
}

HRESULT SoftDevice9::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    DEVICE_ENTER("SetTransform");
    if (matrix == nullptr) return D3DERR_INVALIDCALL;
    transforms_[static_cast<int>(state)] = *matrix;
    return D3D_OK;
}

HRESULT SoftDevice9::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    DEVICE_ENTER("GetTransform");
    if (matrix == nullptr) return D3DERR_INVALIDCALL;
    auto it = transforms_.find(static_cast<int>(state));
    if (it != transforms_.end()) {
        *matrix = it->second;
    } else {
        std::memset(matrix, 0, sizeof(*matrix));
        matrix->_11 = matrix->_22 = matrix->_33 = matrix->_44 = 1.0f;
    }
    return D3D_OK;
}

HRESULT SoftDevice9::MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    DEVICE_ENTER("MultiplyTransform");
    if (matrix == nullptr) return D3DERR_INVALIDCALL;
    D3DMATRIX current;
    GetTransform(state, &current);
    D3DMATRIX product;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) {
            float sum = 0.0f;
            for (int k = 0; k < 4; k++) sum += matrix->m[r][k] * current.m[k][c];
            product.m[r][c] = sum;
        }
    transforms_[static_cast<int>(state)] = product;
    return D3D_OK;
}

HRESULT SoftDevice9::SetViewport(const D3DVIEWPORT9* viewport) {
    DEVICE_ENTER("SetViewport");
    if (viewport == nullptr) return D3DERR_INVALIDCALL;
    const D3DSURFACE_DESC& desc = renderTarget_->Desc();
    // The viewport must lie inside the render target; 64-bit sums keep huge values from
    // wrapping into range.
    if (viewport->Width == 0 || viewport->Height == 0 ||
        static_cast<uint64_t>(viewport->X) + viewport->Width > desc.Width ||
        static_cast<uint64_t>(viewport->Y) + viewport->Height > desc.Height ||
        !(viewport->MinZ >= 0.0f && viewport->MaxZ <= 1.0f && viewport->MinZ <= viewport->MaxZ))
        return D3DERR_INVALIDCALL;
    viewport_ = *viewport;
    return D3D_OK;
}

HRESULT SoftDevice9::GetViewport(D3DVIEWPORT9* viewport) {
    DEVICE_ENTER("GetViewport");
    if (viewport == nullptr) return D3DERR_INVALIDCALL;
    *viewport = viewport_;
    return D3D_OK;
}

HRESULT SoftDevice9::SetMaterial(const D3DMATERIAL9* material) {
    DEVICE_ENTER("SetMaterial");
    if (material == nullptr) return D3DERR_INVALIDCALL;
    material_ = *material;
    return D3D_OK;
}

HRESULT SoftDevice9::GetMaterial(D3DMATERIAL9* material) {
    DEVICE_ENTER("GetMaterial");
    if (material == nullptr) return D3DERR_INVALIDCALL;
    *material = material_;
    return D3D_OK;
}

// Lighting and clip planes do not touch pre-transformed vertices; the calls are accepted and
// have no effect.
HRESULT SoftDevice9::SetLight(DWORD, const D3DLIGHT9* light) {
    DEVICE_ENTER("SetLight");
    return light == nullptr ? D3DERR_INVALIDCALL : D3D_OK;
}

HRESULT SoftDevice9::GetLight(DWORD, D3DLIGHT9*) {
    DEVICE_ENTER("GetLight");
    return D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::LightEnable(DWORD, BOOL) {
    DEVICE_ENTER("LightEnable");
    return D3D_OK;
}

HRESULT SoftDevice9::GetLightEnable(DWORD, BOOL*) {
    DEVICE_ENTER("GetLightEnable");
    return D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::SetClipPlane(DWORD, const float* plane) {
    DEVICE_ENTER("SetClipPlane");
    return plane == nullptr ? D3DERR_INVALIDCALL : D3D_OK;
}

HRESULT SoftDevice9::GetClipPlane(DWORD, float* plane) {
    DEVICE_ENTER("GetClipPlane");
    if (plane == nullptr) return D3DERR_INVALIDCALL;
    plane[0] = plane[1] = plane[2] = plane[3] = 0.0f;
    return D3D_OK;
}

HRESULT SoftDevice9::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    DEVICE_ENTER("SetRenderState");
    if (static_cast<DWORD>(state) >= kRenderStateCount) return D3DERR_INVALIDCALL;
    renderStates_[state] = value;
    return D3D_OK;
}

HRESULT SoftDevice9::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    DEVICE_ENTER("GetRenderState");
    if (value == nullptr || static_cast<DWORD>(state) >= kRenderStateCount)
        return D3DERR_INVALIDCALL;
    *value = renderStates_[state];
    return D3D_OK;
}

HRESULT SoftDevice9::CreateStateBlock(D3DSTATEBLOCKTYPE, IDirect3DStateBlock9** block) {
    DEVICE_ENTER("CreateStateBlock");
    if (block != nullptr) *block = nullptr;
    return D3DERR_NOTAVAILABLE;
}

HRESULT SoftDevice9::BeginStateBlock() {
    DEVICE_ENTER("BeginStateBlock");
    return D3DERR_NOTAVAILABLE;
}

HRESULT SoftDevice9::EndStateBlock(IDirect3DStateBlock9** block) {
    DEVICE_ENTER("EndStateBlock");
    if (block != nullptr) *block = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::SetClipStatus(const D3DCLIPSTATUS9* status) {
    DEVICE_ENTER("SetClipStatus");
    return status == nullptr ? D3DERR_INVALIDCALL : D3D_OK;
}

HRESULT SoftDevice9::GetClipStatus(D3DCLIPSTATUS9* status) {
    DEVICE_ENTER("GetClipStatus");
    if (status == nullptr) return D3DERR_INVALIDCALL;
    status->ClipUnion = 0;
    status->ClipIntersection = 0xFFFFFFFF;
    return D3D_OK;
}

HRESULT SoftDevice9::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) {
    DEVICE_ENTER("GetTexture");
    if (texture == nullptr) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (IsSpecialSampler(stage)) return D3D_OK;
    if (stage >= kSamplers) return D3DERR_INVALIDCALL;
    if (textures_[stage] != nullptr) {
        textures_[stage]->AddRef();
        *texture = textures_[stage];
    }
    return D3D_OK;
}

HRESULT SoftDevice9::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    DEVICE_ENTER("SetTexture");
    if (IsSpecialSampler(stage)) return texture == nullptr ? D3D_OK : D3DERR_INVALIDCALL;
    if (stage >= kSamplers) return D3DERR_INVALIDCALL;
    SoftTexture9* soft = nullptr;
    if (texture != nullptr) {
        soft = dynamic_cast<SoftTexture9*>(texture);
        if (soft == nullptr || soft->OwnerDevice() != this) return D3DERR_INVALIDCALL;
        // A system-memory or scratch texture cannot be sampled.
        D3DPOOL pool = soft->Level(0)->Desc().Pool;
        if (pool == D3DPOOL_SYSTEMMEM || pool == D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
        soft->Bind();
    }
    if (textures_[stage] != nullptr) textures_[stage]->Unbind();
    textures_[stage] = soft;
    return D3D_OK;
}

HRESULT SoftDevice9::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                          DWORD* value) {
    DEVICE_ENTER("GetTextureStageState");
    if (value == nullptr || stage >= kStages || static_cast<DWORD>(type) >= kStageStateCount)
        return D3DERR_INVALIDCALL;
    *value = stageStates_[stage][type];
    return D3D_OK;
}

HRESULT SoftDevice9::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    DEVICE_ENTER("SetTextureStageState");
    if (stage >= kStages || static_cast<DWORD>(type) >= kStageStateCount) return D3DERR_INVALIDCALL;
    stageStates_[stage][type] = value;
    return D3D_OK;
}

HRESULT SoftDevice9::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
    DEVICE_ENTER("GetSamplerState");
    if (value == nullptr || sampler >= kSamplers || static_cast<DWORD>(type) >= kSamplerStateCount)
        return D3DERR_INVALIDCALL;
    *value = samplerStates_[sampler][type];
    return D3D_OK;
}

HRESULT SoftDevice9::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    DEVICE_ENTER("SetSamplerState");
    if (IsSpecialSampler(sampler)) return D3D_OK;
    if (sampler >= kSamplers || static_cast<DWORD>(type) >= kSamplerStateCount)
        return D3DERR_INVALIDCALL;
    samplerStates_[sampler][type] = value;
    return D3D_OK;
}

HRESULT SoftDevice9::ValidateDevice(DWORD* passes) {
    DEVICE_ENTER("ValidateDevice");
    if (passes == nullptr) return D3DERR_INVALIDCALL;
    *passes = 1;
    return D3D_OK;
}

HRESULT SoftDevice9::SetPaletteEntries(UINT, const PALETTEENTRY*) {
    DEVICE_ENTER("SetPaletteEntries");
    return D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::GetPaletteEntries(UINT, PALETTEENTRY*) {
    DEVICE_ENTER("GetPaletteEntries");
    return D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::SetCurrentTexturePalette(UINT) {
    DEVICE_ENTER("SetCurrentTexturePalette");
    return D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::GetCurrentTexturePalette(UINT*) {
    DEVICE_ENTER("GetCurrentTexturePalette");
    return D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::SetScissorRect(const RECT* rect) {
    DEVICE_ENTER("SetScissorRect");
    if (rect == nullptr) return D3DERR_INVALIDCALL;
    scissor_ = *rect;
    return D3D_OK;
}

HRESULT SoftDevice9::GetScissorRect(RECT* rect) {
    DEVICE_ENTER("GetScissorRect");
    if (rect == nullptr) return D3DERR_INVALIDCALL;
    *rect = scissor_;
    return D3D_OK;
}

HRESULT SoftDevice9::SetSoftwareVertexProcessing(BOOL software) {
    DEVICE_ENTER("SetSoftwareVertexProcessing");
    // Only a mixed-processing device may switch.
    if ((creation_.BehaviorFlags & D3DCREATE_MIXED_VERTEXPROCESSING) == 0)
        return D3DERR_INVALIDCALL;
    softwareProcessing_ = software != FALSE;
    return D3D_OK;
}

BOOL SoftDevice9::GetSoftwareVertexProcessing() {
    SOFTD3D_ENTER("IDirect3DDevice9", "GetSoftwareVertexProcessing");
    return softwareProcessing_ ? TRUE : FALSE;
}

HRESULT SoftDevice9::SetNPatchMode(float) {
    DEVICE_ENTER("SetNPatchMode");
    return D3D_OK;
}

float SoftDevice9::GetNPatchMode() {
    SOFTD3D_ENTER("IDirect3DDevice9", "GetNPatchMode");
    return 0.0f;
}

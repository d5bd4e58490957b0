// The device's draw calls: vertex sources, the vertex format, and the hand-over of
// pre-transformed primitives with the current state to the rasterizer.
#include <cstring>
#include <new>

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

// Stage 0 has no previous stage: "current" there is the diffuse colour.
uint32_t StageZeroArg(DWORD arg) {
    if ((arg & D3DTA_SELECTMASK) == D3DTA_CURRENT) return (arg & ~D3DTA_SELECTMASK) | D3DTA_DIFFUSE;
    return arg;
}

bool IsKnownPrimitive(D3DPRIMITIVETYPE type) {
    return type >= D3DPT_POINTLIST && type <= D3DPT_TRIANGLEFAN;
}

float BitsToFloat(DWORD bits) {
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

}  // namespace

SoftRaster::State SoftDevice9::BuildRasterState() const {
    SoftRaster::State state;
    int left = static_cast<int>(viewport_.X);
    int top = static_cast<int>(viewport_.Y);
    int right = static_cast<int>(viewport_.X + viewport_.Width);
    int bottom = static_cast<int>(viewport_.Y + viewport_.Height);
    if (renderStates_[D3DRS_SCISSORTESTENABLE]) {
        if (scissor_.left > left) left = scissor_.left;
        if (scissor_.top > top) top = scissor_.top;
        if (scissor_.right < right) right = scissor_.right;
        if (scissor_.bottom < bottom) bottom = scissor_.bottom;
        if (right < left) right = left;
        if (bottom < top) bottom = top;
    }
    state.Viewport = {left, top, right, bottom};

    state.Tex = textures_[0] != nullptr ? &textures_[0]->Raster() : nullptr;
    const DWORD* ts = stageStates_[0];
    state.ColorOp = ts[D3DTSS_COLOROP];
    state.AlphaOp = ts[D3DTSS_ALPHAOP];
    state.ColorArg1 = StageZeroArg(ts[D3DTSS_COLORARG1]);
    state.ColorArg2 = StageZeroArg(ts[D3DTSS_COLORARG2]);
    state.AlphaArg1 = StageZeroArg(ts[D3DTSS_ALPHAARG1]);
    state.AlphaArg2 = StageZeroArg(ts[D3DTSS_ALPHAARG2]);

    const DWORD* ss = samplerStates_[0];
    state.MinFilter = ss[D3DSAMP_MINFILTER];
    state.MagFilter = ss[D3DSAMP_MAGFILTER];
    state.MipFilter = ss[D3DSAMP_MIPFILTER];
    state.AddressU = ss[D3DSAMP_ADDRESSU];
    state.AddressV = ss[D3DSAMP_ADDRESSV];
    state.BorderColor = ss[D3DSAMP_BORDERCOLOR];
    state.MipLodBias = BitsToFloat(ss[D3DSAMP_MIPMAPLODBIAS]);
    state.MaxMipLevel = ss[D3DSAMP_MAXMIPLEVEL];
    state.TextureFactor = renderStates_[D3DRS_TEXTUREFACTOR];

    const DWORD* rs = renderStates_;
    state.AlphaBlend = rs[D3DRS_ALPHABLENDENABLE] != FALSE;
    state.SrcBlend = rs[D3DRS_SRCBLEND];
    state.DestBlend = rs[D3DRS_DESTBLEND];
    state.BlendOp = rs[D3DRS_BLENDOP];
    state.SeparateAlphaBlend = rs[D3DRS_SEPARATEALPHABLENDENABLE] != FALSE;
    state.SrcBlendAlpha = rs[D3DRS_SRCBLENDALPHA];
    state.DestBlendAlpha = rs[D3DRS_DESTBLENDALPHA];
    state.BlendOpAlpha = rs[D3DRS_BLENDOPALPHA];
    state.AlphaTest = rs[D3DRS_ALPHATESTENABLE] != FALSE;
    state.AlphaFunc = rs[D3DRS_ALPHAFUNC];
    state.AlphaRef = rs[D3DRS_ALPHAREF] & 0xFF;
    state.FillMode = rs[D3DRS_FILLMODE];
    state.ColorWriteMask = rs[D3DRS_COLORWRITEENABLE];
    state.BlendFactor = rs[D3DRS_BLENDFACTOR];
    state.ShadeMode = rs[D3DRS_SHADEMODE];
    state.CullMode = rs[D3DRS_CULLMODE];
    return state;
}

// Whether a draw may run at all: inside a scene, with the one vertex format we draw.
HRESULT SoftDevice9::CheckDrawable() const {
    if (!inScene_) return D3DERR_INVALIDCALL;
    if (fvf_ != kScreenVertexFvf) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT SoftDevice9::Rasterize(D3DPRIMITIVETYPE type, const uint8_t* vertices, UINT vertexCount,
                               UINT stride, const void* indices, bool index32,
                               UINT primitiveCount) {
    const auto kind = static_cast<SoftRaster::Primitive>(type);
    SoftTexture9* texture = textures_[0];
    if (SoftRaster::Queue* queue = Workers()) {
        // A target that is also the texture drawn from would be read in rows another thread
        // writes: such a call is drawn here, alone, after everything before it.
        if (texture == nullptr || renderTarget_->Container() != texture) {
            // Texels still being drawn are complete before anyone samples them.
            if (texture != nullptr) WaitFor(texture->WriteTicket());
            switch (queue->Draw(renderTarget_->Raster(), BuildRasterState(), kind, vertices, stride,
                                vertexCount, indices, index32, primitiveCount)) {
                case SoftRaster::Queue::Result::kRefused:
                    return D3DERR_INVALIDCALL;
                case SoftRaster::Queue::Result::kOutOfMemory:
                    return E_OUTOFMEMORY;
                default:
                    break;
            }
            renderTarget_->MarkWrite(queue->Last());
            if (texture != nullptr) texture->MarkUse(queue->Last());
            return D3D_OK;
        }
        queue->Finish();
    }
    const SoftRaster::Vertex* packed = reinterpret_cast<const SoftRaster::Vertex*>(vertices);
    if (stride != kScreenVertexSize ||
        reinterpret_cast<uintptr_t>(vertices) % alignof(float) != 0) {
        // A wider stride (or odd address) is repacked so the rasterizer reads plain records.
        try {
            scratch_.resize(vertexCount);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        for (UINT i = 0; i < vertexCount; i++)
            std::memcpy(&scratch_[i], vertices + static_cast<size_t>(i) * stride,
                        kScreenVertexSize);
        packed = scratch_.data();
    }
    SoftRaster::State state = BuildRasterState();
    if (!SoftRaster::Draw(renderTarget_->Raster(), state, kind, packed, vertexCount, indices,
                          index32, primitiveCount))
        return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT SoftDevice9::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
    DEVICE_ENTER("DrawPrimitive");
    HRESULT check = CheckDrawable();
    if (FAILED(check)) return check;
    if (!IsKnownPrimitive(type) || stream_ == nullptr || streamStride_ < kScreenVertexSize)
        return D3DERR_INVALIDCALL;
    if (primitiveCount == 0) return D3D_OK;
    uint64_t needed =
        SoftRaster::VerticesNeeded(static_cast<SoftRaster::Primitive>(type), primitiveCount);
    // Every vertex read must lie inside the buffer.
    uint64_t first =
        static_cast<uint64_t>(streamOffset_) + static_cast<uint64_t>(startVertex) * streamStride_;
    uint64_t end = first + (needed - 1) * streamStride_ + kScreenVertexSize;
    if (needed == 0 || end > stream_->Store().Length()) return D3DERR_INVALIDCALL;
    return Rasterize(type, stream_->Store().Data() + first, static_cast<UINT>(needed),
                     streamStride_, nullptr, false, primitiveCount);
}

HRESULT SoftDevice9::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex,
                                          UINT /*minVertexIndex*/, UINT /*numVertices*/,
                                          UINT startIndex, UINT primitiveCount) {
    DEVICE_ENTER("DrawIndexedPrimitive");
    HRESULT check = CheckDrawable();
    if (FAILED(check)) return check;
    if (!IsKnownPrimitive(type) || stream_ == nullptr || indices_ == nullptr ||
        streamStride_ < kScreenVertexSize)
        return D3DERR_INVALIDCALL;
    if (primitiveCount == 0) return D3D_OK;
    uint64_t count =
        SoftRaster::VerticesNeeded(static_cast<SoftRaster::Primitive>(type), primitiveCount);
    bool index32 = indices_->Desc().Format == D3DFMT_INDEX32;
    uint64_t indexSize = index32 ? 4 : 2;
    if (count == 0 ||
        (static_cast<uint64_t>(startIndex) + count) * indexSize > indices_->Store().Length())
        return D3DERR_INVALIDCALL;
    // The vertices the indices may address: from the base vertex to the end of the buffer.
    int64_t base =
        static_cast<int64_t>(streamOffset_) + static_cast<int64_t>(baseVertexIndex) * streamStride_;
    int64_t length = stream_->Store().Length();
    if (base < 0 || base + kScreenVertexSize > length) return D3DERR_INVALIDCALL;
    uint64_t available =
        static_cast<uint64_t>(length - base - kScreenVertexSize) / streamStride_ + 1;
    const uint8_t* indexData = indices_->Store().Data() + startIndex * indexSize;
    return Rasterize(type, stream_->Store().Data() + base, static_cast<UINT>(available),
                     streamStride_, indexData, index32, primitiveCount);
}

HRESULT SoftDevice9::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount,
                                     const void* vertexData, UINT stride) {
    DEVICE_ENTER("DrawPrimitiveUP");
    HRESULT check = CheckDrawable();
    if (FAILED(check)) return check;
    if (!IsKnownPrimitive(type) || vertexData == nullptr || stride < kScreenVertexSize)
        return D3DERR_INVALIDCALL;
    // Drawing from user memory unsets stream 0, as the API does.
    if (stream_ != nullptr) stream_->Unbind();
    stream_ = nullptr;
    streamOffset_ = 0;
    streamStride_ = 0;
    if (primitiveCount == 0) return D3D_OK;
    uint64_t needed =
        SoftRaster::VerticesNeeded(static_cast<SoftRaster::Primitive>(type), primitiveCount);
    if (needed == 0) return D3DERR_INVALIDCALL;
    return Rasterize(type, static_cast<const uint8_t*>(vertexData), static_cast<UINT>(needed),
                     stride, nullptr, false, primitiveCount);
}

HRESULT SoftDevice9::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex,
                                            UINT numVertices, UINT primitiveCount,
                                            const void* indexData, D3DFORMAT indexFormat,
                                            const void* vertexData, UINT stride) {
    DEVICE_ENTER("DrawIndexedPrimitiveUP");
    HRESULT check = CheckDrawable();
    if (FAILED(check)) return check;
    if (!IsKnownPrimitive(type) || vertexData == nullptr || indexData == nullptr ||
        stride < kScreenVertexSize ||
        (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    if (stream_ != nullptr) stream_->Unbind();
    stream_ = nullptr;
    streamOffset_ = 0;
    streamStride_ = 0;
    if (indices_ != nullptr) indices_->Unbind();
    indices_ = nullptr;
    if (primitiveCount == 0) return D3D_OK;
    // The caller's vertex block holds vertices 0 to minVertexIndex + numVertices - 1; indices
    // past it are refused by the rasterizer's bound.
    uint64_t vertexCount = static_cast<uint64_t>(minVertexIndex) + numVertices;
    if (vertexCount == 0 || vertexCount > 0xFFFFFFFFu) return D3DERR_INVALIDCALL;
    return Rasterize(type, static_cast<const uint8_t*>(vertexData), static_cast<UINT>(vertexCount),
                     stride, indexData, indexFormat == D3DFMT_INDEX32, primitiveCount);
}

HRESULT SoftDevice9::ProcessVertices(UINT, UINT, UINT, IDirect3DVertexBuffer9*,
                                     IDirect3DVertexDeclaration9*, DWORD) {
    DEVICE_ENTER("ProcessVertices");
    return D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::CreateVertexDeclaration(const D3DVERTEXELEMENT9*,
                                             IDirect3DVertexDeclaration9** declaration) {
    DEVICE_ENTER("CreateVertexDeclaration");
    if (declaration != nullptr) *declaration = nullptr;
    return D3DERR_NOTAVAILABLE;
}

HRESULT SoftDevice9::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
    DEVICE_ENTER("SetVertexDeclaration");
    return declaration == nullptr ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::GetVertexDeclaration(IDirect3DVertexDeclaration9** declaration) {
    DEVICE_ENTER("GetVertexDeclaration");
    if (declaration == nullptr) return D3DERR_INVALIDCALL;
    *declaration = nullptr;
    return D3D_OK;
}

HRESULT SoftDevice9::SetFVF(DWORD fvf) {
    DEVICE_ENTER("SetFVF");
    // Any format may be set; draws refuse the ones the device cannot draw.
    fvf_ = fvf;
    return D3D_OK;
}

HRESULT SoftDevice9::GetFVF(DWORD* fvf) {
    DEVICE_ENTER("GetFVF");
    if (fvf == nullptr) return D3DERR_INVALIDCALL;
    *fvf = fvf_;
    return D3D_OK;
}

HRESULT SoftDevice9::CreateVertexShader(const DWORD*, IDirect3DVertexShader9** shader) {
    DEVICE_ENTER("CreateVertexShader");
    if (shader != nullptr) *shader = nullptr;
    return D3DERR_NOTAVAILABLE;
}

HRESULT SoftDevice9::SetVertexShader(IDirect3DVertexShader9* shader) {
    DEVICE_ENTER("SetVertexShader");
    return shader == nullptr ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::GetVertexShader(IDirect3DVertexShader9** shader) {
    DEVICE_ENTER("GetVertexShader");
    if (shader == nullptr) return D3DERR_INVALIDCALL;
    *shader = nullptr;
    return D3D_OK;
}

// Shader constants have nowhere to go without shaders.
HRESULT SoftDevice9::SetVertexShaderConstantF(UINT, const float*, UINT) {
    DEVICE_ENTER("SetVertexShaderConstantF");
    return D3DERR_INVALIDCALL;
}
HRESULT SoftDevice9::GetVertexShaderConstantF(UINT, float*, UINT) {
    DEVICE_ENTER("GetVertexShaderConstantF");
    return D3DERR_INVALIDCALL;
}
HRESULT SoftDevice9::SetVertexShaderConstantI(UINT, const int*, UINT) {
    DEVICE_ENTER("SetVertexShaderConstantI");
    return D3DERR_INVALIDCALL;
}
HRESULT SoftDevice9::GetVertexShaderConstantI(UINT, int*, UINT) {
    DEVICE_ENTER("GetVertexShaderConstantI");
    return D3DERR_INVALIDCALL;
}
HRESULT SoftDevice9::SetVertexShaderConstantB(UINT, const BOOL*, UINT) {
    DEVICE_ENTER("SetVertexShaderConstantB");
    return D3DERR_INVALIDCALL;
}
HRESULT SoftDevice9::GetVertexShaderConstantB(UINT, BOOL*, UINT) {
    DEVICE_ENTER("GetVertexShaderConstantB");
    return D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset,
                                     UINT stride) {
    DEVICE_ENTER("SetStreamSource");
    // One stream: the pre-transformed vertex format has only stream 0.
    if (stream >= 16) return D3DERR_INVALIDCALL;
    if (stream != 0) return buffer == nullptr ? D3D_OK : D3DERR_INVALIDCALL;
    SoftVertexBuffer9* soft = nullptr;
    if (buffer != nullptr) {
        soft = dynamic_cast<SoftVertexBuffer9*>(buffer);
        if (soft == nullptr || soft->OwnerDevice() != this) return D3DERR_INVALIDCALL;
        soft->Bind();
    }
    if (stream_ != nullptr) stream_->Unbind();
    stream_ = soft;
    streamOffset_ = soft != nullptr ? offset : 0;
    streamStride_ = soft != nullptr ? stride : 0;
    return D3D_OK;
}

HRESULT SoftDevice9::GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset,
                                     UINT* stride) {
    DEVICE_ENTER("GetStreamSource");
    if (buffer == nullptr || offset == nullptr || stride == nullptr || stream >= 16)
        return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    *offset = 0;
    *stride = 0;
    if (stream == 0 && stream_ != nullptr) {
        stream_->AddRef();
        *buffer = stream_;
        *offset = streamOffset_;
        *stride = streamStride_;
    }
    return D3D_OK;
}

HRESULT SoftDevice9::SetStreamSourceFreq(UINT stream, UINT setting) {
    DEVICE_ENTER("SetStreamSourceFreq");
    return stream < 16 && setting == 1 ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::GetStreamSourceFreq(UINT stream, UINT* setting) {
    DEVICE_ENTER("GetStreamSourceFreq");
    if (stream >= 16 || setting == nullptr) return D3DERR_INVALIDCALL;
    *setting = 1;
    return D3D_OK;
}

HRESULT SoftDevice9::SetIndices(IDirect3DIndexBuffer9* buffer) {
    DEVICE_ENTER("SetIndices");
    SoftIndexBuffer9* soft = nullptr;
    if (buffer != nullptr) {
        soft = dynamic_cast<SoftIndexBuffer9*>(buffer);
        if (soft == nullptr || soft->OwnerDevice() != this) return D3DERR_INVALIDCALL;
        soft->Bind();
    }
    if (indices_ != nullptr) indices_->Unbind();
    indices_ = soft;
    return D3D_OK;
}

HRESULT SoftDevice9::GetIndices(IDirect3DIndexBuffer9** buffer) {
    DEVICE_ENTER("GetIndices");
    if (buffer == nullptr) return D3DERR_INVALIDCALL;
    *buffer = indices_;
    if (indices_ != nullptr) indices_->AddRef();
    return D3D_OK;
}

HRESULT SoftDevice9::CreatePixelShader(const DWORD*, IDirect3DPixelShader9** shader) {
    DEVICE_ENTER("CreatePixelShader");
    if (shader != nullptr) *shader = nullptr;
    return D3DERR_NOTAVAILABLE;
}

HRESULT SoftDevice9::SetPixelShader(IDirect3DPixelShader9* shader) {
    DEVICE_ENTER("SetPixelShader");
    return shader == nullptr ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::GetPixelShader(IDirect3DPixelShader9** shader) {
    DEVICE_ENTER("GetPixelShader");
    if (shader == nullptr) return D3DERR_INVALIDCALL;
    *shader = nullptr;
    return D3D_OK;
}

HRESULT SoftDevice9::SetPixelShaderConstantF(UINT, const float*, UINT) {
    DEVICE_ENTER("SetPixelShaderConstantF");
    return D3DERR_INVALIDCALL;
}
HRESULT SoftDevice9::GetPixelShaderConstantF(UINT, float*, UINT) {
    DEVICE_ENTER("GetPixelShaderConstantF");
    return D3DERR_INVALIDCALL;
}
HRESULT SoftDevice9::SetPixelShaderConstantI(UINT, const int*, UINT) {
    DEVICE_ENTER("SetPixelShaderConstantI");
    return D3DERR_INVALIDCALL;
}
HRESULT SoftDevice9::GetPixelShaderConstantI(UINT, int*, UINT) {
    DEVICE_ENTER("GetPixelShaderConstantI");
    return D3DERR_INVALIDCALL;
}
HRESULT SoftDevice9::SetPixelShaderConstantB(UINT, const BOOL*, UINT) {
    DEVICE_ENTER("SetPixelShaderConstantB");
    return D3DERR_INVALIDCALL;
}
HRESULT SoftDevice9::GetPixelShaderConstantB(UINT, BOOL*, UINT) {
    DEVICE_ENTER("GetPixelShaderConstantB");
    return D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::DrawRectPatch(UINT, const float*, const D3DRECTPATCH_INFO*) {
    DEVICE_ENTER("DrawRectPatch");
    return D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::DrawTriPatch(UINT, const float*, const D3DTRIPATCH_INFO*) {
    DEVICE_ENTER("DrawTriPatch");
    return D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::DeletePatch(UINT) {
    DEVICE_ENTER("DeletePatch");
    return D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::CreateQuery(D3DQUERYTYPE, IDirect3DQuery9** query) {
    DEVICE_ENTER("CreateQuery");
    if (query != nullptr) *query = nullptr;
    return D3DERR_NOTAVAILABLE;
}

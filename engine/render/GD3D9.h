/// @file
/// The renderer's device engine: the one object that owns the graphics API object and its
/// device. It starts and rebuilds the device, keeps the capability flags the texture code
/// needs, brackets frames, sets the few render states the 2D drawing uses, creates named
/// render targets for the texture manager, takes screenshots and draws rectangles, lines and
/// circles in screen pixels. What it does goes to its own draw log, drawdebug.txt, beside the
/// debug log; failed API calls go to the error log under the result's symbolic name.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/D3D9.h"

class BaseSprite;

class GD3D9 {
public:
    GD3D9();
    ~GD3D9();
    GD3D9(const GD3D9&) = delete;
    GD3D9& operator=(const GD3D9&) = delete;

    // ---- Life cycle and frame ----

    /// Creates the API object and the device on window: hardware vertex processing where
    /// the caps report it, then one more attempt with software vertex processing.
    bool Init(HWND window, int width, int height, bool windowed);
    /// Releases the textures, any additional swap chain, the device and the API object. Safe
    /// to call again: every released interface is nulled.
    void Release();
    /// Drops the textures for a restore, releases everything and starts again on the same
    /// window and back-buffer size. Returns whether the new start succeeded.
    bool Restore();
    void BeginScene();
    void EndScene();
    /// Presents the frame, writing a requested screenshot first.
    void Flip();
    void Clear();
    void ClearScreen(uint32_t colour);

    // ---- Capabilities and modes ----

    void CheckCaps();
    /// The side a texture gets on this device: unchanged where any side is allowed, else the
    /// power of two from 256 to 8192 that holds it.
    int FixTextureSize(int size) const;
    void EnumerateDisplayModes();
    /// The highest refresh rate of any X8R8G8B8 mode of the adapter (width and height only
    /// appear in the log).
    unsigned GetFullscreenRefreshRate(int width, int height);
    void CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* presentParameters);

    // ---- Targets and screenshots ----

    /// Registers a render-target texture of that name with the texture manager; a name the
    /// manager already holds is refused, and a texture that could not be created is not added.
    void CreateRenderTarget(int width, int height, const std::string& name, D3DFORMAT format);
    void CreateRenderTarget(int width, int height, const std::string& name, bool alpha);
    void CreateSystemMemoryTexture(int width, int height, const std::string& name);
    void SetRenderTarget(DWORD index, IDirect3DSurface9* surface);
    /// The screenshot is written by the next Flip, before the frame is presented.
    void RequestScreenshot(const std::string& fileName, int format);
    void SaveScreenshot(const std::string& fileName, int format, const RECT* sourceRect);

    // ---- States and viewport ----

    /// Also puts the device in wireframe fill while Wireframe is on, since every new or reset
    /// device starts in solid fill; Init and so Restore run it.
    void SetDefaultRenderStates();
    /// 0 normal alpha blending, 1 additive; the device is told only about changes.
    void SetBlendMode(int mode);
    void SetLinearFiltering();
    void SetPointFiltering();
    void ToggleWireframe();
    void SetMipMapLodBias(float bias);
    void CliViewport(int left, int top, int right, int bottom);
    void RestoreViewport();
    void SetBatching(bool on);
    void DrawGlobalVB();
    void FlushGlobalVB();

    // ---- Drawing in screen pixels, colours ARGB ----

    void DrawUserPrimitives(D3DPRIMITIVETYPE primitiveType, UINT primitiveCount,
                            const void* vertices, UINT stride);
    void FillRect(const RECT& rect, uint32_t colour);
    void DrawRect(const RECT& rect, uint32_t colour);
    void DrawThickRect(const RECT& rect, uint32_t colour, float thickness);
    void DrawLine(float x1, float y1, float x2, float y2, uint32_t colour);
    /// numpoints from 5 to 65536 and a radius of 0 or more; anything else draws nothing.
    void DrawCircle(float x, float y, float radius, int numpoints, uint32_t colour);
    /// The rectangle from a sprite's corner 0 to its corner 3, filled or outlined.
    void FillSpriteRect(const BaseSprite& sprite, uint32_t colour);
    void DrawSpriteRect(const BaseSprite& sprite, uint32_t colour);
    /// A line drawn as an upright sprite of the given thickness turned by the line's bearing;
    /// it uses the texture stage 0 holds.
    void DrawThickLine(float x1, float y1, float x2, float y2, float thickness, uint32_t colour);

    // ---- Diagnostics ----

    /// Appends one line to drawdebug.txt (opened on first use below the debug log's folder)
    /// and hands it to the debugger output. Nothing is written while the file cannot be opened.
    void DrawLog(const std::string& text);
    /// Closes the draw log; the next line opens it afresh below the debug log's current folder.
    void CloseDrawLog();
    /// Writes the symbolic name of result, then context, to the error log.
    static void LogD3DError(HRESULT result, const std::string& context);
    /// The name LogD3DError writes for result.
    static std::string D3DErrorName(HRESULT result);
    /// The engine while it exists, else null (before first use and during exit).
    static GD3D9* Live();

    std::vector<D3DDISPLAYMODE> DisplayModes;
    IDirect3D9* PD3D9 = nullptr;
    IDirect3DDevice9* PDevice = nullptr;
    HWND Window = nullptr;
    bool InScene = false;
    bool Windowed = false;
    bool Wireframe = false;
    /// Copied by the frame recorder into every record it takes.
    std::string RecordLabel;
    FILE* DrawLogFile = nullptr;
    D3DPRESENT_PARAMETERS PresentParams;
    int32_t BlendMode = 0;
    bool PixelShader2 = false;
    bool NonPow2Textures = true;
    bool HardwareTnL = true;
    int32_t ScreenshotFormat = 0;
    bool ScreenshotPending = false;
    std::string ScreenshotFile;
    /// Measure the frame rate in EndScene.
    bool FrameTiming = false;
    /// Millisecond clock value of the previous EndScene; unsigned so the difference stays
    /// right across the clock's wrap and after hours of uptime.
    uint32_t LastFrameTime = 0;
    float FramesPerSecond = 0.0f;
    D3DVIEWPORT9 Viewport;
    D3DCAPS9 hal_caps;
    IDirect3DSwapChain9* AdditionalSwapChain = nullptr;
    bool Batching = false;
    // Draw calls the device accepted from the engine (its own and its vertex buffers'), so
    // that a host can show what batching saves on any device.
    uint64_t DrawCalls = 0;

private:
    /// False, with one draw-log line naming the operation, while there is no device.
    bool HaveDevice(const char* operation);
    HRESULT CreateDevice(DWORD vertexProcessing);
    /// Formats into a bounded buffer and writes the line to the draw log.
    void LogFormatted(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
};

GD3D9& GetD3DEngine();

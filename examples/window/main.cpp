// A window and a graphics device on it: clears and draws a few spinning coloured triangles
// each frame, follows resizes, and quits on Esc or when the window is closed.
//
//   window [--width W] [--height H] [--fullscreen] [--immediate] [--headless]
//          [--frames N] [--screenshot FILE]        window --help
//
// It shows the platform layer's window and a bare Direct3D 9 device, without the engine's
// renderer, so it makes its device itself; the other examples leave that to ExampleHost.
// F11 switches full-screen on and off. --frames N stops after N frames; --screenshot FILE
// saves the last frame (.png, .bmp, .tga or .jpg) before it is presented. --immediate presents
// without waiting for the display's refresh and prints the frames per second at the end.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "ExampleCommandLine.h"
#include "platform/D3D9.h"
#include "platform/Window.h"

namespace {

struct Options {
    int Width = 1024;
    int Height = 768;
    bool FullScreen = false;
    bool Immediate = false;
    bool Headless = false;
    long Frames = 0;  // 0: until the user quits
    Example::Screenshot Screenshot;
};

// The engine's screen vertex: pre-transformed, with a colour and texture coordinates.
struct Vertex {
    float X, Y, Z, Rhw;
    DWORD Color;
    float U, V;
};
const DWORD kVertexFormat = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

bool ParseOptions(int argc, char** argv, Options& options, int& status) {
    Example::CommandLine line(
        "window", "Spinning triangles in a window; Esc or closing quits, F11 full screen.");
    line.Number("--width", "W", 1, 8192, options.Width, "the window's width (default 1024)");
    line.Number("--height", "H", 1, 8192, options.Height, "the window's height (default 768)");
    line.Flag("--fullscreen", options.FullScreen, "a borderless window over the whole display");
    line.Flag("--immediate", options.Immediate,
              "present without waiting for the display's refresh; print the frames per second");
    line.Flag("--headless", options.Headless, "a window without a screen, where none is needed");
    line.Number("--frames", "N", 1L, 100000000L, options.Frames, "stop after N frames");
    line.ScreenshotOption("--screenshot", options.Screenshot,
                          "save the last frame before it is presented");
    return line.Parse(argc, argv, status);
}

D3DPRESENT_PARAMETERS PresentParams(HWND window, bool immediate) {
    D3DPRESENT_PARAMETERS pp;
    std::memset(&pp, 0, sizeof(pp));
    // Full-screen is a borderless window covering the display, so the device stays windowed
    // and its back buffer takes the client size.
    pp.Windowed = TRUE;
    pp.hDeviceWindow = window;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.PresentationInterval = immediate ? D3DPRESENT_INTERVAL_IMMEDIATE : D3DPRESENT_INTERVAL_ONE;
    return pp;
}

void SetDrawStates(IDirect3DDevice9* device) {
    device->SetFVF(kVertexFormat);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetTexture(0, nullptr);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
}

// Three triangles spinning about the centre at one degree per frame, so that an unattended
// run draws the same picture every time.
void DrawFrame(IDirect3DDevice9* device, int width, int height, long frame) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(16, 24, 48), 1.0f, 0);
    if (FAILED(device->BeginScene())) return;
    const DWORD colours[3][3] = {{0xFFFF4040, 0xFFFFC040, 0xFF802020},
                                 {0xFF40FF40, 0xFF40FFC0, 0xFF208020},
                                 {0xFF4040FF, 0xFFC040FF, 0xFF202080}};
    float cx = width / 2.0f;
    float cy = height / 2.0f;
    float radius = 0.4f * static_cast<float>(width < height ? width : height);
    Vertex vertices[9];
    for (int t = 0; t < 3; t++) {
        float base = static_cast<float>(frame + t * 120) * 3.14159265f / 180.0f;
        for (int v = 0; v < 3; v++) {
            // Each triangle is a thin blade from the centre out to two points on the circle.
            float angle = base + (v == 0 ? 0.0f : (v == 1 ? 0.5f : -0.5f));
            float r = v == 0 ? radius * 0.1f : radius;
            vertices[t * 3 + v] = {cx + r * std::sin(angle),
                                   cy - r * std::cos(angle),
                                   0.0f,
                                   1.0f,
                                   colours[t][v],
                                   0.0f,
                                   0.0f};
        }
    }
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 3, vertices, sizeof(Vertex));
    device->EndScene();
}

bool SaveScreenshot(IDirect3DDevice9* device, const Example::Screenshot& shot) {
    IDirect3DSurface9* back = nullptr;
    if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back))) return false;
    bool saved = SUCCEEDED(D3DXSaveSurfaceToFileA(
        shot.Path.c_str(), static_cast<D3DXIMAGE_FILEFORMAT>(shot.Format), back, nullptr, nullptr));
    back->Release();
    return saved;
}

bool ResetDevice(IDirect3DDevice9* device, HWND window, bool immediate) {
    D3DPRESENT_PARAMETERS pp = PresentParams(window, immediate);
    if (FAILED(device->Reset(&pp))) return false;
    SetDrawStates(device);
    return true;
}

int Run(const Options& options) {
    Platform::WindowSettings settings;
    settings.Title = "Engine window";
    settings.ClientWidth = options.Width;
    settings.ClientHeight = options.Height;
    settings.FullScreen = options.FullScreen;
    settings.Headless = options.Headless;
    std::string error;
    std::unique_ptr<Platform::Window> window = Platform::Window::Create(settings, error);
    if (window == nullptr) {
        std::fprintf(stderr, "window: %s\n", error.c_str());
        return 2;
    }
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (d3d == nullptr) {
        std::fprintf(stderr, "window: no Direct3D 9\n");
        return 2;
    }
    D3DPRESENT_PARAMETERS pp = PresentParams(window->Handle(), options.Immediate);
    IDirect3DDevice9* device = nullptr;
    if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window->Handle(),
                                 D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device))) {
        std::fprintf(stderr, "window: cannot create the graphics device\n");
        d3d->Release();
        return 2;
    }
    SetDrawStates(device);

    int status = 0;
    bool resetNeeded = false;
    auto start = std::chrono::steady_clock::now();
    long frame = 0;
    for (bool running = true; running && (options.Frames == 0 || frame < options.Frames);) {
        Platform::WindowEvents events;
        window->Pump(events);
        if (events.CloseRequested) break;
        for (int key : events.KeysPressed) {
            if (key == Platform::kKeyEscape) running = false;
            if (key == Platform::kKeyF11) window->SetFullScreen(!window->IsFullScreen());
        }
        if (!running) break;
        if (events.Resized) resetNeeded = true;
        if (resetNeeded) {
            // A lost device may refuse until the system gives it back; try again next frame.
            if (device->TestCooperativeLevel() == D3DERR_DEVICELOST ||
                !ResetDevice(device, window->Handle(), options.Immediate))
                continue;
            resetNeeded = false;
        }
        D3DPRESENT_PARAMETERS current;
        IDirect3DSwapChain9* chain = nullptr;
        if (FAILED(device->GetSwapChain(0, &chain))) break;
        chain->GetPresentParameters(&current);
        chain->Release();
        DrawFrame(device, static_cast<int>(current.BackBufferWidth),
                  static_cast<int>(current.BackBufferHeight), frame);
        bool last = options.Frames != 0 && frame + 1 == options.Frames;
        if (last && !options.Screenshot.Path.empty() &&
            !SaveScreenshot(device, options.Screenshot)) {
            std::fprintf(stderr, "window: cannot save the screenshot %s\n",
                         options.Screenshot.Path.c_str());
            status = 1;
        }
        HRESULT presented = device->Present(nullptr, nullptr, nullptr, nullptr);
        if (presented == D3DERR_DEVICELOST) {
            resetNeeded = true;
        } else if (FAILED(presented)) {
            std::fprintf(stderr, "window: presenting the frame failed\n");
            status = 1;
            break;
        }
        frame++;
    }
    if (options.Immediate && frame > 0) {
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%ld frames in %.2f s: %.1f frames per second\n", frame, seconds,
                    seconds > 0 ? frame / seconds : 0.0);
    }
    device->Release();
    d3d->Release();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    int status = 0;
    if (!ParseOptions(argc, argv, options, status)) return status;
    return Run(options);
}

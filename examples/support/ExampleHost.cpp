#include "ExampleHost.h"

#include <filesystem>

#include "platform/D3D9.h"
#include "render/BaseSprite.h"
#include "render/GD3D9.h"
#include "render/GVertexBuffer.h"
#include "text/TextEngine.h"

namespace Example {

Host::~Host() {
    if (started_) {
        GetTextManager().Release();
        GlobalVB.Release();
        GetD3DEngine().Release();
    }
    window_.reset();
}

bool Host::Start(const HostSettings& settings, std::string& error) {
    settings_ = settings;
    Platform::WindowSettings window;
    window.Title = settings.Title;
    window.ClientWidth = settings.Width;
    window.ClientHeight = settings.Height;
    window.FullScreen = settings.FullScreen;
    window.Headless = settings.Headless;
    window_ = Platform::Window::Create(window, error);
    if (window_ == nullptr) return false;
    if (!GetD3DEngine().Init(window_->Handle(), settings.Width, settings.Height, true)) {
        error = "the graphics device could not be started";
        return false;
    }
    started_ = true;
    FillSinCosTables();
    return StartOnDevice(error);
}

bool Host::StartOnDevice(std::string& error) {
    GD3D9& engine = GetD3DEngine();
    if (settings_.Immediate) {
        // The engine starts every device with the default interval; another interval takes a
        // reset, which brings back the device's default states, so the engine's go on top.
        engine.PresentParams.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        if (FAILED(engine.PDevice->Reset(&engine.PresentParams))) {
            error = "the graphics device could not present at once";
            return false;
        }
        engine.SetDefaultRenderStates();
    }
    IDirect3DSwapChain9* chain = nullptr;
    if (FAILED(engine.PDevice->GetSwapChain(0, &chain))) {
        error = "the graphics device has no back buffer";
        return false;
    }
    D3DPRESENT_PARAMETERS current;
    chain->GetPresentParameters(&current);
    chain->Release();
    width_ = static_cast<int>(current.BackBufferWidth);
    height_ = static_cast<int>(current.BackBufferHeight);
    ScreenWidth = width_;
    ScreenHeight = height_;
    GlobalVB.Init(GVertexBuffer::MAXVERTS, true);
    TextManager& text = GetTextManager();
    text.Init();
    std::string current_font;
    for (const auto& font : fonts_) {
        LibFont* loaded = text.LoadFont(font.first, font.second, &error);
        if (loaded == nullptr) return false;
        current_font = loaded->TextureName;
    }
    if (!current_font.empty()) text.SetFont(current_font);
    return true;
}

bool Host::Restart(std::string& error) {
    if (!started_) {
        error = "the graphics device was never started";
        return false;
    }
    if (!GetD3DEngine().Restore()) {
        error = "the graphics device could not be started again";
        return false;
    }
    return StartOnDevice(error);
}

LibFont* Host::LoadFont(const std::string& folder, const std::string& name, std::string& error) {
    TextManager& text = GetTextManager();
    LibFont* font = text.LoadFont(folder, name, &error);
    if (font == nullptr) return nullptr;
    text.SetFont(font->TextureName);
    fonts_.emplace_back(folder, name);
    return font;
}

bool Host::FlipToScreenshot(const Screenshot& shot, std::string& error) {
    // An older file of that name would pass for the new one.
    std::error_code ignored;
    std::filesystem::remove(shot.Path, ignored);
    GD3D9& engine = GetD3DEngine();
    engine.RequestScreenshot(shot.Path, shot.Format);
    engine.Flip();
    if (std::filesystem::exists(shot.Path, ignored)) return true;
    error = "the screenshot " + shot.Path + " could not be written";
    return false;
}

}  // namespace Example

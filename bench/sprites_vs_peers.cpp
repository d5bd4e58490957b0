// The frame of bench_sprites (20,000 turned, tinted 32x32 sprites of 8 textures into a
// 1024x768 target) drawn by the renderers a Linux game could pick instead, against ours:
//
// - ours, the software device through TexturedSpriteList, on one thread and on two;
// - pixman, on one thread: each sprite tinted into a scratch image, then composited over its
//   turned bounding box with a rotation set on it, as pixman draws a turned image;
// - SDL2's software renderer, SDL_RenderCopyEx into a surface;
// - SDL2's OpenGL renderer, SDL_RenderCopyEx into a target texture: on a machine without a
//   graphics processor, Mesa's llvmpipe, which draws on every core. It needs an X display
//   with GLX (`Xvfb :N +extension GLX`, then DISPLAY=:N); without one it is left out.
//
// With point sampling (argument 0) or linear filtering (1) for all. Every renderer draws one
// frame per iteration, each iteration starting with the next, and a frame ends when its pixels
// are drawn (a lock of our back buffer, a pixel read back from SDL's). The counters give the
// medians of the wall-clock times, so they are only meaningful on a quiet machine, and each
// peer's time over ours on two threads.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "FrameTiming.h"
#include "SpriteField.h"

#ifdef HAVE_PIXMAN
#include <pixman.h>
#endif
#ifdef HAVE_SDL2
#include <SDL.h>
#endif

namespace {

using namespace SpriteField;

// The sprites' textures as ARGB texels, row by row.
std::vector<uint32_t> TextureTexels(int t) {
    std::vector<uint32_t> texels;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) texels.push_back(Texel(t, x, y));
    return texels;
}

uint32_t Tint(const Placed& s) {
    return s.Sprite.Verts[0].Color;
}

#ifdef HAVE_PIXMAN
struct PixmanRenderer {
    PixmanRenderer() : target(size_t(kWidth) * kHeight, 0xFF000000u) {
        dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, target.data(), kWidth * 4);
        // The textures' texels are either opaque or fully transparent: premultiplied as they are.
        for (int t = 0; t < kTextures; ++t) {
            texels[t] = TextureTexels(t);
            src[t] = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, texels[t].data(),
                                              kSide * 4);
        }
        scratch = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, nullptr, 0);
    }
    ~PixmanRenderer() {
        pixman_image_unref(dst);
        pixman_image_unref(scratch);
        for (pixman_image_t* s : src) pixman_image_unref(s);
    }
    void Draw(const std::vector<Placed>& sprites, bool linear) {
        pixman_image_set_filter(scratch, linear ? PIXMAN_FILTER_BILINEAR : PIXMAN_FILTER_NEAREST,
                                nullptr, 0);
        for (const Placed& s : sprites) {
            // Tinted: the texels times the sprite's colour, channel by channel.
            const uint32_t c = Tint(s);
            const pixman_color_t color = {uint16_t(((c >> 16) & 0xFF) * 0x101),
                                          uint16_t(((c >> 8) & 0xFF) * 0x101),
                                          uint16_t((c & 0xFF) * 0x101), 0xFFFF};
            pixman_image_t* tint = pixman_image_create_solid_fill(&color);
            pixman_image_set_component_alpha(tint, true);
            pixman_image_set_transform(scratch, nullptr);
            pixman_image_composite32(PIXMAN_OP_SRC, src[s.TextureIndex], tint, scratch, 0, 0, 0, 0,
                                     0, 0, kSide, kSide);
            pixman_image_unref(tint);
            // Turned about the sprite's centre, clockwise on screen.
            const double a = s.Sprite.Angle * 3.14159265358979323846 / 180;
            const double co = std::cos(a), sn = std::sin(a), half = kSide / 2.0;
            pixman_transform_t t;
            pixman_transform_init_identity(&t);
            t.matrix[0][0] = pixman_double_to_fixed(co);
            t.matrix[0][1] = pixman_double_to_fixed(sn);
            t.matrix[0][2] = pixman_double_to_fixed(half - (co * s.X + sn * s.Y));
            t.matrix[1][0] = pixman_double_to_fixed(-sn);
            t.matrix[1][1] = pixman_double_to_fixed(co);
            t.matrix[1][2] = pixman_double_to_fixed(half - (-sn * s.X + co * s.Y));
            pixman_image_set_transform(scratch, &t);
            const double reach = half * (std::fabs(co) + std::fabs(sn));
            const int x0 = int(std::floor(s.X - reach)), y0 = int(std::floor(s.Y - reach));
            const int x1 = int(std::ceil(s.X + reach)), y1 = int(std::ceil(s.Y + reach));
            pixman_image_composite32(PIXMAN_OP_OVER, scratch, nullptr, dst, x0, y0, 0, 0, x0, y0,
                                     x1 - x0, y1 - y0);
        }
    }
    std::vector<uint32_t> target;
    std::vector<uint32_t> texels[kTextures];
    pixman_image_t* src[kTextures] = {};
    pixman_image_t* dst = nullptr;
    pixman_image_t* scratch = nullptr;
};
#endif

#ifdef HAVE_SDL2
// One of SDL's renderers drawing the sprites into a 1024x768 target.
class SdlRenderer {
public:
    // gl false: the software renderer into a surface; true: the OpenGL renderer into a target
    // texture of a hidden window.
    explicit SdlRenderer(bool gl) {
        if (!gl) {
            surface_ =
                SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, SDL_PIXELFORMAT_ARGB8888);
            if (surface_ != nullptr) renderer_ = SDL_CreateSoftwareRenderer(surface_);
        } else if (std::getenv("DISPLAY") != nullptr && SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
            video_ = true;
            SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
            window_ = SDL_CreateWindow("peer", 0, 0, kWidth, kHeight,
                                       SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
            if (window_ != nullptr)
                renderer_ = SDL_CreateRenderer(
                    window_, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_TARGETTEXTURE);
            if (renderer_ != nullptr) {
                target_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888,
                                            SDL_TEXTUREACCESS_TARGET, kWidth, kHeight);
                if (target_ == nullptr || SDL_SetRenderTarget(renderer_, target_) != 0) {
                    SDL_DestroyRenderer(renderer_);
                    renderer_ = nullptr;
                }
            }
            SDL_RendererInfo info;
            if (renderer_ != nullptr && SDL_GetRendererInfo(renderer_, &info) == 0) {
                name_ = info.name;
                finish_ = reinterpret_cast<void (*)()>(SDL_GL_GetProcAddress("glFinish"));
                using GetString = const unsigned char* (*)(unsigned int);
                auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
                const unsigned kGlRenderer = 0x1F01;
                if (getString != nullptr && getString(kGlRenderer) != nullptr)
                    name_ +=
                        std::string(" on ") + reinterpret_cast<const char*>(getString(kGlRenderer));
            }
        }
        if (renderer_ == nullptr) return;
        for (int t = 0; t < kTextures; ++t) {
            textures_[t] = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888,
                                             SDL_TEXTUREACCESS_STATIC, kSide, kSide);
            const std::vector<uint32_t> texels = TextureTexels(t);
            SDL_UpdateTexture(textures_[t], nullptr, texels.data(), kSide * 4);
            SDL_SetTextureBlendMode(textures_[t], SDL_BLENDMODE_BLEND);
        }
    }
    ~SdlRenderer() {
        for (SDL_Texture* t : textures_)
            if (t != nullptr) SDL_DestroyTexture(t);
        if (target_ != nullptr) SDL_DestroyTexture(target_);
        if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
        if (surface_ != nullptr) SDL_FreeSurface(surface_);
        if (window_ != nullptr) SDL_DestroyWindow(window_);
        if (video_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    bool Ready() const { return renderer_ != nullptr; }
    const std::string& Name() const { return name_; }

    bool Draw(const std::vector<Placed>& sprites, bool linear) {
        for (SDL_Texture* t : textures_)
            SDL_SetTextureScaleMode(t, linear ? SDL_ScaleModeLinear : SDL_ScaleModeNearest);
        bool ok = true;
        for (const Placed& s : sprites) {
            SDL_Texture* t = textures_[s.TextureIndex];
            const uint32_t c = Tint(s);
            SDL_SetTextureColorMod(t, Uint8(c >> 16), Uint8(c >> 8), Uint8(c));
            const SDL_Rect at = {int(s.X) - kSide / 2, int(s.Y) - kSide / 2, kSide, kSide};
            ok = SDL_RenderCopyEx(renderer_, t, nullptr, &at, s.Sprite.Angle, nullptr,
                                  SDL_FLIP_NONE) == 0 &&
                 ok;
        }
        // Reading a pixel back sends every batched call to the driver; llvmpipe may still be
        // drawing other tiles after it, so the frame ends when glFinish returns.
        uint32_t pixel = 0;
        const SDL_Rect one = {0, 0, 1, 1};
        ok = SDL_RenderReadPixels(renderer_, &one, SDL_PIXELFORMAT_ARGB8888, &pixel, 4) == 0 && ok;
        if (finish_ != nullptr) finish_();
        return ok;
    }

private:
    SDL_Surface* surface_ = nullptr;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* target_ = nullptr;
    SDL_Texture* textures_[kTextures] = {};
    void (*finish_)() = nullptr;  // glFinish, for the OpenGL renderer
    bool video_ = false;
    std::string name_ = "software";
};
#endif

struct Variant {
    std::string Name;
    std::function<double()> Frame;  // seconds
    std::vector<double> Times;
};

double Seconds(const std::function<bool()>& draw, bool& ok) {
    const auto start = std::chrono::steady_clock::now();
    ok = draw() && ok;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_PeerFrame(benchmark::State& state) {
    const bool linear = state.range(0) != 0;
    Field field;
    GD3D9& engine = GetD3DEngine();
    if (linear) engine.SetLinearFiltering();
    bool ok = true;
    std::vector<Variant> variants;
    for (int threads : {1, 2})
        variants.push_back({"ours_" + std::to_string(threads) + "t",
                            [&, threads] {
                                SoftD3D::SetDeviceThreadCount(engine.PDevice, threads);
                                return FrameWallSeconds([&] { field.Batched(false); });
                            },
                            {}});
#ifdef HAVE_PIXMAN
    PixmanRenderer pixman;
    variants.push_back({"pixman",
                        [&] {
                            return Seconds(
                                [&] {
                                    pixman.Draw(field.sprites, linear);
                                    return true;
                                },
                                ok);
                        },
                        {}});
#endif
#ifdef HAVE_SDL2
    SdlRenderer software(false), gl(true);
    if (software.Ready())
        variants.push_back(
            {"sdl_software",
             [&] { return Seconds([&] { return software.Draw(field.sprites, linear); }, ok); },
             {}});
    if (gl.Ready()) {
        variants.push_back(
            {"sdl_opengl",
             [&] { return Seconds([&] { return gl.Draw(field.sprites, linear); }, ok); },
             {}});
        state.SetLabel(gl.Name());
    }
#endif
    size_t first = 0;
    for (auto _ : state) {
        for (size_t k = 0; k < variants.size(); ++k) {
            Variant& v = variants[(first + k) % variants.size()];
            v.Times.push_back(v.Frame());
        }
        state.SetIterationTime(variants[1].Times.back());
        first = (first + 1) % variants.size();
    }
    SoftD3D::SetDeviceThreadCount(engine.PDevice, 0);
    if (!ok) {
        state.SkipWithError("a draw failed");
        return;
    }
    const double ours = Median(variants[1].Times);
    for (const Variant& v : variants) {
        const double seconds = Median(v.Times);
        state.counters[v.Name + "_ms"] = 1000 * seconds;
        if (v.Name != "ours_2t") state.counters[v.Name + "_over_ours_2t"] = seconds / ours;
    }
}
BENCHMARK(BM_PeerFrame)
    ->ArgName("linear")
    ->DenseRange(0, 1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(9);

}  // namespace

BENCHMARK_MAIN();

// Text per frame: 100 wrapped paragraphs of 400 characters in the baked sample font at size
// 16, wrapped at 600 pixels, on a 1024x768 software device.
//
// Layout: the text manager's wrapping and layout alone (pending quads discarded after each
// paragraph). Its reference is the least a layout must do: a byte-indexed table of advances
// and cells made once, greedy word wrap with a running width, four vertices per glyph.
// Frame: the same with the quads drawn; the reference draws its own vertices through the same
// device buffers in chunks of the text manager's 4000 vertices.
//
// Ours and the reference alternate iteration by iteration, timed in processor time (the
// machine is shared); the counters give medians and glyphs per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "FrameTiming.h"
#include "platform/d3d9/SoftD3D.h"
#include "render/BaseSprite.h"
#include "render/GD3D9.h"
#include "render/GTextureManager.h"
#include "render/GVertexBuffer.h"
#include "text/TextEngine.h"

namespace {

constexpr int kWidth = 1024, kHeight = 768;
constexpr int kParagraphs = 100;
constexpr int kChars = 400;
constexpr float kSize = 16.0f;
constexpr float kWrap = 600.0f;
const char* kFont = "dejavu.dds";

struct Scene {
    Scene() {
        window = SoftD3D::CreateHeadlessWindow(kWidth, kHeight);
        GD3D9& engine = GetD3DEngine();
        engine.Init(window, kWidth, kHeight, true);
        const std::string folder = std::string(BIN_DIR) + "/../sample_font";
        GetTextureManager().AddTextureFolder(folder);
        GlobalVB.Init(4000, true);
        TextManager& text = GetTextManager();
        text.Init();
        font = text.AddFont(folder + "/data/fonts/" + kFont + ".dat", kFont, 32, 32, 16, 16);
        text.SetFont(kFont);
        text.SetSize(kSize);
        uint32_t seed = 99;
        for (int p = 0; p < kParagraphs; p++) {
            std::string s;
            while (s.size() < kChars) {
                seed = seed * 1664525u + 1013904223u;
                const int len = 2 + static_cast<int>(seed >> 24) % 9;
                for (int i = 0; i < len && s.size() < kChars; i++)
                    s += static_cast<char>('a' + (seed >> (i % 20)) % 26);
                if (s.size() < kChars) s += ' ';
            }
            paragraphs.push_back(s);
            glyphs += static_cast<int64_t>(s.size()) - std::count(s.begin(), s.end(), ' ');
        }
        const float scale = kSize / 32.0f;
        for (int c = 0; c < 256; c++) {
            const int g = LibFont::GetGlyphIndex(static_cast<char>(c));
            cell[c] = g;
            advance[c] = c == ' ' ? kSize * 0.25f : static_cast<float>(font->Widths[g]) * scale;
        }
    }
    ~Scene() {
        GetTextManager().Release();
        GlobalVB.Release();
        GetD3DEngine().Release();
        SoftD3D::DestroyHeadlessWindow(window);
    }

    void Ours(bool draw) {
        TextManager& text = GetTextManager();
        for (int p = 0; p < kParagraphs; p++) {
            text.AddWrappedText(paragraphs[p], 10.0f, 10.0f + (p % 8) * 90.0f, kWrap, 0xFFFFFFFF,
                                -1);
            if (!draw) text.ResetPending();
        }
        if (draw) text.Render(-1);
    }

    // Greedy word wrap and four vertices per glyph, from tables made once.
    void Reference(bool draw) {
        verts.clear();
        const float q = 32.0f * kSize / 32.0f;
        for (int p = 0; p < kParagraphs; p++) {
            const std::string& s = paragraphs[p];
            float y = 10.0f + (p % 8) * 90.0f;
            size_t start = 0;
            while (start < s.size()) {
                float width = 0.0f;
                size_t end = start, lastSpace = std::string::npos;
                while (end < s.size() &&
                       width + advance[static_cast<unsigned char>(s[end])] < kWrap) {
                    if (s[end] == ' ') lastSpace = end;
                    width += advance[static_cast<unsigned char>(s[end])];
                    end++;
                }
                if (end < s.size() && lastSpace != std::string::npos) end = lastSpace;
                float x = 10.0f;
                for (size_t i = start; i < end; i++) {
                    const unsigned char c = static_cast<unsigned char>(s[i]);
                    if (c != ' ') {
                        const int g = cell[c];
                        for (int k = 0; k < 4; k++)
                            verts.push_back({x - 0.5f + (k & 1) * q, y - 0.5f + (k >> 1) * q, 0.0f,
                                             1.0f, 0xFFFFFFFF, font->TexU[g][k], font->TexV[g][k]});
                    }
                    x += advance[c];
                }
                y += kSize;
                start = end < s.size() && s[end] == ' ' ? end + 1 : end;
            }
        }
        if (!draw) return;
        font->Texture.Set();
        for (size_t first = 0; first < verts.size(); first += 4000) {
            const int n = static_cast<int>(std::min<size_t>(4000, verts.size() - first));
            GlobalVB.AddVerts(&verts[first], n);
            GlobalVB.Draw();
        }
    }

    HWND window = nullptr;
    LibFont* font = nullptr;
    std::vector<std::string> paragraphs;
    int64_t glyphs = 0;
    int cell[256];
    float advance[256];
    std::vector<ScreenVertex> verts;
};

void Compare(benchmark::State& state, bool draw) {
    Scene scene;
    std::vector<double> ourTimes, refTimes;
    bool oursFirst = true;
    for (auto _ : state) {
        double a = 0, b = 0;
        if (oursFirst) {
            a = FrameSeconds([&] { scene.Ours(draw); });
            b = FrameSeconds([&] { scene.Reference(draw); });
        } else {
            b = FrameSeconds([&] { scene.Reference(draw); });
            a = FrameSeconds([&] { scene.Ours(draw); });
        }
        oursFirst = !oursFirst;
        state.SetIterationTime(a);
        ourTimes.push_back(a);
        refTimes.push_back(b);
    }
    const double ours_s = Median(ourTimes), ref_s = Median(refTimes);
    state.counters["glyphs_per_frame"] = static_cast<double>(scene.glyphs);
    state.counters["ours_ms"] = 1000 * ours_s;
    state.counters["ref_ms"] = 1000 * ref_s;
    state.counters["ratio"] = ref_s > 0 ? ours_s / ref_s : 0;
    state.counters["ours_Mglyphs_per_s"] = ours_s > 0 ? scene.glyphs / ours_s / 1e6 : 0;
    state.counters["ref_Mglyphs_per_s"] = ref_s > 0 ? scene.glyphs / ref_s / 1e6 : 0;
}

void BM_TextLayout(benchmark::State& state) {
    Compare(state, false);
}
void BM_TextFrame(benchmark::State& state) {
    Compare(state, true);
}

}  // namespace

BENCHMARK(BM_TextLayout)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(41);
BENCHMARK(BM_TextFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(21);
BENCHMARK_MAIN();

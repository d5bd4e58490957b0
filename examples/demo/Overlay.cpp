#include "Overlay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "render/BaseSprite.h"
#include "render/FrameRecorder.h"
#include "render/GD3D9.h"
#include "text/GlyphText.h"
#include "text/TextEngine.h"

namespace {

constexpr uint32_t kPanelFill = 0xC0101828;
constexpr uint32_t kPanelFrame = 0xFF8090A8;

// The status panel in the top-left corner: three lines of figures, the graph, two lines of keys.
constexpr int kStatusLeft = 8;
constexpr int kStatusTop = 8;
constexpr int kStatusWidth = 276;
constexpr int kGraphTop = kStatusTop + 62;
constexpr int kGraphHeight = 60;  // the recorder's full height is 60 ms: a pixel a millisecond
constexpr int kStatusHeight = kGraphTop - kStatusTop + kGraphHeight + 44;
// Frames the figure is the median of.
constexpr int kFigureFrames = 30;

// The text panel in the bottom-right corner. Its height cuts the paragraph through a line.
constexpr int kTextPanelWidth = 360;
constexpr int kTextPanelHeight = 110;
constexpr int kTextPadding = 8;

// In UTF-8, as a game would hold it: the overlay turns it into the font's glyph order.
const char* const kParagraph =
    "This panel is the text engine at work, accents and all: d\xC3\xA9j\xC3\xA0 vu, "
    "\xC5\x92uvre, na\xC3\xAFve, 20 \xE2\x82\xAC. The paragraph is wrapped to the width of the "
    "panel, every full line is justified by widening the gaps between its words, and what "
    "does not fit is clipped at the panel\xE2\x80\x99s frame, so the last line shown may be cut "
    "through the middle. The glyphs come from a TrueType font baked into a texture when the "
    "demo was built, and they reach the screen through the same device as the sprites behind "
    "them.";

const char* const kTurningLine = "Bitmap text turns with the scene";

RECT Rect(int left, int top, int right, int bottom) {
    RECT r;
    SetRect(&r, left, top, right, bottom);
    return r;
}

// Narrows the viewport to the part of rect on screen, so that nothing drawn until
// RestoreViewport shows outside it. False, the viewport left alone, when none of it is.
bool ClipTo(const RECT& rect) {
    const int left = std::max<int>(rect.left, 0);
    const int top = std::max<int>(rect.top, 0);
    const int right = std::min<int>(rect.right, ScreenWidth);
    const int bottom = std::min<int>(rect.bottom, ScreenHeight);
    if (right <= left || bottom <= top) return false;
    GetD3DEngine().CliViewport(left, top, right, bottom);
    return true;
}

// Lays out text wrapped to width from (x, y), every line but the last justified, down to the
// first line that starts at or below bottom.
void AddJustifiedParagraph(TextManager& text, const std::string& paragraph, float x, float y,
                           float width, float bottom, uint32_t colour) {
    const float lineHeight =
        text.GetSize() + static_cast<float>(text.GetCurrentFont()->LineSpacing);
    std::string line = paragraph;
    std::string rest;
    for (; !line.empty() && y < bottom; y += lineHeight) {
        text.SplitLine(static_cast<int32_t>(width), line, rest);
        if (rest.empty())
            text.AddText(line, x, y, colour, 0.0f, 0);
        else
            text.AddJustifiedText(line, x, y, width, colour);
        line.swap(rest);
    }
}

}  // namespace

float Overlay::FramesPerSecond() {
    const float* times = GetFrameRecorder().GetFrameTimes();
    std::vector<float> recent;
    for (int i = 0; i < kFigureFrames && i < GFrameRecorder::NUMFRAMES; i++)
        if (times[i] > 0.0f) recent.push_back(times[i]);
    if (recent.empty()) return 0.0f;
    std::nth_element(recent.begin(), recent.begin() + recent.size() / 2, recent.end());
    return 1000.0f / recent[recent.size() / 2];
}

void Overlay::Draw(const OverlayState& state) {
    DrawStatus(state);
    if (!hasFont_) return;
    DrawTextPanel();
    DrawTurningLine(state.Seconds);
}

void Overlay::DrawStatus(const OverlayState& state) {
    GD3D9& engine = GetD3DEngine();
    const RECT panel =
        Rect(kStatusLeft, kStatusTop, kStatusLeft + kStatusWidth, kStatusTop + kStatusHeight);
    engine.FillRect(panel, kPanelFill);
    engine.DrawRect(panel, kPanelFrame);

    // A long frame (a restore, a stall) would draw its bar far above the graph: the graph is
    // clipped to its own frame, edges included.
    GFrameRecorder& recorder = GetFrameRecorder();
    recorder.GraphRect =
        Rect(kStatusLeft + 8, kGraphTop, kStatusLeft + kStatusWidth - 8, kGraphTop + kGraphHeight);
    const RECT& graph = recorder.GraphRect;
    const bool clipped = ClipTo(Rect(graph.left, graph.top, graph.right + 1, graph.bottom + 1));
    if (state.Held)
        recorder.DrawFrameTimes();
    else
        recorder.DrawGraph();
    if (clipped) engine.RestoreViewport();

    if (!hasFont_) return;
    TextManager& text = GetTextManager();
    const float x = static_cast<float>(kStatusLeft + 8);
    char line[128];
    text.SetSize(16.0f);
    snprintf(line, sizeof line, "%.1f frames per second", FramesPerSecond());
    text.AddText(line, x, kStatusTop + 6.0f, 0xFFF4D03F, 0.0f, 0);
    snprintf(line, sizeof line, "%d sprites", state.Sprites);
    text.AddText(line, x, kStatusTop + 24.0f, 0xFFFFFFFF, 0.0f, 0);
    snprintf(line, sizeof line, "wireframe %s, batching %s", state.Wireframe ? "on" : "off",
             state.Batching ? "on" : "off");
    text.AddText(line, x, kStatusTop + 42.0f, 0xFF80D0FF, 0.0f, 0);
    text.SetSize(14.0f);
    const float keys = static_cast<float>(kGraphTop + kGraphHeight + 8);
    text.AddText("W wireframe, B batching, + and - sprites", x, keys, 0xFFB0B8C8, 0.0f, 0);
    text.AddText("F11 full screen, F12 screenshot, Esc quits", x, keys + 16.0f, 0xFFB0B8C8, 0.0f,
                 0);
    text.Render(-1);
}

void Overlay::DrawTextPanel() {
    const int width = std::min(kTextPanelWidth, ScreenWidth - 16);
    const int height = std::min(kTextPanelHeight, ScreenHeight - 16);
    if (width <= 2 * kTextPadding || height <= 2 * kTextPadding) return;
    GD3D9& engine = GetD3DEngine();
    const RECT panel =
        Rect(ScreenWidth - 8 - width, ScreenHeight - 8 - height, ScreenWidth - 8, ScreenHeight - 8);
    engine.FillRect(panel, kPanelFill);
    engine.DrawRect(panel, kPanelFrame);

    // Inside the frame: the text is laid out as if the panel went on, and the viewport cuts it.
    const RECT inside = Rect(panel.left + 1, panel.top + 1, panel.right, panel.bottom);
    if (!ClipTo(inside)) return;
    TextManager& text = GetTextManager();
    text.SetSize(16.0f);
    static const std::string paragraph = Utf8ToGlyphText(kParagraph);
    AddJustifiedParagraph(text, paragraph, static_cast<float>(panel.left + kTextPadding),
                          static_cast<float>(panel.top + kTextPadding),
                          static_cast<float>(width - 2 * kTextPadding),
                          static_cast<float>(panel.bottom), 0xFFE8ECF0);
    text.Render(-1);
    engine.RestoreViewport();
}

void Overlay::DrawTurningLine(float seconds) {
    TextManager& text = GetTextManager();
    text.SetSize(24.0f);
    // The line turns about its middle: DrawRotatedText centres each glyph's cell on the
    // baseline, so the ink runs from half a cell before the start to half a cell before the end.
    const float angle = std::fmod(90.0f + seconds * 24.0f, 360.0f);
    const float radians = angle * 0.017453292f;
    const LibFont* font = text.GetCurrentFont();
    const float cell =
        static_cast<float>(font->CellSize) * text.GetSize() / static_cast<float>(font->NativeSize);
    const float half = (static_cast<float>(text.GetStringLength(kTurningLine)) - cell) / 2.0f;
    const float x = ScreenWidth / 2.0f - std::sin(radians) * half;
    const float y = ScreenHeight / 2.0f + std::cos(radians) * half;
    // A dark copy a pixel and a half down and right keeps it readable over bright sprites.
    text.DrawRotatedText(kTurningLine, x + 1.5f, y + 1.5f, angle, 0xC0000000);
    text.DrawRotatedText(kTurningLine, x, y, angle, 0xFFFFFFFF);
}

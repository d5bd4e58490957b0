#include <filesystem>

#include "RenderTestSupport.h"
#include "platform/Platform.h"

using RenderTest::EngineFixture;
using RenderTest::InOrder;

namespace {

// ---- Start-up ----

struct StartCase {
    const char* Label;
    SoftD3D::CapsOverrides Caps;
    std::vector<const char*> Failures;  // armed before Init, in this order
    bool Started;
    std::vector<std::string> Lines;  // expected among the logs, in this order
    std::vector<std::string> Absent;
};

SoftD3D::CapsOverrides Caps(bool pow2, bool square, bool noHardware, DWORD ps) {
    SoftD3D::CapsOverrides caps;
    caps.Pow2Only = pow2;
    caps.SquareOnly = square;
    caps.NoHardwareVertexProcessing = noHardware;
    caps.PixelShaderVersion = ps;
    return caps;
}

const StartCase kStartCases[] = {
    {"Defaults",
     Caps(false, false, false, D3DPS_VERSION(3, 0)),
     {},
     true,
     {"Running in DEBUG mode", "Initialising 3D Engine in windowed mode", "Driver : softd3d9",
      "Checking For Shader Support", "NumSimultaneousRTs:1",
      "hal_caps.PixelShaderVersion >= D3DPS_VERSION(2, 0)",
      "hal_caps.PixelShaderVersion >= D3DPS_VERSION(3, 0)",
      "About to Create 3D Device with width: 32 and height : 24",
      "Attempting hardware Vertex Processing", "Finished initialising 3D Engine"},
     {"Attempting software Vertex Processing", "hal_caps.D3DPTEXTURECAPS_POW2 is true"}},
    {"NoHardwareVertexProcessingGoesSoftwareFirst",
     Caps(false, false, true, D3DPS_VERSION(2, 0)),
     {},
     true,
     {"hal_caps.PixelShaderVersion >= D3DPS_VERSION(2, 0)", "Attempting software Vertex Processing",
      "Finished initialising 3D Engine"},
     {"Attempting hardware Vertex Processing",
      "hal_caps.PixelShaderVersion >= D3DPS_VERSION(3, 0)"}},
    {"OldPixelShaderAndTextureLimits",
     Caps(true, true, false, D3DPS_VERSION(1, 4)),
     {},
     true,
     {"hal_caps.D3DPTEXTURECAPS_SQUAREONLY is true", "hal_caps.D3DPTEXTURECAPS_POW2 is true",
      "hal_caps.PixelShaderVersion < D3DPS_VERSION(2, 0)"},
     {}},
    {"FailedHardwareDeviceRetriesInSoftware",
     Caps(false, false, false, D3DPS_VERSION(3, 0)),
     {"CreateDevice"},
     true,
     {"Attempting hardware Vertex Processing", "D3DERR_INVALIDCALL", "CreateDevice",
      "Attempting software Vertex Processing", "Finished initialising 3D Engine"},
     {"CreateDevice failed again"}},
    {"TwoFailedDevicesGiveUp",
     Caps(false, false, false, D3DPS_VERSION(3, 0)),
     {"IDirect3D9::CreateDevice", "CreateDevice"},
     false,
     {"CreateDevice", "Attempting software Vertex Processing", "D3DERR_INVALIDCALL",
      "CreateDevice failed again"},
     {"Finished initialising 3D Engine"}},
    {"FailedSoftwareDeviceIsTriedAgain",
     Caps(false, false, true, D3DPS_VERSION(3, 0)),
     {"CreateDevice"},
     true,
     {"Attempting software Vertex Processing", "CreateDevice",
      "Attempting software Vertex Processing", "Finished initialising 3D Engine"},
     {}},
    {"MissingAdapterIdentifierIsNotFatal",
     Caps(false, false, false, D3DPS_VERSION(3, 0)),
     {"GetAdapterIdentifier"},
     true,
     {"GetAdapterIdentifier Failed", "Finished initialising 3D Engine"},
     {"Driver : softd3d9"}},
    // Zeroed caps: no shader, no hardware vertex processing.
    {"MissingCapsAreZero",
     Caps(false, false, false, D3DPS_VERSION(3, 0)),
     {"GetDeviceCaps"},
     true,
     {"Getting Device Caps Failed", "hal_caps.PixelShaderVersion < D3DPS_VERSION(2, 0)",
      "Attempting software Vertex Processing", "Finished initialising 3D Engine"},
     {"Attempting hardware Vertex Processing"}},
    {"NoDirect3D",
     Caps(false, false, false, D3DPS_VERSION(3, 0)),
     {"Direct3DCreate9"},
     false,
     {"Initialising 3D Engine in windowed mode", "Direct3DCreate9 Failed"},
     {"Checking For Shader Support"}},
};

class StartUp : public EngineFixture, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartUp, LogsEachPathAndReportsTheOutcome) {
    SKIP_UNLESS_SOFTWARE_DEVICE("injects failures and overrides the caps");
    const StartCase& c = GetParam();
    SoftD3D::SetCapsOverrides(c.Caps);
    for (const char* failure : c.Failures) SoftD3D::FailNextCall(failure, D3DERR_INVALIDCALL);

    EXPECT_EQ(Start(), c.Started);
    EXPECT_EQ(engine().PDevice != nullptr, c.Started);
    EXPECT_TRUE(InOrder(Messages(), c.Lines)) << testing::PrintToString(Messages());
    for (const std::string& absent : c.Absent) EXPECT_FALSE(Logged(absent)) << absent;
    if (c.Started) {
        EXPECT_FALSE(engine().InScene);
        EXPECT_EQ(engine().Viewport.Width, static_cast<DWORD>(kWidth));
        EXPECT_EQ(engine().NonPow2Textures, !c.Caps.Pow2Only);
    }
}

INSTANTIATE_TEST_SUITE_P(Engine, StartUp, ::testing::ValuesIn(kStartCases),
                         [](const auto& info) { return std::string(info.param.Label); });

TEST_F(EngineFixture, InitWithoutWindowCreatesNothing) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    EXPECT_FALSE(engine().Init(nullptr, 32, 24, true));
    EXPECT_TRUE(Logged("Window NULL"));
    EXPECT_EQ(SoftD3D::CallCount("Direct3DCreate9"), 0u);
    EXPECT_EQ(engine().PD3D9, nullptr);
}

TEST_F(EngineFixture, DrawLogGoesToTheDebugFolder) {
    ASSERT_TRUE(Start());
    const std::filesystem::path file = log->Folder() / "debug" / "drawdebug.txt";
    const std::vector<std::string> lines = TestSupport::ReadLines(file);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Running in DEBUG mode");
    EXPECT_EQ(lines.back(), "Finished initialising 3D Engine");
}

TEST_F(EngineFixture, DrawLogPathsAreRefusedNotCutAndEmptyMeansTheWorkingFolder) {
    TestSupport::TempDir dir;
    GetDebugLog().Init(dir / std::string(200, 'b') + "/" + std::string(60, 'c'));
    engine().CloseDrawLog();
    Mark();
    engine().DrawLog("line");
    EXPECT_EQ(engine().DrawLogFile, nullptr);
    EXPECT_FALSE(Logged("line"));

    TestSupport::CwdGuard cwd(dir.Path());
    GetDebugLog().Init("");
    engine().DrawLog("here");
    engine().CloseDrawLog();
    EXPECT_EQ(TestSupport::ReadLines(dir.Path() / "debug" / "drawdebug.txt"),
              std::vector<std::string>{"here"});
}

// ---- Error names and texture sides ----

struct ErrorName {
    uint32_t Result;
    const char* Name;
};

class ErrorNames : public ::testing::TestWithParam<ErrorName> {};

TEST_P(ErrorNames, AreWrittenByteForByte) {
    EXPECT_EQ(GD3D9::D3DErrorName(static_cast<HRESULT>(GetParam().Result)), GetParam().Name);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, ErrorNames,
    ::testing::Values(
        ErrorName{0x88760818, "D3DERR_WRONGTEXTUREFORMAT"},
        ErrorName{0x88760819, "D3DERR_UNSUPPORTEDCOLOROPERATION"},
        ErrorName{0x8876081A, "D3DERR_UNSUPPORTEDCOLORARG"},
        ErrorName{0x8876081B, "D3DERR_UNSUPPORTEDALPHAOPERATION "},
        ErrorName{0x8876081C, "D3DERR_UNSUPPORTEDALPHAARG"},
        ErrorName{0x88760827, "D3DERR_DRIVERINTERNALERROR"},
        ErrorName{0x88760868, "D3DERR_DEVICELOST"}, ErrorName{0x88760869, "D3DERR_DEVICENOTRESET"},
        ErrorName{0x8876086A, "D3DERR_NOTAVAILABLE"}, ErrorName{0x8876086B, "D3DERR_INVALIDDEVICE"},
        ErrorName{0x8876086C, "D3DERR_INVALIDCALL"}, ErrorName{0x88760870, "D3DERR_DEVICEREMOVED"},
        ErrorName{0x88760874, "D3DERR_DEVICEHUNG"},
        ErrorName{0x8876017C, "D3DERR_OUTOFVIDEOMEMORY"},
        ErrorName{0x88760B59, "D3DXERR_INVALIDDATA"},
        ErrorName{0x80004005, "Untranslated HRESULT [-2147467259]"},
        ErrorName{0x88760871, "Untranslated HRESULT [-2005530511]"}));

TEST_F(EngineFixture, FixTextureSizeRoundsOnlyForPowerOfTwoDevices) {
    const int sizes[] = {1, 256, 257, 300, 512, 1000, 2048, 4000, 4096, 5000, 20000};
    const int pow2[] = {256, 256, 512, 512, 512, 1024, 2048, 4096, 4096, 8192, 8192};
    for (size_t i = 0; i < std::size(sizes); i++) {
        engine().NonPow2Textures = true;
        EXPECT_EQ(engine().FixTextureSize(sizes[i]), sizes[i]);
        engine().NonPow2Textures = false;
        EXPECT_EQ(engine().FixTextureSize(sizes[i]), pow2[i]) << sizes[i];
    }
}

TEST_F(EngineFixture, RefreshRateIsTheHighestOfAnyModeAndModesSortWidestFirst) {
    SKIP_UNLESS_SOFTWARE_DEVICE("injects failures");
    ASSERT_TRUE(Start());
    EXPECT_EQ(engine().GetFullscreenRefreshRate(1, 1), 75u);
    EXPECT_TRUE(Logged("Found 22 adapter modes at 1 x 1"));
    EXPECT_TRUE(Logged("Using 75 as refresh rate"));

    SoftD3D::FailNextCall("EnumAdapterModes", D3DERR_INVALIDCALL);
    EXPECT_EQ(engine().GetFullscreenRefreshRate(800, 600), 75u);
    EXPECT_TRUE(Logged("EnumAdapterModes failed"));

    engine().EnumerateDisplayModes();
    ASSERT_EQ(engine().DisplayModes.size(), 22u);
    for (size_t i = 1; i < engine().DisplayModes.size(); i++)
        EXPECT_GE(engine().DisplayModes[i - 1].Width, engine().DisplayModes[i].Width);
}

// ---- State filtering ----

TEST_F(EngineFixture, BlendModeSendsOnlyChanges) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    ASSERT_TRUE(Start());
    SoftD3D::ResetCallCounts();
    engine().SetBlendMode(0);
    EXPECT_EQ(SoftD3D::CallCount("SetRenderState"), 0u);
    engine().SetBlendMode(1);
    engine().SetBlendMode(1);
    EXPECT_EQ(SoftD3D::CallCount("SetRenderState"), 2u);
    engine().SetBlendMode(2);
    EXPECT_EQ(SoftD3D::CallCount("SetRenderState"), 2u);
    EXPECT_EQ(engine().BlendMode, 1);
    DWORD dest = 0;
    engine().PDevice->GetRenderState(D3DRS_DESTBLEND, &dest);
    EXPECT_EQ(dest, static_cast<DWORD>(D3DBLEND_ONE));
}

TEST_F(EngineFixture, BeginSceneAfterAnAdditiveFrameSetsNormalBlendingOnTheDevice) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    ASSERT_TRUE(Start());
    engine().SetBlendMode(1);
    SoftD3D::ResetCallCounts();
    engine().BeginScene();
    EXPECT_EQ(SoftD3D::CallCount("SetRenderState"), 2u);
    EXPECT_EQ(engine().BlendMode, 0);
    DWORD src = 0, dest = 0;
    engine().PDevice->GetRenderState(D3DRS_SRCBLEND, &src);
    engine().PDevice->GetRenderState(D3DRS_DESTBLEND, &dest);
    EXPECT_EQ(src, static_cast<DWORD>(D3DBLEND_SRCALPHA));
    EXPECT_EQ(dest, static_cast<DWORD>(D3DBLEND_INVSRCALPHA));
    engine().EndScene();

    // A frame that ended normal needs nothing sent.
    SoftD3D::ResetCallCounts();
    engine().BeginScene();
    EXPECT_EQ(SoftD3D::CallCount("SetRenderState"), 0u);
    engine().EndScene();
}

TEST_F(EngineFixture, SceneBracketTracksSuccessOnly) {
    SKIP_UNLESS_SOFTWARE_DEVICE("injects failures");
    ASSERT_TRUE(Start());
    SoftD3D::FailNextCall("BeginScene", D3DERR_INVALIDCALL);
    engine().BeginScene();
    EXPECT_FALSE(engine().InScene);
    EXPECT_TRUE(InOrder(Messages(), {"D3DERR_INVALIDCALL", "Begin Scene"}));
    engine().BeginScene();
    EXPECT_TRUE(engine().InScene);
    engine().EndScene();
    EXPECT_FALSE(engine().InScene);
}

// The frame rate comes from an unsigned millisecond clock, which wraps after 49.7 days: a
// frame across the wrap is as long as any other.
TEST_F(EngineFixture, FrameRateHoldsAcrossTheClocksWrap) {
    ASSERT_TRUE(Start());
    static uint32_t now = 0;
    Platform::SetMillisecondClock([] { return now; });
    engine().FrameTiming = true;
    const std::pair<uint32_t, float> frames[] = {
        {0xFFFFFFF0u, 0.0f}, {0x00000010u, 1000.0f / 32}, {0x00000024u, 1000.0f / 20}};
    engine().LastFrameTime = 0xFFFFFFE0u;
    for (const auto& [time, fps] : frames) {
        now = time;
        engine().BeginScene();
        engine().EndScene();
        if (fps > 0) {
            EXPECT_FLOAT_EQ(engine().FramesPerSecond, fps) << time;
        }
    }
    Platform::SetMillisecondClock(nullptr);
}

// ---- Drawing on pixels ----

class Drawing : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_TRUE(Start());
        engine().BeginScene();
        engine().ClearScreen(0xFF000000);
    }
    void TearDown() override {
        engine().EndScene();
        EngineFixture::TearDown();
    }
};

constexpr uint32_t kRed = 0xFFFF0000;

TEST_F(Drawing, FillRectCoversExactlyItsPixels) {
    RECT r;
    SetRect(&r, 4, 3, 12, 9);
    engine().FillRect(r, kRed);
    const std::vector<uint32_t> px = BackBuffer();
    for (int y = 0; y < kHeight; y++)
        for (int x = 0; x < kWidth; x++) {
            const bool inside = x >= 4 && x < 12 && y >= 3 && y < 9;
            ASSERT_EQ(Rgb(px, x, y), inside ? 0xFF0000u : 0u) << x << "," << y;
        }
}

TEST_F(Drawing, DrawThickRectDrawsFourBandsAroundTheEdges) {
    RECT r;
    SetRect(&r, 8, 6, 24, 18);
    engine().DrawThickRect(r, kRed, 4.0f);
    const std::vector<uint32_t> px = BackBuffer();
    // Bands reach h = 2 pixels either side of each edge: [6, 26) x [4, 8) for the top.
    for (int y = 0; y < kHeight; y++)
        for (int x = 0; x < kWidth; x++) {
            const bool outer = x >= 6 && x < 26 && y >= 4 && y < 20;
            const bool hole = x >= 10 && x < 22 && y >= 8 && y < 16;
            ASSERT_EQ(Rgb(px, x, y), outer && !hole ? 0xFF0000u : 0u) << x << "," << y;
        }
}

// Outlines: points on the shape are lit, points off it stay clear.
struct Outline {
    const char* Label;
    void (*Draw)(GD3D9& engine);
    std::vector<std::pair<int, int>> Lit;
    std::vector<std::pair<int, int>> Clear;
};

const Outline kOutlines[] = {
    {"Rect",
     [](GD3D9& e) {
         RECT r;
         SetRect(&r, 4, 4, 20, 16);
         e.DrawRect(r, kRed);
     },
     {{12, 4}, {12, 16}, {4, 10}, {20, 10}},
     {{12, 10}, {12, 2}, {2, 10}}},
    {"Line",
     [](GD3D9& e) { e.DrawLine(2.0f, 5.0f, 20.0f, 5.0f, kRed); },
     {{4, 5}, {10, 5}, {18, 5}},
     {{10, 4}, {10, 6}, {24, 5}}},
    // Eight points on the radius, clockwise from straight above the centre, closed.
    {"Circle",
     [](GD3D9& e) { e.DrawCircle(16.0f, 12.0f, 8.0f, 8, kRed); },
     {{16, 4}, {24, 12}, {16, 20}, {8, 12}},
     {{16, 12}, {16, 2}}},
};

class Outlines : public Drawing, public ::testing::WithParamInterface<Outline> {};

TEST_P(Outlines, LightTheirEdgesOnlyInOneCall) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    SoftD3D::ResetCallCounts();
    GetParam().Draw(engine());
    EXPECT_EQ(SoftD3D::CallCount("DrawPrimitiveUP"), 1u);
    const std::vector<uint32_t> px = BackBuffer();
    for (const auto& [x, y] : GetParam().Lit) EXPECT_EQ(Rgb(px, x, y), 0xFF0000u) << x << "," << y;
    for (const auto& [x, y] : GetParam().Clear) EXPECT_EQ(Rgb(px, x, y), 0u) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Engine, Outlines, ::testing::ValuesIn(kOutlines),
                         [](const auto& info) { return std::string(info.param.Label); });

TEST_F(Drawing, DrawCircleRefusesCountsAndRadiiItCannotDraw) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    SoftD3D::ResetCallCounts();
    engine().DrawCircle(16.0f, 12.0f, 8.0f, 4, kRed);
    engine().DrawCircle(16.0f, 12.0f, 8.0f, -3, kRed);
    engine().DrawCircle(16.0f, 12.0f, 8.0f, 65537, kRed);
    engine().DrawCircle(16.0f, 12.0f, -1.0f, 8, kRed);
    EXPECT_EQ(SoftD3D::CallCount("DrawPrimitiveUP"), 0u);
    EXPECT_EQ(RenderTest::CountOf(Messages(), "GD3D9::DrawCircle: assertion failed: numpoints > 4"),
              2u);
    EXPECT_TRUE(Logged("GD3D9::DrawCircle: assertion failed: numpoints <= 65536"));
    EXPECT_TRUE(Logged("GD3D9::DrawCircle: assertion failed: radius >= 0"));
    const std::vector<uint32_t> px = BackBuffer();
    for (uint32_t p : px) ASSERT_EQ(p & 0xFFFFFF, 0u);
}

TEST_F(Drawing, UntexturedDrawsClearTheTextureOnceAndBlendWithAlpha) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    SoftD3D::ResetCallCounts();
    RECT r;
    SetRect(&r, 0, 0, 4, 4);
    engine().FillRect(r, 0x80FF0000);  // half-transparent red over black
    engine().FillRect(r, 0x80FF0000);
    EXPECT_EQ(SoftD3D::CallCount("SetTexture"), 0u);  // none was already set
    const std::vector<uint32_t> px = BackBuffer();
    const uint32_t red = (Rgb(px, 1, 1) >> 16) & 0xFF;
    EXPECT_GT(red, 0xB0u);  // two half layers: 0x80 then 0x80 + 0x7F / 2
    EXPECT_LT(red, 0xD0u);
}

// ---- Screenshots ----

TEST_F(EngineFixture, ScreenshotAtTheNextFlipReadsBackAsTheFrame) {
    TestSupport::TempDir dir;
    const std::string file = dir / "shot.png";
    ASSERT_TRUE(Start());
    engine().BeginScene();
    engine().ClearScreen(0xFF102030);
    RECT r;
    SetRect(&r, 3, 2, 17, 11);
    engine().FillRect(r, 0xFFC08040);
    engine().DrawLine(0.0f, 20.0f, 31.0f, 20.0f, 0xFF00FF00);
    engine().EndScene();
    const std::vector<uint32_t> frame = BackBuffer();
    engine().RequestScreenshot(file, D3DXIFF_PNG);
    EXPECT_FALSE(std::filesystem::exists(file));
    engine().Flip();
    EXPECT_FALSE(engine().ScreenshotPending);

    int width = 0, height = 0;
    std::vector<uint32_t> image;
    ASSERT_TRUE(TestSupport::ReadImageFile(file, width, height, image));
    ASSERT_EQ(width, kWidth);
    ASSERT_EQ(height, kHeight);
    ASSERT_EQ(frame.size(), image.size());
    for (size_t i = 0; i < image.size(); i++)
        ASSERT_EQ(image[i] & 0xFFFFFF, frame[i] & 0xFFFFFF) << i;
    EXPECT_EQ(image[5 * kWidth + 5] & 0xFFFFFF, 0xC08040u);

    // A second Flip writes nothing new.
    std::filesystem::remove(file);
    engine().Flip();
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(EngineFixture, ScreenshotFailuresAreReported) {
    SKIP_UNLESS_SOFTWARE_DEVICE("injects failures");
    TestSupport::TempDir dir;
    ASSERT_TRUE(Start());
    SoftD3D::FailNextCall("GetBackBuffer", D3DERR_INVALIDCALL);
    engine().SaveScreenshot(dir / "a.png", D3DXIFF_PNG, nullptr);
    EXPECT_TRUE(InOrder(Messages(), {"D3DERR_INVALIDCALL", "Error getting backbuffer"}));
    engine().SaveScreenshot(dir / "missing/b.png", D3DXIFF_PNG, nullptr);
    EXPECT_TRUE(Logged("Error saving screenshot"));
}

// ---- Render targets ----

TEST_F(EngineFixture, RenderTargetNamesAreUniqueAndFailedOnesCanBeRetried) {
    SKIP_UNLESS_SOFTWARE_DEVICE("injects failures");
    ASSERT_TRUE(Start());
    GTextureManager& manager = GetTextureManager();
    const int32_t before = manager.GetTextureCount();

    engine().CreateRenderTarget(16, 8, "target", true);
    ASSERT_EQ(manager.GetTextureCount(), before + 1);
    GTexture9* target = manager.FindTexture("target");
    ASSERT_NE(target, nullptr);
    ASSERT_NE(target->PSurf, nullptr);
    EXPECT_EQ(target->Width, 16);
    EXPECT_EQ(target->Height, 8);
    D3DSURFACE_DESC desc;
    target->PSurf->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Usage & D3DUSAGE_RENDERTARGET, static_cast<DWORD>(D3DUSAGE_RENDERTARGET));

    engine().CreateRenderTarget(16, 8, "target", false);
    EXPECT_EQ(manager.GetTextureCount(), before + 1);
    EXPECT_TRUE(Logged("Error!, render target duplicate name [target]"));

    SoftD3D::FailNextCall("D3DXCreateTexture", D3DERR_OUTOFVIDEOMEMORY);
    engine().CreateRenderTarget(8, 8, "retry", false);
    EXPECT_TRUE(InOrder(Messages(), {"D3DERR_OUTOFVIDEOMEMORY", "Error creating texture:[retry]"}));
    EXPECT_FALSE(manager.HasTexture("retry"));
    engine().CreateRenderTarget(8, 8, "retry", false);
    ASSERT_TRUE(manager.HasTexture("retry"));
    EXPECT_NE(manager.FindTexture("retry")->PSurf, nullptr);

    SoftD3D::FailNextCall("CreateOffscreenPlainSurface", D3DERR_OUTOFVIDEOMEMORY);
    engine().CreateSystemMemoryTexture(8, 8, "sysmem");
    EXPECT_FALSE(manager.HasTexture("sysmem"));
    engine().CreateSystemMemoryTexture(8, 8, "sysmem");
    ASSERT_TRUE(manager.HasTexture("sysmem"));
    EXPECT_NE(manager.FindTexture("sysmem")->PTarget, nullptr);
}

TEST_F(EngineFixture, RenderTargetReceivesDrawing) {
    ASSERT_TRUE(Start());
    engine().CreateRenderTarget(8, 8, "canvas", false);
    IDirect3DTexture9* canvas = GetTextureManager().GetTexture("canvas");
    ASSERT_NE(canvas, nullptr);
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(canvas->GetSurfaceLevel(0, &surface), D3D_OK);
    engine().SetRenderTarget(0, surface);
    engine().BeginScene();
    engine().ClearScreen(0xFF0000FF);
    engine().EndScene();
    const std::vector<uint32_t> texels = TestSupport::RenderTargetPixels(engine().PDevice, surface);
    surface->Release();
    ASSERT_EQ(texels.size(), 64u);
    EXPECT_EQ(texels[0] & 0xFFFFFF, 0x0000FFu);
}

// ---- No device, release and restore ----

TEST_F(EngineFixture, OperationsWithoutADeviceLogAndDoNothing) {
    RECT r;
    SetRect(&r, 0, 0, 4, 4);
    engine().BeginScene();
    engine().FillRect(r, kRed);
    engine().DrawCircle(5, 5, 3, 8, kRed);
    engine().SetBlendMode(1);
    engine().CreateRenderTarget(4, 4, "nodevice", false);
    engine().Flip();
    EXPECT_TRUE(Logged("BeginScene: no Direct3D device"));
    EXPECT_TRUE(Logged("FillRect: no Direct3D device"));
    EXPECT_TRUE(Logged("Flip: no Direct3D device"));
    EXPECT_EQ(engine().BlendMode, 0);
    EXPECT_FALSE(GetTextureManager().HasTexture("nodevice"));
}

TEST_F(EngineFixture, ReleaseTwiceAndRestoreAfterReleaseAreSafe) {
    ASSERT_TRUE(Start());
    D3DPRESENT_PARAMETERS pp;
    std::memset(&pp, 0, sizeof pp);
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = window;
    engine().CreateAdditionalSwapChain(&pp);
    ASSERT_NE(engine().AdditionalSwapChain, nullptr);
    EXPECT_TRUE(Logged("Created additional swap chain"));

    engine().Release();
    EXPECT_EQ(engine().AdditionalSwapChain, nullptr);
    EXPECT_EQ(engine().PDevice, nullptr);
    EXPECT_EQ(engine().PD3D9, nullptr);
    engine().Release();
    EXPECT_TRUE(engine().Restore());
    EXPECT_NE(engine().PDevice, nullptr);
}

// Each way a host gets a fresh device: a restore, and a reset of its own followed by the
// default states.
class WireframeAcrossDevices : public EngineFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(WireframeAcrossDevices, FillFollowsTheFlagAndTheToggleStaysTrue) {
    ASSERT_TRUE(Start());
    engine().ToggleWireframe();
    ASSERT_TRUE(engine().Wireframe);
    if (GetParam()) {
        ASSERT_TRUE(engine().Restore());
    } else {
        ASSERT_EQ(engine().PDevice->Reset(&engine().PresentParams), D3D_OK);
        engine().SetDefaultRenderStates();
    }
    DWORD fill = 0;
    engine().PDevice->GetRenderState(D3DRS_FILLMODE, &fill);
    EXPECT_EQ(fill, static_cast<DWORD>(D3DFILL_WIREFRAME));

    // A filled rectangle in wireframe lights its edges and leaves its inside alone.
    RECT r;
    SetRect(&r, 4, 4, 20, 16);
    engine().BeginScene();
    engine().FillRect(r, 0xFFFF0000);
    engine().EndScene();
    std::vector<uint32_t> px = BackBuffer();
    EXPECT_EQ(Rgb(px, 7, 7), 0u);  // far from the edges and the diagonal
    size_t lit = 0;
    for (uint32_t p : px) lit += (p & 0xFFFFFF) != 0;
    EXPECT_GT(lit, 0u);

    // The toggle now turns it off, on the device as in the flag.
    engine().ToggleWireframe();
    EXPECT_FALSE(engine().Wireframe);
    engine().PDevice->GetRenderState(D3DRS_FILLMODE, &fill);
    EXPECT_EQ(fill, static_cast<DWORD>(D3DFILL_SOLID));
    engine().BeginScene();
    engine().FillRect(r, 0xFFFF0000);
    engine().EndScene();
    px = BackBuffer();
    EXPECT_EQ(Rgb(px, 7, 7), 0xFF0000u);
}

INSTANTIATE_TEST_SUITE_P(Engine, WireframeAcrossDevices, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Restore" : "ResetAndDefaultStates";
                         });

TEST_F(EngineFixture, RestoreReportsAFailedStart) {
    SKIP_UNLESS_SOFTWARE_DEVICE("injects failures");
    ASSERT_TRUE(Start());
    SoftD3D::FailNextCall("Direct3DCreate9", E_FAIL);
    EXPECT_FALSE(engine().Restore());
    EXPECT_TRUE(InOrder(Messages(), {"D3DEngine Restore called", "Direct3DCreate9 Failed",
                                     "D3DEngine Restore completed"}));
    EXPECT_EQ(engine().PDevice, nullptr);
    EXPECT_TRUE(engine().Restore());
}

}  // namespace

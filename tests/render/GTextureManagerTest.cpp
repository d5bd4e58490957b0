#include <filesystem>

#include "RenderTestSupport.h"
#include "render/FrameRecorder.h"
#include "render/GTextureScalar.h"
#include "support/PakBuilder.h"

using RenderTest::CountOf;
using RenderTest::EngineFixture;
using RenderTest::InOrder;
using RenderTest::PngBytes;
using RenderTest::WritePng;

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kGreen = 0xFF00FF00;
constexpr uint32_t kBlue = 0xFF0000FF;
constexpr uint32_t kYellow = 0xFFFFFF00;
constexpr uint32_t kWhite = 0xFFFFFFFF;

uint32_t FirstTexel(IDirect3DTexture9* texture) {
    if (texture == nullptr) return 0;
    const std::vector<uint32_t> texels = RenderTest::TexturePixels(texture);
    return texels.empty() ? 0 : texels[0];
}

// A local manager on a started engine, with sources laid out in a scratch folder:
//   first/        a.png (red), shared.png (green), .hidden/secret.png
//   second/sub/   b.png (blue), shared.png (white)
//   textures.pak  a.png (yellow, 2 x 2), pakonly.png
class Sources : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_TRUE(Start());
        first = dir / "first";
        second = dir / "second";
        fs::create_directories(first + "/.hidden");
        fs::create_directories(second + "/sub");
        WritePng(first + "/a.png", 4, 4, kRed);
        WritePng(first + "/shared.png", 4, 4, kGreen);
        WritePng(first + "/.hidden/secret.png", 4, 4, kRed);
        WritePng(second + "/sub/b.png", 4, 4, kBlue);
        WritePng(second + "/sub/shared.png", 4, 4, kWhite);
        TestSupport::PakBuilder pak;
        pak.Add("a.png", PngBytes(2, 2, kYellow)).Add("pakonly.png", PngBytes(2, 2, kWhite));
        pakPath = dir / "textures.pak";
        TestSupport::WriteFile(pakPath, pak.BytesWithDerivedOffsets());
    }

    void Configure() {
        manager.AddTextureFolder(first);
        manager.AddTextureFolder(second);
        manager.RebuildFileList();
        manager.OpenTexturePak(pakPath);
    }

    TestSupport::TempDir dir;
    std::string first, second, pakPath;
    GTextureManager manager;
};

TEST_F(Sources, PakComesFirstThenFoldersInRegistrationOrder) {
    Configure();
    IDirect3DTexture9* a = manager.GetTexture("a.png");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(FirstTexel(a), kYellow);
    float w = 0, h = 0;
    manager.GetTextureSize("a.png", w, h);
    EXPECT_EQ(w, 2.0f);
    EXPECT_EQ(h, 2.0f);

    EXPECT_EQ(FirstTexel(manager.GetTexture("shared.png")), kGreen);
    EXPECT_EQ(FirstTexel(manager.GetTexture("b.png")), kBlue);
    EXPECT_EQ(manager.GetTexture("secret.png"), nullptr);  // below a hidden folder
    // Names are case-sensitive where the file system is; Windows' opens a.png for A.png.
    if (TestSupport::kPosixFileSystem) {
        EXPECT_EQ(manager.GetTexture("A.png"), nullptr);
        EXPECT_EQ(manager.GetTextureCount(), 3);
    }

    // A second ask is answered from the held record.
    EXPECT_EQ(manager.GetTexture("a.png"), a);
    EXPECT_EQ(manager.GetTextureCount(), 3);
}

TEST_F(Sources, FoldersRegisterTheirTreeOnceAndListTheirFiles) {
    Configure();
    manager.AddTextureFolder(first);
    const std::vector<std::string>& folders = manager.GetTextureFolders();
    ASSERT_EQ(folders.size(), 3u);
    EXPECT_EQ(folders[0], first);
    EXPECT_EQ(folders[1], second);
    EXPECT_EQ(folders[2], second + "\\sub");

    std::vector<std::string> names = manager.GetFileNames();
    std::sort(names.begin(), names.end());
    // second/sub is below two registered folders, so its files are listed twice.
    EXPECT_EQ(names, (std::vector<std::string>{"a.png", "b.png", "b.png", "shared.png",
                                               "shared.png", "shared.png"}));

    EXPECT_TRUE(manager.IsTextureAvailable("pakonly.png"));
    EXPECT_TRUE(manager.IsTextureAvailable("b.png"));
    EXPECT_FALSE(manager.IsTextureAvailable("secret.png"));
    EXPECT_FALSE(manager.IsTextureAvailable(""));
    EXPECT_TRUE(Logged("Attempt to find blank texture"));
    EXPECT_FALSE(manager.LoadTexture(""));
    EXPECT_TRUE(Logged("Attempt to create blank texture"));
    EXPECT_EQ(manager.GetTextureCount(), 0);  // availability loads nothing
}

TEST_F(Sources, LoadFromFolderMatchesTheWholeNameAmongFilesOfItsExtension) {
    EXPECT_TRUE(manager.LoadTextureFromFolder("shared.png", first));
    EXPECT_FALSE(manager.LoadTextureFromFolder("hared.png", first));
    EXPECT_FALSE(manager.LoadTextureFromFolder("noextension", first));
    EXPECT_EQ(manager.GetTextureCount(), 1);
    EXPECT_EQ(FirstTexel(manager.GetTexture("shared.png")), kGreen);
}

TEST_F(Sources, OpeningASecondPakReplacesTheFirst) {
    TestSupport::PakBuilder other;
    other.Add("other.png", PngBytes(2, 2, kBlue));
    TestSupport::WriteFile(dir / "other.pak", other.BytesWithDerivedOffsets());
    manager.OpenTexturePak(pakPath);
    manager.OpenTexturePak(dir / "other.pak");
    EXPECT_FALSE(manager.IsTextureAvailable("pakonly.png"));
    EXPECT_EQ(FirstTexel(manager.GetTexture("other.png")), kBlue);
}

TEST_F(Sources, JpegsAndCompositesGetAFullMipChain) {
    fs::create_directories(dir / "art/composites");
    WritePng(dir / "art/icon.png", 8, 8, kRed);
    WritePng(dir / "art/composites/scene.png", 8, 8, kRed);
    // The device's own image writer makes the JPEG, on any device.
    IDirect3DSurface9* photo = nullptr;
    ASSERT_EQ(engine().PDevice->CreateOffscreenPlainSurface(8, 8, D3DFMT_X8R8G8B8,
                                                            D3DPOOL_SYSTEMMEM, &photo, nullptr),
              D3D_OK);
    ASSERT_EQ(D3DXSaveSurfaceToFileA((dir / "art/photo.jpg").c_str(), D3DXIFF_JPG, photo, nullptr,
                                     nullptr),
              D3D_OK);
    photo->Release();
    manager.AddTextureFolder(dir / "art");

    EXPECT_EQ(manager.GetTexture("icon.png")->GetLevelCount(), 1u);
    EXPECT_EQ(manager.GetTexture("scene.png")->GetLevelCount(), 4u);
    EXPECT_EQ(manager.GetTexture("photo.jpg")->GetLevelCount(), 4u);
}

TEST_F(Sources, ReplacementFilesComeFromTheScalingTable) {
    WritePng(first + "/hero.png", 8, 8, kRed);
    WritePng(first + "/hero_small.png", 4, 4, kBlue);
    WritePng(first + "/plain.png", 4, 4, kGreen);
    TestSupport::WriteFile(dir / "scale.ini",
                           "[textures]\nhero.png,hero_small.png \nplain.png,\n[other]\n"
                           "shared.png,b.png\n");
    GTextureScalar& scalar = GetTextureScalar();
    scalar.Load(dir / "scale.ini");
    manager.AddTextureFolder(first);

    // The record keeps the asked name; its bytes and size are the replacement's.
    IDirect3DTexture9* hero = manager.GetTexture("hero.png");
    EXPECT_EQ(FirstTexel(hero), kBlue);
    EXPECT_EQ(manager.FindTexture("hero.png")->Width, 4);
    // An entry without a file replaces nothing.
    EXPECT_EQ(FirstTexel(manager.GetTexture("plain.png")), kGreen);
    EXPECT_EQ(FirstTexel(manager.GetTexture("shared.png")), kGreen);
    scalar.Entries.clear();
}

TEST_F(Sources, FailedDecodesKeepARecordThatSetsNoTexture) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    TestSupport::WriteFile(first + "/bad.png", "not an image");
    manager.AddTextureFolder(first);
    SoftD3D::ResetCallCounts();
    manager.SetTextureByName("bad.png");  // must come back: the record stands for the name
    EXPECT_TRUE(InOrder(Messages(), {"D3DXERR_INVALIDDATA", "CreateTextureD3DX",
                                     "Error creating texture:[bad.png]"}));
    ASSERT_TRUE(manager.HasTexture("bad.png"));
    EXPECT_EQ(manager.FindTexture("bad.png")->PSurf, nullptr);
    EXPECT_EQ(manager.GetTexture("bad.png"), nullptr);
    manager.SetTextureByName("bad.png");
    EXPECT_EQ(CountOf(Messages(), "Error creating texture:[bad.png]"), 1u);
    EXPECT_LE(SoftD3D::CallCount("SetTexture"), 1u);  // at most the first set of "none"
}

TEST_F(Sources, ATruncatedPakFailsTheLoadInsteadOfDecodingGarbage) {
    manager.OpenTexturePak(pakPath);
    fs::resize_file(pakPath, fs::file_size(pakPath) - 10);
    EXPECT_TRUE(manager.LoadTexture("pakonly.png"));
    EXPECT_TRUE(Logged("CreateTextureD3DX: short read from the pak: pakonly.png"));
    EXPECT_TRUE(Logged("Error creating texture:[pakonly.png]"));
    EXPECT_EQ(manager.GetTexture("pakonly.png"), nullptr);
}

TEST_F(Sources, OverlongPathsAreRefusedNotCut) {
    const std::string longName = std::string(255, 'x') + ".png";
    manager.LoadTextureFile(longName, first);
    EXPECT_TRUE(Logged("LoadTextureFile: path too long: " + longName));
    EXPECT_EQ(manager.GetTexture(longName), nullptr);
    manager.AddTextureFolder(std::string(520, 'f'));
    EXPECT_EQ(manager.GetTextureFolders().size(), 1u);
    EXPECT_TRUE(Logged("AddTextureFolder: folder path too long: " + std::string(520, 'f')));
}

// ---- Stage 0 ----

TEST_F(Sources, RedundantSetsNeverReachTheDevice) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    Configure();
    IDirect3DTexture9* a = manager.GetTexture("a.png");
    IDirect3DTexture9* b = manager.GetTexture("b.png");
    SoftD3D::ResetCallCounts();

    manager.SetTexture(nullptr);  // the very first set reaches the device
    manager.SetTexture(nullptr);
    EXPECT_EQ(SoftD3D::CallCount("SetTexture"), 1u);
    manager.SetTexture(a);
    manager.SetTexture(a);
    EXPECT_EQ(SoftD3D::CallCount("SetTexture"), 2u);
    manager.SetTextureByName("b.png");
    manager.SetTexture(b);
    EXPECT_EQ(SoftD3D::CallCount("SetTexture"), 3u);
    manager.SetTexture(nullptr);
    manager.SetTexture(b);
    EXPECT_EQ(SoftD3D::CallCount("SetTexture"), 5u);
    IDirect3DBaseTexture9* current = nullptr;
    engine().PDevice->GetTexture(0, &current);
    EXPECT_EQ(current, b);
    if (current) current->Release();

    manager.SetTextureByName("nowhere.png");
    EXPECT_EQ(CountOf(Messages(), "Failed to locate texture: nowhere.png"), 1u);
    EXPECT_EQ(SoftD3D::CallCount("SetTexture"), 5u);
}

TEST_F(Sources, DestroyedTexturesAreForgottenByTheFilter) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    Configure();
    manager.SetTextureByName("a.png");
    manager.DeleteTextureByName("a.png");
    EXPECT_TRUE(Logged("deleted texture: a.png\n"));
    EXPECT_TRUE(Logged("Deleting texture: a.png"));
    EXPECT_FALSE(manager.HasTexture("a.png"));
    SoftD3D::ResetCallCounts();
    // Loaded again, the texture may reuse the old address; it must reach the device anyway.
    manager.SetTextureByName("a.png");
    EXPECT_EQ(SoftD3D::CallCount("SetTexture"), 1u);

    manager.ReleaseTextures();
    EXPECT_EQ(manager.GetTextureCount(), 0);
    manager.SetTexture(nullptr);
    EXPECT_EQ(SoftD3D::CallCount("SetTexture"), 2u);
}

TEST_F(Sources, SetsAreRecordedWhenAskedFor) {
    // The use list names textures as the process-wide manager knows them.
    GTextureManager& global = GetTextureManager();
    global.AddTextureFolder(second);
    GFrameRecorder& recorder = GetFrameRecorder();
    GTextureUseList& uses = GetTextureUseList();
    uses.Clear();
    IDirect3DTexture9* loose = nullptr;
    ASSERT_EQ(engine().PDevice->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &loose,
                                              nullptr),
              D3D_OK);
    engine().RecordLabel = "menu";
    engine().SetBlendMode(1);
    recorder.StartCapture();
    global.RecordTextureUse = true;
    global.SetTextureByName("b.png");
    global.SetTexture(nullptr);
    global.SetTexture(loose);
    recorder.StopCapture();
    global.SetTextureByName("b.png");
    global.SetTextureByName("b.png");  // filtered: nothing recorded
    global.RecordTextureUse = false;
    global.SetTexture(nullptr);
    loose->Release();

    ASSERT_EQ(recorder.GetRecordCount(), 1);
    const FrameRecord& record = recorder.GetRecord(0);
    EXPECT_EQ(record.Label, "SetTextureByName");
    EXPECT_EQ(record.Name, "b.png");
    EXPECT_EQ(record.BlendMode, 1);
    EXPECT_EQ(record.RecordLabel, "menu");
    EXPECT_EQ(uses.GetNames(), (std::vector<std::string>{"b.png", "null", "unknown", "b.png"}));
    uses.Clear();
    engine().RecordLabel.clear();
}

TEST_F(EngineFixture, CaptureKeepsAtMostOneRecordLessThanItsSize) {
    GFrameRecorder& recorder = GetFrameRecorder();
    recorder.Record("ignored", "x", 0);
    recorder.StartCapture();
    EXPECT_EQ(recorder.GetRecordCount(), 0);
    for (int i = 0; i < GFrameRecorder::MAXRECORDS; i++)
        recorder.Record("SetTextureByName", "x", i);
    EXPECT_EQ(recorder.GetRecordCount(), GFrameRecorder::MAXRECORDS - 1);
    EXPECT_EQ(recorder.GetRecord(GFrameRecorder::MAXRECORDS - 2).Value,
              GFrameRecorder::MAXRECORDS - 2);
    recorder.StopCapture();
}

// ---- Release for restore ----

TEST_F(Sources, ReleaseForRestoreReleasesInOrderAndBuffersEvenWithoutTextures) {
    GTextureManager& global = GetTextureManager();
    global.ReleaseTextures();
    Mark();
    // Without textures the draw log stays silent, but the buffers of the old device still go.
    global.ReleaseForRestore();
    EXPECT_EQ(Messages(),
              std::vector<std::string>({"Vertex Buffer Released", "Vertex Buffer Released"}));

    engine().CreateRenderTarget(4, 4, "restore-target", false);
    global.ReleaseForRestore();
    EXPECT_TRUE(InOrder(
        Messages(), {"Releasing TextureManager textures...", "Deleting texture: restore-target",
                     "Releasing Textmanager...", "Vertex Buffer Released", "Releasing GlobalVB...",
                     "Vertex Buffer Released"}))
        << testing::PrintToString(Messages());
    EXPECT_EQ(global.GetTextureCount(), 0);
}

// ---- Scaling table ----

TEST(TextureScalar, FindsTheFirstExactEntryAndAppendsFiles) {
    TestSupport::TempDir dir;
    TestSupport::WriteFile(dir / "one.ini",
                           "[textures]\nhero.png,hero_small.png  \nhero.png,other.png\n"
                           "/comment,x.png\nnofile.png\nthree.png,a.png,b.png\n");
    TestSupport::WriteFile(dir / "two.ini", "[textures]\nvillain.png,v.png\r\n");
    GTextureScalar scalar;
    scalar.Load("");
    EXPECT_TRUE(scalar.Entries.empty());
    scalar.Load(dir / "one.ini");
    scalar.Load(dir / "two.ini");
    scalar.Load(dir / "missing.ini");
    ASSERT_EQ(scalar.Entries.size(), 5u);

    ASSERT_NE(scalar.Find("hero.png"), nullptr);
    EXPECT_EQ(scalar.Find("hero.png")->File, "hero_small.png");
    EXPECT_EQ(scalar.Find("Hero.png"), nullptr);
    EXPECT_EQ(scalar.Find("/comment"), nullptr);
    ASSERT_NE(scalar.Find("nofile.png"), nullptr);
    EXPECT_EQ(scalar.Find("nofile.png")->File, "");
    EXPECT_EQ(scalar.Find("three.png")->File, "a.png");
    ASSERT_NE(scalar.Find("villain.png"), nullptr);
    EXPECT_EQ(scalar.Find("villain.png")->File, "v.png");
}

}  // namespace

// The batching vertex buffer and the vertex cache on the software device: lock choices of the
// ring, flushes on state changes, the transform, failures and release, counted in device
// calls and checked on pixels.
#include <memory>

#include "BatchFixture.h"
#include "diagnostics/GDebugLog.h"
#include "platform/d3d9/SoftD3D.h"
#include "render/GVertexCache.h"
#include "support/TestSupport.h"

using SoftD3D::CallCount;

namespace {

const char* const kDraws = "DrawIndexedPrimitive";
const char* const kLocks = "IDirect3DVertexBuffer9::Lock";

class VertexBufferTest : public BatchFixture {
protected:
    // n quads of one colour, side by side along the top rows.
    std::vector<ScreenVertex> Quads(int n, uint32_t colour = 0xFFFFFFFF) {
        std::vector<ScreenVertex> v(4 * n);
        for (int i = 0; i < n; i++)
            Quad(&v[4 * i], static_cast<float>(i % 16) * 4, 0, 4, 4, colour);
        return v;
    }
};

}  // namespace

TEST_F(VertexBufferTest, InitCreatesBuffersOfTheCapacityAndTheQuadPattern) {
    GlobalVB.Init(4000, true);
    ASSERT_NE(GlobalVB.VertexBuffer, nullptr);
    D3DVERTEXBUFFER_DESC vdesc;
    GlobalVB.VertexBuffer->GetDesc(&vdesc);
    EXPECT_EQ(vdesc.Size, 4000u * 28u);
    D3DINDEXBUFFER_DESC idesc;
    GlobalVB.IndexBuffer->GetDesc(&idesc);
    EXPECT_EQ(idesc.Size, 6000u * 2u);
    const uint16_t second[6] = {4, 5, 6, 6, 5, 7};
    EXPECT_EQ(std::memcmp(GlobalVB.Indices + 6, second, sizeof(second)), 0);

    GlobalVB.Init(4000, true);  // twice without a release
    GVertexBuffer tooBig;
    tooBig.Init(GVertexBuffer::MAXVERTS + 1, true);
    EXPECT_TRUE(Logged("GVertexBuffer::Init: assertion failed: !VertexBuffer"));
    EXPECT_TRUE(
        Logged("GVertexBuffer::Init: assertion failed: vertsused > 0 && vertsused <= MAXVERTS"));
    EXPECT_EQ(tooBig.VertexBuffer, nullptr);
    EXPECT_EQ(AllBuffers().size(), 1u);
}

TEST_F(VertexBufferTest, RingAppendsUntilABatchNoLongerFitsStrictly) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    GlobalVB.Init(4000, true);
    struct Case {
        int WritePos, Count, BaseVertex, WritePosAfter;
    } cases[] = {{3000, 800, 3000, 3800},  // fits: appended with a no-overwrite lock
                 {3000, 1000, 0, 1000},    // would end exactly at the capacity: discard
                 {3000, 996, 3000, 3996},
                 {0, 4000, 0, 4000}};
    for (const Case& c : cases) {
        GlobalVB.VBWritePos = c.WritePos;
        std::vector<ScreenVertex> v = Quads(c.Count / 4, 0xFF00FF00);
        SoftD3D::ResetCallCounts();
        GlobalVB.AddVerts(v.data(), c.Count);
        GlobalVB.Draw();
        EXPECT_EQ(GlobalVB.BaseVertex, c.BaseVertex) << c.WritePos << " + " << c.Count;
        EXPECT_EQ(GlobalVB.VBWritePos, c.WritePosAfter);
        EXPECT_EQ(CallCount(kLocks), 1u);
        EXPECT_EQ(CallCount(kDraws), 1u);
        EXPECT_FALSE(GlobalVB.HasPending());
    }
    // What was drawn from the middle of the ring lands where it belongs.
    GlobalVB.VBWritePos = 2000;
    ScreenVertex q[4];
    Quad(q, 20, 20, 8, 8, 0xFFFF0000);
    GlobalVB.AddVerts(q, 4);
    GlobalVB.Draw();
    EXPECT_EQ(GlobalVB.BaseVertex, 2000);
    EXPECT_EQ(Pixel(23, 23), 0xFF0000u);
    EXPECT_EQ(Pixel(29, 23), 0u);
}

TEST_F(VertexBufferTest, EmptyBatchesAndOversizedCallsMakeNoStrayDraws) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    GlobalVB.Init(16, true);
    SoftD3D::ResetCallCounts();
    GlobalVB.Flush();
    GlobalVB.Draw();
    GlobalVB.AddVerts(nullptr, 4);
    std::vector<ScreenVertex> v = Quads(6);
    GlobalVB.AddVerts(v.data(), 0);
    GlobalVB.AddVerts(v.data(), -4);
    EXPECT_EQ(CallCount(kLocks) + CallCount(kDraws), 0u);

    GlobalVB.AddVerts(v.data(), 24);  // more than the capacity: the first 16 are kept
    EXPECT_EQ(GlobalVB.LocalCopyCount, 16);
    EXPECT_EQ(GlobalVB.GetWritePtr(17), nullptr);
    ASSERT_NE(GlobalVB.GetWritePtr(16), nullptr);  // full: drawn to make room
    EXPECT_EQ(CallCount(kDraws), 1u);
    EXPECT_EQ(GlobalVB.LocalCopyCount, 0);

    // The engine draws what is pending when batching is switched off, not before.
    GlobalVB.CommitVerts(4);
    GetD3DEngine().SetBatching(true);
    GetD3DEngine().SetBatching(true);
    EXPECT_EQ(CallCount(kDraws), 1u);
    GetD3DEngine().SetBatching(false);
    EXPECT_EQ(CallCount(kDraws), 2u);
}

TEST_F(VertexBufferTest, TextureAndBlendChangesFlushOnlyWhenTheyChange) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    GlobalVB.Init(400, true);
    CTextureRef red = SolidTexture(0xFFFF0000);
    CTextureRef blue = SolidTexture(0xFF0000FF);
    CTextureRef sameAsRed = red;
    ScreenVertex q[4];
    Quad(q, 0, 0, 8, 8);
    SoftD3D::ResetCallCounts();
    GlobalVB.SetTexture(&red);
    GlobalVB.AddVerts(q, 4);
    GlobalVB.SetTexture(&sameAsRed);
    EXPECT_EQ(CallCount(kDraws), 0u);
    GlobalVB.SetTexture(&blue);
    EXPECT_EQ(CallCount(kDraws), 1u);
    EXPECT_EQ(Pixel(4, 4), 0xFF0000u) << "the pending batch drew with its own texture";
    GlobalVB.AddVerts(q, 4);
    GlobalVB.SetTexture(nullptr);
    EXPECT_EQ(CallCount(kDraws), 2u);

    // Additive blending is applied once, at the flush, and then forgotten.
    SoftD3D::ResetCallCounts();
    GlobalVB.SetBlendMode(1);
    GlobalVB.SetBlendMode(1);
    GlobalVB.AddVerts(q, 4);
    EXPECT_EQ(CallCount("SetRenderState"), 0u);
    GlobalVB.Flush();
    EXPECT_EQ(CallCount("SetRenderState"), 2u);
    EXPECT_EQ(GlobalVB.BlendMode, 2);
    EXPECT_EQ(GetD3DEngine().BlendMode, 1);
}

TEST_F(VertexBufferTest, TheBatchKeepsItsOwnCopyOfTheTextureReference) {
    GlobalVB.Init(400, true);
    auto ref = std::make_unique<CTextureRef>(SolidTexture(0xFF00FF00));
    ScreenVertex q[4];
    Quad(q, 0, 0, 8, 8);
    GlobalVB.SetTexture(ref.get());
    GlobalVB.AddVerts(q, 4);
    ref.reset();  // the caller's reference is gone before the batch is drawn
    GlobalVB.Flush();
    EXPECT_EQ(Pixel(4, 4), 0x00FF00u);
}

TEST_F(VertexBufferTest, TransformMovesLocalBatchesButNotDeferredSources) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    GlobalVB.Init(400, true);
    GlobalVB.SetTransform(100, 50, 2.0f);
    ScreenVertex q[4];
    Quad(q, 110, 60, 2, 2, 0xFFFF0000);  // drawn at (20, 20) to (24, 24)
    GlobalVB.AddVerts(q, 4);
    GlobalVB.Draw();
    EXPECT_EQ(Pixel(20, 20), 0xFF0000u);
    EXPECT_EQ(Pixel(23, 23), 0xFF0000u);
    EXPECT_EQ(Pixel(24, 24), 0u);

    ScreenVertex d[4];
    Quad(d, 2, 2, 4, 4, 0xFF0000FF);
    GlobalVB.SetDeferredSource(d, 4);
    GlobalVB.Draw();
    EXPECT_EQ(Pixel(3, 3), 0x0000FFu);
    EXPECT_EQ(d[0].X, 2.0f) << "the caller's vertices are left alone";

    std::vector<ScreenVertex> many = Quads(101);
    SoftD3D::ResetCallCounts();
    GlobalVB.SetDeferredSource(many.data(), 404);  // more than the capacity
    GlobalVB.Draw();
    EXPECT_EQ(CallCount(kLocks), 0u);
    EXPECT_TRUE(
        Logged("GVertexBuffer::SetDeferredSource: assertion failed: source && count <= VertsUsed"));
}

TEST_F(VertexBufferTest, FailedLocksDropTheBatchAndLeaveNothingStale) {
    SKIP_UNLESS_SOFTWARE_DEVICE("injects failures");
    GlobalVB.Init(400, true);
    ScreenVertex stale[4], fresh[4];
    Quad(stale, 0, 0, 8, 8, 0xFFFF0000);
    Quad(fresh, 16, 0, 8, 8, 0xFF00FF00);
    SoftD3D::FailNextCall(kLocks, D3DERR_INVALIDCALL);
    GlobalVB.AddVerts(stale, 4);
    GlobalVB.Flush();
    EXPECT_FALSE(GlobalVB.HasPending());
    EXPECT_FALSE(GlobalVB.BLocked);
    GlobalVB.AddVerts(fresh, 4);
    GlobalVB.Flush();
    EXPECT_EQ(Pixel(4, 4), 0u) << "the dropped batch never reaches the screen";
    EXPECT_EQ(Pixel(20, 4), 0x00FF00u);

    SoftD3D::FailNextCall(kLocks, D3DERR_INVALIDCALL);
    GlobalVB.LockAll();
    EXPECT_EQ(GlobalVB.AddVertsDirect(fresh, 4), -1);
    GlobalVB.LockAll();
    EXPECT_EQ(GlobalVB.AddVertsDirect(fresh, 4), 0);
    EXPECT_EQ(GlobalVB.AddVertsDirect(stale, 4), 4);
    GlobalVB.Unlock();
    EXPECT_EQ(GlobalVB.AddVertsDirect(fresh, 4), -1);
    GlobalVB.DrawQuadsAt(4, 2);
    EXPECT_EQ(Pixel(4, 4), 0xFF0000u);
}

TEST_F(VertexBufferTest, ReleasedOrUnbuiltBuffersIgnoreBatching) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls and injects failures");
    GVertexBuffer failed;
    SoftD3D::FailNextCall("CreateVertexBuffer", D3DERR_OUTOFVIDEOMEMORY);
    failed.Init(400, true);
    GlobalVB.Init(400, true);
    ScreenVertex q[4];
    Quad(q, 0, 0, 8, 8);
    GlobalVB.AddVerts(q, 4);
    GlobalVB.Release();
    EXPECT_EQ(GlobalVB.VertexBuffer, nullptr);
    EXPECT_EQ(GlobalVB.LocalMem, nullptr);
    EXPECT_FALSE(GlobalVB.HasPending());
    SoftD3D::ResetCallCounts();
    for (GVertexBuffer* vb : {&failed, &GlobalVB}) {
        vb->AddVerts(q, 4);
        EXPECT_EQ(vb->GetWritePtr(4), nullptr);
        vb->CommitVerts(4);
        vb->SetDeferredSource(q, 4);
        vb->Flush();
        vb->LockAll();
        EXPECT_EQ(vb->AddVertsDirect(q, 4), -1);
    }
    EXPECT_EQ(CallCount(kLocks) + CallCount(kDraws), 0u);

    // Init again after the release: batching goes on.
    GlobalVB.Init(400, true);
    GlobalVB.AddVerts(q, 4);
    GlobalVB.Flush();
    EXPECT_EQ(CallCount(kDraws), 1u);
    EXPECT_EQ(Pixel(4, 4), 0xFFFFFFu);
}

TEST_F(VertexBufferTest, BatchingGoesOnAfterALostDeviceIsRestored) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls and loses the device on purpose");
    GD3D9& engine = GetD3DEngine();
    GlobalVB.Init(400, true);
    ScreenVertex q[4];
    Quad(q, 0, 0, 8, 8, 0xFFFF0000);
    GlobalVB.AddVerts(q, 4);
    SoftD3D::SetDeviceLost(device, true);
    engine.EndScene();
    SoftD3D::ResetCallCounts();
    engine.Flip();
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);

    // No texture is held, yet the restore must still let go of GlobalVB's buffers: they
    // belong to the old device.
    ASSERT_TRUE(engine.Restore());
    EXPECT_EQ(GlobalVB.VertexBuffer, nullptr);
    EXPECT_FALSE(GlobalVB.HasPending());
    device = engine.PDevice;
    GlobalVB.Init(400, true);
    ASSERT_NE(GlobalVB.VertexBuffer, nullptr);
    engine.BeginScene();
    Quad(q, 16, 16, 8, 8, 0xFF00FF00);
    GlobalVB.AddVerts(q, 4);
    GlobalVB.Flush();
    EXPECT_EQ(Pixel(20, 20), 0x00FF00u);
    EXPECT_EQ(Pixel(4, 4), 0u) << "the batch of the lost device is gone";
}

TEST_F(VertexBufferTest, RestoreAllRebuildsEveryRegisteredBufferAndKeepsTheBatch) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    GVertexBuffer other;
    other.Init(40, false);
    GlobalVB.Init(400, true);
    ScreenVertex q[4];
    Quad(q, 8, 8, 8, 8, 0xFFFF0000);
    GlobalVB.AddVerts(q, 4);
    GlobalVB.VBWritePos = 300;
    SoftD3D::ResetCallCounts();
    GVertexBuffer::RestoreAll();
    EXPECT_EQ(CallCount("CreateVertexBuffer"), 2u);
    EXPECT_EQ(CallCount("CreateIndexBuffer"), 2u);
    EXPECT_EQ(GlobalVB.VBWritePos, 0) << "a new device buffer starts a new ring";
    EXPECT_EQ(other.Indices[5], 0) << "other keeps its all-zero pattern";
    GlobalVB.Flush();
    EXPECT_EQ(GlobalVB.BaseVertex, 0);
    EXPECT_EQ(Pixel(12, 12), 0xFF0000u) << "the pending batch survived in system memory";
    other.Release();
    EXPECT_EQ(AllBuffers().size(), 1u);
}

TEST_F(VertexBufferTest, VertexCacheKeepsWhatFitsAndRedrawsIt) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    GlobalVB.Init(16, true);
    std::vector<ScreenVertex> v = Quads(10, 0xFF0000FF);
    GVertexCache small(8);
    small.AddVerts(v.data(), 12);
    small.AddVerts(v.data(), 4);
    EXPECT_EQ(small.Count, 8);
    SoftD3D::ResetCallCounts();
    small.Draw();
    small.Draw();
    EXPECT_EQ(CallCount(kDraws), 2u);
    small.Clear();
    EXPECT_TRUE(small.IsEmpty());
    small.Draw();
    EXPECT_EQ(CallCount(kDraws), 2u);

    // A cache larger than GlobalVB goes out whole, in batches the buffer can hold.
    GVertexCache big(40);
    big.AddVerts(v.data(), 40);
    SoftD3D::ResetCallCounts();
    big.Draw();
    EXPECT_EQ(CallCount(kDraws), 3u);
    EXPECT_EQ(Pixel(37, 2), 0x0000FFu) << "the tenth quad";
}

// Run by the next test in a child process: ends with GlobalVB set up and the debug log open,
// so the process's own teardown releases the buffer.
TEST(GlobalVBAtExit, DISABLED_LeftSetUp) {
    GetDebugLog().Init("");
    // The window stays for the process's life, as the buffer does.
    static std::unique_ptr<Platform::Window> window = TestSupport::MakeHeadlessWindow(8, 8);
    ASSERT_TRUE(GetD3DEngine().Init(window->Handle(), 8, 8, true));
    GlobalVB.Init(64, true);
    ASSERT_EQ(AllBuffers().size(), 1u);
}

TEST(GlobalVBAtExit, ReleasesWhileTheLogAndTheRegistryStillExist) {
    SKIP_WITHOUT_DEVICE();
    TestSupport::TempDir dir;
    TestSupport::RunResult run = TestSupport::Run(
        BIN_DIR "/test_render",
        {"--gtest_also_run_disabled_tests", "--gtest_filter=GlobalVBAtExit.DISABLED_LeftSetUp"},
        dir.Path());
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    std::vector<std::string> lines = TestSupport::ReadLines(dir.Path() / "debug" / "debug.txt");
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("- Vertex Buffer Released"), std::string::npos) << lines.back();
}

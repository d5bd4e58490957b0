// On Windows the tests draw on the system's Direct3D, which has none of the software device's
// test hooks. These stand in for them so that test files mixing kinds build on both systems:
// a test that uses a hook skips first (SKIP_UNLESS_SOFTWARE_DEVICE), and one that reaches a
// hook anyway fails here by name. Resetting hooks that do not exist is harmless and allowed.
#include <gtest/gtest.h>

#include "platform/d3d9/SoftD3D.h"
#include "support/DeviceSupport.h"

namespace TestSupport {
const bool kSoftwareDevice = false;
}  // namespace TestSupport

namespace SoftD3D {

namespace {
void Unavailable(const char* hook) {
    ADD_FAILURE() << "SoftD3D::" << hook
                  << " is the software device's hook; this test must skip on the system's device";
}
}  // namespace

namespace detail {
uint64_t Counts[kMaxNames];
uint32_t Armed = 0;
HRESULT AnswerArmed(const CallSite&) {
    return S_OK;
}
}  // namespace detail

CallSite::CallSite(const char*, const char*) : Bare(0), Qualified(0) {}

HWND CreateHeadlessWindow(int, int) {
    Unavailable("CreateHeadlessWindow");
    return nullptr;
}
void DestroyHeadlessWindow(HWND) {}
bool GetClientSize(HWND, int&, int&) {
    Unavailable("GetClientSize");
    return false;
}
bool SetClientSize(HWND, int, int) {
    Unavailable("SetClientSize");
    return false;
}
bool GetLastFrame(HWND, Frame&) {
    Unavailable("GetLastFrame");
    return false;
}
bool SetPresenter(HWND, Presenter, void*) {
    Unavailable("SetPresenter");
    return false;
}
uint64_t CallCount(const char*) {
    Unavailable("CallCount");
    return 0;
}
void ResetCallCounts() {}
void FailNextCall(const char*, HRESULT) {
    Unavailable("FailNextCall");
}
void ClearFailures() {}
HRESULT EnterCall(const char*, const char*) {
    return S_OK;
}
void SetCapsOverrides(const CapsOverrides&) {
    Unavailable("SetCapsOverrides");
}
const CapsOverrides& GetCapsOverrides() {
    static const CapsOverrides defaults;
    return defaults;
}
bool SetDeviceLost(IDirect3DDevice9*, bool) {
    Unavailable("SetDeviceLost");
    return false;
}
void ResetHooks() {}

}  // namespace SoftD3D

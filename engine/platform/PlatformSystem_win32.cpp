// Clocks, the shell's "open" verb, the system version and the debug heap's flag word on Windows.
// windows.h first: the other system headers build on its types.
// clang-format off
#include <windows.h>
#include <crtdbg.h>
#include <mmsystem.h>
#include <shellapi.h>
// clang-format on

#include <atomic>

#include "platform/Platform.h"

namespace Platform {

namespace {

#if !(defined(_MSC_VER) && defined(_DEBUG))
// Release runtimes (and mingw) have no debug heap; keep the word here so settings still round-trip.
int DebugHeapFlags = 0x01;
#endif

}  // namespace

namespace {
std::atomic<MillisecondClock> millisecondClock{nullptr};
std::atomic<const CounterClock*> counterClock{nullptr};
}  // namespace

int64_t PerformanceFrequency() {
    LARGE_INTEGER frequency;
    if (!QueryPerformanceFrequency(&frequency)) return 0;
    return frequency.QuadPart;
}

int64_t PerformanceCounter() {
    if (const CounterClock* clock = counterClock.load()) return clock->Now();
    LARGE_INTEGER count;
    if (!QueryPerformanceCounter(&count)) return 0;
    return count.QuadPart;
}

void WaitForCounter(int64_t counter) {
    if (const CounterClock* clock = counterClock.load()) {
        clock->WaitUntil(counter);
        return;
    }
    const int64_t frequency = PerformanceFrequency();
    if (frequency <= 0) return;
    // Sleeps end on the system's timer ticks, so the last millisecond or two is spun.
    for (int64_t now = PerformanceCounter(); now < counter; now = PerformanceCounter()) {
        const int64_t ms = (counter - now) * 1000 / frequency;
        if (ms > 2) Sleep(static_cast<DWORD>(ms - 2));
    }
}

void SetCounterClock(const CounterClock* clock) {
    counterClock = clock;
}

uint32_t MillisecondTime() {
    if (const MillisecondClock clock = millisecondClock.load()) return clock();
    return timeGetTime();
}

void SetMillisecondClock(MillisecondClock clock) {
    millisecondClock = clock;
}

bool ShellOpen(const std::string& target) {
    SHELLEXECUTEINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.cbSize = sizeof(info);
    info.fMask = 0;
    info.hwnd = nullptr;
    info.lpVerb = "open";
    info.lpFile = target.c_str();
    info.lpParameters = nullptr;
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExA(&info)) return true;
    SetLastError(::GetLastError());
    return false;
}

OsVersion GetOsVersion() {
    OsVersion version;
    // The compatibility layer makes GetVersionEx report an old version to programs without a
    // manifest; the kernel's own call tells the truth.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll != nullptr) {
        auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
        OSVERSIONINFOW info;
        ZeroMemory(&info, sizeof(info));
        info.dwOSVersionInfoSize = sizeof(info);
        if (rtlGetVersion != nullptr && rtlGetVersion(&info) == 0) {
            version.Major = info.dwMajorVersion;
            version.Minor = info.dwMinorVersion;
            return version;
        }
    }
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    if (GetVersionExA(&info)) {
        version.Major = info.dwMajorVersion;
        version.Minor = info.dwMinorVersion;
    }
    return version;
}

#if defined(_MSC_VER) && defined(_DEBUG)
int GetDebugHeapFlags() {
    return _CrtSetDbgFlag(_CRTDBG_REPORT_FLAG);
}

void SetDebugHeapFlags(int flags) {
    _CrtSetDbgFlag(flags);
}
#else
int GetDebugHeapFlags() {
    return DebugHeapFlags;
}

void SetDebugHeapFlags(int flags) {
    DebugHeapFlags = flags;
}
#endif

}  // namespace Platform

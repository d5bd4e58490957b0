// Clocks, the desktop's "open" verb, the system version and the debug-heap flag word on POSIX.
#include <errno.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>

#include <atomic>
#include <vector>

#include "platform/Platform.h"

extern char** environ;

namespace Platform {

namespace {

int64_t MonotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Openers started earlier; the ones that have finished are reaped on the next call so none
// lingers as a zombie, and none is waited for.
std::vector<pid_t>& StartedOpeners() {
    static std::vector<pid_t> pids;
    return pids;
}

void ReapFinishedOpeners() {
    auto& pids = StartedOpeners();
    for (size_t i = 0; i < pids.size();) {
        int status = 0;
        pid_t done = waitpid(pids[i], &status, WNOHANG);
        if (done == pids[i] || (done < 0 && errno == ECHILD)) {
            pids.erase(pids.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            i++;
        }
    }
}

bool HasUrlScheme(const std::string& target) {
    size_t colon = target.find(':');
    if (colon == std::string::npos || colon < 2) return false;
    for (size_t i = 0; i < colon; i++) {
        char c = target[i];
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                  (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok) return false;
    }
    return true;
}

int DebugHeapFlags = 0x01;  // allocations tracked, as the debug runtime starts

}  // namespace

namespace {
std::atomic<MillisecondClock> millisecondClock{nullptr};
std::atomic<const CounterClock*> counterClock{nullptr};
}  // namespace

int64_t PerformanceFrequency() {
    return 1000000000;
}

int64_t PerformanceCounter() {
    if (const CounterClock* clock = counterClock.load()) return clock->Now();
    return MonotonicNanoseconds();
}

void WaitForCounter(int64_t counter) {
    if (const CounterClock* clock = counterClock.load()) {
        clock->WaitUntil(counter);
        return;
    }
    // An absolute wake-up time: a sleep that is interrupted, or starts late, still ends on it.
    timespec due{};
    due.tv_sec = static_cast<time_t>(counter / 1000000000);
    due.tv_nsec = static_cast<long>(counter % 1000000000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) {
    }
}

void SetCounterClock(const CounterClock* clock) {
    counterClock = clock;
}

uint32_t MillisecondTime() {
    if (const MillisecondClock clock = millisecondClock.load()) return clock();
    return static_cast<uint32_t>(MonotonicNanoseconds() / 1000000);
}

void SetMillisecondClock(MillisecondClock clock) {
    millisecondClock = clock;
}

bool ShellOpen(const std::string& target) {
    ReapFinishedOpeners();
    std::string argument = HasUrlScheme(target) ? target : NativePath(target);
    // The opener reads a leading "-" as an option; a file name that starts with one is meant
    // as a file in the working folder.
    if (!argument.empty() && argument[0] == '-') argument = "./" + argument;

    std::string program = "xdg-open";
    char* argv[] = {&program[0], &argument[0], nullptr};
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ);
    if (rc != 0) {
        // No opener on this system means nothing is associated with any document.
        SetLastError(rc == ENOENT ? kErrorNoAssociation
                                  : (rc == EACCES ? kErrorAccessDenied : kErrorGenFailure));
        return false;
    }
    StartedOpeners().push_back(pid);
    return true;
}

OsVersion GetOsVersion() {
    // Report a current system so version tests answer as they would on one.
    OsVersion version;
    version.Major = 10;
    version.Minor = 0;
    return version;
}

int GetDebugHeapFlags() {
    return DebugHeapFlags;
}

void SetDebugHeapFlags(int flags) {
    DebugHeapFlags = flags;
}

}  // namespace Platform

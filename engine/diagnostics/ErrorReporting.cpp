#include "diagnostics/ErrorReporting.h"

#include <cstdio>

#include "diagnostics/GDebugLog.h"
#include "diagnostics/StringHelpers.h"
#include "platform/Platform.h"

namespace {

const int kLeakCheckAtExit = 0x20;
const int kCheckAlways = 0x04;

ShellOpener CurrentShellOpener = nullptr;

bool RunShellOpen(const std::string& target) {
    if (CurrentShellOpener != nullptr) return CurrentShellOpener(target);
    return Platform::ShellOpen(target);
}

}  // namespace

void SetShellOpener(ShellOpener opener) {
    CurrentShellOpener = opener;
}

void OpenWithShell(std::string target) {
    if (RunShellOpen(target)) return;
    uint32_t code = Platform::GetLastError();
    // The system's text ends in a line end of its own; the log adds one.
    std::string text = TrimTrailingWhitespace(Platform::ErrorMessage(code));
    char message[256];
    snprintf(message, sizeof(message), "%s", text.c_str());
    GetDebugLog().Log(message);
}

void SendEmail(std::string subject, std::string body, std::string address) {
    char url[256];
    int length = snprintf(url, sizeof(url), "mailto:%s?subject=%s&body=%s", address.c_str(),
                          subject.c_str(), body.c_str());
    // A cut URL would send a different message than the caller wrote.
    if (length < 0 || length >= static_cast<int>(sizeof(url))) {
        char message[256];
        snprintf(message, sizeof(message), "SendEmail message too long (%d characters)", length);
        GetDebugLog().Log(message);
        return;
    }
    RunShellOpen(url);
}

bool IsWindowsXPOrLater() {
    return IsWindowsXPOrLater(Platform::GetOsVersion());
}

bool IsWindowsXPOrLater(Platform::OsVersion version) {
    return version.Major > 5 || (version.Major == 5 && version.Minor >= 1);
}

bool IsWindowsVista() {
    return IsWindowsVista(Platform::GetOsVersion());
}

bool IsWindowsVista(Platform::OsVersion version) {
    return version.Major == 6 && version.Minor == 0;
}

bool IsWindows7OrLater() {
    return IsWindows7OrLater(Platform::GetOsVersion());
}

bool IsWindows7OrLater(Platform::OsVersion version) {
    return version.Major > 6 || (version.Major == 6 && version.Minor >= 1);
}

void SetDebugHeapChecks(bool on) {
    int flags = Platform::GetDebugHeapFlags();
    if (on) {
        flags |= kLeakCheckAtExit | kCheckAlways;
    } else {
        flags &= ~(kLeakCheckAtExit | kCheckAlways);
    }
    Platform::SetDebugHeapFlags(flags);
}

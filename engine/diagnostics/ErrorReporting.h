/// @file
/// The library's few contacts with the desktop: handing a document or address to the shell,
/// preparing a mail message, telling system versions apart, and the debug heap's own checks.
#pragma once

#include <string>

#include "platform/Platform.h"

/// Opens a file or URL with the program the desktop associates with it. A failure is written
/// to the debug log with the system's text for it; nothing is returned either way.
void OpenWithShell(std::string target);
/// Opens the user's mail program on a new message. The texts go into the mailto URL as they
/// stand, so "&" or "?" in subject or body cut them short. A URL longer than 255 characters is
/// refused with a log line instead of being cut.
void SendEmail(std::string subject, std::string body, std::string address);

/// Tests of the running system's version, each also answering for a given version.
bool IsWindowsXPOrLater();
bool IsWindowsVista();
bool IsWindows7OrLater();
bool IsWindowsXPOrLater(Platform::OsVersion version);
bool IsWindowsVista(Platform::OsVersion version);
bool IsWindows7OrLater(Platform::OsVersion version);

/// Switches the leak report at exit and the check on every allocation on or off; the other
/// bits of the debug heap's flag word stay as they are.
void SetDebugHeapChecks(bool on);

/// Tests watch what would reach the shell here; null returns to the platform's shell.
using ShellOpener = bool (*)(const std::string& target);
void SetShellOpener(ShellOpener opener);

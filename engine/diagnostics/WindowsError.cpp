#include "diagnostics/WindowsError.h"

#include "diagnostics/GDebugLog.h"
#include "platform/Platform.h"

void WindowsError(std::string context) {
    const uint32_t code = Platform::GetLastError();
    Platform::ShowMessageBox("WindowsError", Platform::ErrorMessage(code));
    GetDebugLog().Log(context);
    Platform::ExitProcessNow(code);
}

// Opens the debug log in a scratch folder for the life of the object and collects every
// message that the log and the error log hand to the debugger, one entry per message.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "diagnostics/GDebugLog.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

class LogCapture {
public:
    LogCapture() {
        GetDebugLog().Init(dir.Path().string());
        Platform::SetDebuggerSink(
            [](const std::string& text, void* self) {
                if (text != "\n") static_cast<LogCapture*>(self)->Messages.push_back(text);
            },
            this);
    }
    ~LogCapture() {
        Platform::SetDebuggerSink(nullptr, nullptr);
        GetDebugLog().Close();
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    bool Contains(const std::string& message) const {
        return std::find(Messages.begin(), Messages.end(), message) != Messages.end();
    }

    std::vector<std::string> Messages;

private:
    TestSupport::TempDir dir;
};

#include "EngineMessages.h"

#include <random>

#include "diagnostics/GDebugLog.h"
#include "platform/Platform.h"

EngineMessages::EngineMessages() {
    // The log writes only while it has a file open, so it gets a scratch folder of its own;
    // the folder is made here first so that opening the log cannot fail and end the tool.
    // A folder in memory where the system has one: making and removing folders on disk
    // costs more than many a small command.
    std::error_code ec;
    std::vector<std::filesystem::path> places;
    if (std::filesystem::is_directory("/dev/shm", ec)) places.emplace_back("/dev/shm");
    const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    if (!ec) places.push_back(temp);
    std::random_device random;
    for (const std::filesystem::path& place : places) {
        for (int attempt = 0; attempt < 16 && Folder.empty(); ++attempt) {
            const std::filesystem::path candidate = place / ("pak-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, ec)) Folder = candidate;
        }
        if (!Folder.empty()) break;
    }
    if (Folder.empty()) return;
    GetDebugLog().Init(Folder.string());
    Platform::SetDebuggerSink(&EngineMessages::Receive, this);
}

EngineMessages::~EngineMessages() {
    if (Folder.empty()) return;
    Platform::SetDebuggerSink(nullptr, nullptr);
    GetDebugLog().Close();
    std::error_code ec;
    std::filesystem::remove_all(Folder, ec);
}

std::vector<std::string> EngineMessages::Take() {
    std::vector<std::string> lines;
    lines.swap(Lines);
    return lines;
}

void EngineMessages::Receive(const std::string& text, void* context) {
    EngineMessages& self = *static_cast<EngineMessages*>(context);
    for (char c : text) {
        if (c == '\n') {
            if (!self.Pending.empty() && self.Pending.back() == '\r') self.Pending.pop_back();
            self.Lines.push_back(self.Pending);
            self.Pending.clear();
        } else {
            self.Pending += c;
        }
    }
}

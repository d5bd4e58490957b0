// The engine reports problems as debug-log lines. While an EngineMessages object lives, those
// lines are caught and kept so that the tool can tell its user on standard error.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

class EngineMessages {
public:
    EngineMessages();
    ~EngineMessages();
    EngineMessages(const EngineMessages&) = delete;
    EngineMessages& operator=(const EngineMessages&) = delete;

    // False when no scratch folder could be made: nothing is caught then.
    bool Active() const { return !Folder.empty(); }
    // The lines logged so far, oldest first; the list is emptied.
    std::vector<std::string> Take();

private:
    static void Receive(const std::string& text, void* context);

    std::filesystem::path Folder;
    std::string Pending;
    std::vector<std::string> Lines;
};

// A platform for tests: folder-dialog answers and a fixed screen and volumes
// are given in advance; every message box is recorded instead of shown.
// Put one on the stack; it is the platform until it goes out of scope.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "vela/platform.h"

namespace vela::testing {

class UnexpectedDialog : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

class TestPlatform : public Platform {
public:
    TestPlatform();
    ~TestPlatform() override;
    TestPlatform(const TestPlatform&) = delete;
    TestPlatform& operator=(const TestPlatform&) = delete;

    // The next folder dialog returns this folder; nullopt: it is cancelled.
    void AnswerNextFolder(std::optional<std::string> folder) { folders_.push_back(std::move(folder)); }
    int PendingFolderAnswers() const { return int(folders_.size()); }

    const std::vector<std::string>& Messages() const { return messages_; }
    void ClearMessages() { messages_.clear(); }
    // Runs when a message box would show, before it is recorded as dismissed.
    std::function<void(const std::string&)> onMessage;
    // Runs at every background-task call.
    std::function<void()> onBackgroundTask;
    int BackgroundTaskCalls() const { return backgroundCalls_; }

    int screenWidth = 1024, screenHeight = 768;
    std::vector<VolumeInfo> volumes;

    void MsgBox(const std::string& text) override;
    std::optional<std::string> SelectFolder() override;
    // Runs when the screen size is asked for; a test may throw from it.
    std::function<void()> onScreenQuery;
    int ScreenWidth() override
    {
        if (onScreenQuery)
            onScreenQuery();
        return screenWidth;
    }
    int ScreenHeight() override { return screenHeight; }
    std::vector<VolumeInfo> Volumes() override { return volumes; }
    void BackgroundTask() override;

private:
    std::deque<std::optional<std::string>> folders_;
    std::vector<std::string> messages_;
    int backgroundCalls_ = 0;
};

} // namespace vela::testing

// The seam between the framework and the machine it runs on: dialogs, screen
// and mounted volumes. The test platform puts scripted versions in its place.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vela {

struct VolumeInfo {
    std::string name;
    std::string path;
};

class Platform {
public:
    virtual ~Platform() = default;
    virtual void MsgBox(const std::string& text) = 0;
    // The chosen folder's path; nothing when cancelled.
    virtual std::optional<std::string> SelectFolder() = 0;
    virtual int ScreenWidth() = 0;
    virtual int ScreenHeight() = 0;
    virtual std::vector<VolumeInfo> Volumes() = 0;
    // Called from RuntimeBackgroundTask; tests use it to act during a long job.
    virtual void BackgroundTask() {}
};

Platform& CurrentPlatform();
// nullptr puts the real platform back.
void SetPlatform(Platform* platform);

// The mounted file systems that hold files, root first, read from a
// mountinfo table; by-label is the folder of label links.
std::vector<VolumeInfo> ReadMountTable(const std::string& mountinfo = "/proc/self/mountinfo",
                                       const std::string& byLabel = "/dev/disk/by-label");

} // namespace vela

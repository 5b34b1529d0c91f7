// Placing a file safely: a target file is at every moment as it was, the
// source's whole file, or absent, also when the program is killed. And,
// since it knows every file system written to, their flush at the end
// (FlushWrites).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>

#include "datacopy.h"
#include "vela/folderitem.h"

namespace vela::detail {

// How a new file comes to its name. Learnt per file system, and what the
// process may not do for all of them: a failed try would cost a system
// call a file. Each way is the fallback of the one before it.
enum class Placement {
    // Written unnamed (O_TMPFILE), named by its descriptor (AT_EMPTY_PATH).
    UnnamedLinkedByDescriptor,
    // The same, named through /proc/self/fd: no right to link a descriptor.
    UnnamedLinkedThroughProc,
    // Written under a temporary name in the work folder, renamed when whole:
    // no unnamed files on that file system, or no way to name them.
    TemporaryName,
};

struct PlaceFailure {
    FileError error;
    const char* what;
    int err;
};

// A folder that files are placed in, held open while its FolderItem lives.
class TargetFolder {
public:
    // The folder path names, from the folder at; what a killed copy of ours
    // left in it is removed unless it was made empty by this run. Nullptr
    // with errno set on failure.
    static std::unique_ptr<TargetFolder> Open(int at, const char* path, const std::string& fullPath,
                                              bool madeEmpty);
    ~TargetFolder();
    TargetFolder(const TargetFolder&) = delete;
    TargetFolder& operator=(const TargetFolder&) = delete;

    // Places a copy of the regular file src, whose status is st, here under
    // name, with its data, modification time and permissions (less the
    // umask, plus owner write), replacing a file of that name in one step;
    // a folder of that name, or the user's link to one, stays.
    std::optional<PlaceFailure> Place(int src, const struct stat& st, const std::string& name,
                                      BetweenPieces between);

    struct FileSystem;

private:
    TargetFolder(int fd, dev_t dev, FileSystem& fs) : fd_(fd), dev_(dev), fs_(fs) {}
    template <class Make>
    int InWorkFolder(Make make);
    template <class Make>
    std::optional<PlaceFailure> UnderTemporaryName(const std::string& name, std::string& temporary,
                                                   const char* what, Make make, int& made);

    int fd_;
    int workFd_ = -1;  // the work folder, while this copy uses it
    dev_t dev_;
    FileSystem& fs_;
};

} // namespace vela::detail

#include "placement.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <random>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

#include "fileio.h"

namespace vela::detail {

// Per file system, learnt once: a failed try would cost a system call a file.
struct TargetFolder::FileSystem {
    dev_t dev;
    Placement placement;
    std::string folder;  // a folder on it, to flush it by
    bool written = false;
};

namespace {

// Temporary names live in a folder of the program's own inside the target
// folder, never beside the user's files: whatever a user's file is called,
// it is never taken for ours. The names are ASCII, so every file system
// stores them, whatever the disc's name.
constexpr char workFolder[] = ".tessavel-temp";
constexpr char tempPrefix[] = ".part-";
constexpr std::size_t tempPrefixSize = sizeof(tempPrefix) - 1;
constexpr std::size_t tempRandom = 16;
constexpr char folderInTheWayText[] = "a folder of that name is in the way";

std::string tempName()
{
    static std::mt19937_64 rng{std::random_device{}()};
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string s = tempPrefix;
    for (std::size_t i = 0; i < tempRandom; ++i)
        s += alphabet[rng() % 36];
    return s;
}

// A name that only a copy of ours gives a file in its work folder.
bool isTempName(std::string_view n)
{
    if (n.size() != tempPrefixSize + tempRandom || n.substr(0, tempPrefixSize) != tempPrefix)
        return false;
    for (char c : n.substr(tempPrefixSize))
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    return true;
}

using FileSystem = TargetFolder::FileSystem;

// Stable addresses: each target folder keeps a reference to its own.
std::deque<FileSystem>& fileSystems()
{
    static auto* known = new std::deque<FileSystem>;
    return *known;
}

// What the process may not do holds on every file system, also on those
// it meets later.
Placement& processPlacement()
{
    static Placement least = Placement::UnnamedLinkedByDescriptor;
    return least;
}

void learnOfProcess(Placement placement)
{
    processPlacement() = std::max(processPlacement(), placement);
    for (auto& fs : fileSystems())
        fs.placement = std::max(fs.placement, placement);
}

FileSystem& fileSystemOf(dev_t dev, const std::string& folder)
{
    auto& known = fileSystems();
    for (auto& fs : known)
        if (fs.dev == dev)
            return fs;
    known.push_back({dev, processPlacement(), folder, false});
    return known.back();
}

// Gives the unnamed file fd the name in the folder dir, as how says;
// false with errno set.
bool linkUnnamed(Placement& how, int fd, int dir, const char* name)
{
    if (how == Placement::UnnamedLinkedByDescriptor) {
        if (::linkat(fd, "", dir, name, AT_EMPTY_PATH) == 0)
            return true;
        if (errno != ENOENT && errno != EPERM)
            return false;
    }
    // Without the right to link a descriptor, its /proc entry links it.
    char proc[40];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, proc, dir, name, AT_SYMLINK_FOLLOW) != 0)
        return false;
    if (how != Placement::UnnamedLinkedThroughProc) {
        how = Placement::UnnamedLinkedThroughProc;
        learnOfProcess(how);
    }
    return true;
}

// The permissions a new file gets from open(): what the umask leaves.
mode_t processUmask()
{
    static const mode_t mask = [] {
        mode_t m = ::umask(022);
        ::umask(m);
        return m;
    }();
    return mask;
}

// Removes what a copy of ours that was killed left in the folder's work
// folder, then the work folder once it is empty. A file that another copy
// running now holds locked is still being written, and stays.
void removeLeftovers(int folder)
{
    Fd work(openAt(folder, workFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (work.fd < 0)
        return;
    std::vector<std::string> found;
    readEntries(work.fd, [&](const char* n, unsigned char) {
        if (isTempName(n))
            found.emplace_back(n);
    });
    for (const auto& n : found) {
        // Open for writing where it can be: NFS grants an exclusive lock only then.
        constexpr int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        Fd file(openAt(work.fd, n.c_str(), O_RDWR | flags));
        if (file.fd < 0)
            file.fd = openAt(work.fd, n.c_str(), O_RDONLY | flags);
        struct stat st;
        if (file.fd >= 0 && ::fstat(file.fd, &st) == 0 && S_ISREG(st.st_mode) &&
            ::flock(file.fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(work.fd, n.c_str(), 0);
    }
    ::unlinkat(folder, workFolder, AT_REMOVEDIR);
}

// A new file under the name in the work folder, locked while it is written
// so that no other copy's clean-up takes it; -1 with errno set, EEXIST
// where another name is to be tried.
int createLocked(int work, const char* name, mode_t mode)
{
    const int fd = openAt(work, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0)
        return -1;
    // Another copy's clean-up may have taken the file between its making
    // and the lock; then it has no name left. Once locked it stays ours.
    struct stat mine;
    if ((::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) && ::fstat(fd, &mine) == 0 &&
        mine.st_nlink > 0)
        return fd;
    closeFile(fd);
    errno = EEXIST;
    return -1;
}

// Root installing into a user's folder hands the work folder to that user,
// so that the user's own later runs can clear what a killed one left there.
void giveToOwnerOf(int folder, const char* name)
{
    struct stat st;
    if (::geteuid() == 0 && ::fstat(folder, &st) == 0 && st.st_uid != 0)
        (void)!::fchownat(folder, name, st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW);
}

// Whether a folder, or the user's link to one, has the name: it stays, and a
// rename over it would take it.
bool folderInTheWay(int dir, const std::string& name)
{
    struct stat old;
    return ::fstatat(dir, name.c_str(), &old, 0) == 0 && S_ISDIR(old.st_mode);
}

FileError errorOf(Side side)
{
    return side == Side::Read ? FileError::Read : side == Side::Cancelled ? FileError::Cancelled
                                                                          : FileError::Write;
}

} // namespace

std::unique_ptr<TargetFolder> TargetFolder::Open(int at, const char* path, const std::string& fullPath,
                                                 bool madeEmpty)
{
    // The user's own links lead to where the target folder really is.
    const int fd = openAt(at, path, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int e = errno;
        closeFile(fd);
        errno = e;
        return nullptr;
    }
    // The folder written to last stands for its file system when it is flushed.
    FileSystem& fs = fileSystemOf(st.st_dev, fullPath);
    fs.written = true;
    fs.folder = fullPath;
    if (!madeEmpty)
        removeLeftovers(fd);
    return std::unique_ptr<TargetFolder>(new TargetFolder(fd, st.st_dev, fs));
}

TargetFolder::~TargetFolder()
{
    if (workFd_ >= 0) {
        closeFile(workFd_);
        // Gone once empty; another copy still writing there keeps it.
        ::unlinkat(fd_, workFolder, AT_REMOVEDIR);
    }
    closeFile(fd_);
}

// Runs make with the folder's work folder, where temporary names live,
// made when first needed; make's result, -1 with errno set on failure.
template <class Make>
int TargetFolder::InWorkFolder(Make make)
{
    // Another copy's clean-up removes the work folder once it is empty: a
    // copy that finds it gone makes it again.
    for (int round = 0; round < 3; ++round) {
        if (workFd_ < 0) {
            if (::mkdirat(fd_, workFolder, 0700) == 0)
                giveToOwnerOf(fd_, workFolder);
            else if (errno != EEXIST)
                return -1;
            workFd_ = openAt(fd_, workFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            // Also gone between its making (or finding) and its opening.
            if (workFd_ < 0 && errno == ENOENT)
                continue;
            if (workFd_ < 0)
                return -1;
        }
        const int result = make(workFd_);
        if (result >= 0 || errno != ENOENT)
            return result;
        closeFile(workFd_);
        workFd_ = -1;
    }
    return -1;
}

// Gives a file that is to take name's place a temporary name in the work
// folder: make(work, temporary) makes it or links it there, its result in
// made; EEXIST from make tries another name.
template <class Make>
std::optional<PlaceFailure> TargetFolder::UnderTemporaryName(const std::string& name,
                                                             std::string& temporary, const char* what,
                                                             Make make, int& made)
{
    if (folderInTheWay(fd_, name))
        return PlaceFailure{FileError::Write, folderInTheWayText, EISDIR};
    made = InWorkFolder([&](int work) {
        for (int tries = 0; tries < 16; ++tries) {
            temporary = tempName();
            const int result = make(work, temporary.c_str());
            if (result >= 0 || errno != EEXIST)
                return result;
        }
        errno = EEXIST;
        return -1;
    });
    if (made >= 0)
        return std::nullopt;
    const int e = errno;
    temporary.clear();
    return PlaceFailure{FileError::Write, what, e};
}

std::optional<PlaceFailure> TargetFolder::Place(int src, const struct stat& st, const std::string& name,
                                                BetweenPieces between)
{
    const mode_t mask = processUmask();
    // The owner may read and write what is installed for him, whatever the disc says.
    const mode_t mode = ((st.st_mode & 0777) & ~mask) | S_IRUSR | S_IWUSR;

    for (Placement how = fs_.placement;;) {
        // A new file is written unnamed and named only when complete; where
        // that cannot be, under a temporary name in the folder's work folder,
        // which a later run clears should this one be killed.
        std::string temporary;
        int made = -1;
        if (how != Placement::TemporaryName) {
            made = openAt(fd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
            if (made < 0) {
                const int e = errno;
                if (e != EOPNOTSUPP && e != EISDIR && e != EINVAL && e != ENOSYS)
                    return PlaceFailure{FileError::Write, "create", e};
                fs_.placement = how = Placement::TemporaryName;
            }
        }
        if (how == Placement::TemporaryName) {
            auto create = [mode](int work, const char* t) { return createLocked(work, t, mode); };
            if (auto failure = UnderTemporaryName(name, temporary, "create", create, made))
                return failure;
        }
        Fd dst(made);
        auto fail = [&](FileError error, const char* what, int e) {
            if (!temporary.empty())
                ::unlinkat(workFd_, temporary.c_str(), 0);
            return PlaceFailure{error, what, e};
        };

        if (auto failure = copyData(src, st.st_dev, dst.fd, dev_, st.st_size, between))
            return fail(errorOf(failure->side), "copy", failure->err);
        // The umask may take the owner's write, which a copy must keep.
        if ((mode & ~mask) != mode && ::fchmod(dst.fd, mode) != 0)
            return fail(FileError::Write, "fchmod", errno);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        if (::futimens(dst.fd, times) != 0)
            return fail(FileError::Write, "futimens", errno);

        Fd locked(-1);
        if (how == Placement::TemporaryName) {
            // A close reports what a network or FUSE file system could not
            // write; a second descriptor keeps the lock meanwhile.
            locked.fd = ::fcntl(dst.fd, F_DUPFD_CLOEXEC, 0);
            if (locked.fd < 0)
                return fail(FileError::Write, "dup", errno);
            if (closeFile(dst.release()) != 0)
                return fail(FileError::Write, "close", errno);
        } else {
            if (linkUnnamed(how, dst.fd, fd_, name.c_str())) {
                dst.later = true;
                return std::nullopt;
            }
            const int e = errno;
            // The folder removed meanwhile says nothing about the system.
            struct stat here;
            if ((e == ENOENT || e == EPERM) && (::fstat(fd_, &here) != 0 || here.st_nlink > 0)) {
                // No way to name an unnamed file in this process, which shows
                // only once the file is whole (named earlier, a part could
                // stand under the name): this one file is copied again under
                // a temporary name, as are all after it.
                learnOfProcess(Placement::TemporaryName);
                how = Placement::TemporaryName;
                if (::lseek(src, 0, SEEK_SET) != 0)
                    return PlaceFailure{FileError::Read, "lseek", errno};
                continue;
            }
            if (e != EEXIST)
                return PlaceFailure{FileError::Write, "link", e};
            // A file of that name is there: the copy gets a temporary name
            // and then takes its place in one step.
            auto link = [&](int work, const char* t) {
                // Whole already: locked before it has a name.
                ::flock(dst.fd, LOCK_EX | LOCK_NB);
                return linkUnnamed(how, dst.fd, work, t) ? 0 : -1;
            };
            int linked = -1;
            if (auto failure = UnderTemporaryName(name, temporary, "link", link, linked))
                return failure;
        }
        // The complete copy takes the old file's place in one step.
        if (::renameat(workFd_, temporary.c_str(), fd_, name.c_str()) != 0) {
            const int e = errno;
            return fail(FileError::Write,
                        how == Placement::TemporaryName && (e == EISDIR || e == ENOTEMPTY || e == EEXIST)
                            ? folderInTheWayText
                            : "rename",
                        e);
        }
        (locked.fd >= 0 ? locked : dst).later = true;
        return std::nullopt;
    }
}

} // namespace vela::detail

namespace vela {

bool FlushWrites()
{
    detail::closePending();
    bool ok = true;
    for (auto& fs : detail::fileSystems()) {
        if (!fs.written)
            continue;
        fs.written = false;
        detail::Fd folder(detail::openAt(AT_FDCWD, fs.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.fd >= 0 && ::syncfs(folder.fd) != 0)
            ok = false;
    }
    return ok;
}

} // namespace vela

#include "vela/folderitem.h"

#include <algorithm>
#include <map>
#include <optional>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "datacopy.h"
#include "fileio.h"
#include "internal.h"
#include "vela/platform.h"
#include "vela/runtime.h"
#include "vela/text.h"

namespace fs = std::filesystem;

namespace vela {

// The folder of a listing, held open while any of its items lives, so its
// entries are reached by name from it and never through a link in its place.
struct FolderItem::ListedIn {
    std::string path;  // ending in '/'
    int fd = -1;
};

using detail::closeFile;
using detail::copyData;
using detail::CopyFailure;
using detail::Fd;
using detail::openAt;
using detail::readEntries;
using detail::Side;

namespace {

bool sameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i]))
            return false;
    return true;
}

bool validName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

// Temporary names live in a folder of the program's own inside the target
// folder, never beside the user's files: whatever a user's file is called,
// it is never taken for ours. The names are ASCII, so every file system
// stores them, whatever the disc's name.
constexpr char workFolder[] = ".tessavel-temp";
constexpr char tempPrefix[] = ".part-";
constexpr std::size_t tempPrefixSize = sizeof(tempPrefix) - 1;
constexpr std::size_t tempRandom = 16;

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

// Per file system, learnt once: a failed try would cost a system call a file.
struct FileSystemTraits {
    dev_t dev;
    bool unnamedFiles = true;  // O_TMPFILE
    std::string folder;        // a folder on it, to flush it by

    bool written = false;
};

std::vector<FileSystemTraits>& fileSystems()
{
    static auto* known = new std::vector<FileSystemTraits>;
    return *known;
}

FileSystemTraits& traitsOf(dev_t dev, const std::string& folder)
{
    auto& known = fileSystems();
    for (auto& t : known)
        if (t.dev == dev)
            return t;
    known.push_back({dev, true, folder, false});
    return known.back();
}

// Whether an unnamed file can be given a name from its descriptor directly
// (AT_EMPTY_PATH) or only through /proc.
bool& linkThroughProc()
{
    static bool viaProc = false;
    return viaProc;
}

bool& unnamedFilesLinkable()
{
    static bool linkable = true;
    return linkable;
}

// Gives the unnamed file fd the name in the folder dir; false with errno set.
bool linkUnnamed(int fd, int dir, const char* name)
{
    if (!linkThroughProc()) {
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
    linkThroughProc() = true;
    return true;
}

// The one place where the file layer meets the event loop: between the
// pieces of a big file the windows stay alive and an end request is honoured.
bool eventRoundBetweenPieces()
{
    detail::EventRound();
    return !QuitRequested();
}

} // namespace

FolderItem::FolderItem() = default;

FolderItem::FolderItem(std::string path, std::string volumeName)
    : path_(std::move(path)), name_(std::move(volumeName))
{
    if (name_.empty() && !path_.empty()) {
        std::size_t end = path_.find_last_not_of('/');
        if (end == std::string::npos) {
            name_ = path_;  // the root
        } else {
            std::size_t slash = path_.rfind('/', end);
            name_ = path_.substr(slash == std::string::npos ? 0 : slash + 1,
                                 end - (slash == std::string::npos ? 0 : slash + 1) + 1);
        }
    }
}

FolderItem::~FolderItem()
{
    if (workFd_ >= 0) {
        closeFile(workFd_);
        // Gone once empty; another copy still writing there keeps it.
        ::unlinkat(folderFd_, workFolder, AT_REMOVEDIR);
    }
    if (folderFd_ >= 0)
        closeFile(folderFd_);
}

Ref<FolderItem> FolderItem::Entry(const std::string& name) const
{
    auto item = New<FolderItem>();
    item->path_.reserve(FullPath().size() + 1 + name.size());
    item->path_ = FullPath();
    if (item->path_.empty() || item->path_.back() != '/')
        item->path_ += '/';
    item->path_ += name;
    item->name_ = name;
    return item;
}

const std::string& FolderItem::Name() const { return name_; }

const std::string& FolderItem::FullPath() const
{
    if (in_ && path_.empty()) {
        path_.reserve(in_->path.size() + name_.size());
        path_ = in_->path;
        path_ += name_;
    }
    return path_;
}

std::string FolderItem::AbsolutePath() const { return FullPath(); }

bool FolderItem::Exists() const
{
    struct stat st;
    return !FullPath().empty() && ::lstat(FullPath().c_str(), &st) == 0;
}

bool FolderItem::Directory() const
{
    struct stat st;
    return !FullPath().empty() && ::lstat(FullPath().c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FolderItem::DirectoryOrLinkToOne() const
{
    struct stat st;
    return !FullPath().empty() && ::stat(FullPath().c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FolderItem::ListedAsFolder() const
{
    if (listedKind_ == Kind::Unknown) {
        struct stat st;
        if (FullPath().empty() || ::lstat(FullPath().c_str(), &st) != 0)
            return false;
        listedKind_ = S_ISDIR(st.st_mode) ? Kind::Folder : S_ISLNK(st.st_mode) ? Kind::Link : Kind::Other;
    }
    return listedKind_ == Kind::Folder;
}

bool FolderItem::ListedAsLink() const
{
    ListedAsFolder();
    return listedKind_ == Kind::Link;
}

bool FolderItem::IsSymlink() const
{
    struct stat st;
    return !FullPath().empty() && ::lstat(FullPath().c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

int FolderItem::Count() const
{
    // As Directory(): a link in the item's place is no folder of its own.
    if (!Directory()) {
        Succeed();
        return 0;
    }
    return int(Entries().size());
}

std::vector<Ref<FolderItem>> FolderItem::Entries() const
{
    // A disc folder holds hundreds of files: their names go into one buffer
    // and are sorted by reference, and their items are made in one block.
    struct Listed {
        std::size_t at, size;
        Kind kind;
    };
    std::string names;
    std::vector<Listed> listed;
    names.reserve(4096);
    listed.reserve(128);

    // The items live in one block with their folder, which they refer to
    // until one needs a path of its own.
    struct Listing {
        ListedIn in;
        std::vector<FolderItem> items;
        ~Listing()
        {
            if (in.fd >= 0)
                closeFile(in.fd);
        }
    };
    auto block = std::make_shared<Listing>();
    int fd = -1;
    if (in_ && in_->fd >= 0)
        fd = openAt(in_->fd, name_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    else if (!FullPath().empty())
        fd = openAt(AT_FDCWD, FullPath().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    else
        errno = ENOENT;
    if (fd < 0) {
        const int e = errno;
        // What is not there, or no folder, lists nothing; anything else is a
        // folder that cannot be read, which must not pass for an empty one.
        struct stat st;
        if (e == ELOOP || (e == ENOTDIR && in_ && in_->fd >= 0 &&
                           ::fstatat(in_->fd, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                           S_ISLNK(st.st_mode)))
            Fail(FileError::Link, "a symbolic link", ELOOP);
        else if (e == ENOENT || e == ENOTDIR)
            Succeed();
        else
            Fail(FileError::Read, "list", e);
        return {};
    }
    block->in.fd = fd;
    auto kindOf = [](unsigned char type) {
        return type == DT_DIR ? Kind::Folder : type == DT_LNK ? Kind::Link : type == DT_UNKNOWN ? Kind::Unknown
                                                                                           : Kind::Other;
    };
    const bool complete = readEntries(fd, [&](const char* n, unsigned char type) {
        const std::size_t size = std::strlen(n);
        listed.push_back({names.size(), size, kindOf(type)});
        names.append(n, size);
    });
    if (!complete) {
        // Nothing listed is better than a part taken for the whole.
        Fail(FileError::Read, "list", errno);
        return {};
    }
    Succeed();
    auto name = [&names](const Listed& l) { return std::string_view(names).substr(l.at, l.size); };
    // A disc lists its folders in name order already.
    auto byName = [&name](const Listed& a, const Listed& b) { return name(a) < name(b); };
    if (!std::is_sorted(listed.begin(), listed.end(), byName))
        std::sort(listed.begin(), listed.end(), byName);

    block->in.path = FullPath();
    if (block->in.path.empty() || block->in.path.back() != '/')
        block->in.path += '/';
    block->items = std::vector<FolderItem>(listed.size());
    std::vector<Ref<FolderItem>> items;
    items.reserve(listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        FolderItem& item = block->items[i];
        item.listedKind_ = listed[i].kind;
        item.name_ = name(listed[i]);
        item.in_ = &block->in;
        // Each item keeps the block alive.
        items.emplace_back(std::shared_ptr<FolderItem>(block, &item));
    }
    return items;
}

Ref<FolderItem> FolderItem::Item(int index) const
{
    if (!Directory()) {
        Succeed();
        return {};
    }
    const auto entries = Entries();
    if (index < 1 || index > int(entries.size()))
        return {};
    // An item of its own, by its path, that holds no listing open.
    return Entry(entries[std::size_t(index - 1)]->Name());
}

Ref<FolderItem> FolderItem::Child(const std::string& name) const
{
    if (!validName(name) || FullPath().empty())
        return {};
    Ref<FolderItem> exact = Entry(name);
    struct stat st;
    if (::lstat(exact->FullPath().c_str(), &st) != 0 && errno == ENOENT) {
        // The discs were made for a file system that ignores case.
        Fd folder(openAt(AT_FDCWD, FullPath().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        std::string match;
        if (folder.fd >= 0)
            readEntries(folder.fd, [&](const char* n, unsigned char) {
                if (sameIgnoringCase(n, name) && (match.empty() || n < match))
                    match = n;
            });
        if (!match.empty())
            return Entry(match);
    }
    return exact;
}

Ref<FolderItem> FolderItem::ExactChild(const std::string& name) const
{
    if (!validName(name) || FullPath().empty())
        return {};
    return Entry(name);
}

bool FolderItem::Locked() const
{
    struct stat st;
    return !FullPath().empty() && ::lstat(FullPath().c_str(), &st) == 0 && !S_ISLNK(st.st_mode) &&
           (st.st_mode & S_IWUSR) == 0;
}

bool FolderItem::SetLocked(bool locked)
{
    struct stat st;
    if (FullPath().empty() || ::lstat(FullPath().c_str(), &st) != 0)
        return Fail(FileError::Missing, "lstat", errno);
    if (S_ISLNK(st.st_mode))
        return Succeed();
    mode_t mode = st.st_mode & 07777;
    mode = locked ? (mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    if (::chmod(FullPath().c_str(), mode) != 0)
        return Fail(FileError::Write, "chmod", errno);
    return Succeed();
}

bool FolderItem::Delete()
{
    struct stat st;
    if (FullPath().empty() || ::lstat(FullPath().c_str(), &st) != 0)
        return Fail(FileError::Missing, "lstat", errno);
    int rc = S_ISDIR(st.st_mode) ? ::rmdir(FullPath().c_str()) : ::unlink(FullPath().c_str());
    if (rc != 0)
        return Fail(FileError::Write, "delete", errno);
    return Succeed();
}

bool FolderItem::CreateAsFolder()
{
    if (FullPath().empty())
        return Fail(FileError::Write, "mkdir", ENOENT);
    if (::mkdir(FullPath().c_str(), 0755) != 0) {
        int e = errno;
        struct stat st;
        if (e == EEXIST && ::stat(FullPath().c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return Succeed();
        return Fail(FileError::Write, "mkdir", e);
    }
    madeEmpty_ = true;
    return Succeed();
}

namespace {

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

// A new file under a temporary name in the work folder, locked while it is
// written so that no other copy's clean-up takes it; -1 with errno set.
int createTemporary(int work, mode_t mode, std::string& name)
{
    for (int tries = 0; tries < 16; ++tries) {
        name = tempName();
        const int fd = openAt(work, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return -1;
        // Another copy's clean-up may have taken the file between its making
        // and the lock; then it has no name left. Once locked it stays ours.
        struct stat mine;
        if ((::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) && ::fstat(fd, &mine) == 0 &&
            mine.st_nlink > 0)
            return fd;
        closeFile(fd);
    }
    errno = EEXIST;
    return -1;
}

// Gives the unnamed file fd a temporary name in the work folder, locked
// first, as it is already whole; false with errno set.
bool linkTemporary(int fd, int work, std::string& name)
{
    ::flock(fd, LOCK_EX | LOCK_NB);
    for (int tries = 0; tries < 16; ++tries) {
        name = tempName();
        if (linkUnnamed(fd, work, name.c_str()))
            return true;
        if (errno != EEXIST)
            break;
    }
    const int e = errno;
    name.clear();
    errno = e;
    return false;
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

} // namespace

int FolderItem::OpenSource() const
{
    // Non-blocking, so a pipe on the source cannot hang the copy.
    constexpr int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    if (in_ && in_->fd >= 0)
        return openAt(in_->fd, name_.c_str(), flags);
    return openAt(AT_FDCWD, path_.c_str(), flags);
}

int FolderItem::FolderFd() const
{
    if (folderFd_ >= 0)
        return folderFd_;
    // The user's own links lead to where the target folder really is.
    const int fd = in_ && in_->fd >= 0
                       ? openAt(in_->fd, name_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)
                       : openAt(AT_FDCWD, FullPath().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int e = errno;
        closeFile(fd);
        errno = e;
        return -1;
    }
    // The folder written to last stands for its file system when it is flushed.
    FileSystemTraits& traits = traitsOf(st.st_dev, FullPath());
    traits.written = true;
    traits.folder = FullPath();
    folderDev_ = std::uint64_t(st.st_dev);
    if (!madeEmpty_)
        removeLeftovers(fd);
    folderFd_ = fd;
    return fd;
}

template <class Make>
int FolderItem::InWorkFolder(Make make) const
{
    // Another copy's clean-up removes the work folder once it is empty: a
    // copy that finds it gone makes it again.
    for (int round = 0; round < 3; ++round) {
        if (workFd_ < 0) {
            if (::mkdirat(folderFd_, workFolder, 0700) == 0)
                giveToOwnerOf(folderFd_, workFolder);
            else if (errno != EEXIST)
                return -1;
            workFd_ = openAt(folderFd_, workFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
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

bool FolderItem::CopyFileTo(const Ref<FolderItem>& folder)
{
    if (!folder)
        throw NilObjectException();
    if (path_.empty() && !in_)
        return Fail(FileError::Missing, "open", ENOENT);
    Fd src(OpenSource());
    if (src.fd < 0) {
        const int e = errno;
        if (e == ELOOP)
            return Fail(FileError::Link, "a symbolic link", e);
        return Fail(e == ENOENT || e == ENOTDIR ? FileError::Missing : FileError::Read, "open", e);
    }
    struct stat st;
    if (::fstat(src.fd, &st) != 0)
        return Fail(FileError::Read, "fstat", errno);
    if (S_ISDIR(st.st_mode))
        return Fail(FileError::Read, "copy", EISDIR);
    if (!S_ISREG(st.st_mode))
        return Fail(FileError::Read, "not a regular file", EINVAL);

    const int dir = folder->FolderFd();
    if (dir < 0)
        return Fail(FileError::Write, "open folder", errno);
    const mode_t mask = processUmask();
    // The owner may read and write what is installed for him, whatever the disc says.
    const mode_t mode = ((st.st_mode & 0777) & ~mask) | S_IRUSR | S_IWUSR;

    // A new file is written unnamed and named only when complete; where the
    // file system cannot do that, under a temporary name in the folder's work
    // folder, which a later run clears should this one be killed.
    FileSystemTraits& traits = traitsOf(dev_t(folder->folderDev_), folder->FullPath());
    std::string temporary;
    int out = -1;
    bool unnamed = traits.unnamedFiles && unnamedFilesLinkable();
    if (unnamed) {
        out = openAt(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (out < 0) {
            const int e = errno;
            if (e != EOPNOTSUPP && e != EISDIR && e != EINVAL && e != ENOSYS)
                return Fail(FileError::Write, "create", e);
            traits.unnamedFiles = unnamed = false;
        }
    }
    if (!unnamed) {
        if (folderInTheWay(dir, name_))
            return Fail(FileError::Write, "a folder of that name is in the way", EISDIR);
        out = folder->InWorkFolder([&](int work) { return createTemporary(work, mode, temporary); });
        if (out < 0)
            return Fail(FileError::Write, "create", errno);
    }
    Fd dst(out);
    auto fail = [&](FileError error, const char* what, int e) {
        if (!temporary.empty())
            ::unlinkat(folder->workFd_, temporary.c_str(), 0);
        return Fail(error, what, e);
    };

    if (auto failure = copyData(src.fd, st.st_dev, dst.fd, dev_t(folder->folderDev_), st.st_size,
                                eventRoundBetweenPieces))
        return fail(failure->side == Side::Read        ? FileError::Read
                    : failure->side == Side::Cancelled ? FileError::Cancelled
                                                       : FileError::Write,
                    "copy", failure->err);
    // The umask may take the owner's write, which a copy must keep.
    if ((mode & ~mask) != mode && ::fchmod(dst.fd, mode) != 0)
        return fail(FileError::Write, "fchmod", errno);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(dst.fd, times) != 0)
        return fail(FileError::Write, "futimens", errno);

    if (!unnamed) {
        // A close reports what a network or FUSE file system could not
        // write; a second descriptor keeps the lock meanwhile.
        Fd locked(::fcntl(dst.fd, F_DUPFD_CLOEXEC, 0));
        if (locked.fd < 0)
            return fail(FileError::Write, "dup", errno);
        if (closeFile(dst.release()) != 0)
            return fail(FileError::Write, "close", errno);
        // The complete copy takes the old file's place in one step.
        if (::renameat(folder->workFd_, temporary.c_str(), dir, name_.c_str()) != 0) {
            const int e = errno;
            return fail(FileError::Write, e == EISDIR || e == ENOTEMPTY || e == EEXIST
                                              ? "a folder of that name is in the way"
                                              : "rename",
                        e);
        }
        src.later = locked.later = true;
        return Succeed();
    }
    if (linkUnnamed(dst.fd, dir, name_.c_str())) {
        src.later = dst.later = true;
        return Succeed();
    }
    if (errno != EEXIST) {
        const int e = errno;
        // The folder removed meanwhile says nothing about the system.
        struct stat here;
        if ((e == ENOENT || e == EPERM) && (::fstat(dir, &here) != 0 || here.st_nlink > 0)) {
            // No way to name an unnamed file here: copy again under a temporary name.
            unnamedFilesLinkable() = false;
            return CopyFileTo(folder);
        }
        return Fail(FileError::Write, "link", e);
    }
    // A file of that name is there: the copy gets a temporary name and then
    // takes its place in one step. A folder, or the user's link to one, stays.
    if (folderInTheWay(dir, name_))
        return Fail(FileError::Write, "a folder of that name is in the way", EISDIR);
    if (folder->InWorkFolder([&](int work) { return linkTemporary(dst.fd, work, temporary) ? 0 : -1; }) < 0)
        return Fail(FileError::Write, "link", errno);
    if (::renameat(folder->workFd_, temporary.c_str(), dir, name_.c_str()) != 0)
        return fail(FileError::Write, "rename", errno);
    src.later = dst.later = true;
    return Succeed();
}

bool FolderItem::Fail(FileError error, const std::string& what, int err) const
{
    error_ = error;
    detail_ = what + ": " + std::strerror(err);
    return false;
}

bool FolderItem::Succeed() const
{
    error_ = FileError::None;
    detail_.clear();
    return true;
}

bool FlushWrites()
{
    detail::closePending();
    bool ok = true;
    for (auto& t : fileSystems()) {
        if (!t.written)
            continue;
        t.written = false;
        Fd folder(openAt(AT_FDCWD, t.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.fd >= 0 && ::syncfs(folder.fd) != 0)
            ok = false;
    }
    return ok;
}

int VolumeCount() { return int(CurrentPlatform().Volumes().size()); }

Ref<FolderItem> Volume(int index)
{
    auto volumes = CurrentPlatform().Volumes();
    if (index < 0 || index >= int(volumes.size()))
        return {};
    const auto& v = volumes[std::size_t(index)];
    return New<FolderItem>(v.path, v.name);
}

} // namespace vela

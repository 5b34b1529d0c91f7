#include "vela/folderitem.h"

#include <algorithm>
#include <map>
#include <optional>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "internal.h"
#include "vela/platform.h"

namespace fs = std::filesystem;

namespace vela {

namespace {

char fold(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool sameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i]))
            return false;
    return true;
}

bool validName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

// Errors that mean the target side could not take the data.
bool isWriteErrno(int e)
{
    return e == ENOSPC || e == EDQUOT || e == EFBIG || e == EROFS || e == EACCES || e == EPERM ||
           e == EISDIR || e == ENOTDIR || e == EEXIST || e == ENOTEMPTY || e == EMLINK;
}

// A copy opens and closes two files for each file it copies, on the GUI
// thread, which is never cancelled: called directly, these spare the C
// library's cancellation bookkeeping around every call.
int openFile(const char* path, int flags, mode_t mode = 0)
{
    return int(::syscall(SYS_openat, AT_FDCWD, path, flags | O_LARGEFILE, mode));
}

int closeFile(int fd) { return int(::syscall(SYS_close, fd)); }

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() { if (fd >= 0) closeFile(fd); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int release() { int f = fd; fd = -1; return f; }
};

std::string tempNameFor(const std::string& name)
{
    static std::mt19937_64 rng{std::random_device{}()};
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string s = "." + name.substr(0, 64) + ".tessavel-";
    for (int i = 0; i < 8; ++i)
        s += alphabet[rng() % 36];
    return s;
}

enum class Side { Read, Write };
struct CopyFailure {
    Side side;
    int err;
};

// Copies the rest of src into dst by read and write, so a failure can be
// blamed on the side where it happened.
std::optional<CopyFailure> copyByReadWrite(int src, int dst)
{
    static thread_local std::vector<char> buffer(1 << 17);
    for (;;) {
        ssize_t n = ::read(src, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return CopyFailure{Side::Read, errno};
        }
        if (n == 0)
            return std::nullopt;
        for (ssize_t off = 0; off < n;) {
            ssize_t w = ::write(dst, buffer.data() + off, std::size_t(n - off));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return CopyFailure{Side::Write, errno};
            }
            off += w;
        }
    }
}

// Whether copy_file_range works from a device to a folder's file system;
// asked once per pair, since a failed try costs a system call per file.
bool& kernelCopyWorks(dev_t from, const std::string& toFolder)
{
    static std::map<std::pair<dev_t, std::string>, bool> known;
    static std::pair<dev_t, std::string> lastKey;
    static bool* last = nullptr;
    if (!last || lastKey.first != from || lastKey.second != toFolder) {
        lastKey = {from, toFolder};
        last = &known.try_emplace(lastKey, true).first->second;
    }
    return *last;
}

// Copies src into dst in the kernel where it can, by read and write where not.
std::optional<CopyFailure> copyData(int src, int dst, off_t expected, dev_t from,
                                    const std::string& toFolder)
{
    bool& rangeWorks = kernelCopyWorks(from, toFolder);
    bool useSendfile = !rangeWorks;
    off_t copied = 0;
    for (;;) {
        // Stop at the size the file had when opened, as a snapshot of it.
        if (expected > 0 && copied >= expected)
            return std::nullopt;
        const std::size_t chunk = std::size_t(1) << 30;
        ssize_t n = useSendfile ? ::sendfile(dst, src, nullptr, chunk)
                                : ::copy_file_range(src, nullptr, dst, nullptr, chunk, 0);
        if (n > 0) {
            copied += n;
            continue;
        }
        if (n == 0) {
            // Some file systems answer 0 to a kernel copy they cannot make.
            if (copied == 0 && expected > 0)
                return copyByReadWrite(src, dst);
            return std::nullopt;
        }
        int e = errno;
        if (e == EINTR)
            continue;
        if (copied == 0 && !useSendfile &&
            (e == EXDEV || e == ENOSYS || e == EINVAL || e == EOPNOTSUPP || e == EBADF)) {
            rangeWorks = false;
            useSendfile = true;
            continue;
        }
        if (copied == 0 && useSendfile && (e == EINVAL || e == ENOSYS || e == EOPNOTSUPP))
            return copyByReadWrite(src, dst);
        if (isWriteErrno(e))
            return CopyFailure{Side::Write, e};
        // EIO and the like: find out which side it was on.
        return copyByReadWrite(src, dst);
    }
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

Ref<FolderItem> FolderItem::Entry(const std::string& name, int listedKind) const
{
    auto item = New<FolderItem>();
    item->listedKind_ = listedKind;
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
    if (folder_ && path_.empty()) {
        path_.reserve(folder_->size() + name_.size());
        path_ = *folder_;
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

bool FolderItem::LeadsToFolder() const
{
    struct stat st;
    return !FullPath().empty() && ::stat(FullPath().c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FolderItem::ListedAsFolder() const
{
    return listedKind_ ? listedKind_ == 1 : Directory();
}

bool FolderItem::IsSymlink() const
{
    struct stat st;
    return !FullPath().empty() && ::lstat(FullPath().c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

void FolderItem::RefreshListing() const
{
    struct stat st;
    if (FullPath().empty() || ::lstat(FullPath().c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        entries_.clear();
        std::fill(std::begin(listedStamp_), std::end(listedStamp_), -1);
        return;
    }
    std::int64_t stamp[4] = {std::int64_t(st.st_ino), st.st_mtim.tv_sec, st.st_mtim.tv_nsec,
                             st.st_ctim.tv_nsec};
    if (std::equal(std::begin(stamp), std::end(stamp), std::begin(listedStamp_)))
        return;
    entries_.clear();
    if (DIR* d = ::opendir(FullPath().c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..")
                entries_.push_back(std::move(n));
        }
        ::closedir(d);
    }
    std::sort(entries_.begin(), entries_.end());
    // A change within one tick of a coarse file system clock (up to 2 s on
    // FAT) keeps the stamp, so a folder changed that recently is read again.
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    const auto changed = std::max(st.st_mtim.tv_sec, st.st_ctim.tv_sec);
    if (changed + 3 > now.tv_sec)
        std::fill(std::begin(listedStamp_), std::end(listedStamp_), -1);
    else
        std::copy(std::begin(stamp), std::end(stamp), std::begin(listedStamp_));
}

int FolderItem::Count() const
{
    RefreshListing();
    return int(entries_.size());
}

std::vector<Ref<FolderItem>> FolderItem::Entries() const
{
    // A disc folder holds hundreds of files: their names go into one buffer
    // and are sorted by reference, and their items are made in one block.
    struct Listed {
        std::size_t at, size;
        int kind;
    };
    std::string names;
    std::vector<Listed> listed;
    names.reserve(4096);
    listed.reserve(128);
    if (DIR* d = FullPath().empty() ? nullptr : ::opendir(FullPath().c_str())) {
        while (dirent* e = ::readdir(d)) {
            const char* n = e->d_name;
            if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')))
                continue;
            const std::size_t size = std::strlen(n);
            int kind = e->d_type == DT_DIR ? 1 : e->d_type == DT_UNKNOWN ? 0 : 2;
            listed.push_back({names.size(), size, kind});
            names.append(n, size);
        }
        ::closedir(d);
    }
    auto name = [&names](const Listed& l) { return std::string_view(names).substr(l.at, l.size); };
    // A disc lists its folders in name order already.
    auto byName = [&name](const Listed& a, const Listed& b) { return name(a) < name(b); };
    if (!std::is_sorted(listed.begin(), listed.end(), byName))
        std::sort(listed.begin(), listed.end(), byName);

    // The items live in one block with their folder's path, which they
    // refer to until one needs a path of its own.
    struct Listing {
        std::string folder;
        std::vector<FolderItem> items;
    };
    auto block = std::make_shared<Listing>();
    block->folder = FullPath();
    if (block->folder.empty() || block->folder.back() != '/')
        block->folder += '/';
    block->items = std::vector<FolderItem>(listed.size());
    std::vector<Ref<FolderItem>> items;
    items.reserve(listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        FolderItem& item = block->items[i];
        item.listedKind_ = listed[i].kind;
        item.name_ = name(listed[i]);
        item.folder_ = &block->folder;
        // Each item keeps the block alive.
        items.emplace_back(std::shared_ptr<FolderItem>(block, &item));
    }
    return items;
}

Ref<FolderItem> FolderItem::Item(int index) const
{
    RefreshListing();
    if (index < 1 || index > int(entries_.size()))
        return {};
    return Entry(entries_[std::size_t(index - 1)]);
}

Ref<FolderItem> FolderItem::Child(const std::string& name) const
{
    if (!validName(name) || FullPath().empty())
        return {};
    Ref<FolderItem> exact = Entry(name);
    struct stat st;
    if (::lstat(exact->FullPath().c_str(), &st) != 0 && errno == ENOENT) {
        // The discs were made for a file system that ignores case.
        if (DIR* d = ::opendir(FullPath().c_str())) {
            std::string match;
            while (dirent* e = ::readdir(d)) {
                if (sameIgnoringCase(e->d_name, name) && (match.empty() || e->d_name < match))
                    match = e->d_name;
            }
            ::closedir(d);
            if (!match.empty())
                return Entry(match);
        }
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

} // namespace

// The complete copy takes the old item's place in one step.
bool FolderItem::PutInPlace(const std::string& written, const std::string& target)
{
    if (::rename(written.c_str(), target.c_str()) != 0) {
        int e = errno;
        ::unlink(written.c_str());
        return Fail(FileError::Write, "rename", e);
    }
    return Succeed();
}

bool FolderItem::CopySymlinkTo(const std::string& folder)
{
    struct stat st;
    if (::lstat(FullPath().c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return Fail(FileError::Read, "lstat", errno ? errno : EINVAL);
    std::string link(std::size_t(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    ssize_t n = ::readlink(FullPath().c_str(), link.data(), link.size());
    if (n < 0)
        return Fail(FileError::Read, "readlink", errno);
    link.resize(std::size_t(n));
    const std::string name = Name();
    const std::string target = folder + "/" + name;
    struct stat tst;
    const bool replace = ::lstat(target.c_str(), &tst) == 0;
    if (replace && S_ISDIR(tst.st_mode))
        return Fail(FileError::Write, "a folder of that name is in the way", EISDIR);
    const std::string written = replace ? folder + "/" + tempNameFor(name) : target;
    if (::symlink(link.c_str(), written.c_str()) != 0)
        return Fail(FileError::Write, "symlink", errno);
    return replace ? PutInPlace(written, target) : Succeed();
}

bool FolderItem::CopyFileTo(const Ref<FolderItem>& folder)
{
    if (!folder)
        throw NilObjectException();
    if (path_.empty() && !folder_)
        return Fail(FileError::Missing, "open", ENOENT);
    // An item of a listing is opened by a path made in a buffer kept for
    // it, not one of its own for every file.
    static std::string source;
    const char* sourcePath = path_.c_str();
    if (path_.empty()) {
        source.clear();
        source += *folder_;
        source += name_;
        sourcePath = source.c_str();
    }
    // Non-blocking, so a pipe on the source cannot hang the copy; only
    // regular files are copied.
    Fd src(openFile(sourcePath, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (src.fd < 0) {
        int e = errno;
        if (e == ELOOP)
            return CopySymlinkTo(folder->FullPath());
        return Fail(e == ENOENT || e == ENOTDIR ? FileError::Missing : FileError::Read, "open", e);
    }
    struct stat st;
    if (::fstat(src.fd, &st) != 0)
        return Fail(FileError::Read, "fstat", errno);
    if (S_ISDIR(st.st_mode))
        return Fail(FileError::Read, "copy", EISDIR);
    if (!S_ISREG(st.st_mode))
        return Fail(FileError::Read, "not a regular file", EINVAL);
    // Big files take a while: let the screen catch up with the names shown so far.
    if (st.st_size >= (off_t(1) << 20))
        detail::FlushPendingPaints();

    // A new file is written under its own name; an existing one is only
    // replaced once a complete copy exists beside it.
    // One buffer for the target's path, not an allocation for every file.
    static std::string target;
    target.clear();
    target += folder->FullPath();
    target += '/';
    target += name_;
    const mode_t mode = (st.st_mode & 0777) | S_IWUSR;
    std::string temporary;
    bool replace = false;
    int dfd = openFile(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (dfd < 0 && errno == EEXIST) {
        struct stat tst;
        if (::lstat(target.c_str(), &tst) == 0 && S_ISDIR(tst.st_mode))
            return Fail(FileError::Write, "a folder of that name is in the way", EISDIR);
        replace = true;
        for (int tries = 0; dfd < 0 && tries < 16; ++tries) {
            temporary = folder->FullPath() + "/" + tempNameFor(name_);
            dfd = openFile(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (dfd < 0 && errno != EEXIST)
                break;
        }
    }
    const std::string& written = replace ? temporary : target;
    if (dfd < 0)
        return Fail(FileError::Write, "create", errno);
    Fd dst(dfd);

    auto fail = [&](FileError error, const char* what, int e) {
        ::unlink(written.c_str());
        return Fail(error, what, e);
    };
    if (auto failure = copyData(src.fd, dst.fd, st.st_size, st.st_dev, folder->FullPath()))
        return fail(failure->side == Side::Read ? FileError::Read : FileError::Write, "copy",
                    failure->err);
    if ((mode & ~processUmask()) != mode && ::fchmod(dst.fd, mode) != 0)
        return fail(FileError::Write, "fchmod", errno);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(dst.fd, times) != 0)
        return fail(FileError::Write, "futimens", errno);
    if (closeFile(dst.release()) != 0)
        return fail(FileError::Write, "close", errno);
    return replace ? PutInPlace(written, target) : Succeed();
}

bool FolderItem::Fail(FileError error, const std::string& what, int err)
{
    error_ = error;
    detail_ = what + ": " + std::strerror(err);
    return false;
}

bool FolderItem::Succeed()
{
    error_ = FileError::None;
    detail_.clear();
    return true;
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

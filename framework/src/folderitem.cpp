#include "vela/folderitem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "fileio.h"
#include "internal.h"
#include "placement.h"
#include "vela/platform.h"
#include "vela/text.h"

namespace vela {

using detail::closeFile;
using detail::Fd;
using detail::openAt;
using detail::readEntries;

// The folder of a listing, held open while any of its items lives, so its
// entries are reached by name from it and never through a link in its place.
struct FolderItem::ListedIn {
    std::string path;  // ending in '/'
    int fd = -1;
};

namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b)
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

FolderItem::~FolderItem() = default;

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
    if (listedKind_ == EntryKind::Unknown) {
        struct stat st;
        if (FullPath().empty() || ::lstat(FullPath().c_str(), &st) != 0)
            return false;
        listedKind_ = S_ISDIR(st.st_mode) ? EntryKind::Folder : S_ISLNK(st.st_mode) ? EntryKind::Link : EntryKind::Other;
    }
    return listedKind_ == EntryKind::Folder;
}

bool FolderItem::ListedAsLink() const
{
    ListedAsFolder();
    return listedKind_ == EntryKind::Link;
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
        EntryKind kind;
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
        switch (type) {
        case DT_DIR: return EntryKind::Folder;
        case DT_LNK: return EntryKind::Link;
        case DT_UNKNOWN: return EntryKind::Unknown;
        default: return EntryKind::Other;
        }
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

int FolderItem::OpenSource() const
{
    // Non-blocking, so a pipe on the source cannot hang the copy.
    constexpr int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    if (in_ && in_->fd >= 0)
        return openAt(in_->fd, name_.c_str(), flags);
    return openAt(AT_FDCWD, path_.c_str(), flags);
}

detail::TargetFolder* FolderItem::Target() const
{
    if (!target_)
        target_ = in_ && in_->fd >= 0
                      ? detail::TargetFolder::Open(in_->fd, name_.c_str(), FullPath(), madeEmpty_)
                      : detail::TargetFolder::Open(AT_FDCWD, FullPath().c_str(), FullPath(), madeEmpty_);
    return target_.get();
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

    detail::TargetFolder* target = folder->Target();
    if (!target)
        return Fail(FileError::Write, "open folder", errno);
    // Between the pieces of a big file the long-job rule decides: the windows
    // stay alive, and an end request stops the copy.
    if (auto failure = target->Place(src.fd, st, name_, detail::BetweenPiecesGoOn))
        return Fail(failure->error, failure->what, failure->err);
    src.later = true;
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

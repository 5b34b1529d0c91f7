// Files, folders and volumes. A FolderItem may name an item that does not
// exist yet. Every operation that can fail records how, so a caller can tell
// the user what went wrong.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "vela/ref.h"

namespace vela {

namespace detail {
class TargetFolder;
}

enum class FileError {
    None,
    Read,       // the source could not be read
    Write,      // the target could not be created, written or replaced
    Missing,    // the source does not exist
    Link,       // the source is a symbolic link, which is never followed or copied
    Cancelled,  // the program was asked to end while a big file was copied
};

class FolderItem {
public:
    // Names no item: empty Name and AbsolutePath, Exists false.
    FolderItem();
    explicit FolderItem(std::string path, std::string volumeName = {});
    // Not copied: an item of a listing refers to the listing's folder path.
    FolderItem(const FolderItem&) = delete;
    FolderItem& operator=(const FolderItem&) = delete;
    ~FolderItem();

    const std::string& Name() const;
    std::string AbsolutePath() const;
    std::filesystem::path Path() const { return FullPath(); }
    bool Exists() const;
    bool Directory() const;
    // For an item from Entries(): whether it was a folder when listed, which
    // spares asking the file system again; otherwise Directory().
    bool ListedAsFolder() const;
    // The same for a symbolic link.
    bool ListedAsLink() const;
    bool IsSymlink() const;
    // A folder, or a link to one, where Directory() takes only the folder
    // itself: where a target folder may stand (users keep scenery on other
    // drives behind links).
    bool DirectoryOrLinkToOne() const;

    // Entries are counted and numbered in name order, as Entries() lists
    // them now; Count is 0 for an item that does not exist or is not a
    // folder. A folder that cannot be read lists nothing and records a Read
    // error.
    int Count() const;
    Ref<FolderItem> Item(int index) const;  // from 1; nil out of range
    // All entries at once, in name order, as the folder holds them now.
    // An item of such a list is listed in turn without following a link in
    // its own place, and a file in it is opened the same way.
    std::vector<Ref<FolderItem>> Entries() const;
    // The entry of exactly that name, or where none exists but one entry has
    // the name in another letter case, that one. Nil only for a name that
    // cannot name an entry.
    Ref<FolderItem> Child(const std::string& name) const;
    // The entry of exactly that name, without looking for other letter cases.
    Ref<FolderItem> ExactChild(const std::string& name) const;

    // Not writable by its owner.
    bool Locked() const;
    bool SetLocked(bool locked);
    // Removes a file or an empty folder, never a non-empty folder.
    bool Delete();
    bool CreateAsFolder();
    // Copies this regular file into the folder under its own name, with its
    // data, modification time and permissions (less the umask, plus owner
    // write). The file appears there only when complete, and an existing one
    // is replaced in one step: killed at any moment, the target is as it was,
    // the whole copy, or absent. A symbolic link is neither copied nor followed.
    // A big file goes in pieces with an event round between them, and stops
    // (Cancelled) when the program is asked to end.
    bool CopyFileTo(const Ref<FolderItem>& folder);

    FileError LastError() const { return error_; }
    // The system's words for the last failure, for diagnostics.
    const std::string& LastErrorDetail() const { return detail_; }

    struct ListedIn;

private:
    // What a listing saw an entry as.
    enum class EntryKind : unsigned char { Unknown, Folder, Link, Other };

    // An entry of this folder, named as listed.
    Ref<FolderItem> Entry(const std::string& name) const;
    bool Fail(FileError error, const std::string& what, int err) const;
    bool Succeed() const;
    // This file opened for reading, without following a link in its place.
    int OpenSource() const;
    // The folder, held open for placing files in it; nullptr with errno set.
    detail::TargetFolder* Target() const;
    // The path, made from the folder's path and the name the first time an
    // item of a listing needs it: copying a file needs none.
    const std::string& FullPath() const;

    mutable std::string path_;
    const ListedIn* in_ = nullptr;  // for an item of a listing: its folder

    std::string name_;
    mutable EntryKind listedKind_ = EntryKind::Unknown;
    mutable FileError error_ = FileError::None;
    mutable std::string detail_;
    mutable std::unique_ptr<detail::TargetFolder> target_;
    bool madeEmpty_ = false;  // created by CreateAsFolder: holds no leftovers
};

// Flushes the file systems written to since the last flush to their disks;
// false when one of them reports an error.
bool FlushWrites();

int VolumeCount();
// From 0: volume 0 is the root file system.
Ref<FolderItem> Volume(int index);

} // namespace vela

// The file layer's system calls: descriptors opened and closed directly,
// closed in batches, and a folder's entries read in bulk.
#pragma once

#include <cstdint>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

namespace vela::detail {

// A copy opens and closes two files for each file it copies, on the GUI
// thread, which is never cancelled: called directly, these spare the C
// library's cancellation bookkeeping around every call.
inline int openAt(int dir, const char* path, int flags, mode_t mode = 0)
{
    return int(::syscall(SYS_openat, dir, path, flags | O_LARGEFILE, mode));
}

inline int closeFile(int fd) { return int(::syscall(SYS_close, fd)); }

// Descriptors of files a copy is done with are closed together, a run of
// them in one system call: a copy of many small files spares one a file.
void closeLater(int fd);
void closePending();

struct Fd {
    int fd = -1;
    // Closed with the next run: only a file whose copy is complete, as a
    // failed one's room on the disk is given back at once.
    bool later = false;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0 && later)
            closeLater(fd);
        else if (fd >= 0)
            closeFile(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int release() { int f = fd; fd = -1; return f; }
};

// Reads a folder's entries from an open folder, each as its name and its
// d_type, without "." and ".."; false with errno set when the folder cannot
// be read to its end.
template <class Each>
bool readEntries(int fd, Each each)
{
    alignas(8) static thread_local char buffer[1 << 15];
    for (;;) {
        const long n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        for (long at = 0; at < n;) {
            struct Dirent64 {
                std::uint64_t ino;
                std::int64_t off;
                unsigned short reclen;
                unsigned char type;
                char name[1];
            };
            const auto* e = reinterpret_cast<const Dirent64*>(buffer + at);
            at += e->reclen;
            const char* name = e->name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            each(name, e->type);
        }
    }
}

} // namespace vela::detail

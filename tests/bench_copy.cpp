// Times one copy of a tree, for scripts/bench-copy:
//   bench-copy installer SOURCE DEST   the installer's copy with its progress window
//   bench-copy bare SOURCE DEST        a minimal walk: each file copied by the kernel, nothing else
//   bench-copy bare-times SOURCE DEST  the same, keeping each file's modification time
//   bench-copy floor SOURCE DEST       the least a crash-safe copy does: each file written
//                                      unnamed, copied by the kernel, its time kept, then named
//   bench-copy make-tree DIR FILES FOLDERS MINBYTES MAXBYTES
//                                      a disc-like tree of files with random content
// Prints the seconds the copy took until its data was on the disk (the
// installer flushes before its closing message; the others get a syncfs).
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <cerrno>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "copy/copy.h"
#include "shell/start.h"
#include "shell/warten.h"
#include "vela/folderitem.h"
#include "vela/runtime.h"

namespace {

// keepTimes: also give each copy the source's modification time, as the
// installer must (two more system calls a file). The mode comes with the
// new file, as the installer's does: the trees' files are all 0644.
bool bareCopy(const std::string& src, const std::string& dst, bool keepTimes)
{
    DIR* d = ::opendir(src.c_str());
    if (!d)
        return false;
    ::mkdir(dst.c_str(), 0755);
    bool ok = true;
    while (dirent* e = ::readdir(d)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, ".."))
            continue;
        const std::string s = src + "/" + e->d_name, t = dst + "/" + e->d_name;
        if (e->d_type == DT_DIR) {
            ok = bareCopy(s, t, keepTimes) && ok;
            continue;
        }
        int in = ::open(s.c_str(), O_RDONLY | O_CLOEXEC);
        int out = ::open(t.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (in < 0 || out < 0) {
            ok = false;
        } else {
            // Within one file system copy_file_range; across them sendfile.
            ssize_t n;
            while ((n = ::copy_file_range(in, nullptr, out, nullptr, std::size_t(1) << 30, 0)) > 0) {
            }
            if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP))
                while ((n = ::sendfile(out, in, nullptr, std::size_t(1) << 30)) > 0) {
                }
            ok = ok && n == 0;
            struct stat st;
            if (keepTimes && ::fstat(in, &st) == 0) {
                const struct timespec times[2] = {st.st_atim, st.st_mtim};
                ::futimens(out, times);
            }
        }
        if (in >= 0)
            ::close(in);
        if (out >= 0)
            ::close(out);
    }
    ::closedir(d);
    return ok;
}

// Names the unnamed file fd in dir: from the descriptor where the process
// may, else through its /proc entry; learnt once.
bool linkUnnamed(int fd, int dir, const char* name)
{
    static bool viaProc = false;
    if (!viaProc) {
        if (::linkat(fd, "", dir, name, AT_EMPTY_PATH) == 0)
            return true;
        if (errno != ENOENT && errno != EPERM)
            return false;
        viaProc = true;
    }
    char proc[40];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, proc, dir, name, AT_SYMLINK_FOLLOW) == 0;
}

// The crash-safe floor: each file appears only when whole, with its
// modification time, and nothing more is done for it. Folders are walked
// by descriptor; the size is known, so one kernel copy a file. Between file
// systems that refuse copy_file_range, sendfile, learnt once.
bool floorCopy(int srcDir, int dstDir)
{
    static bool rangeWorks = true;
    DIR* d = ::fdopendir(srcDir);
    if (!d) {
        ::close(srcDir);
        return false;
    }
    bool ok = true;
    while (dirent* e = ::readdir(d)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, ".."))
            continue;
        if (e->d_type == DT_DIR) {
            ::mkdirat(dstDir, e->d_name, 0755);
            int s = ::openat(srcDir, e->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            int t = ::openat(dstDir, e->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (s < 0 || t < 0) {
                ok = false;
                if (s >= 0)
                    ::close(s);
            } else {
                ok = floorCopy(s, t) && ok;
            }
            if (t >= 0)
                ::close(t);
            continue;
        }
        int in = ::openat(srcDir, e->d_name, O_RDONLY | O_CLOEXEC);
        struct stat st;
        if (in < 0 || ::fstat(in, &st) != 0) {
            ok = false;
            if (in >= 0)
                ::close(in);
            continue;
        }
        int out = ::openat(dstDir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
        bool done = out >= 0;
        for (off_t left = st.st_size; done && left > 0;) {
            const std::size_t want = std::size_t(std::min<off_t>(left, off_t(1) << 30));
            ssize_t n = rangeWorks ? ::copy_file_range(in, nullptr, out, nullptr, want, 0)
                                   : ::sendfile(out, in, nullptr, want);
            if (n < 0 && rangeWorks && left == st.st_size &&
                (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                rangeWorks = false;
                continue;
            }
            done = n > 0;
            left -= n;
        }
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        done = done && ::futimens(out, times) == 0 && linkUnnamed(out, dstDir, e->d_name);
        ok = ok && done;
        ::close(in);
        if (out >= 0)
            ::close(out);
    }
    ::closedir(d);
    return ok;
}

// What the installer does before its closing message, and what sync -f does.
bool flush(const std::string& dir)
{
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::syncfs(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

// Files spread evenly over the folders, sizes evenly between min and max.
bool makeTree(const std::string& dir, long files, long folders, long minBytes, long maxBytes)
{
    std::uint64_t x = 88172645463325252ull;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    };
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::string buffer;
    for (long f = 0; f < files; ++f) {
        const std::string folder = dir + "/" + std::to_string(f % folders);
        ::mkdir(folder.c_str(), 0755);
        long size = minBytes + long(next() % std::uint64_t(maxBytes - minBytes + 1));
        buffer.resize(std::size_t(size));
        for (std::size_t i = 0; i + 8 <= buffer.size(); i += 8) {
            std::uint64_t r = next();
            std::memcpy(&buffer[i], &r, 8);
        }
        const std::string path = folder + "/file" + std::to_string(f) + ".dsf";
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, buffer.data(), buffer.size()) != ssize_t(buffer.size()))
            return false;
        ::close(fd);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 7 && std::string(argv[1]) == "make-tree")
        return makeTree(argv[2], std::atol(argv[3]), std::atol(argv[4]), std::atol(argv[5]),
                        std::atol(argv[6]))
                   ? 0
                   : 1;
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench-copy installer|bare|bare-times|floor SOURCE DEST\n");
        return 2;
    }
    const std::string mode = argv[1], src = argv[2], dst = argv[3];
    const std::string name = src.substr(src.find_last_of('/') + 1);
    using clock = std::chrono::steady_clock;
    if (mode == "bare" || mode == "bare-times" || mode == "floor") {
        auto t0 = clock::now();
        bool ok;
        if (mode == "floor") {
            ok = ::mkdir((dst + "/" + name).c_str(), 0755) == 0;
            int s = ::open(src.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            int t = ::open((dst + "/" + name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ok = ok && s >= 0 && t >= 0 && floorCopy(s, t);
            if (t >= 0)
                ::close(t);
        } else {
            ok = bareCopy(src, dst + "/" + name, mode == "bare-times");
        }
        ok = flush(dst) && ok;
        std::printf("%.6f\n", std::chrono::duration<double>(clock::now() - t0).count());
        return ok ? 0 : 1;
    }
    if (mode != "installer") {
        std::fprintf(stderr, "bench-copy: no method %s\n", mode.c_str());
        return 2;
    }
    vela::RuntimeInit(argc, argv);
    StaticInit();
    warten()->Show();
    vela::RuntimeBackgroundTask();
    auto t0 = clock::now();
    Modul1::CopyFileOrFolder(vela::New<vela::FolderItem>(src), vela::New<vela::FolderItem>(dst));
    const bool flushed = vela::FlushWrites();
    const double seconds = std::chrono::duration<double>(clock::now() - t0).count();
    std::printf("%.6f\n", seconds);
    const bool ok = Modul1::kopierfehler.empty() && flushed;
    Finalise();
    vela::RuntimeExit();
    return ok ? 0 : 1;
}

// Times one copy of a tree, for scripts/bench-copy:
//   bench-copy installer SOURCE DEST   the installer's copy with its progress window
//   bench-copy bare SOURCE DEST        a minimal walk: each file copied by the kernel, nothing else
//   bench-copy bare-times SOURCE DEST  the same, keeping each file's modification time
//   bench-copy make-tree DIR FILES FOLDERS MINBYTES MAXBYTES
//                                      a disc-like tree of files with random content
// Prints the seconds the copy took.
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
        std::fprintf(stderr, "usage: bench-copy installer|bare SOURCE DEST\n");
        return 2;
    }
    const std::string mode = argv[1], src = argv[2], dst = argv[3];
    using clock = std::chrono::steady_clock;
    if (mode == "bare" || mode == "bare-times") {
        auto t0 = clock::now();
        bool ok = bareCopy(src, dst + "/" + src.substr(src.find_last_of('/') + 1), mode == "bare-times");
        std::printf("%.6f\n", std::chrono::duration<double>(clock::now() - t0).count());
        return ok ? 0 : 1;
    }
    vela::RuntimeInit(argc, argv);
    _StaticInit();
    warten()->Show();
    vela::RuntimeBackgroundTask();
    auto t0 = clock::now();
    Modul1::CopyFileOrFolder(vela::New<vela::FolderItem>(src), vela::New<vela::FolderItem>(dst));
    const double seconds = std::chrono::duration<double>(clock::now() - t0).count();
    std::printf("%.6f\n", seconds);
    const bool ok = Modul1::kopierfehler.empty();
    _Finalise();
    vela::RuntimeExit();
    return ok ? 0 : 1;
}

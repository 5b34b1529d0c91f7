// Faults injected into a child process with a seccomp filter: system calls
// that a file system or a kernel may not offer fail as they would there.
#pragma once

#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <functional>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace faults {

enum class Missing {
    UnnamedFiles,      // O_TMPFILE, as on FUSE and network shares
    LinkByDescriptor,  // linkat(AT_EMPTY_PATH), without the right to it
    AnyLinkOfUnnamed,  // also through /proc/self/fd
    Flush,             // syncfs fails, as after a write-back error
};

// For the rest of the calling process (use it in a child): false when the
// filter cannot be installed.
inline bool withhold(Missing what)
{
    constexpr unsigned tmpfileFlag = 020000000;  // __O_TMPFILE
    std::vector<sock_filter> f = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
    };
    auto fail = [](int err) -> sock_filter {
        return BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (unsigned(err) & SECCOMP_RET_DATA));
    };
    if (what == Missing::Flush) {
        f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_syncfs, 0, 1));
        f.push_back(fail(EIO));
    } else if (what == Missing::UnnamedFiles) {
        f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 4));
        f.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])));
        f.push_back(BPF_STMT(BPF_ALU | BPF_AND | BPF_K, tmpfileFlag));
        f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, tmpfileFlag, 0, 1));
        f.push_back(fail(EOPNOTSUPP));
    } else {
        const unsigned flags = what == Missing::LinkByDescriptor
                                   ? unsigned(AT_EMPTY_PATH)
                                   : unsigned(AT_EMPTY_PATH | AT_SYMLINK_FOLLOW);
        f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_linkat, 0, 4));
        f.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[4])));
        f.push_back(BPF_STMT(BPF_ALU | BPF_AND | BPF_K, flags));
        f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0, 1, 0));
        f.push_back(fail(ENOENT));
    }
    f.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    sock_fprog program{static_cast<unsigned short>(f.size()), f.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::syscall(__NR_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) == 0;
}

// The same as a child's set-up (child::Options::setUp): "" when done.
inline std::function<std::string()> without(Missing what)
{
    return [what] { return withhold(what) ? std::string() : std::string("no seccomp filter here"); };
}

} // namespace faults

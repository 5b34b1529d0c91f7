#include "datacopy.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <map>
#include <sys/sendfile.h>
#include <time.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vela::detail {

namespace {

// Errors that mean the target side could not take the data.
bool isWriteErrno(int e)
{
    return e == ENOSPC || e == EDQUOT || e == EFBIG || e == EROFS || e == EACCES || e == EPERM ||
           e == EISDIR || e == ENOTDIR || e == EEXIST || e == ENOTEMPTY || e == EMLINK;
}

enum class Method { Range, Sendfile, ReadWrite };

// Copies up to want bytes of src into dst by read and write, so a failure
// can be blamed on the side where it happened. Bytes copied, 0 at the end.
ssize_t copyByReadWrite(int src, int dst, std::size_t want, CopyFailure& failure)
{
    static thread_local std::vector<char> buffer(1 << 17);
    std::size_t done = 0;
    while (done < want) {
        ssize_t n = ::read(src, buffer.data(), std::min(buffer.size(), want - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failure = {Side::Read, errno};
            return -1;
        }
        if (n == 0)
            break;
        for (ssize_t off = 0; off < n;) {
            ssize_t w = ::write(dst, buffer.data() + off, std::size_t(n - off));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                failure = {Side::Write, errno};
                return -1;
            }
            off += w;
        }
        done += std::size_t(n);
    }
    return ssize_t(done);
}

// Whether copy_file_range works from a device to a folder's file system;
// asked once per pair, since a failed try costs a system call per file.
bool& kernelCopyWorks(dev_t from, dev_t to)
{
    static auto* known = new std::map<std::pair<dev_t, dev_t>, bool>;
    static std::pair<dev_t, dev_t> lastKey;
    static bool* last = nullptr;
    if (!last || lastKey.first != from || lastKey.second != to) {
        lastKey = {from, to};
        last = &known->try_emplace(lastKey, true).first->second;
    }
    return *last;
}

// Copies one piece of up to want bytes, in the kernel where it can, by read
// and write where not. Bytes copied, 0 at the end of the source, -1 on failure.
ssize_t copyPiece(int src, int dst, std::size_t want, bool atStart, Method& how, bool& rangeWorks,
                  CopyFailure& failure)
{
    for (;;) {
        if (how == Method::ReadWrite)
            return copyByReadWrite(src, dst, want, failure);
        ssize_t n = how == Method::Range ? ::copy_file_range(src, nullptr, dst, nullptr, want, 0)
                                         : ::sendfile(dst, src, nullptr, want);
        if (n > 0)
            return n;
        if (n == 0) {
            // Some file systems answer 0 to a kernel copy they cannot make:
            // only a read says where the file ends.
            how = Method::ReadWrite;
            continue;
        }
        const int e = errno;
        if (e == EINTR)
            continue;
        if (atStart && how == Method::Range &&
            (e == EXDEV || e == ENOSYS || e == EINVAL || e == EOPNOTSUPP || e == EBADF)) {
            rangeWorks = false;
            how = Method::Sendfile;
            continue;
        }
        if (atStart && how == Method::Sendfile && (e == EINVAL || e == ENOSYS || e == EOPNOTSUPP)) {
            how = Method::ReadWrite;
            continue;
        }
        if (isWriteErrno(e)) {
            failure = {Side::Write, e};
            return -1;
        }
        // EIO and the like: find out which side it was on.
        how = Method::ReadWrite;
    }
}

std::int64_t nowNs()
{
    struct timespec t;
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

} // namespace

std::optional<CopyFailure> copyData(int src, dev_t from, int dst, dev_t to, off_t expected,
                                    BetweenPieces between)
{
    constexpr std::size_t smallest = std::size_t(1) << 18, largest = std::size_t(1) << 26;
    constexpr std::int64_t frameNs = 16000000;
    bool& rangeWorks = kernelCopyWorks(from, to);
    Method how = rangeWorks ? Method::Range : Method::Sendfile;
    std::size_t piece = std::size_t(1) << 20;
    off_t copied = 0;
    CopyFailure failure{Side::Read, 0};
    for (;;) {
        std::size_t want = piece;
        if (expected == 0)
            return std::nullopt;
        if (expected > 0) {
            if (copied >= expected)
                return std::nullopt;
            want = std::size_t(std::min<off_t>(off_t(piece), expected - copied));
        }
        const bool timed = expected > off_t(piece);
        const std::int64_t start = timed ? nowNs() : 0;
        const ssize_t n = copyPiece(src, dst, want, copied == 0, how, rangeWorks, failure);
        if (n < 0)
            return failure;
        // Ended before the size it had: cut short, or a damaged disc.
        if (n == 0)
            return CopyFailure{Side::Read, EIO};
        copied += n;
        if (expected > 0 && copied >= expected)
            return std::nullopt;
        if (timed) {
            const std::int64_t took = std::max<std::int64_t>(nowNs() - start, 1);
            const double next = double(piece) * double(frameNs) / double(took);
            piece = std::clamp(std::size_t(next) & ~std::size_t(0xffff), smallest, largest);
        }
        if (between && !between())
            return CopyFailure{Side::Cancelled, ECANCELED};
    }
}

} // namespace vela::detail

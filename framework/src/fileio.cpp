#include "fileio.h"

#include <algorithm>
#include <vector>

namespace vela::detail {

namespace {

std::vector<int>& closing()
{
    static auto* fds = new std::vector<int>;
    return *fds;
}

} // namespace

void closePending()
{
    auto& fds = closing();
    std::sort(fds.begin(), fds.end());
    for (std::size_t i = 0; i < fds.size();) {
        std::size_t last = i;
        while (last + 1 < fds.size() && fds[last + 1] == fds[last] + 1)
            ++last;
        // A run holds only descriptors of ours, so no other is closed with it.
        if (last == i || ::syscall(SYS_close_range, fds[i], fds[last], 0) != 0)
            for (std::size_t k = i; k <= last; ++k)
                closeFile(fds[k]);
        i = last + 1;
    }
    fds.clear();
}

void closeLater(int fd)
{
    auto& fds = closing();
    fds.push_back(fd);
    if (fds.size() >= 64)
        closePending();
}

} // namespace vela::detail

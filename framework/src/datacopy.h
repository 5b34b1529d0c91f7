// The data copy: a file's bytes into another file, by the kernel where it
// can. It knows no event loop: between the pieces of a big file it asks its
// caller whether to go on.
#pragma once

#include <optional>
#include <sys/types.h>

namespace vela::detail {

// The side a copy failed on, so that the disc or the target can be blamed.
enum class Side { Read, Write, Cancelled };
struct CopyFailure {
    Side side;
    int err;
};

// Called between the pieces of a big file; false ends the copy (Cancelled).
using BetweenPieces = bool (*)();

// Copies src, which lies on the device from, into dst on the device to, up
// to the size it had when opened, as a snapshot of it. A big file goes in
// pieces of about a screen frame's time with between called after each, so
// that the caller can keep the windows alive and honour an end request.
std::optional<CopyFailure> copyData(int src, dev_t from, int dst, dev_t to, off_t expected,
                                    BetweenPieces between);

} // namespace vela::detail

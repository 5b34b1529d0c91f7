// A test's function run in a forked child process: what the test process
// must not share (a seccomp filter, a limit, a mount namespace, another
// user, what the copy learns about the system) lasts only there. An
// assertion in a child would not reach the test, so the child reports
// through a pipe and its exit status, and the test asserts on those.
#pragma once

#include <csignal>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/types.h>

namespace child {

// The user an ordinary user's run is tried as, when the test runs as root.
constexpr uid_t nobody = 65534;
// The exit status of a child that skipped, as with a script's skip; a body
// returns no other status with this number.
constexpr int skipStatus = 77;

// The child's end of its pipe to the test.
class Report {
public:
    explicit Report(int fd) : fd_(fd) {}
    // All of it, or the child ends with status 3.
    void write(const void* data, std::size_t size);
    void write(std::string_view text) { write(text.data(), text.size()); }
    // Ends the child as skipped, the reason as all it reported.
    [[noreturn]] void skip(std::string_view why);

private:
    int fd_;
};

// The test's hold on a running child.
class Running {
public:
    explicit Running(pid_t pid) : pid_(pid) {}
    pid_t pid() const { return pid_; }
    void kill(int signal = SIGKILL) const;
    // Waits for the child's next change of state (waitpid): its status,
    // nullopt when it cannot be waited for. An end is kept as the result.
    std::optional<int> wait();
    bool ended() const { return ended_; }
    int status() const { return status_; }

private:
    pid_t pid_;
    bool ended_ = false;
    // Until the child is waited for, a status no end gives: a child that
    // could not be waited for never reads as one that exited with 0.
    int status_ = -1;
};

struct Options {
    // Runs first in the child: "" when done, else why not, and the child
    // then ends as skipped with that reason.
    std::function<std::string()> setUp;
    // Runs in the test process while the child runs, before its report is
    // read: what the child writes must fit a pipe's buffer if this waits
    // for its end.
    std::function<void(Running&)> during;
    // A child that hangs ends after this long (SIGALRM) instead of
    // hanging the test; 0: never.
    unsigned timeoutSeconds = 60;
};

struct Ended {
    int status = -1;      // as waitpid gives it; -1 when not waited for
    std::string output;   // all the child wrote to its report
    std::string skipped;  // why the child skipped; empty when it ran

    bool exitedWith(int code) const;
    // "exit status 3", "signal 9": for a failure message.
    std::string describe() const;
};

// Runs body in a child that ends with the status body returns; an
// exception out of it ends the child with status 70, its text on stderr.
// The test's output is flushed before, so the child does not repeat it.
Ended run(const std::function<int(Report&)>& body, const Options& options = {});

// Set-ups, each "" when done, else why not.

// Mounts a file system of that type at `at`, in a mount namespace of the
// child's own, so that the mount stays there.
std::string mount(const char* type, const std::string& at, const char* data = nullptr);
// A mount namespace of the child's own, for mounts made later.
std::string ownMounts();
// Root becomes nobody, to meet the permission checks root passes; an
// ordinary user stays who it is.
std::string becomeNobody();
// Files may grow to that size only; past it a write fails, with no signal.
std::string limitFileSize(rlim_t bytes);
// The child stops for the test to trace its system calls (atReturnFrom).
std::string traceMe();

// For Options::during, with traceMe as the set-up: runs act in the test
// process once the child's system call of that number has returned, with
// the child held there, and then lets it go on untraced.
std::function<void(Running&)> atReturnFrom(long syscall, std::function<void()> act);

} // namespace child

#include "child.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

namespace child {

namespace {

std::string failed(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

} // namespace

void Report::write(const void* data, std::size_t size)
{
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, at, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ::_exit(3);
        at += n;
        size -= std::size_t(n);
    }
}

void Report::skip(std::string_view why)
{
    write(why);
    ::_exit(skipStatus);
}

void Running::kill(int signal) const
{
    if (!ended_)
        ::kill(pid_, signal);
}

std::optional<int> Running::wait()
{
    if (ended_)
        return std::nullopt;
    int status = 0;
    pid_t got;
    while ((got = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
    }
    if (got != pid_)
        return std::nullopt;
    if (WIFEXITED(status) || WIFSIGNALED(status)) {
        ended_ = true;
        status_ = status;
    }
    return status;
}

bool Ended::exitedWith(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }

std::string Ended::describe() const
{
    if (status == -1)
        return "not waited for";
    if (WIFEXITED(status))
        return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return "signal " + std::to_string(WTERMSIG(status));
    return "wait status " + std::to_string(status);
}

Ended run(const std::function<int(Report&)>& body, const Options& options)
{
    Ended end;
    int fds[2];
    // Not inherited by what the child starts: a FUSE driver outlives it.
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        end.status = -1;
        end.output = failed("pipe");
        return end;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        end.status = -1;
        end.output = failed("fork");
        ::close(fds[0]);
        ::close(fds[1]);
        return end;
    }
    if (pid == 0) {
        ::close(fds[0]);
        if (options.timeoutSeconds > 0)
            ::alarm(options.timeoutSeconds);
        Report report(fds[1]);
        // Nothing may unwind into the test framework, which would go on
        // with the next test in the child.
        try {
            if (options.setUp)
                if (const std::string why = options.setUp(); !why.empty())
                    report.skip(why);
            ::_exit(body(report));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "exception in a test's child process: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "exception in a test's child process\n");
        }
        std::fflush(stderr);
        ::_exit(70);
    }
    ::close(fds[1]);
    Running running(pid);
    if (options.during)
        options.during(running);
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        end.output.append(buffer, std::size_t(n));
    }
    ::close(fds[0]);
    while (!running.ended() && running.wait()) {
    }
    end.status = running.status();
    if (end.exitedWith(skipStatus))
        end.skipped = end.output.empty() ? "skipped" : end.output;
    return end;
}

std::string ownMounts()
{
    if (::unshare(CLONE_NEWNS) != 0)
        return "no mount namespace: " + failed("unshare");
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return failed("mount --make-rprivate");
    return {};
}

std::string mount(const char* type, const std::string& at, const char* data)
{
    if (std::string why = ownMounts(); !why.empty())
        return why;
    if (::mount("tessavel-test", at.c_str(), type, 0, data) != 0)
        return "cannot mount " + std::string(type) + ": " + std::strerror(errno);
    return {};
}

std::string becomeNobody()
{
    if (::geteuid() != 0)
        return {};
    if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
        return "cannot become an ordinary user: " + failed("setuid");
    if (::geteuid() == 0)
        return "still root";
    return {};
}

std::string limitFileSize(rlim_t bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limit = {bytes, bytes};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        return failed("setrlimit");
    return {};
}

std::string traceMe()
{
    if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
        return failed("ptrace");
    ::raise(SIGSTOP);
    return {};
}

std::function<void(Running&)> atReturnFrom(long syscall, std::function<void()> act)
{
    return [syscall, act = std::move(act)](Running& child) {
        const pid_t pid = child.pid();
        std::optional<int> status = child.wait();
        if (!status || !WIFSTOPPED(*status) ||
            ::ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL) != 0)
            return;
        long entered = -1;
        for (int signal = 0; ::ptrace(PTRACE_SYSCALL, pid, nullptr, signal) == 0;) {
            status = child.wait();
            if (!status || !WIFSTOPPED(*status))
                return;
            signal = 0;
            if (WSTOPSIG(*status) != (SIGTRAP | 0x80)) {
                // Signals reach the child as they would untraced.
                signal = WSTOPSIG(*status) == SIGSTOP ? 0 : WSTOPSIG(*status);
                continue;
            }
            __ptrace_syscall_info info{};
            if (::ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info) <= 0)
                break;
            if (info.op == PTRACE_SYSCALL_INFO_ENTRY) {
                entered = long(info.entry.nr);
            } else if (info.op == PTRACE_SYSCALL_INFO_EXIT && entered == syscall) {
                act();
                break;
            }
        }
        // Let go, also where the tracing failed, so the child can end.
        ::ptrace(PTRACE_DETACH, pid, nullptr, 0);
    };
}

} // namespace child

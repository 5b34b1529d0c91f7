// Every test program gets a home and XDG folders of its own before main()
// runs, so before the toolkit looks for them, and removes them at its end:
// nothing a test or the toolkit writes there reaches the user's home, also
// when a test is started by hand.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class TestHome {
public:
    TestHome()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string where = std::string(tmp && *tmp ? tmp : "/tmp") + "/" +
                            program_invocation_short_name + "-home-XXXXXX";
        if (!::mkdtemp(where.data())) {
            std::fprintf(stderr, "cannot make a home for the test in %s: %s\n", where.c_str(),
                         std::strerror(errno));
            std::exit(1);
        }
        path_ = where;
        ::setenv("HOME", path_.c_str(), 1);
        for (const auto& [variable, folder] : {std::pair{"XDG_CONFIG_HOME", "config"},
                                               std::pair{"XDG_CACHE_HOME", "cache"},
                                               std::pair{"XDG_DATA_HOME", "data"},
                                               std::pair{"XDG_RUNTIME_DIR", "runtime"}}) {
            const std::string p = path_ + "/" + folder;
            ::mkdir(p.c_str(), 0700);  // the runtime folder must be the user's alone
            ::setenv(variable, p.c_str(), 1);
        }
    }

    ~TestHome()
    {
        // A forked child that ends through exit() leaves it to its parent.
        if (::getpid() != owner_)
            return;
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }

private:
    std::string path_;
    pid_t owner_ = ::getpid();
};

const TestHome home;

} // namespace

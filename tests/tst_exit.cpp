// The static tear-down when a program ends through exit() without its own
// tear-down, as when the toolkit loses the display: what is still held then
// may touch the framework's registries only while they exist. Built with
// AddressSanitizer, which ends a child with status 66 when memory is used
// after it was freed.
#include <QtTest>

#include <cstdlib>
#include <sys/wait.h>

#include "child.h"
#include "vela/filetype.h"
#include "vela/ref.h"

extern "C" const char* __asan_default_options() { return "detect_leaks=0:exitcode=66"; }

namespace {

// Held as the programs hold their file types: at namespace scope, made
// before the registry is first used.
vela::Ref<vela::FileType> held;

// Runs f in a child process; its exit status.
template <class F>
int inChild(F f)
{
    const int status = child::run([&](child::Report&) {
        f();
        return 99;
    }).status;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

class TestExit : public QObject {
    Q_OBJECT

private slots:
    void fileTypeHeldAtExit();
};

void TestExit::fileTypeHeldAtExit()
{
    const int status = inChild([] {
        held = vela::New<vela::FileType>();
        held->SetName("alles");
        held->ToString();  // registers it
        std::exit(1);
    });
    QCOMPARE(status, 1);
}

QTEST_APPLESS_MAIN(TestExit)
#include "tst_exit.moc"

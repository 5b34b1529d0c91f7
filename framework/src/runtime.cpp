// The runtime: its start and tear-down, the application object, the event
// loop, quitting, and what escapes program code.
#include "vela/runtime.h"

#include <QApplication>
#include <csignal>
#include <vector>

#include "internal.h"
#include "vela/platform.h"
#include "vela/window.h"

namespace vela {

namespace {

struct State {
    QApplication* ownedApp = nullptr;
    Ref<Application> app;
    int quitCode = 0;
    bool quitRequested = false;
    bool failed = false;
    std::vector<std::string> classes;
};

State& state()
{
    // Never destroyed: when the display goes away the toolkit calls exit(),
    // and the static tear-down must not destroy widgets beneath it.
    static State& s = *new State;
    return s;
}

} // namespace

void RuntimeInit(int argc, char** argv)
{
    // A full disk or a file-size limit must fail a write, not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // So must a write to a display that has gone away (the X library writes
    // without MSG_NOSIGNAL): the toolkit then sees the broken connection and
    // ends the program with status 1.
    std::signal(SIGPIPE, SIG_IGN);
    detail::KeepNoSettings();
    detail::OpenFilesAsAllowed();
    auto& s = state();
    if (!QCoreApplication::instance())
        s.ownedApp = detail::StartToolkit(argc > 0 && argv ? argv[0] : nullptr);
    detail::LoadGermanTexts();
    QApplication::setQuitOnLastWindowClosed(true);
    s.app = {};
    s.quitCode = 0;
    s.quitRequested = false;
    s.failed = false;
    s.classes.clear();
    detail::ResetLongJob();
    detail::ResetPaints();
}

int RuntimeExit()
{
    auto& s = state();
    int status = s.failed ? 1 : s.quitCode;
    ReleaseImplicitWindowList();
    ReleaseDirtyWindows();
    ReleaseWindows();
    s.app = {};
    if (s.ownedApp) {
        delete s.ownedApp;
        s.ownedApp = nullptr;
    }
    return status;
}

void _RuntimeRegisterAppObject(Ref<Application> app) { state().app = std::move(app); }
Ref<Application> App() { return state().app; }

void _RuntimeRun()
{
    if (state().quitRequested)
        return;
    int code = QApplication::exec();
    auto& s = state();
    if (!s.quitRequested) {
        // The last window was closed: that quits as Quit(0) does.
        s.quitRequested = true;
        s.quitCode = code;
    }
}

void Quit(int code)
{
    auto& s = state();
    s.quitRequested = true;
    s.quitCode = code;
    QCoreApplication::exit(code);
}

bool QuitRequested() { return state().quitRequested; }

void _UnhandledException(std::exception_ptr error)
{
    std::string what = "unbekannter Fehler";
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    auto& s = state();
    s.failed = true;
    try {
        CurrentPlatform().MsgBox("Unerwarteter Fehler: " + what +
                                 "\rDas Programm wird beendet.");
    } catch (...) {
    }
    s.quitRequested = true;
    s.quitCode = 1;
    QCoreApplication::exit(1);
}

void RegisterClass(const std::string& name) { state().classes.push_back(name); }
const std::vector<std::string>& RegisteredClasses() { return state().classes; }

} // namespace vela

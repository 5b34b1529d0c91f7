// Runtime start and tear-down, the application object, the event loop.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "vela/ref.h"

namespace vela {

class MenuBar;

// Brings the runtime up: the toolkit's application, fonts and style.
// Safe to call when a toolkit application exists already (tests).
void RuntimeInit(int argc, char** argv);
// Tears the runtime down; the result is the process exit status:
// the code given to Quit, or 1 after an unhandled exception was reported.
int RuntimeExit();

class Application {
public:
    virtual ~Application() = default;
    Ref<vela::MenuBar> MenuBar() const { return menuBar_; }
    void SetMenuBar(Ref<vela::MenuBar> bar) { menuBar_ = std::move(bar); }

private:
    Ref<vela::MenuBar> menuBar_;
};

void _RuntimeRegisterAppObject(Ref<Application> app);
Ref<Application> App();
// Runs the event loop until Quit.
void _RuntimeRun();
// Ends the application: the event loop returns as soon as control gets back to it.
void Quit(int code = 0);
bool QuitRequested();
// Reports an exception that escaped program code and marks the run as failed
// (exit status 1).
void _UnhandledException(std::exception_ptr error);
// Lets pending events through (repaints, timers) but holds back user input
// that does not end the program, so the windows stay alive while a long job
// runs on the main thread and the user can still stop it.
void RuntimeBackgroundTask();

// Class names as the program registers them at start-up, in order.
void RegisterClass(const std::string& name);
const std::vector<std::string>& RegisteredClasses();

// Runs program code called from the event loop; whatever escapes is reported
// and ends the program with status 1, so no exception crosses the toolkit.
template <class F>
void Guarded(F&& f)
{
    try {
        f();
    } catch (...) {
        _UnhandledException(std::current_exception());
    }
}

struct ScreenInfo {
    int Left = 0, Top = 0, Width = 0, Height = 0;
};
Ref<ScreenInfo> Screen(int index);

} // namespace vela

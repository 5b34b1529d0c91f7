// The framework's runtime for a test: started when the guard is made, ended
// when it goes. A test of a program gives the program's own start-up and
// shut-down (StaticInit, Finalise), which then run inside it, as in the
// program's run.
#pragma once

#include "vela/runtime.h"

namespace testsupport {

class RuntimeGuard {
public:
    using Step = void (*)();

    explicit RuntimeGuard(Step programStart = nullptr, Step programEnd = nullptr)
        : programStart_(programStart), programEnd_(programEnd)
    {
        start();
    }
    ~RuntimeGuard() { end(); }
    RuntimeGuard(const RuntimeGuard&) = delete;
    RuntimeGuard& operator=(const RuntimeGuard&) = delete;

    // Ended and started again, as a new start of the program would be.
    void restart()
    {
        end();
        start();
    }

private:
    void start()
    {
        vela::RuntimeInit(0, nullptr);
        if (programStart_)
            programStart_();
    }
    void end()
    {
        if (programEnd_)
            programEnd_();
        vela::RuntimeExit();
    }

    Step programStart_, programEnd_;
};

} // namespace testsupport

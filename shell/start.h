// Start-up and shut-down, the same in both programs.
#pragma once

#include "vela/filetype.h"
#include "vela/runtime.h"

class Globals : public vela::Application {};

namespace FileTypes {
extern vela::Ref<vela::FileType> pAlles;
void _Initialize();
} // namespace FileTypes

void _InitFileTypes();
void _NewAppInstance();
void _ApplicationAddMenuHandlers();
void _MakeDefaultView();
// Start-up and the event loop, inside one catch-all.
void _Main();
// Registers the program's classes and gives the module properties their first values.
void StaticInit();
// Releases the program's global references.
void Finalise();

// The whole run; the result is the process exit status.
int ProgramEntry(int argc, char** argv);

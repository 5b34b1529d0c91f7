#include "shell/start.h"

#include "shell/fenster1.h"
#include "shell/menu.h"
#include "shell/modul1.h"

namespace FileTypes {

vela::Ref<vela::FileType> pAlles;

void _Initialize()
{
    pAlles = vela::New<vela::FileType>();
    pAlles->SetName("alles");
    pAlles->SetExtensions("");
    pAlles->SetMacType("????");
    pAlles->SetMacCreator("????");
    pAlles->ToString();  // registers it
}

} // namespace FileTypes

void _InitFileTypes() { FileTypes::_Initialize(); }

void _NewAppInstance()
{
    auto app = vela::New<Globals>();
    app->SetMenuBar(Menü());
    vela::_RuntimeRegisterAppObject(app);
}

void _ApplicationAddMenuHandlers() {}

void _MakeDefaultView() { Fenster1(); }

void _Main()
{
    try {
        _InitFileTypes();
        _NewAppInstance();
        _ApplicationAddMenuHandlers();
        _MakeDefaultView();
        vela::_RuntimeRun();
    } catch (...) {
        vela::_UnhandledException(std::current_exception());
    }
}

void StaticInit()
{
    for (const char* name : {"Fenster1.Fenster1", "Menü.Menü", "warten.warten", "Globals"})
        vela::RegisterClass(name);
    Modul1::InitModuleProperties();
}

void Finalise()
{
    vela::ReleaseImplicitWindowList();
    vela::ReleaseDirtyWindows();
    vela::ReleaseWindows();
    FileTypes::pAlles = nullptr;
    Menü::_implicitInstance = nullptr;
    Modul1::zielordner = nullptr;
}

int ProgramEntry(int argc, char** argv)
{
    vela::RuntimeInit(argc, argv);
    StaticInit();
    _Main();
    Finalise();
    return vela::RuntimeExit();
}

// The main window. Both programs have this class; its layout, controls and
// install handler are each program's own, the rest is shared.
#pragma once

#include "vela/menu.h"
#include "vela/window.h"

class Fenster1 : public vela::Window {
public:
    static constexpr const char* ClassName = "Fenster1.Fenster1";

    // Each program's own.
    void Layout() override;
    virtual void _CreateControls0();
    virtual void btn_installieren_Action();

    // Shared.
    void CreateControls() override;
    virtual void btn_abbrechen_Action();
    vela::Ref<vela::MenuItem> UntitledMenu0();
    vela::Ref<vela::MenuItem> EditClear();
    vela::Ref<vela::MenuItem> EditPaste();
    vela::Ref<vela::MenuItem> EditCopy();
    vela::Ref<vela::MenuItem> EditCut();
    vela::Ref<vela::MenuItem> UntitledMenu1();
    vela::Ref<vela::MenuItem> EditUndo();
    vela::Ref<vela::MenuItem> UntitledMenu2();
    vela::Ref<vela::QuitMenuItem> FileQuit();
    vela::Ref<vela::MenuItem> UntitledMenu3();
    void AddMenuHandlers() override;
    void Event_Open() override;

protected:
    // What both programs' windows show alike: the two buttons, bound to
    // their handlers, and the headline.
    void CreateButtonsAndHeadline(int buttonTop);
    // The install request: asks for the X-Plane folder, lets the program
    // read its options, checks the folder and starts the install.
    void InstallRequest(void (*readOptions)(Fenster1&));
};

// The one main window, created on first use.
vela::Ref<class Fenster1> Fenster1();

#include "shell/fenster1.h"

#include "shell/layout.h"
#include "shell/modul1.h"
#include "vela/dialogs.h"
#include "vela/runtime.h"
#include "vela/text.h"

vela::Ref<class Fenster1> Fenster1()
{
    vela::Ref<vela::Window> window = vela::_GetImplicitWindow(Fenster1::ClassName);
    if (!window)
        window = vela::NewWindow<class Fenster1>(Fenster1::ClassName);
    return vela::RuntimeCheckCast<class Fenster1>(window);
}

void Fenster1::CreateControls() { _CreateControls0(); }

void Fenster1::btn_abbrechen_Action() { vela::Quit(0); }

namespace {
vela::Ref<vela::MenuItem> lookup(const vela::Window& w, const char* name)
{
    return w.MenuBar()->_Lookup(name);
}
} // namespace

vela::Ref<vela::MenuItem> Fenster1::UntitledMenu0() { return lookup(*this, "UntitledMenu0"); }
vela::Ref<vela::MenuItem> Fenster1::EditClear() { return lookup(*this, "EditClear"); }
vela::Ref<vela::MenuItem> Fenster1::EditPaste() { return lookup(*this, "EditPaste"); }
vela::Ref<vela::MenuItem> Fenster1::EditCopy() { return lookup(*this, "EditCopy"); }
vela::Ref<vela::MenuItem> Fenster1::EditCut() { return lookup(*this, "EditCut"); }
vela::Ref<vela::MenuItem> Fenster1::UntitledMenu1() { return lookup(*this, "UntitledMenu1"); }
vela::Ref<vela::MenuItem> Fenster1::EditUndo() { return lookup(*this, "EditUndo"); }
vela::Ref<vela::MenuItem> Fenster1::UntitledMenu2() { return lookup(*this, "UntitledMenu2"); }
vela::Ref<vela::QuitMenuItem> Fenster1::FileQuit()
{
    return vela::RuntimeCheckCast<vela::QuitMenuItem>(lookup(*this, "FileQuit"));
}
vela::Ref<vela::MenuItem> Fenster1::UntitledMenu3() { return lookup(*this, "UntitledMenu3"); }

void Fenster1::AddMenuHandlers() {}

// Centres the window on the main screen; a window larger than the screen
// gets a negative position rather than being squeezed on.
void Fenster1::Event_Open()
{
    auto centre = [](std::int32_t screen, std::int32_t window) {
        double half = vela::RuntimeCvtSInt32ToReal64(screen - window) / 2.0;
        return vela::RuntimeCvtReal64ToSInt32(half);
    };
    ::Fenster1()->SetLeft(centre(vela::Screen(0)->Width, ::Fenster1()->Width()));
    ::Fenster1()->SetTop(centre(vela::Screen(0)->Height, ::Fenster1()->Height()));
}

void Fenster1::CreateButtonsAndHeadline(int buttonTop)
{
    using namespace layout;
    AddControl<vela::PushButton>(*this, "btn_installieren",
                                 PushButtonList("btn_installieren", {396, buttonTop, 121, 20, 0},
                                                "Installieren", true, false));
    BindAction(*this, "btn_installieren", &Fenster1::btn_installieren_Action);
    AddControl<vela::PushButton>(*this, "btn_abbrechen",
                                 PushButtonList("btn_abbrechen", {24, buttonTop, 97, 20, 1},
                                                "Abbrechen", false, true));
    BindAction(*this, "btn_abbrechen", &Fenster1::btn_abbrechen_Action);
    AddControl<vela::StaticText>(
        *this, "StaticText1",
        StaticTextList("StaticText1", {24, 14, 493, 20, 2},
                       "Hiermit installieren Sie die Tessavel für X-Plane 9", 1, false, 0));
}

void Fenster1::InstallRequest(void (*readOptions)(Fenster1&))
{
    // Stored before any check: a cancelled dialog forgets an earlier choice.
    Modul1::zielordner = vela::SelectFolder();
    if (readOptions)
        readOptions(*this);
    if (auto fehler = Modul1::ZielordnerFehler(Modul1::zielordner); !fehler.empty()) {
        vela::MsgBox(fehler);
        return;
    }
    Modul1::Kopieren();
}

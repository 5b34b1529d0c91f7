#include "shell/fenster1.h"

#include "disc2/optionen.h"
#include "shell/layout.h"
#include "shell/menu.h"
#include "shell/modul1.h"

using namespace layout;

void Fenster1::Layout()
{
    SetMenuBar(Menü());
    vela::_SetProperties(*this, WindowList(537, 363, 0, "Installation der Tessavel für X-Plane 9"));
}

void Fenster1::_CreateControls0()
{
    CreateButtonsAndHeadline(323);
    AddControl<vela::StaticText>(
        *this, "StaticText3",
        StaticTextList("StaticText3", {24, 141, 478, 47, 3},
                       "1. Klicken Sie auf Installieren\r"
                       "2. Wählen Sie im folgenden Dialog den X-Plane-Ordner auf \r"
                       "    der Festplatte aus",
                       0, true, 0));
    AddControl<vela::StaticText>(
        *this, "StaticText6",
        StaticTextList("StaticText6", {24, 46, 493, 71, 4},
                       "Wichtige Hinweise\r\r"
                       "Diese Scenery benötigt ein installiertes X-Plane 9 oder neuer.\r\r"
                       "Die Tessavel-DVD 2 muss eingelegt sein.\r\r"
                       "Bitte beenden Sie vor dem Start der Installation alle anderen laufenden "
                       "Programme.",
                       0, true, 10));
    AddControl<vela::StaticText>(
        *this, "StaticText7", StaticTextList("StaticText7", {24, 212, 58, 12, 7}, "Optional:", 0, true, 10));
    AddControl<vela::CheckBox>(
        *this, "chk_3dobjects",
        CheckBoxList("chk_3dobjects", {24, 236, 406, 20, 8},
                     "3D-Objekte installieren (Frauenkirche, Olympiastadion, etc.)", true));
    AddControl<vela::CheckBox>(
        *this, "chk_trees",
        CheckBoxList("chk_trees", {24, 259, 286, 20, 9}, "Freeware-Scenery Baumbewuchs", false));
    AddControl<vela::CheckBox>(
        *this, "chk_villages",
        CheckBoxList("chk_villages", {24, 282, 360, 20, 10},
                     "Freeware-Scenery Gebäude für Städte und Dörfer", false));
}

void Fenster1::btn_installieren_Action()
{
    // The options are read at every click, also when the dialog was cancelled.
    InstallRequest([](Fenster1& window) {
        auto ticked = [&](const char* name) {
            return vela::RuntimeCheckCast<vela::CheckBox>(window.ControlByName(name))->Value();
        };
        Modul1::objekte3d = ticked("chk_3dobjects");
        Modul1::baeume = ticked("chk_trees");
        Modul1::haeuser = ticked("chk_villages");
    });
}

#include "shell/fenster1.h"

#include "shell/layout.h"
#include "shell/menu.h"

using namespace layout;

void Fenster1::Layout()
{
    SetMenuBar(Menü());
    vela::_SetProperties(*this, WindowList(537, 235, 0, "Installation der Tessavel für X-Plane 9"));
}

void Fenster1::_CreateControls0()
{
    CreateButtonsAndHeadline(195);
    AddControl<vela::StaticText>(
        *this, "StaticText3",
        StaticTextList("StaticText3", {24, 121, 478, 47, 3},
                       "1. Klicken Sie auf Installieren\r"
                       "2. Wählen Sie im folgenden Dialog den X-Plane 9-Ordner auf \r"
                       "    der Festplatte aus",
                       0, true, 0));
    AddControl<vela::StaticText>(
        *this, "StaticText6",
        StaticTextList("StaticText6", {24, 46, 493, 90, 4},
                       "Wichtige Hinweise\r\r"
                       "Diese Scenery benötigt ein auf der Festplatte installiertes X-Plane 9 oder "
                       "neuer.\r\r"
                       "Die Original-DVD 1 von Tessavel muss sich im DVD-Laufwerk befinden.",
                       0, true, 10));
}

void Fenster1::btn_installieren_Action() { InstallRequest(nullptr); }

// The disc-1 install sequence.
#include "copy/copy.h"
#include "shell/modul1.h"
#include "shell/warten.h"
#include "vela/dialogs.h"
#include "vela/runtime.h"

namespace Modul1 {

// The disc-1 program has no options.
void InitModuleProperties() {}

namespace {
const Disc disc1 = {"VARNOD1", "Bitte Tessavel DVD 1 einlegen!"};
} // namespace

void Kopieren()
{
    kopierfehler.clear();
    auto quelle = DiscQuelle(disc1);
    if (!quelle)
        return;
    auto ziel = VorhandenerOrdner(zielordner, "Resources", "Ordner Resources nicht gefunden");
    if (ziel)
        ziel = VorhandenerOrdner(ziel, "default scenery", "Ordner default scenery nicht gefunden");
    if (!ziel)
        return;
    warten()->Show();
    if (auto quellbaum = quelle->Child("default_scenery")) {
        // The entries as listed once: one that goes away meanwhile is
        // reported by the copy and shifts none of the others.
        for (const auto& eintrag : DiscEintraege(quellbaum)) {
            if (vela::QuitRequested())
                return;
            CopyFileOrFolder(eintrag, ziel);
            vela::RuntimeBackgroundTask();
        }
    }
    // Ended by the user: the program quits without claiming a finished install.
    if (vela::QuitRequested())
        return;
    Abschliessen();
}

} // namespace Modul1

// The disc-1 install sequence.
#include "copy/fehlerliste.h"
#include "shell/modul1.h"
#include "shell/warten.h"

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
    if (auto quellbaum = quelle->Child("default_scenery"))
        KopiereEintraege(quellbaum, ziel);
    Abschliessen();
}

} // namespace Modul1

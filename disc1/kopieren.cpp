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
        // A disc without its scenery must not end in what looks like a success.
        if (!quellbaum->Directory())
            kopierfehler.push_back({ziel->AbsolutePath(), vela::FileError::Missing});
        // The entries as listed once: one that goes away meanwhile is
        // reported by the copy and shifts none of the others.
        for (const auto& eintrag : quellbaum->Entries()) {
            if (vela::QuitRequested())
                return;
            CopyFileOrFolder(eintrag, ziel);
            vela::RuntimeBackgroundTask();
        }
    }
    Abschliessen();
}

} // namespace Modul1

// The disc-2 install sequence.
#include "copy/copy.h"
#include "disc2/optionen.h"
#include "shell/modul1.h"
#include "shell/warten.h"
#include "vela/dialogs.h"
#include "vela/runtime.h"
#include "vela/text.h"

namespace Modul1 {

bool objekte3d, baeume, haeuser;

void InitModuleProperties()
{
    objekte3d = true;
    baeume = false;
    haeuser = false;
}

namespace {

const Disc disc2 = {"VARNOD2", "Bitte Tessavel DVD 2 einlegen!"};

// A folder the install puts navigation data in; a folder that cannot be
// made is reported and nil returned.
vela::Ref<vela::FolderItem> ordnerAnlegen(const vela::Ref<vela::FolderItem>& in, const char* name)
{
    auto ordner = in->Child(name);
    if (!ordner->Exists()) {
        Entsperren(in);
        ordner->CreateAsFolder();
    }
    if (!ordner->DirectoryOrLinkToOne()) {
        Melde(ordner->AbsolutePath(), vela::FileError::Write, true);
        return {};
    }
    return ordner;
}

// The navigation data of "DSF 820 Earth" goes to
// Custom Scenery/zztevorterrain/Earth Nav Data, not into default scenery.
void kopiereNavigationsdaten(const vela::Ref<vela::FolderItem>& eintrag,
                             const vela::Ref<vela::FolderItem>& customScenery)
{
    auto navQuelle = eintrag->Child("Earth nav data");
    auto navZiel = ordnerAnlegen(customScenery, "zztevorterrain");
    if (navZiel)
        navZiel = ordnerAnlegen(navZiel, "Earth Nav Data");
    if (!navZiel)
        return;
    KopiereEintraege(navQuelle, navZiel);
}

// Everything after the progress window has appeared; returns early where a
// check fails, and the run then ends as after a full copy.
void installiere(const vela::Ref<vela::FolderItem>& quelle,
                 const vela::Ref<vela::FolderItem>& customScenery)
{
    auto quellbaum = quelle->Child("default_scenery");
    // Nil only for a name no entry can have: the install's check, kept with its message.
    if (!quellbaum) {
        vela::MsgBox("Zusatzdateien für X-Plane 9 nicht gefunden (default_scenery)");
        return;
    }
    auto szenerieZiel = VorhandenerOrdner(zielordner, "Resources", "Zielverzeichnis nicht gefunden: Resources");
    if (szenerieZiel)
        szenerieZiel = VorhandenerOrdner(szenerieZiel, "default scenery",
                                         "Zielverzeichnis nicht gefunden: default scenery");
    if (!szenerieZiel)
        return;

    // A disc without its scenery must not end in what looks like a success:
    // the missing folder is listed.
    KopiereEintraege(quellbaum, [&](const vela::Ref<vela::FolderItem>& eintrag) {
        if (vela::RuntimeStringCompare(eintrag->Name(), "DSF 820 Earth") != 0)
            CopyFileOrFolder(eintrag, szenerieZiel);
        else
            kopiereNavigationsdaten(eintrag, customScenery);
    });
    if (vela::QuitRequested())
        return;

    const struct {
        bool gewaehlt;
        const char* ordner;
    } teile[] = {{objekte3d, "tevor2"}, {baeume, "CORINE_Europe"}, {haeuser, "vilage_overlay"}};
    // Taken anew rather than customScenery, in the install's order: one
    // look-up, and the same folder unless it was replaced meanwhile.
    auto ziel = zielordner->Child("Custom Scenery");
    for (const auto& teil : teile) {
        if (vela::QuitRequested())
            return;
        // Looked up before every part, ticked or not, in the install's order.
        quellbaum = quelle->Child("custom_scenery");
        if (!teil.gewaehlt)
            continue;
        auto teilOrdner = quellbaum->Child(teil.ordner);
        if (OhneVerknuepfung(teilOrdner))
            CopyFileOrFolder(teilOrdner, ziel);
    }
}

} // namespace

void Kopieren()
{
    kopierfehler.clear();
    auto quelle = DiscQuelle(disc2);
    if (!quelle)
        return;
    auto customScenery = VorhandenerOrdner(zielordner, "Custom Scenery", "Kein X-Plane-Verzeichnis");
    if (!customScenery)
        return;
    warten()->Show();
    installiere(quelle, customScenery);
    Abschliessen();
}

} // namespace Modul1

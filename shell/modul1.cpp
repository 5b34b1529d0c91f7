#include "shell/modul1.h"

#include "copy/copy.h"
#include "vela/dialogs.h"
#include "vela/runtime.h"
#include "vela/text.h"

namespace Modul1 {

vela::Ref<vela::FolderItem> zielordner;

std::string ZielordnerFehler(const vela::Ref<vela::FolderItem>& folder)
{
    if (!folder)
        return "X-Plane wurde nicht ausgewählt, oder die Aktion wurde abgebrochen.";
    if (!folder->Exists())
        return "Ordner nicht gefunden.";
    auto airfoils = folder->Child("Airfoils");
    if (!airfoils || !airfoils->Exists())
        return "Ich glaube, das ist kein X-Plane-Ordner";
    return {};
}

vela::Ref<vela::FolderItem> SucheDisc(const Disc& disc)
{
    auto quelle = vela::New<vela::FolderItem>();
    const int n = vela::VolumeCount();
    for (int i = 0; i < n; ++i) {
        // A volume unmounted since it was counted is passed over.
        if (auto volume = vela::Volume(i); volume &&
                                           vela::RuntimeStringCompare(volume->Name(), disc.volumeName) == 0)
            quelle = volume->Child("resources");
        vela::RuntimeBackgroundTask();
    }
    return quelle;
}

std::string DiscFehler(const vela::Ref<vela::FolderItem>& quelle, const Disc& disc)
{
    if (!quelle || vela::InStr(0, quelle->AbsolutePath(), disc.volumeName) == 0)
        return disc.einlegen;
    if (!quelle->Exists())
        return quelle->Name() + " existiert nicht";
    return {};
}

vela::Ref<vela::FolderItem> DiscQuelle(const Disc& disc)
{
    auto quelle = SucheDisc(disc);
    if (auto fehler = DiscFehler(quelle, disc); !fehler.empty()) {
        vela::MsgBox(fehler);
        return {};
    }
    return quelle;
}

vela::Ref<vela::FolderItem> VorhandenerOrdner(const vela::Ref<vela::FolderItem>& in, const char* name,
                                              const char* meldung)
{
    auto ordner = in->Child(name);
    if (!ordner || !ordner->Exists()) {
        vela::MsgBox(meldung);
        return {};
    }
    return ordner;
}

std::string Fehlerbericht()
{
    if (kopierfehler.empty())
        return {};
    std::string basis = zielordner ? zielordner->AbsolutePath() + "/" : std::string();
    std::string text = "Folgende Dateien konnten nicht kopiert werden:";
    const std::size_t shown = std::min<std::size_t>(kopierfehler.size(), 10);
    for (std::size_t i = 0; i < shown; ++i) {
        std::string pfad = kopierfehler[i].pfad;
        if (!basis.empty() && pfad.rfind(basis, 0) == 0)
            pfad = pfad.substr(basis.size());
        const char* grund = kopierfehler[i].grund == vela::FileError::Read      ? "Lesefehler"
                            : kopierfehler[i].grund == vela::FileError::Missing ? "fehlt auf der DVD"
                                                                                 : "Schreibfehler";
        text += "\n" + pfad + " – " + grund;
    }
    if (kopierfehler.size() > shown)
        text += "\n… und " + std::to_string(kopierfehler.size() - shown) + " weitere";
    return text;
}

void Abschliessen()
{
    if (auto bericht = Fehlerbericht(); !bericht.empty())
        vela::MsgBox(bericht);
    vela::MsgBox("Installation beendet");
    vela::Quit(0);
}

} // namespace Modul1

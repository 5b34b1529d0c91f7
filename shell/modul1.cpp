#include "shell/modul1.h"

#include "copy/copy.h"
#include "vela/dialogs.h"
#include "vela/runtime.h"
#include "vela/text.h"

namespace Modul1 {

vela::Ref<vela::FolderItem> zielordner;
std::string dvdOrdner;

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
    dvdOrdner.clear();
    const int n = vela::VolumeCount();
    for (int i = 0; i < n; ++i) {
        // A volume unmounted since it was counted is passed over.
        if (auto volume = vela::Volume(i); volume &&
                                           vela::RuntimeStringCompare(volume->Name(), disc.volumeName) == 0) {
            quelle = volume->Child("resources");
            dvdOrdner = volume->AbsolutePath();
        }
        vela::RuntimeBackgroundTask();
    }
    return quelle;
}

namespace {

// Whether the item lies on a volume of that name: the one mounted deepest
// on its way, as a later mount hides what lies beneath it.
bool aufVolume(const vela::Ref<vela::FolderItem>& item, const std::string& name)
{
    const std::string pfad = item->AbsolutePath();
    std::string gefunden;
    std::size_t tiefe = 0;
    const int n = vela::VolumeCount();
    for (int i = 0; i < n; ++i) {
        auto volume = vela::Volume(i);
        if (!volume)
            continue;
        const std::string ort = volume->AbsolutePath();
        if (LiegtIn(pfad, ort) && ort.size() >= tiefe) {
            tiefe = ort.size();
            gefunden = volume->Name();
        }
    }
    return !gefunden.empty() && vela::RuntimeStringCompare(gefunden, name) == 0;
}

} // namespace

std::string DiscFehler(const vela::Ref<vela::FolderItem>& quelle, const Disc& disc)
{
    // The disc's name is in its path where the system mounts it by name; a
    // drive mounted elsewhere (/media/cdrom0) has it as the volume's name.
    if (!quelle || (vela::InStr(0, quelle->AbsolutePath(), disc.volumeName) == 0 &&
                    !aufVolume(quelle, disc.volumeName)))
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

bool OhneVerknuepfung(const vela::Ref<vela::FolderItem>& item)
{
    const std::string pfad = item->AbsolutePath();
    // From the disc's top down, so the first link on the way is the one listed.
    std::size_t ende = LiegtIn(pfad, dvdOrdner) ? dvdOrdner.size() : pfad.size();
    while (ende != std::string::npos) {
        ende = pfad.find('/', ende + 1);
        const std::string stueck = pfad.substr(0, ende);
        if (vela::FolderItem(stueck).IsSymlink()) {
            Melde(stueck, vela::FileError::Link);
            return false;
        }
    }
    return true;
}

std::vector<vela::Ref<vela::FolderItem>> DiscEintraege(const vela::Ref<vela::FolderItem>& ordner)
{
    if (!OhneVerknuepfung(ordner))
        return {};
    auto eintraege = ordner->Entries();
    if (ordner->LastError() != vela::FileError::None)
        Melde(ordner->AbsolutePath(), ordner->LastError(), true);
    else if (!ordner->Directory())
        Melde(ordner->AbsolutePath(), vela::FileError::Missing, true);
    return eintraege;
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

void KopiereEintraege(const vela::Ref<vela::FolderItem>& ordner,
                      const std::function<void(const vela::Ref<vela::FolderItem>&)>& kopiere)
{
    // The entries as listed once: one that goes away meanwhile is reported
    // by the copy and shifts none of the others.
    for (const auto& eintrag : DiscEintraege(ordner)) {
        if (vela::QuitRequested())
            return;
        kopiere(eintrag);
        vela::RuntimeBackgroundTask();
    }
}

void KopiereEintraege(const vela::Ref<vela::FolderItem>& ordner, const vela::Ref<vela::FolderItem>& ziel)
{
    KopiereEintraege(ordner, [&ziel](const vela::Ref<vela::FolderItem>& eintrag) {
        CopyFileOrFolder(eintrag, ziel);
    });
}

void Abschliessen()
{
    // Ended by the user: the program quits without claiming a finished install.
    if (vela::QuitRequested())
        return;
    // "Installation beendet" means the files are on the disk. A failed flush
    // concerns all of them: listed with the whole folders.
    if (!vela::FlushWrites())
        Melde(zielordner ? zielordner->AbsolutePath() : std::string(), vela::FileError::Write, true);
    if (auto bericht = Fehlerbericht(zielordner ? zielordner->AbsolutePath() : std::string(), dvdOrdner);
        !bericht.empty())
        vela::MsgBox(bericht);
    vela::MsgBox("Installation beendet");
    vela::Quit(0);
}

} // namespace Modul1

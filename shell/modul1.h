// The install routines and the state they share.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "vela/folderitem.h"

namespace Modul1 {

// The X-Plane folder the user chose; nil until the first click on
// "Installieren" and after a cancelled folder dialog.
extern vela::Ref<vela::FolderItem> zielordner;

// Each program's own.
void InitModuleProperties();
void Kopieren();

// Why the chosen folder is no X-Plane folder, or "" when it looks like one.
std::string ZielordnerFehler(const vela::Ref<vela::FolderItem>& folder);

struct Disc {
    const char* volumeName;  // "VARNOD1", "VARNOD2"
    const char* einlegen;    // the message when it is not in the drive
};

// The disc's "resources" folder: the child of the last mounted volume of
// that name, or an item that names nothing when no such volume is mounted.
vela::Ref<vela::FolderItem> SucheDisc(const Disc& disc);
// Where the disc found last is mounted; "" before, or when none was found.
extern std::string dvdOrdner;
// Why the disc cannot be used, or "" when it can.
std::string DiscFehler(const vela::Ref<vela::FolderItem>& quelle, const Disc& disc);
// The disc's "resources" folder; nil, after telling the user why, when the
// disc is not there or cannot be used.
vela::Ref<vela::FolderItem> DiscQuelle(const Disc& disc);
// Whether the disc's item can be used: no symbolic link on the way from the
// disc's top to it, or in its place. A link is listed and never followed.
bool OhneVerknuepfung(const vela::Ref<vela::FolderItem>& item);
// The entries of a disc folder an install walks itself. A folder that cannot
// be read, is missing (a disc without its scenery must not end in what looks
// like a success) or is a link is listed, and gives none.
std::vector<vela::Ref<vela::FolderItem>> DiscEintraege(const vela::Ref<vela::FolderItem>& ordner);
// The existing child of that name; nil, after the message, when there is none.
vela::Ref<vela::FolderItem> VorhandenerOrdner(const vela::Ref<vela::FolderItem>& in, const char* name,
                                              const char* meldung);

// Copies each entry of a disc folder the install walks itself (as
// DiscEintraege gives them) with kopiere, and lets pending events through
// after each; stops before the next entry once the program is asked to end.
void KopiereEintraege(const vela::Ref<vela::FolderItem>& ordner,
                      const std::function<void(const vela::Ref<vela::FolderItem>&)>& kopiere);
// The same, each entry copied into ziel.
void KopiereEintraege(const vela::Ref<vela::FolderItem>& ordner, const vela::Ref<vela::FolderItem>& ziel);

// The end of an install that has shown the progress window: flushes what was
// written to the disk, shows what could not be copied, if anything, then
// "Installation beendet", and quits. Ended by the user, it does none of that.
void Abschliessen();

} // namespace Modul1

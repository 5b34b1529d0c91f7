// The recursive copy that both install sequences send their copy plans
// through. It merges into what the target holds and keeps a list of what it
// could not copy, so the user is told.
#pragma once

#include <string>
#include <vector>

#include "vela/folderitem.h"

namespace Modul1 {

struct Kopierfehler {
    // The absolute path of what failed: on the disc for what could not be
    // read, is missing or is a link; in the X-Plane folder for what could not
    // be written there.
    std::string pfad;
    vela::FileError grund;
    // A whole folder or part of the install (an add-on the disc lacks, a
    // folder that cannot be read or made), not a single file or link.
    bool ganzerOrdner = false;
};

// What the copies since the last Clear could not do, in order.
extern std::vector<Kopierfehler> kopierfehler;
// Adds to the list; a link met on the way to several items is listed once.
// The report shows the failures of whole folders before the others.
void Melde(const std::string& pfad, vela::FileError grund, bool ganzerOrdner = false);

// Copies a file, or a folder with everything below it, into the destination
// folder: folders there are kept and filled, files of the same name replaced,
// what only the target holds stays, files whose names begin with "." are left
// out, links on the disc are listed and never followed. Shows each copied
// file's name in the progress window. Stops before the next file once the
// program is asked to end.
void CopyFileOrFolder(const vela::Ref<vela::FolderItem>& quelle,
                      const vela::Ref<vela::FolderItem>& ziel);

} // namespace Modul1

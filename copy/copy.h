// The recursive copy that both install sequences send their copy plans
// through. It merges into what the target holds and keeps a list of what it
// could not copy, so the user is told.
#pragma once

#include <string>
#include <vector>

#include "vela/folderitem.h"

namespace Modul1 {

struct Kopierfehler {
    std::string pfad;  // absolute path of the target item
    vela::FileError grund;
};

// What the copies since the last Clear could not do, in order.
extern std::vector<Kopierfehler> kopierfehler;

// Copies a file, or a folder with everything below it, into the destination
// folder: folders there are kept and filled, files of the same name replaced,
// what only the target holds stays, files whose names begin with "." are left out.
// Shows each copied file's name in the progress window.
void CopyFileOrFolder(const vela::Ref<vela::FolderItem>& quelle,
                      const vela::Ref<vela::FolderItem>& ziel);

} // namespace Modul1

// The recursive copy that both install sequences send their copy plans
// through. It merges into what the target holds and keeps a list of what it
// could not copy (copy/fehlerliste.h), so the user is told.
#pragma once

#include "copy/fehlerliste.h"
#include "vela/folderitem.h"

namespace Modul1 {

// Copies a file, or a folder with everything below it, into the destination
// folder: folders there are kept and filled, files of the same name replaced,
// what only the target holds stays, files whose names begin with "." are left
// out, links on the disc are listed and never followed. Shows each copied
// file's name in the progress window. Stops before the next file once the
// program is asked to end.
void CopyFileOrFolder(const vela::Ref<vela::FolderItem>& quelle,
                      const vela::Ref<vela::FolderItem>& ziel);

// Makes a folder writable before something is made in it: a locked folder
// would refuse it.
void Entsperren(const vela::Ref<vela::FolderItem>& ordner);

} // namespace Modul1

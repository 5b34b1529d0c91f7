// Modal dialogs and the screen.
#pragma once

#include <string>

#include "vela/folderitem.h"
#include "vela/ref.h"

namespace vela {

// A modal box with the one text and OK; returns when dismissed.
void MsgBox(const std::string& text);
// The folder dialog, without a prompt; nil when cancelled.
Ref<FolderItem> SelectFolder();

} // namespace vela

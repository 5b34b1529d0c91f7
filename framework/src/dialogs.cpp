// The dialogs and the screen as the programs ask for them, through the platform.
#include <QGuiApplication>
#include <QScreen>

#include "internal.h"
#include "vela/dialogs.h"
#include "vela/platform.h"
#include "vela/runtime.h"

namespace vela {

Ref<ScreenInfo> Screen(int index)
{
    auto info = New<ScreenInfo>();
    if (index == 0) {
        info->Width = CurrentPlatform().ScreenWidth();
        info->Height = CurrentPlatform().ScreenHeight();
        return info;
    }
    auto screens = QGuiApplication::screens();
    if (index < 0 || index >= screens.size())
        return {};
    QRect g = screens[index]->geometry();
    *info = {g.x(), g.y(), g.width(), g.height()};
    return info;
}

void MsgBox(const std::string& text)
{
    detail::FlushPendingPaints();
    CurrentPlatform().MsgBox(text);
}

Ref<FolderItem> SelectFolder()
{
    auto path = CurrentPlatform().SelectFolder();
    if (!path)
        return {};
    return New<FolderItem>(*path);
}

} // namespace vela

#include "shell/menu.h"

vela::Ref<class Menü> Menü::_implicitInstance;

namespace {

vela::Ref<vela::MenuItem> makeItem(vela::Ref<vela::MenuItem> item, const char* name,
                                   bool autoEnable, const char* text, const char* shortcut)
{
    item->Name = name;
    item->AutoEnable = autoEnable;
    item->Text = text;
    item->KeyboardShortcut = shortcut;
    return item;
}

vela::Ref<vela::MenuItem> item(const char* name, bool autoEnable, const char* text,
                               const char* shortcut = "")
{
    return makeItem(vela::New<vela::MenuItem>(), name, autoEnable, text, shortcut);
}

} // namespace

Menü::Menü()
{
    Untitled1();
    Untitled2();
}

void Menü::Untitled1()
{
    Append(item("UntitledMenu2", false, "Ablage"));
    Child("UntitledMenu2")
        ->Append(makeItem(vela::New<vela::QuitMenuItem>(), "FileQuit", true, "Beenden", "Cmd+Q"));
}

void Menü::Untitled2()
{
    Append(item("UntitledMenu0", false, "Bearbeiten"));
    Child("UntitledMenu0")->Append(item("EditUndo", false, "Undo", "Cmd+Z"));
    Child("UntitledMenu0")->Append(item("UntitledMenu1", false, "-"));
    Child("UntitledMenu0")->Append(item("EditCut", false, "Ausschneiden", "Cmd+X"));
    Child("UntitledMenu0")->Append(item("EditCopy", false, "Kopieren", "Cmd+C"));
    Child("UntitledMenu0")->Append(item("EditPaste", false, "Einfügen", "Cmd+V"));
    Child("UntitledMenu0")->Append(item("EditClear", false, "Löschen"));
}

vela::Ref<class Menü> Menü()
{
    if (!Menü::_implicitInstance)
        Menü::_implicitInstance = vela::New<class Menü>();
    return Menü::_implicitInstance;
}

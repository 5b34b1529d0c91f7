#include "shell/warten.h"

#include "shell/layout.h"

using namespace layout;

vela::Ref<class warten> warten()
{
    vela::Ref<vela::Window> window = vela::_GetImplicitWindow(warten::ClassName);
    if (!window)
        window = vela::NewWindow<class warten>(warten::ClassName);
    return vela::RuntimeCheckCast<class warten>(window);
}

vela::PropertyList WartenProperties(int frame)
{
    return WindowList(252, 107, frame, "Kopiervorgang");
}

void warten::CreateControls() { _CreateControls0(); }

void warten::_CreateControls0()
{
    PropertyList arrows = Head("ChasingArrows1", {196, 36, 21, 16, 0});
    Append(arrows, {{"Enabled", BoolValue(true)},
                    {"Visible", BoolValue(true)},
                    {"HelpTag", TextValue("")},
                    {"AutoDeactivate", BoolValue(true)},
                    {"InitialParent", TextValue("")}});
    AddControl<vela::ChasingArrows>(*this, "ChasingArrows1", arrows);
    AddControl<vela::StaticText>(*this, "StaticText1",
                                 StaticTextList("StaticText1", {35, 35, 149, 20, 1},
                                                "Kopiervorgang läuft ...", 0, false, 0));
    AddControl<vela::StaticText>(*this, "StaticText2",
                                 StaticTextList("StaticText2", {35, 69, 217, 20, 2}, "", 0, false, 0));
}

void warten::AddMenuHandlers() {}

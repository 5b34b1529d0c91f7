// The progress window "Kopiervorgang": a busy indicator, a fixed label and
// the name of the file just copied. Each program gives it its own frame.
#pragma once

#include "vela/window.h"

class warten : public vela::Window {
public:
    static constexpr const char* ClassName = "warten.warten";

    void Layout() override;  // each program's own
    void CreateControls() override;
    virtual void _CreateControls0();
    void AddMenuHandlers() override;
};

// The window's property list with the program's frame.
vela::PropertyList WartenProperties(int frame);

// The one progress window, created (and so shown) on first use.
vela::Ref<class warten> warten();

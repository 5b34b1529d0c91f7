// The one menu bar of each program: "Ablage" with the quit item and
// "Bearbeiten" with the edit items, which the framework handles.
#pragma once

#include "vela/menu.h"

class Menü : public vela::MenuBar {
public:
    Menü();
    void Untitled1();
    void Untitled2();

    static vela::Ref<class Menü> _implicitInstance;
};

// The single instance, built on first use.
vela::Ref<class Menü> Menü();

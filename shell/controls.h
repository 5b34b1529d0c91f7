// Building windows from their layout tables: the property lists every
// window and control of the programs has, and adding a control to a window.
#pragma once

#include <climits>
#include <string>

#include "vela/window.h"

namespace layout {

using vela::PropertyList;
using vela::Value;

inline Value I(std::int64_t v) { return Value(v); }
inline Value B(bool v) { return Value(v); }
inline Value T(const char* v) { return Value(std::string(v)); }
inline Value Black() { return Value(vela::Color{0, 0, 0}); }

struct Box {
    int left, top, width, height, tabIndex;
};

// Name, Index, position and size, locks, tab panel and tab index: how every list starts.
inline PropertyList Head(const char* name, Box b)
{
    PropertyList l = {{"Name", T(name)}};
    l.insert(l.end(), {{"Index", I(INT_MIN)},
                       {"Left", I(b.left)},
                       {"Top", I(b.top)},
                       {"Width", I(b.width)},
                       {"Height", I(b.height)},
                       {"LockLeft", B(false)},
                       {"LockTop", B(false)},
                       {"LockRight", B(false)},
                       {"LockBottom", B(false)},
                       {"TabPanelIndex", I(0)},
                       {"TabIndex", I(b.tabIndex)}});
    return l;
}

inline void Append(PropertyList& l, PropertyList more) { l.insert(l.end(), more.begin(), more.end()); }

inline PropertyList Font(int size)
{
    return {{"TextFont", T("System")}, {"TextSize", I(size)}, {"Bold", B(false)},
            {"Italic", B(false)},      {"Underline", B(false)}};
}

inline PropertyList PushButtonList(const char* name, Box b, const char* caption, bool isDefault,
                                   bool isCancel)
{
    PropertyList l = Head(name, b);
    Append(l, {{"Caption", T(caption)},
               {"Default", B(isDefault)},
               {"Cancel", B(isCancel)},
               {"Enabled", B(true)},
               {"Visible", B(true)},
               {"HelpTag", T("")},
               {"AutoDeactivate", B(true)}});
    Append(l, Font(0));
    l.push_back({"InitialParent", T("")});
    return l;
}

inline PropertyList StaticTextList(const char* name, Box b, const std::string& text, int align,
                                   bool multiline, int textSize)
{
    PropertyList l = Head(name, b);
    Append(l, {{"Text", Value(text)},
               {"TextAlign", I(align)},
               {"TextColor", Black()},
               {"Multiline", B(multiline)},
               {"Enabled", B(true)},
               {"Visible", B(true)},
               {"HelpTag", T("")},
               {"AutoDeactivate", B(true)}});
    Append(l, Font(textSize));
    Append(l, {{"DataSource", T("")}, {"DataField", T("")}, {"InitialParent", T("")}});
    return l;
}

inline PropertyList CheckBoxList(const char* name, Box b, const char* caption, bool value)
{
    PropertyList l = Head(name, b);
    Append(l, {{"Caption", T(caption)},
               {"Enabled", B(true)},
               {"Visible", B(true)},
               {"HelpTag", T("")},
               {"AutoDeactivate", B(true)}});
    Append(l, Font(0));
    Append(l, {{"Value", B(value)}, {"DataSource", T("")}, {"DataField", T("")},
               {"InitialParent", T("")}});
    return l;
}

// The window list both programs' windows share; only height, frame and title differ.
inline PropertyList WindowList(int width, int height, int frame, const char* title)
{
    return {{"Placement", I(0)},      {"Width", I(width)},          {"Height", I(height)},
            {"MinWidth", I(64)},      {"MinHeight", I(64)},         {"MaxWidth", I(32000)},
            {"MaxHeight", I(32000)},  {"Frame", I(frame)},          {"Composite", B(false)},
            {"HasBackColor", B(false)}, {"BackColor", Value(vela::Color{255, 255, 255})},
            {"Title", T(title)},      {"Visible", B(true)},         {"FullScreen", B(false)},
            {"MenuBarVisible", B(true)}, {"CloseButton", B(true)},  {"Resizeable", B(false)},
            {"LiveResize", B(false)}, {"MaximizeButton", B(false)}, {"MinimizeButton", B(true)},
            {"BalloonHelp", T("")},   {"MacProcID", I(0)}};
}

// Creates a control of class C for the window, registers it under its name,
// fetches it back by name and gives it its property list.
template <class C>
vela::Ref<C> AddControl(vela::Window& window, const std::string& name, const PropertyList& list)
{
    vela::Ref<C> created = window.__New<C>();
    window._AddControl(name, created);
    vela::Ref<C> control = vela::RuntimeCheckCast<C>(window.ControlByName(name));
    vela::_SetProperties(*control, list);
    return control;
}

// Binds the button's Action to a handler of its window.
template <class W>
void BindAction(W& window, const std::string& name, void (W::*handler)())
{
    auto button = vela::RuntimeCheckCast<vela::PushButton>(window.ControlByName(name));
    vela::_InstallActionHandler(button, &window, handler);
}

} // namespace layout

// Building windows from their layout tables: the property lists every
// window and control of the programs has, and adding a control to a window.
#pragma once

#include <climits>
#include <string>

#include "vela/window.h"

namespace layout {

using vela::PropertyList;
using vela::Value;

// The values of the lists: a whole number, true or false, a text.
inline Value IntValue(std::int64_t v) { return Value(v); }
inline Value BoolValue(bool v) { return Value(v); }
inline Value TextValue(const char* v) { return Value(std::string(v)); }
inline Value Black() { return Value(vela::Color{0, 0, 0}); }

struct Box {
    int left, top, width, height, tabIndex;
};

// Name, Index, position and size, locks, tab panel and tab index: how every list starts.
inline PropertyList Head(const char* name, Box b)
{
    PropertyList l = {{"Name", TextValue(name)}};
    l.insert(l.end(), {{"Index", IntValue(INT_MIN)},
                       {"Left", IntValue(b.left)},
                       {"Top", IntValue(b.top)},
                       {"Width", IntValue(b.width)},
                       {"Height", IntValue(b.height)},
                       {"LockLeft", BoolValue(false)},
                       {"LockTop", BoolValue(false)},
                       {"LockRight", BoolValue(false)},
                       {"LockBottom", BoolValue(false)},
                       {"TabPanelIndex", IntValue(0)},
                       {"TabIndex", IntValue(b.tabIndex)}});
    return l;
}

inline void Append(PropertyList& l, PropertyList more) { l.insert(l.end(), more.begin(), more.end()); }

inline PropertyList Font(int size)
{
    return {{"TextFont", TextValue("System")},
            {"TextSize", IntValue(size)},
            {"Bold", BoolValue(false)},
            {"Italic", BoolValue(false)},
            {"Underline", BoolValue(false)}};
}

inline PropertyList PushButtonList(const char* name, Box b, const char* caption, bool isDefault,
                                   bool isCancel)
{
    PropertyList l = Head(name, b);
    Append(l, {{"Caption", TextValue(caption)},
               {"Default", BoolValue(isDefault)},
               {"Cancel", BoolValue(isCancel)},
               {"Enabled", BoolValue(true)},
               {"Visible", BoolValue(true)},
               {"HelpTag", TextValue("")},
               {"AutoDeactivate", BoolValue(true)}});
    Append(l, Font(0));
    l.push_back({"InitialParent", TextValue("")});
    return l;
}

inline PropertyList StaticTextList(const char* name, Box b, const std::string& text, int align,
                                   bool multiline, int textSize)
{
    PropertyList l = Head(name, b);
    Append(l, {{"Text", Value(text)},
               {"TextAlign", IntValue(align)},
               {"TextColor", Black()},
               {"Multiline", BoolValue(multiline)},
               {"Enabled", BoolValue(true)},
               {"Visible", BoolValue(true)},
               {"HelpTag", TextValue("")},
               {"AutoDeactivate", BoolValue(true)}});
    Append(l, Font(textSize));
    Append(l, {{"DataSource", TextValue("")},
               {"DataField", TextValue("")},
               {"InitialParent", TextValue("")}});
    return l;
}

inline PropertyList CheckBoxList(const char* name, Box b, const char* caption, bool value)
{
    PropertyList l = Head(name, b);
    Append(l, {{"Caption", TextValue(caption)},
               {"Enabled", BoolValue(true)},
               {"Visible", BoolValue(true)},
               {"HelpTag", TextValue("")},
               {"AutoDeactivate", BoolValue(true)}});
    Append(l, Font(0));
    Append(l, {{"Value", BoolValue(value)}, {"DataSource", TextValue("")}, {"DataField", TextValue("")},
               {"InitialParent", TextValue("")}});
    return l;
}

// The window list both programs' windows share; only height, frame and title differ.
inline PropertyList WindowList(int width, int height, int frame, const char* title)
{
    return {{"Placement", IntValue(0)},
            {"Width", IntValue(width)},
            {"Height", IntValue(height)},
            {"MinWidth", IntValue(64)},
            {"MinHeight", IntValue(64)},
            {"MaxWidth", IntValue(32000)},
            {"MaxHeight", IntValue(32000)},
            {"Frame", IntValue(frame)},
            {"Composite", BoolValue(false)},
            {"HasBackColor", BoolValue(false)},
            {"BackColor", Value(vela::Color{255, 255, 255})},
            {"Title", TextValue(title)},
            {"Visible", BoolValue(true)},
            {"FullScreen", BoolValue(false)},
            {"MenuBarVisible", BoolValue(true)},
            {"CloseButton", BoolValue(true)},
            {"Resizeable", BoolValue(false)},
            {"LiveResize", BoolValue(false)},
            {"MaximizeButton", BoolValue(false)},
            {"MinimizeButton", BoolValue(true)},
            {"BalloonHelp", TextValue("")},
            {"MacProcID", IntValue(0)}};
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
    vela::InstallActionHandler(button, &window, handler);
}

} // namespace layout

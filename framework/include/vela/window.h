// Windows and their controls.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vela/properties.h"
#include "vela/ref.h"

class QWidget;

namespace vela {

class MenuBar;
class Window;
struct WindowWidgets;
struct ControlWidgets;

// A control belongs to one window and is known there by its Name.
class RectControl : public PropertyHolder {
public:
    ~RectControl() override;
    std::string Name() const;
    QWidget* Widget() const;
    Window* Parent() const { return window_; }

protected:
    RectControl();
    void PropertyChanged(const std::string& name, const Value& value) override;
    virtual void ApplyProperty(const std::string& name, const Value& value);
    void AttachTo(Window* window);
    void SetWidget(QWidget* widget);
    friend class Window;

    Window* window_ = nullptr;
    std::unique_ptr<ControlWidgets> c_;
};

class PushButton : public RectControl {
public:
    PushButton();
    std::string Caption() const { return TextProperty("Caption"); }
    // Runs the bound Action, as a click does.
    void Push();
    void SetAction(std::function<void()> action) { action_ = std::move(action); }

protected:
    void ApplyProperty(const std::string& name, const Value& value) override;

private:
    std::function<void()> action_;
};

class StaticText : public RectControl {
public:
    StaticText();
    std::string Text() const { return TextProperty("Text"); }
    // A CR in the text is a line break.
    void SetText(const std::string& text);
    // Sets the font, and for a multi-line text the height it draws into, for
    // the room its window leaves below it.
    void Fit();

protected:
    void ApplyProperty(const std::string& name, const Value& value) override;

private:
    std::string* text_ = nullptr;  // the stored Text, once there is one
};

class CheckBox : public RectControl {
public:
    CheckBox();
    bool Value() const;
    void SetValue(bool ticked);

protected:
    void ApplyProperty(const std::string& name, const vela::Value& value) override;
};

// A small turning busy indicator.
class ChasingArrows : public RectControl {
public:
    ChasingArrows();
    int Phase() const;

protected:
    void ApplyProperty(const std::string& name, const Value& value) override;
};

class Window : public PropertyHolder {
public:
    ~Window() override;

    // The hooks, run by the framework when the window is constructed.
    virtual void Layout() {}
    virtual void CreateControls() {}
    virtual void AddMenuHandlers() {}
    virtual void Event_Open() {}

    void Show();
    void Close();
    // true: repaint now.
    void Refresh(bool immediately);
    bool IsVisible() const;

    int Left() const;
    int Top() const;
    int Width() const { return static_cast<int>(IntProperty("Width")); }
    int Height() const { return static_cast<int>(IntProperty("Height")); }
    void SetLeft(int left) { SetProperty("Left", Value(std::int64_t(left))); }
    void SetTop(int top) { SetProperty("Top", Value(std::int64_t(top))); }
    std::string Title() const { return TextProperty("Title"); }

    Ref<vela::MenuBar> MenuBar() const { return menuBar_; }
    void SetMenuBar(Ref<vela::MenuBar> bar);

    // Creates a control of class C for this window.
    template <class C>
    Ref<C> __New() { return New<C>(); }
    // The window holds the control and finds it by that name from then on.
    void _AddControl(const std::string& name, Ref<RectControl> control);
    Ref<RectControl> ControlByName(std::string_view name) const;
    // Controls in the order they were added.
    const std::vector<Ref<RectControl>>& Controls() const { return controls_; }

    QWidget* Widget() const;
    QWidget* ContentArea() const;
    // Re-orders keyboard focus by the controls' TabIndex.
    void UpdateTabOrder();
    // A control whose look changed, for the next Refresh(true).
    void ControlChanged(QWidget* control);
    // The height from the control's top down to the next control below it.
    int RoomBelow(const RectControl& control) const;
    // Fits the multi-line texts to the room the other controls leave them.
    void FitTexts();

    // The framework's construction: registers the instance under its class
    // name, then runs Layout, CreateControls, AddMenuHandlers, and Open when
    // the layout made the window visible.
    static void Construct(const Ref<Window>& window, const std::string& className);

protected:
    Window();
    void PropertyChanged(const std::string& name, const Value& value) override;

private:
    void ApplyFlags();
    void ApplySize();
    void FollowMainWindow();
    std::unique_ptr<WindowWidgets> w_;
    std::vector<Ref<RectControl>> controls_;
    std::map<std::string, Ref<RectControl>, std::less<>> byName_;
    Ref<vela::MenuBar> menuBar_;
    bool opened_ = false;
    bool constructing_ = false;
};

// The single instance kept under a registered class name, or nil.
Ref<Window> _GetImplicitWindow(std::string_view className);
// Every window the framework holds, in creation order.
std::vector<Ref<Window>> AllWindows();
// The shut-down's releases of the framework's window lists.
void ReleaseImplicitWindowList();
void ReleaseDirtyWindows();
void ReleaseWindows();

Ref<RectControl> RuntimeWindowControlByName(const Ref<Window>& window, std::string_view name);

template <class W>
Ref<W> NewWindow(const std::string& className)
{
    Ref<W> window = New<W>();
    Window::Construct(window, className);
    return window;
}

inline void _SetProperties(const Ref<PropertyHolder>& target, const PropertyList& list)
{
    _SetProperties(*target, list);
}

// Binds a button's Action to a member function of its window.
template <class W>
void InstallActionHandler(const Ref<PushButton>& button, W* window, void (W::*handler)())
{
    button->SetAction([window, handler] { (window->*handler)(); });
}

} // namespace vela

// The framework's windows: a top-level widget with a content area that
// holds the controls, and the list of windows the framework keeps.
#include "vela/window.h"

#include <QApplication>
#include <QKeySequence>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QShortcut>
#include <QWindow>
#include <algorithm>

#include "internal.h"
#include "vela/menu.h"

namespace vela {

namespace {

struct Lists {
    std::map<std::string, Ref<Window>, std::less<>> implicit;
    std::vector<Ref<Window>> windows;
};
Lists& lists()
{
    // Never destroyed: when the display goes away the toolkit calls exit(),
    // and the static tear-down must not destroy windows beneath it.
    static Lists& l = *new Lists;
    return l;
}

} // namespace

struct WindowWidgets {
    std::vector<QWidget*> changed;  // children of the content area: they live as long as it
    QPointer<QMainWindow> top;
    QPointer<QWidget> content;
    QPointer<QMenuBar> menuBar;
};

Window::Window() : w_(std::make_unique<WindowWidgets>())
{
    className_ = "Window";
    Accept({{"Placement", Kind::Integer},   {"Left", Kind::Integer},
            {"Top", Kind::Integer},         {"Width", Kind::Integer},
            {"Height", Kind::Integer},      {"MinWidth", Kind::Integer},
            {"MinHeight", Kind::Integer},   {"MaxWidth", Kind::Integer},
            {"MaxHeight", Kind::Integer},   {"Frame", Kind::Integer},
            {"Composite", Kind::Boolean},   {"HasBackColor", Kind::Boolean},
            {"BackColor", Kind::Colour},    {"Title", Kind::String},
            {"Visible", Kind::Boolean},     {"FullScreen", Kind::Boolean},
            {"MenuBarVisible", Kind::Boolean}, {"CloseButton", Kind::Boolean},
            {"Resizeable", Kind::Boolean},  {"LiveResize", Kind::Boolean},
            {"MaximizeButton", Kind::Boolean}, {"MinimizeButton", Kind::Boolean},
            {"BalloonHelp", Kind::String},  {"MacProcID", Kind::Integer}});
    w_->top = new QMainWindow;
    w_->top->setAttribute(Qt::WA_DeleteOnClose, false);
    w_->content = new QWidget;
    w_->top->setCentralWidget(w_->content);
    w_->top->layout()->setSizeConstraint(QLayout::SetFixedSize);

    // Return presses the default button; Escape and closing follow the
    // long-job rule.
    for (auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* s = new QShortcut(QKeySequence(key), w_->top);
        QObject::connect(s, &QShortcut::activated, [this] { detail::PressFlagged(*this, "Default"); });
    }
    detail::WatchEndRequests(*this);
}

bool detail::PressFlagged(const Window& window, const char* flag)
{
    for (const auto& c : window.Controls())
        if (auto b = std::dynamic_pointer_cast<PushButton>(c.shared()))
            if (b->BoolProperty(flag) && b->Widget()->isEnabled()) {
                b->Push();
                return true;
            }
    return false;
}

Window::~Window()
{
    controls_.clear();
    byName_.clear();
    if (w_->top)
        delete w_->top.data();
}

QWidget* Window::Widget() const { return w_->top.data(); }
QWidget* Window::ContentArea() const { return w_->content.data(); }

void Window::Construct(const Ref<Window>& window, const std::string& className)
{
    auto& l = lists();
    l.implicit[className] = window;
    l.windows.push_back(window);
    window->className_ = className;
    window->constructing_ = true;
    window->w_->top->setObjectName(QString::fromStdString(className));
    window->Layout();
    window->CreateControls();
    window->AddMenuHandlers();
    window->ApplyFlags();
    window->constructing_ = false;
    if (window->BoolProperty("Visible"))
        window->Show();
}

void Window::ApplyFlags()
{
    QMainWindow* top = w_->top;
    int frame = int(IntProperty("Frame"));
    Qt::WindowFlags f = (frame == 0 ? Qt::Window : Qt::Dialog) | Qt::CustomizeWindowHint |
                        Qt::WindowTitleHint;
    if (!HasProperty("CloseButton") || BoolProperty("CloseButton"))
        f |= Qt::WindowCloseButtonHint;
    if (BoolProperty("MinimizeButton"))
        f |= Qt::WindowMinimizeButtonHint;
    if (BoolProperty("MaximizeButton"))
        f |= Qt::WindowMaximizeButtonHint;
    top->setWindowFlags(f);
    if (w_->menuBar)
        w_->menuBar->setVisible(!HasProperty("MenuBarVisible") || BoolProperty("MenuBarVisible"));
    ApplySize();
}

void Window::ApplySize()
{
    int w = int(IntProperty("Width")), h = int(IntProperty("Height"));
    if (w <= 0 || h <= 0)
        return;
    w_->content->setFixedSize(w, h);
    w_->top->layout()->setSizeConstraint(
        HasProperty("Resizeable") && BoolProperty("Resizeable") ? QLayout::SetMinimumSize
                                                                 : QLayout::SetFixedSize);
    w_->top->adjustSize();
}

void Window::PropertyChanged(const std::string& name, const Value& value)
{
    QMainWindow* top = w_->top;
    if (name == "Title") {
        top->setWindowTitle(QString::fromStdString(std::get<std::string>(value)));
    } else if (name == "Width" || name == "Height" || name == "Resizeable") {
        ApplySize();
    } else if (name == "Left" || name == "Top") {
        top->move(int(IntProperty("Left")), int(IntProperty("Top")));
    } else if (name == "BackColor" || name == "HasBackColor") {
        if (BoolProperty("HasBackColor") && HasProperty("BackColor")) {
            auto c = std::get<Color>(Property("BackColor"));
            QPalette p = w_->content->palette();
            p.setColor(QPalette::Window, QColor(c.red, c.green, c.blue));
            w_->content->setPalette(p);
            w_->content->setAutoFillBackground(true);
        }
    } else if (name == "Visible" && !constructing_) {
        if (std::get<bool>(value))
            Show();
        else
            top->hide();
    } else if (!constructing_ && (name == "Frame" || name == "CloseButton" ||
                                  name == "MinimizeButton" || name == "MaximizeButton" ||
                                  name == "MenuBarVisible")) {
        bool shown = top->isVisible();
        ApplyFlags();
        if (shown) {
            FollowMainWindow();
            top->show();
        }
    }
}

// A dialog-style window stays in front of the program's main window, under
// every window manager: it is transient for it.
void Window::FollowMainWindow()
{
    Window* main = detail::MainWindow();
    if (IntProperty("Frame") == 0 || !main || main == this)
        return;
    w_->top->winId();
    main->Widget()->winId();
    w_->top->windowHandle()->setTransientParent(main->Widget()->windowHandle());
}

int Window::Left() const { return w_->top->x(); }
int Window::Top() const { return w_->top->y(); }

void Window::Show()
{
    if (!opened_) {
        opened_ = true;
        Event_Open();
    }
    QMainWindow* top = w_->top;
    FollowMainWindow();
    top->show();
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        top->raise();
    if (!QApplication::activeModalWidget())
        top->activateWindow();
    if (!top->focusWidget()) {
        // Keyboard focus starts on the first control of the focus order.
        QWidget* first = nullptr;
        std::int64_t best = 0;
        for (const auto& c : controls_) {
            QWidget* w = c->Widget();
            if (w && w->focusPolicy() != Qt::NoFocus &&
                (!first || c->IntProperty("TabIndex") < best)) {
                first = w;
                best = c->IntProperty("TabIndex");
            }
        }
        if (first)
            first->setFocus();
    }
}

void Window::Close() { w_->top->close(); }

bool Window::IsVisible() const { return w_->top && w_->top->isVisible(); }

void Window::Refresh(bool immediately)
{
    if (!immediately) {
        w_->top->update();
        return;
    }
    // What changed is repainted, not the whole window: a copy refreshes after every file.
    if (w_->changed.empty())
        detail::RequestRepaint(w_->top);
    for (const auto& c : w_->changed)
        detail::RequestRepaint(c);
    w_->changed.clear();
}

void Window::ControlChanged(QWidget* control)
{
    for (const auto& c : w_->changed)
        if (c == control)
            return;
    w_->changed.emplace_back(control);
}

void Window::SetMenuBar(Ref<vela::MenuBar> bar)
{
    menuBar_ = bar;
    if (w_->menuBar) {
        delete w_->menuBar.data();
        w_->menuBar = nullptr;
    }
    if (!bar)
        return;
    QMenuBar* qbar = detail::ToQtMenuBar(*bar);
    w_->menuBar = qbar;
    w_->top->setMenuBar(qbar);
}

void Window::_AddControl(const std::string& name, Ref<RectControl> control)
{
    if (!control)
        throw NilObjectException();
    controls_.push_back(control);
    byName_[name] = control;
    control->AttachTo(this);
    FitTexts();
}

int Window::RoomBelow(const RectControl& control) const
{
    // Down to the first control below that shares part of the box's width,
    // at most to the content area's bottom; a control reaching into the box
    // from below leaves no room.
    const QRect box = detail::BoxOf(control);
    const int bottom = box.y() + box.height();
    int limit = HasProperty("Height") ? int(IntProperty("Height")) : bottom;
    for (const auto& c : controls_) {
        const QRect other = detail::BoxOf(*c);
        const bool beside = other.x() + other.width() <= box.x() || other.x() >= box.x() + box.width();
        if (c.get() == &control || beside || other.y() + other.height() <= bottom)
            continue;
        limit = std::min(limit, std::max(other.y(), bottom));
    }
    return std::max(box.height(), limit - box.y());
}

void Window::FitTexts()
{
    for (const auto& c : controls_)
        if (c->BoolProperty("Multiline"))
            if (auto* text = dynamic_cast<StaticText*>(c.get()))
                text->Fit();
}

Ref<RectControl> Window::ControlByName(std::string_view name) const
{
    auto it = byName_.find(name);
    return it == byName_.end() ? Ref<RectControl>() : it->second;
}

void Window::UpdateTabOrder()
{
    std::vector<RectControl*> focusable;
    for (const auto& c : controls_)
        if (c->Widget() && c->Widget()->focusPolicy() != Qt::NoFocus && c->HasProperty("TabIndex"))
            focusable.push_back(c.get());
    std::stable_sort(focusable.begin(), focusable.end(), [](RectControl* a, RectControl* b) {
        return a->IntProperty("TabIndex") < b->IntProperty("TabIndex");
    });
    for (std::size_t i = 1; i < focusable.size(); ++i)
        QWidget::setTabOrder(focusable[i - 1]->Widget(), focusable[i]->Widget());
}

// ---- the window list ----

Ref<Window> _GetImplicitWindow(std::string_view className)
{
    auto& l = lists().implicit;
    auto it = l.find(className);
    return it == l.end() ? Ref<Window>() : it->second;
}

Window* detail::MainWindow()
{
    for (const auto& w : lists().windows)
        if (w->IntProperty("Frame") == 0 && w->Widget())
            return w.get();
    return nullptr;
}

// The framework's window that holds the widget; nil for the toolkit's own
// windows (message boxes, the folder dialog, open menus).
Window* detail::WindowOf(const QWidget* widget)
{
    const QWidget* top = widget->window();
    for (const auto& w : lists().windows)
        if (w->Widget() == top)
            return w.get();
    return nullptr;
}

std::vector<Ref<Window>> AllWindows() { return lists().windows; }

void ReleaseImplicitWindowList() { lists().implicit.clear(); }
void ReleaseDirtyWindows() { detail::DropPendingPaints(); }
void ReleaseWindows() { lists().windows.clear(); }

Ref<RectControl> RuntimeWindowControlByName(const Ref<Window>& window, std::string_view name)
{
    return window->ControlByName(name);
}

} // namespace vela
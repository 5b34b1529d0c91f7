#include "vela/window.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeySequence>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "internal.h"
#include "vela/menu.h"
#include "vela/runtime.h"

namespace vela {

namespace {

constexpr int systemTextPx = 13;
constexpr int smallestTextPx = 8;

QString toQt(const std::string& s)
{
    // A CR in a text is a line break.
    QString q = QString::fromStdString(s);
    if (s.find('\r') != std::string::npos) {
        q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        q.replace(QChar('\r'), QChar('\n'));
    }
    return q;
}

QFont systemFont(int px)
{
    QFont f = QApplication::font();
    f.setPixelSize(px);
    return f;
}

// The largest font, from the asked size down, with which the text fits.
template <class Fits>
QFont fitFont(const PropertyHolder& p, Fits fits)
{
    int px = int(p.IntProperty("TextSize"));
    if (px <= 0)
        px = systemTextPx;
    QFont f = systemFont(px);
    f.setBold(p.BoolProperty("Bold"));
    f.setItalic(p.BoolProperty("Italic"));
    f.setUnderline(p.BoolProperty("Underline"));
    while (px > smallestTextPx && !fits(QFontMetrics(f))) {
        --px;
        f.setPixelSize(px);
    }
    return f;
}

QKeySequence toKeySequence(const std::string& shortcut)
{
    QString s = QString::fromStdString(shortcut);
    s.replace(QStringLiteral("Cmd+"), QStringLiteral("Ctrl+"));
    return QKeySequence(s);
}

// Draws a text the way the layout gives it: top-aligned, CR as line break.
class TextLabel : public QWidget {
public:
    explicit TextLabel(QWidget* parent = nullptr) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    // The text as set, turned into the toolkit's form only when it is needed:
    // a copy sets the label for every file but it is drawn once a frame.
    void SetText(const std::string& s)
    {
        raw_ = s;
        stale_ = true;
    }
    const QString& Text() const
    {
        if (stale_) {
            text_ = toQt(raw_);
            stale_ = false;
        }
        return text_;
    }
    bool paintQueued = false;  // an update() is on its way; no need for another
    int align = 0;
    bool multiline = false;
    QColor color = Qt::black;

    int Flags() const
    {
        int h = align == 1 ? Qt::AlignHCenter : align == 2 ? Qt::AlignRight : Qt::AlignLeft;
        return h | Qt::AlignTop | (multiline ? Qt::TextWordWrap : Qt::TextSingleLine);
    }
    // The size the text takes at that width.
    QSize Needed(const QFontMetrics& fm, int width) const
    {
        return fm.boundingRect(QRect(0, 0, width, 1 << 20), Flags(), Text()).size();
    }
    bool Fits(const QFontMetrics& fm, int width, int height) const
    {
        QSize need = Needed(fm, width);
        return need.width() <= width && need.height() <= height;
    }
    QString Shown() const
    {
        if (multiline)
            return Text();
        return fontMetrics().elidedText(Text(), Qt::ElideMiddle, width());
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        paintQueued = false;
        QPainter p(this);
        p.setPen(color);
        p.drawText(rect(), Flags(), Shown());
    }

private:
    std::string raw_;
    mutable QString text_;
    mutable bool stale_ = false;
};

class Arrows : public QWidget {
public:
    explicit Arrows(QWidget* parent = nullptr) : QWidget(parent)
    {
        timer.setInterval(80);
        QObject::connect(&timer, &QTimer::timeout, this, [this] {
            phase = (phase + 1) % 12;
            update();
        });
        timer.start();
    }
    int phase = 0;
    QTimer timer;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF c = QRectF(rect()).center();
        const double r = std::min(width(), height()) / 2.0 - 1.5;
        for (int i = 0; i < 12; ++i) {
            int age = (phase - i + 12) % 12;
            QColor col(0, 0, 0, 255 - age * 18);
            p.setPen(QPen(col, 2.0, Qt::SolidLine, Qt::RoundCap));
            double a = i * M_PI / 6.0;
            p.drawLine(QPointF(c.x() + std::cos(a) * r * 0.45, c.y() + std::sin(a) * r * 0.45),
                       QPointF(c.x() + std::cos(a) * r, c.y() + std::sin(a) * r));
        }
    }
};

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

// The control's frame as its properties give it, in the window's content area.
QRect boxOf(const RectControl& c)
{
    return QRect(int(c.IntProperty("Left")), int(c.IntProperty("Top")), int(c.IntProperty("Width")),
                 int(c.IntProperty("Height")));
}

const std::initializer_list<std::pair<const char*, Kind>> controlProps = {
    {"Name", Kind::String},         {"Index", Kind::Integer},
    {"Left", Kind::Integer},        {"Top", Kind::Integer},
    {"Width", Kind::Integer},       {"Height", Kind::Integer},
    {"LockLeft", Kind::Boolean},    {"LockTop", Kind::Boolean},
    {"LockRight", Kind::Boolean},   {"LockBottom", Kind::Boolean},
    {"TabPanelIndex", Kind::Integer}, {"TabIndex", Kind::Integer},
    {"Enabled", Kind::Boolean},     {"Visible", Kind::Boolean},
    {"HelpTag", Kind::String},      {"AutoDeactivate", Kind::Boolean},
    {"InitialParent", Kind::String}};
const std::initializer_list<std::pair<const char*, Kind>> textProps = {
    {"TextFont", Kind::String}, {"TextSize", Kind::Integer}, {"Bold", Kind::Boolean},
    {"Italic", Kind::Boolean},  {"Underline", Kind::Boolean}};
const std::initializer_list<std::pair<const char*, Kind>> dataProps = {
    {"DataSource", Kind::String}, {"DataField", Kind::String}};

} // namespace

struct ControlWidgets {
    QPointer<QWidget> widget;
};

struct WindowWidgets {
    std::vector<QWidget*> changed;  // children of the content area: they live as long as it
    QPointer<QMainWindow> top;
    QPointer<QWidget> content;
    QPointer<QMenuBar> menuBar;
};

// ---- controls ----

RectControl::RectControl() : c_(std::make_unique<ControlWidgets>())
{
    Accept(controlProps);
}

RectControl::~RectControl()
{
    if (c_->widget)
        delete c_->widget.data();
}

std::string RectControl::Name() const { return TextProperty("Name"); }
QWidget* RectControl::Widget() const { return c_->widget.data(); }

void RectControl::SetWidget(QWidget* widget) { c_->widget = widget; }

void RectControl::AttachTo(Window* window)
{
    window_ = window;
    if (auto* w = Widget()) {
        w->setParent(window->ContentArea());
        if (!HasProperty("Visible") || BoolProperty("Visible"))
            w->show();
    }
}

void RectControl::PropertyChanged(const std::string& name, const Value& value)
{
    QWidget* w = Widget();
    if (!w)
        return;
    if (name == "Name") {
        w->setObjectName(QString::fromStdString(std::get<std::string>(value)));
    } else if (name == "Left" || name == "Top" || name == "Width" || name == "Height") {
        w->setGeometry(int(IntProperty("Left")), int(IntProperty("Top")),
                       int(IntProperty("Width")), int(IntProperty("Height")));
    } else if (name == "Enabled") {
        w->setEnabled(std::get<bool>(value));
    } else if (name == "Visible") {
        w->setVisible(std::get<bool>(value) && window_);
    } else if (name == "HelpTag") {
        w->setToolTip(QString::fromStdString(std::get<std::string>(value)));
    } else if (name == "TabIndex") {
        if (window_)
            window_->UpdateTabOrder();
    }
    ApplyProperty(name, value);
    // The room a multi-line text may draw into ends at the next control below it.
    if (window_ && (name == "Left" || name == "Top" || name == "Width" || name == "Height"))
        window_->FitTexts();
}

void RectControl::ApplyProperty(const std::string&, const Value&) {}

// PushButton

PushButton::PushButton()
{
    className_ = "PushButton";
    Accept(textProps);
    Accept({{"Caption", Kind::String}, {"Default", Kind::Boolean}, {"Cancel", Kind::Boolean}});
    auto* b = new QPushButton;
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::StrongFocus);
    QObject::connect(b, &QPushButton::clicked, [this] { Push(); });
    SetWidget(b);
}

void PushButton::Push()
{
    if (!action_)
        return;
    // One action at a time: a click that arrives while another action
    // runs (a long copy handing control to the event loop) is dropped, but
    // for the cancel button's, which ends the program.
    if (!detail::BeginAction(BoolProperty("Cancel")))
        return;
    _Guarded(action_);
    detail::EndAction();
}

namespace {

// The framework's window that holds the widget; nil for the toolkit's own
// windows (message boxes, the folder dialog, open menus).
Window* windowOf(const QWidget* widget)
{
    const QWidget* top = widget->window();
    for (const auto& w : lists().windows)
        if (w->Widget() == top)
            return w.get();
    return nullptr;
}

// Closing the main window ends the program as Quit(0) does, at any time;
// another window stays open while an Action runs.
class CloseWatch : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Close)
            return false;
        if (Window* main = detail::MainWindow(); main && main->Widget() == watched) {
            Quit(0);
            return false;
        }
        if (detail::ActionRunning()) {
            event->ignore();
            return true;
        }
        return false;
    }
};

} // namespace

bool detail::HeldBack(QObject* receiver, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        break;
    default:
        return false;
    }
    // Only what reaches a widget: the toolkit's window passes it on to one.
    auto* widget = qobject_cast<QWidget*>(receiver);
    Window* window = widget ? windowOf(widget) : nullptr;
    if (!window)
        return false;
    // The menus lead to the quit item; their other items are greyed.
    for (QWidget* w = widget; w; w = w->parentWidget())
        if (qobject_cast<QMenuBar*>(w))
            return false;
    for (const auto& c : window->Controls())
        if (c->Widget() == widget) {
            auto* button = dynamic_cast<PushButton*>(c.get());
            return !(button && button->BoolProperty("Cancel"));
        }
    return true;
}

void PushButton::ApplyProperty(const std::string& name, const Value&)
{
    auto* b = static_cast<QPushButton*>(Widget());
    if (name == "Caption")
        b->setText(toQt(Caption()));
    if (name == "Default")
        b->setDefault(BoolProperty("Default"));
    if (name == "Caption" || name == "TextSize" || name == "Width" || name == "Height" ||
        name == "Bold" || name == "Italic") {
        QStyle* st = b->style();
        int margin = 2 * (st->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b) +
                          st->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b));
        QString text = b->text();
        int w = b->width(), h = b->height();
        b->setFont(fitFont(*this, [&](const QFontMetrics& fm) {
            return fm.horizontalAdvance(text) + margin <= w && fm.height() + 2 <= h;
        }));
    }
}

// StaticText

StaticText::StaticText()
{
    className_ = "StaticText";
    Accept(textProps);
    Accept(dataProps);
    Accept({{"Text", Kind::String},
            {"TextAlign", Kind::Integer},
            {"TextColor", Kind::Colour},
            {"Multiline", Kind::Boolean}});
    SetWidget(new TextLabel);
}

// Drawn with the next paint; the window learns what to repaint on Refresh.
static void queuePaint(TextLabel* l, Window* window)
{
    if (!l->paintQueued) {
        l->paintQueued = true;
        l->update();
    }
    if (window)
        window->ControlChanged(l);
}

// A copy sets the label for every file: a single line is overwritten in
// place, without SetProperty's look-ups, and measured only when drawn.
void StaticText::SetText(const std::string& text)
{
    auto* l = static_cast<TextLabel*>(Widget());
    if (text_ && l && !l->multiline) {
        *text_ = text;
        l->SetText(text);
        queuePaint(l, window_);
        return;
    }
    SetProperty("Text", Value(text));
    text_ = StoredText("Text");
}

void StaticText::ApplyProperty(const std::string& name, const Value& value)
{
    auto* l = static_cast<TextLabel*>(Widget());
    if (name == "Text")
        l->SetText(std::get<std::string>(value));
    else if (name == "TextAlign")
        l->align = int(std::get<std::int64_t>(value));
    else if (name == "Multiline")
        l->multiline = std::get<bool>(value);
    else if (name == "TextColor") {
        auto c = std::get<Color>(value);
        l->color = QColor(c.red, c.green, c.blue);
    }
    const bool layoutChanged = name == "TextSize" || name == "Left" || name == "Top" ||
                               name == "Width" || name == "Height" || name == "Multiline" ||
                               name == "Bold" || name == "Italic";
    if (layoutChanged || (name == "Text" && l->multiline))
        Fit();
    queuePaint(l, window_);
}

// A multi-line text keeps its size: where its lines need more height than its
// box, it draws on into the free space below the box, and is set smaller only
// where that does not suffice. A single line keeps its size and is shortened
// in the middle when too long (a file name changes with every copied file and
// is measured only when drawn).
void StaticText::Fit()
{
    auto* l = static_cast<TextLabel*>(Widget());
    const QRect box = boxOf(*this);
    QRect drawn = box;
    QFont f;
    if (!l->multiline) {
        f = fitFont(*this, [](const QFontMetrics&) { return true; });
    } else {
        const int room = window_ ? window_->RoomBelow(*this) : box.height();
        f = fitFont(*this, [&](const QFontMetrics& fm) { return l->Fits(fm, box.width(), room); });
        const int need = l->Needed(QFontMetrics(f), box.width()).height();
        drawn.setHeight(std::clamp(need, box.height(), room));
    }
    if (f != l->font())
        l->setFont(f);
    if (l->geometry() != drawn)
        l->setGeometry(drawn);
}

// CheckBox

CheckBox::CheckBox()
{
    className_ = "CheckBox";
    Accept(textProps);
    Accept(dataProps);
    Accept({{"Caption", Kind::String}, {"Value", Kind::Boolean}});
    auto* c = new QCheckBox;
    c->setFocusPolicy(Qt::StrongFocus);
    SetWidget(c);
}

bool CheckBox::Value() const { return static_cast<QCheckBox*>(Widget())->isChecked(); }
void CheckBox::SetValue(bool ticked) { SetProperty("Value", vela::Value(ticked)); }

void CheckBox::ApplyProperty(const std::string& name, const vela::Value& value)
{
    auto* c = static_cast<QCheckBox*>(Widget());
    if (name == "Value")
        c->setChecked(std::get<bool>(value));
    if (name == "Caption")
        c->setText(toQt(std::get<std::string>(value)));
    if (name == "Caption" || name == "TextSize" || name == "Width" || name == "Height" ||
        name == "Bold" || name == "Italic") {
        QStyle* st = c->style();
        int indicator = st->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, c) +
                        st->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, c) + 2;
        QString text = c->text();
        int w = c->width(), h = c->height();
        c->setFont(fitFont(*this, [&](const QFontMetrics& fm) {
            return fm.horizontalAdvance(text) + indicator <= w && fm.height() <= h;
        }));
    }
}

// ChasingArrows

ChasingArrows::ChasingArrows()
{
    className_ = "ChasingArrows";
    SetWidget(new Arrows);
}

int ChasingArrows::Phase() const { return static_cast<Arrows*>(Widget())->phase; }
void ChasingArrows::ApplyProperty(const std::string&, const Value&) {}

// ---- windows ----

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

    // Return presses the default button, Escape the cancel button; in a
    // window without one (the progress window, in front during a copy)
    // Escape presses the main window's.
    auto pressFlagged = [this](const char* flag) {
        auto press = [flag](const Window& window) {
            for (const auto& c : window.controls_)
                if (auto b = std::dynamic_pointer_cast<PushButton>(c.shared()))
                    if (b->BoolProperty(flag) && b->Widget()->isEnabled()) {
                        b->Push();
                        return true;
                    }
            return false;
        };
        if (!press(*this) && std::string_view(flag) == "Cancel")
            if (Window* main = detail::MainWindow(); main && main != this)
                press(*main);
    };
    for (auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* s = new QShortcut(QKeySequence(key), w_->top);
        QObject::connect(s, &QShortcut::activated, [pressFlagged] { pressFlagged("Default"); });
    }
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), w_->top);
    QObject::connect(esc, &QShortcut::activated, [pressFlagged] { pressFlagged("Cancel"); });
    w_->top->installEventFilter(new CloseWatch(w_->top));
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

Window* detail::MainWindow()
{
    for (const auto& w : lists().windows)
        if (w->IntProperty("Frame") == 0 && w->Widget())
            return w.get();
    return nullptr;
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
    auto* qbar = new QMenuBar;
    for (int i = 0; i < bar->Count(); ++i) {
        Ref<MenuItem> menu = bar->Item(i);
        QMenu* qmenu = qbar->addMenu(QString::fromStdString(menu->Text));
        qmenu->setObjectName(QString::fromStdString(menu->Name));
        for (int k = 0; k < menu->Count(); ++k) {
            Ref<MenuItem> item = menu->Item(k);
            if (item->IsSeparator()) {
                qmenu->addSeparator()->setObjectName(QString::fromStdString(item->Name));
                continue;
            }
            QAction* a = qmenu->addAction(QString::fromStdString(item->Text));
            a->setObjectName(QString::fromStdString(item->Name));
            if (!item->KeyboardShortcut.empty()) {
                a->setShortcut(toKeySequence(item->KeyboardShortcut));
                a->setShortcutContext(Qt::ApplicationShortcut);
            }
            a->setEnabled(item->HasHandler() || item->AutoEnable);
            MenuItem* raw = item.get();
            QObject::connect(a, &QAction::triggered, [raw] { _Guarded([raw] { raw->Action(); }); });
        }
    }
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
    const QRect box = boxOf(control);
    const int bottom = box.y() + box.height();
    int limit = HasProperty("Height") ? int(IntProperty("Height")) : bottom;
    for (const auto& c : controls_) {
        const QRect other = boxOf(*c);
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

Ref<Window> _GetImplicitWindow(std::string_view className)
{
    auto& l = lists().implicit;
    auto it = l.find(className);
    return it == l.end() ? Ref<Window>() : it->second;
}

std::vector<Ref<Window>> AllWindows() { return lists().windows; }

void _ReleaseImplicitWindowList() { lists().implicit.clear(); }
void _ReleaseDirtyWindows() { detail::DropPendingPaints(); }
void _ReleaseWindows() { lists().windows.clear(); }

Ref<RectControl> RuntimeWindowControlByName(const Ref<Window>& window, std::string_view name)
{
    return window->ControlByName(name);
}

} // namespace vela

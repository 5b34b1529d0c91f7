// The long-job rule. An install runs on the main thread, inside a button's
// Action, and lets the event loop run between its files and between the
// pieces of a big file (the event round), so that the windows repaint and the
// busy indicator turns. While it runs, only a request to end the program gets
// through:
//   - "Abbrechen", clicked or pressed with Escape (in a window without a
//     cancel button, such as the progress window, Escape presses the main
//     window's);
//   - "Beenden" and its shortcut Ctrl+Q, and the menus that lead to it (their
//     other items are greyed);
//   - closing the main window.
// Everything else that would reach the framework's windows (clicks, keys, the
// wheel) is held back, no second Action starts, and closing another window
// waits for the Action: an install can be stopped, never begun twice. Message
// boxes and the folder dialog shown inside an install are the toolkit's own
// windows and not gated. After an end request the copy stops before its next
// file or next piece (it asks QuitRequested()).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeySequence>
#include <QMenuBar>
#include <QShortcut>
#include <QWidget>

#include "internal.h"
#include "vela/platform.h"
#include "vela/runtime.h"
#include "vela/window.h"

namespace vela {

namespace {

// How often a long job lets the event loop run: once a frame.
constexpr qint64 eventsMs = 16;

struct LongJob {
    int actions = 0;  // push button Actions running, one inside the other
    QElapsedTimer clock;
    qint64 lastEvents = 0;  // the time of the last event round on the clock
};

LongJob& job()
{
    static LongJob j;
    return j;
}

bool actionRunning() { return job().actions > 0; }

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
        if (actionRunning()) {
            event->ignore();
            return true;
        }
        return false;
    }
};

// Whether an input event for one of the framework's windows is kept from it
// during the event round.
bool heldBack(QObject* receiver, QEvent* event)
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
    Window* window = widget ? detail::WindowOf(widget) : nullptr;
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

// Held in front of the application's events for one event round.
class InputGate : public QObject {
public:
    InputGate() { QCoreApplication::instance()->installEventFilter(this); }
    ~InputGate() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override { return heldBack(receiver, event); }
};

} // namespace

void detail::ResetLongJob()
{
    auto& j = job();
    j.actions = 0;
    j.clock.start();
    j.lastEvents = 0;
}

void detail::WatchEndRequests(Window& window)
{
    QWidget* top = window.Widget();
    Window* self = &window;
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), top);
    QObject::connect(esc, &QShortcut::activated, [self] {
        if (!PressFlagged(*self, "Cancel"))
            if (Window* main = MainWindow(); main && main != self)
                PressFlagged(*main, "Cancel");
    });
    top->installEventFilter(new CloseWatch(top));
}

bool detail::BeginAction(bool cancel)
{
    auto& j = job();
    if (j.actions > 0 && !cancel)
        return false;
    ++j.actions;
    return true;
}

void detail::EndAction() { --job().actions; }

void RuntimeBackgroundTask()
{
    CurrentPlatform().BackgroundTask();
    detail::EventRound();
}

void detail::EventRound()
{
    auto& j = job();
    // Without a running toolkit (a program that only copies) there are no
    // events. Asked of the core application: where only that runs, taking it
    // for a QApplication (qApp) would be undefined.
    if (!QCoreApplication::instance() || !j.clock.isValid())
        return;
    // Names held back to keep to one paint a frame are shown within that frame.
    const qint64 now = j.clock.elapsed();
    if (now - j.lastEvents < eventsMs) {
        if (PaintsPending() && PaintDue())
            FlushPendingPaints();
        return;
    }
    j.lastEvents = now;
    // Painted first, so the event round finds the label already drawn and
    // does not draw it a second time within the frame.
    if (PaintsPending())
        FlushPendingPaints();
    // Input comes through, but the gate keeps from the windows all of it that
    // does not end the program: a long job can be stopped, not begun again.
    InputGate gate;
    QCoreApplication::processEvents();
}

bool detail::BetweenPiecesGoOn()
{
    EventRound();
    return !QuitRequested();
}

} // namespace vela

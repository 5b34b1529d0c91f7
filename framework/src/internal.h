// Framework internals shared between its source files.
#pragma once

class QEvent;
class QObject;
class QWidget;

namespace vela {
class Window;
}

namespace vela::detail {

// The program's main window: the first ordinary (Frame 0) window it holds; nullptr when none.
Window* MainWindow();

// Repaints every window whose refresh was held back to keep to one paint a frame.
void FlushPendingPaints();
// Asks for a repaint of the widget now, or within one frame when one was just made.
void RequestRepaint(QWidget* widget);
void DropPendingPaints();
// The event round of a background task, at most once a frame: what the
// copy of a big file runs between its pieces.
void EventRound();
// Runs a push button's Action unless another Action is still running; the
// Action of a cancel button, which ends the program, runs also then.
bool BeginAction(bool cancel);
void EndAction();
bool ActionRunning();
// Whether an input event for one of the framework's windows is kept from it
// during the event round of a long job: all input but what ends the program
// (the cancel button, the menus with their quit item). Closes are the
// windows' own: the main window's quits, another's waits for the Action.
bool HeldBack(QObject* receiver, QEvent* event);
// The font "System" at a pixel size.
void ApplySystemFontDefaults();

} // namespace vela::detail

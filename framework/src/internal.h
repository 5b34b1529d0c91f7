// Framework internals shared between its source files.
#pragma once

#include <string>

class QApplication;
class QMenuBar;
class QRect;
class QString;
class QWidget;

namespace vela {
class MenuBar;
class RectControl;
class Window;
}

namespace vela::detail {

// ---- the toolkit's start (startup.cpp) ----

// Qt's settings are neither read nor kept.
void KeepNoSettings();
// As many open files as the system allows: the copy holds folders open.
void OpenFilesAsAllowed();
// The toolkit's application for the program of that name, with the programs'
// style and font; where it cannot start, says why in one line and ends the
// program with status 1.
QApplication* StartToolkit(const char* programName);
// Qt's own texts in German, whatever the system's language.
void LoadGermanTexts();

// ---- windows and controls (window.cpp, controls.cpp, menu.cpp) ----

// The program's main window: the first ordinary (Frame 0) window it holds; nullptr when none.
Window* MainWindow();
// The framework's window that holds the widget; nullptr for the toolkit's own
// windows (message boxes, the folder dialog, open menus).
Window* WindowOf(const QWidget* widget);
// Presses the window's enabled push button with that flag ("Default",
// "Cancel") set; false when it has none.
bool PressFlagged(const Window& window, const char* flag);
// The control's frame as its properties give it, in the window's content area.
QRect BoxOf(const RectControl& control);
// A text as the toolkit shows it: a CR (or CR LF) is a line break.
QString ToQt(const std::string& text);
// The toolkit's menu bar for the bar's menus; its items run their Actions.
QMenuBar* ToQtMenuBar(const MenuBar& bar);

// ---- one paint a frame (repaint.cpp) ----

void ResetPaints();
// Repaints every window whose refresh was held back to keep to one paint a frame.
void FlushPendingPaints();
// Asks for a repaint of the widget now, or within one frame when one was just made.
void RequestRepaint(QWidget* widget);
void DropPendingPaints();
bool PaintsPending();
// A frame has passed since the last paint.
bool PaintDue();

// ---- the long-job rule (longjob.cpp, where it is stated) ----

// No Action running, no event round yet.
void ResetLongJob();
// Escape and closing for a new window, as the rule lets them through.
void WatchEndRequests(Window& window);
// Whether a push button's Action may run now, and its end.
bool BeginAction(bool cancel);
void EndAction();
// The event round of a background task, at most once a frame.
void EventRound();
// What the file layer calls between the pieces of a big file: the event
// round, then whether the copy may go on (no end request).
bool BetweenPiecesGoOn();

} // namespace vela::detail

// Framework internals shared between its source files.
#pragma once

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
// Runs a push button's Action unless another Action is still running.
bool BeginAction();
void EndAction();
// The font "System" at a pixel size.
void ApplySystemFontDefaults();

} // namespace vela::detail

// Clicks, keys and closes as the window system hands them to the program:
// queued, and delivered at its next event round, as a user's input arrives
// (shortcuts included, which a key event sent straight to a widget misses).
#pragma once

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

namespace input {

using Queued = QWindowSystemInterface::AsynchronousDelivery;

// A left click at a point of the widget (its centre when none is given).
inline void click(QWidget* widget, QPoint at)
{
    QWidget* top = widget->window();
    const QPointF local = widget->mapTo(top, at);
    const QPointF global = top->mapToGlobal(local);
    QWindow* window = top->windowHandle();
    QWindowSystemInterface::handleMouseEvent<Queued>(window, local, global, Qt::LeftButton,
                                                     Qt::LeftButton, QEvent::MouseButtonPress);
    QWindowSystemInterface::handleMouseEvent<Queued>(window, local, global, Qt::NoButton,
                                                     Qt::LeftButton, QEvent::MouseButtonRelease);
}
inline void click(QWidget* widget) { click(widget, widget->rect().center()); }

// A key pressed and released in the widget's window.
inline void key(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWindow* window = widget->window()->windowHandle();
    QWindowSystemInterface::handleKeyEvent<Queued>(window, QEvent::KeyPress, key, modifiers);
    QWindowSystemInterface::handleKeyEvent<Queued>(window, QEvent::KeyRelease, key, modifiers);
}

// The window's close box.
inline void close(QWidget* widget)
{
    QWindowSystemInterface::handleCloseEvent<Queued>(widget->window()->windowHandle());
}

// A click posted straight to the widget, past the window system.
inline void postClick(QWidget* widget)
{
    const QPointF local = widget->rect().center();
    const QPointF global = widget->mapToGlobal(local);
    for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(
            widget, new QMouseEvent(type, local, global, Qt::LeftButton,
                                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                    Qt::NoModifier));
}

} // namespace input

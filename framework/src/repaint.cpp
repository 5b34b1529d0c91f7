// Repaints held to one a frame: a copy refreshes its window after every file,
// and painting each name must not dominate a copy of many small files.
#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <vector>

#include "internal.h"

namespace vela {

namespace {

// One screen frame.
constexpr qint64 frameMs = 16;

struct Paints {
    QElapsedTimer clock;
    qint64 lastPaint = -frameMs;
    std::vector<QPointer<QWidget>> pending;
};

Paints& paints()
{
    // Never destroyed: when the display goes away the toolkit calls exit(),
    // and the static tear-down must not destroy widgets beneath it.
    static Paints& p = *new Paints;
    return p;
}

} // namespace

void detail::ResetPaints()
{
    auto& p = paints();
    p.clock.start();
    p.lastPaint = -frameMs;
}

void detail::RequestRepaint(QWidget* widget)
{
    auto& s = paints();
    if (!widget)
        return;
    // A copy asks for the same label after every file.
    if (s.pending.empty() || s.pending.back() != widget) {
        bool known = false;
        for (const auto& p : s.pending)
            known = known || p == widget;
        if (!known)
            s.pending.emplace_back(widget);
    }
    if (!s.clock.isValid() || s.clock.elapsed() - s.lastPaint >= frameMs)
        FlushPendingPaints();
}

void detail::FlushPendingPaints()
{
    auto& s = paints();
    static std::vector<QPointer<QWidget>> pending;
    pending.swap(s.pending);
    for (const auto& p : pending)
        if (p && p->isVisible())
            p->repaint();
    pending.clear();
    s.lastPaint = s.clock.isValid() ? s.clock.elapsed() : 0;
}

bool detail::PaintsPending() { return !paints().pending.empty(); }

bool detail::PaintDue()
{
    const auto& s = paints();
    return !s.clock.isValid() || s.clock.elapsed() - s.lastPaint >= frameMs;
}

void detail::DropPendingPaints() { paints().pending.clear(); }

} // namespace vela

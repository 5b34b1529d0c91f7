// Checks shared by the window tests of both programs: a control's texts must
// be wholly visible inside the control and clear of the other controls.
#pragma once

#include <QCheckBox>
#include <QFontMetrics>
#include <QPushButton>
#include <QStyle>
#include <QtTest>

#include "vela/window.h"

namespace checks {

// Where the control draws its text, in window coordinates; empty when it
// draws none. Fails the test when the text does not fit the control.
inline QRect drawnText(const vela::Ref<vela::RectControl>& control)
{
    QWidget* w = control->Widget();
    QFontMetrics fm(w->font());
    const QRect frame = w->geometry();
    if (auto text = std::dynamic_pointer_cast<vela::StaticText>(control.shared())) {
        QString s = QString::fromStdString(text->Text()).replace('\r', '\n');
        if (s.isEmpty())
            return {};
        int align = int(text->IntProperty("TextAlign"));
        int flags = (align == 1 ? Qt::AlignHCenter : align == 2 ? Qt::AlignRight : Qt::AlignLeft) |
                    Qt::AlignTop |
                    (text->BoolProperty("Multiline") ? Qt::TextWordWrap : Qt::TextSingleLine);
        QRect r = fm.boundingRect(QRect(QPoint(0, 0), frame.size()), flags, s);
        if (r.width() > frame.width() || r.height() > frame.height())
            return QRect(frame.topLeft() + r.topLeft(), r.size()) | QRect(-1, -1, 1, 1);
        return r.translated(frame.topLeft());
    }
    QString caption;
    int extra = 0;
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
        caption = box->text();
        extra = w->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) +
                w->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        caption = button->text();
        extra = 2 * w->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w);
    }
    if (caption.isEmpty())
        return {};
    QSize need(fm.horizontalAdvance(caption) + extra, fm.height());
    return QRect(frame.topLeft(), need);
}

// Every text fits its control and overlaps no other control or text.
inline void textsFit(const vela::Window& window)
{
    for (const auto& c : window.Controls()) {
        QRect text = drawnText(c);
        if (text.isNull())
            continue;
        const QRect frame = c->Widget()->geometry();
        QVERIFY2(frame.contains(text), qPrintable(QString::fromStdString(c->Name()) + " text does not fit"));
        for (const auto& other : window.Controls()) {
            if (other.get() == c.get())
                continue;
            // Static texts may share frame space as long as what they draw does not meet.
            const bool isText = bool(std::dynamic_pointer_cast<vela::StaticText>(other.shared()));
            const QRect occupied = isText ? drawnText(other) : other->Widget()->geometry();
            QVERIFY2(!occupied.intersects(text),
                     qPrintable(QString::fromStdString(c->Name() + " text overlaps " + other->Name())));
        }
        QVERIFY2(c->Widget()->font().pixelSize() >= 8,
                 qPrintable(QString::fromStdString(c->Name()) + " text too small to read"));
    }
}

// The keyboard focus chain through the window's controls, from the first
// control that takes focus.
inline QStringList focusChain(const vela::Window& window)
{
    QSet<QWidget*> controls;
    QWidget* first = nullptr;
    for (const auto& c : window.Controls()) {
        controls.insert(c->Widget());
        if (!first && c->Widget()->focusPolicy() != Qt::NoFocus)
            first = c->Widget();
    }
    QStringList names;
    QWidget* w = first;
    for (int steps = 0; w && steps < 200; ++steps) {
        if (controls.contains(w) && w->focusPolicy() != Qt::NoFocus)
            names << w->objectName();
        w = w->nextInFocusChain();
        if (w == first)
            break;
    }
    return names;
}

} // namespace checks

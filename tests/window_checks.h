// Checks shared by the window tests, on what the controls draw: each control
// is rendered on its own and the ink of its text is measured.
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QtTest>

#include "vela/window.h"

namespace checks {

// The control's frame as its properties give it, in the window's content area.
inline QRect box(const vela::RectControl& c)
{
    return QRect(int(c.IntProperty("Left")), int(c.IntProperty("Top")), int(c.IntProperty("Width")),
                 int(c.IntProperty("Height")));
}

// What the widget draws, on a transparent image of its size.
inline QImage render(QWidget* w)
{
    QImage image(w->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    w->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The ink of a control's text, in the window's content area.
struct Ink {
    QRect bounds;                      // null: no text drawn
    QList<QPair<int, int>> lines;      // first and last row of each line of ink
    int LineHeight(int i) const { return lines[i].second - lines[i].first + 1; }
};

// A static text draws only its text; a button's or check box's caption is
// what changes when the caption is taken away.
inline Ink inkOf(const vela::RectControl& control)
{
    QWidget* w = control.Widget();
    const QImage drawn = render(w);
    QImage without;
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        const QString caption = button->text();
        button->setText(QString());
        without = render(w);
        button->setText(caption);
    }
    auto isInk = [&](int x, int y) {
        const QRgb p = drawn.pixel(x, y);
        if (without.isNull())
            return qAlpha(p) >= 128;
        const QRgb q = without.pixel(x, y);
        return std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                         std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))}) >= 64;
    };
    Ink ink;
    int left = drawn.width(), right = -1, top = -1, bottom = -1;
    for (int y = 0; y < drawn.height(); ++y) {
        bool row = false;
        for (int x = 0; x < drawn.width(); ++x)
            if (isInk(x, y)) {
                row = true;
                left = std::min(left, x);
                right = std::max(right, x);
            }
        if (!row)
            continue;
        if (top < 0)
            top = y;
        bottom = y;
        if (!ink.lines.isEmpty() && ink.lines.last().second == y - 1)
            ink.lines.last().second = y;
        else
            ink.lines.append({y, y});
    }
    if (right < 0)
        return ink;
    // Dots and umlauts over small letters belong to the line below them.
    for (int i = int(ink.lines.size()) - 2; i >= 0; --i) {
        auto& mark = ink.lines[i];
        auto& next = ink.lines[i + 1];
        if (mark.second - mark.first < 2 && next.first - mark.second <= 3) {
            next.first = mark.first;
            ink.lines.removeAt(i);
        }
    }
    const QPoint at = w->pos();
    ink.bounds = QRect(QPoint(left, top), QPoint(right, bottom)).translated(at);
    for (auto& line : ink.lines)
        line = {line.first + at.y(), line.second + at.y()};
    return ink;
}

// How far down a text may draw: to the next control below its box that
// shares part of its width, at most to the content area's bottom.
inline int roomBottom(const vela::Window& window, const vela::RectControl& control)
{
    const QRect b = box(control);
    int limit = window.ContentArea()->height();
    for (const auto& c : window.Controls()) {
        const QRect o = box(*c);
        if (c.get() == &control || o.right() < b.left() || o.left() > b.right() ||
            o.bottom() <= b.bottom())
            continue;
        limit = std::min(limit, std::max(o.top(), b.bottom() + 1));
    }
    return std::max(limit, b.bottom() + 1);
}

inline QString name(const vela::RectControl& c) { return QString::fromStdString(c.Name()); }

// Every text is drawn whole, on as many lines as it has, aligned as its
// TextAlign says, inside its control (a multi-line text: or in the free space
// below it) and clear of every other control.
inline void textsDrawn(const vela::Window& window)
{
    std::vector<Ink> inks;
    for (const auto& c : window.Controls())
        inks.push_back(inkOf(*c));
    for (std::size_t i = 0; i < inks.size(); ++i) {
        const vela::RectControl& c = *window.Controls()[i];
        const Ink& ink = inks[i];
        auto* text = dynamic_cast<const vela::StaticText*>(&c);
        if (!text && !qobject_cast<QAbstractButton*>(c.Widget()))
            continue;  // draws no text
        const QString n = name(c);
        if (ink.bounds.isNull()) {
            QVERIFY2(text && text->Text().empty(), qPrintable(n + " draws no text"));
            continue;
        }
        const QRect b = box(c);
        QRect allowed = b;
        if (text && c.BoolProperty("Multiline"))
            allowed.setBottom(roomBottom(window, c) - 1);
        QVERIFY2(allowed.contains(ink.bounds), qPrintable(n + " draws outside its room"));
        // Nothing cut off where the widget ends, and large enough to read.
        const QRect drawnIn = c.Widget()->geometry();
        QVERIFY2(ink.bounds.bottom() < drawnIn.bottom() && ink.bounds.right() < drawnIn.right(),
                 qPrintable(n + " text cut off"));
        QVERIFY2(ink.LineHeight(0) >= 7, qPrintable(n + " text too small to read"));
        if (!text) {
            QCOMPARE(ink.lines.size(), 1);
        } else {
            const QStringList lines = QString::fromStdString(text->Text()).split('\r', Qt::SkipEmptyParts);
            QCOMPARE(ink.lines.size(), c.BoolProperty("Multiline") ? int(lines.size()) : 1);
            switch (c.IntProperty("TextAlign")) {
            case 0:
                QVERIFY2(ink.bounds.left() - b.left() <= 2, qPrintable(n + " not at the left"));
                break;
            case 1:
                QVERIFY2(std::abs((ink.bounds.left() + ink.bounds.right()) - (b.left() + b.right())) <= 3,
                         qPrintable(n + " not centred"));
                break;
            default:
                QVERIFY2(b.right() - ink.bounds.right() <= 2, qPrintable(n + " not at the right"));
            }
        }
        for (std::size_t k = 0; k < inks.size(); ++k) {
            if (k == i)
                continue;
            const vela::RectControl& other = *window.Controls()[k];
            // Static texts may share frame space as long as what they draw does not meet.
            const bool otherIsText = dynamic_cast<const vela::StaticText*>(&other);
            const QRect occupied = otherIsText ? inks[k].bounds : box(other);
            QVERIFY2(occupied.isNull() || !occupied.intersects(ink.bounds),
                     qPrintable(n + " text meets " + name(other)));
        }
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

// The controls: push button, static text, check box, busy indicator, and
// what they share (their frame, their fitted font).
#include "vela/window.h"

#include <QApplication>
#include <QCheckBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <string_view>

#include "internal.h"
#include "vela/runtime.h"

namespace vela {

namespace {

constexpr int systemTextPx = 13;
constexpr int smallestTextPx = 8;

// What a property is to a control's fit: the font is fitted to the text and
// the box, and a multi-line text's box to the room below it.
enum class FitInput { None, Font, Text, Size, Place, Lines };

FitInput fitInputOf(std::string_view name)
{
    if (name == "TextFont" || name == "TextSize" || name == "Bold" || name == "Italic" ||
        name == "Underline")
        return FitInput::Font;
    if (name == "Caption" || name == "Text")
        return FitInput::Text;
    if (name == "Width" || name == "Height")
        return FitInput::Size;
    if (name == "Left" || name == "Top")
        return FitInput::Place;
    if (name == "Multiline")
        return FitInput::Lines;
    return FitInput::None;
}

// A button's or check box's font is fitted to its caption and its size.
bool refitsCaption(FitInput in)
{
    return in == FitInput::Font || in == FitInput::Text || in == FitInput::Size;
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
            text_ = detail::ToQt(raw_);
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

QRect detail::BoxOf(const RectControl& c)
{
    return QRect(int(c.IntProperty("Left")), int(c.IntProperty("Top")), int(c.IntProperty("Width")),
                 int(c.IntProperty("Height")));
}

// Our texts break lines with a CR; the toolkit's with an LF.
QString detail::ToQt(const std::string& s)
{
    QString q = QString::fromStdString(s);
    if (s.find('\r') != std::string::npos) {
        q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        q.replace(QChar('\r'), QChar('\n'));
    }
    return q;
}

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
    const FitInput in = fitInputOf(name);
    const bool moved = in == FitInput::Size || in == FitInput::Place;
    if (name == "Name") {
        w->setObjectName(QString::fromStdString(std::get<std::string>(value)));
    } else if (moved) {
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
    if (window_ && moved)
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
    // The long-job rule decides whether this Action may run now.
    if (!detail::BeginAction(BoolProperty("Cancel")))
        return;
    Guarded(action_);
    detail::EndAction();
}

void PushButton::ApplyProperty(const std::string& name, const Value&)
{
    auto* b = static_cast<QPushButton*>(Widget());
    if (name == "Caption")
        b->setText(detail::ToQt(Caption()));
    if (name == "Default")
        b->setDefault(BoolProperty("Default"));
    if (refitsCaption(fitInputOf(name))) {
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
    // A single line is measured only when drawn: its text refits nothing.
    const FitInput in = fitInputOf(name);
    if (in != FitInput::None && (in != FitInput::Text || l->multiline))
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
    const QRect box = detail::BoxOf(*this);
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
        c->setText(detail::ToQt(std::get<std::string>(value)));
    if (refitsCaption(fitInputOf(name))) {
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

} // namespace vela

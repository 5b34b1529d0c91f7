// The real platform: the message box and the folder dialog as the toolkit
// shows them, the screen, the mounted volumes.
#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFont>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QScreen>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

#include "internal.h"
#include "vela/platform.h"
#include "vela/window.h"

namespace vela {

namespace {

// The lines of a message as they fit a label of at most that size: each line
// too wide is shortened in the middle, and lines that would make the box
// taller than the screen give way to a last line "…".
QString fitMessage(const std::string& text, const QFontMetrics& fm, int maxWidth, int maxHeight)
{
    // A CR in a text is a line break, as in the windows' texts.
    QStringList lines = detail::ToQt(text).split(QChar('\n'));
    const int maxLines = std::max(1, maxHeight / std::max(1, fm.lineSpacing()));
    if (lines.size() > maxLines) {
        lines = lines.mid(0, maxLines - 1);
        lines.append(QStringLiteral("…"));
    }
    for (QString& line : lines)
        if (fm.horizontalAdvance(line) > maxWidth)
            line = fm.elidedText(line, Qt::ElideMiddle, maxWidth);
    return lines.join(QChar('\n'));
}

// The folder dialog's columns: Name, Größe, Typ, Änderungsdatum.
constexpr int typeColumn = 2, dateColumn = 3;

// Qt's file model writes its dates in the system's locale, English where
// LANG is not set: here they are written as German users write them.
class GermanDates : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    static QString format(const QDateTime& time)
    {
        return QLocale(QLocale::German, QLocale::Germany).toString(time, QStringLiteral("dd.MM.yyyy HH:mm"));
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role == Qt::DisplayRole && index.column() == dateColumn)
            if (auto* files = qobject_cast<QFileSystemModel*>(sourceModel()))
                return format(files->lastModified(mapToSource(index)));
        return QIdentityProxyModel::data(index, role);
    }
};

// How wide a cell of the view must be to show the text whole, with some air
// before the next column.
int cellWidth(const QTreeView& view, const QString& text)
{
    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.features = QStyleOptionViewItem::HasDisplay;
    option.text = text;
    return view.style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), &view).width() +
           view.fontMetrics().averageCharWidth();
}

// Qt sizes the columns for short English texts ("mp3Folder"), so that
// "Verzeichnis" and the dates were cut: each column is given the room of its
// heading and of what it shows of a folder, and the names the rest.
void fitColumns(QFileDialog& dialog, const QFileSystemModel& files)
{
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!view)
        return;
    QHeaderView* header = view->header();
    QStringList shown[dateColumn + 1];
    if (const QAbstractFileIconProvider* icons = files.iconProvider())
        shown[typeColumn] = {icons->type(QFileInfo(QDir::currentPath())),
                             icons->type(QFileInfo(QDir::rootPath()))};
    // Wide digits in every place.
    shown[dateColumn] = {GermanDates::format(QDateTime(QDate(2000, 10, 28), QTime(20, 48)))};
    for (int column = 1; column <= dateColumn; ++column) {
        int width = header->sectionSizeHint(column);
        for (const QString& text : shown[column])
            width = std::max(width, cellWidth(*view, text));
        header->resizeSection(column, width);
    }
    header->setSectionResizeMode(0, QHeaderView::Stretch);
}

class QtPlatform : public Platform {
public:
    // A modal box with the text and OK, titled like the main window and
    // never larger than the screen.
    void MsgBox(const std::string& text) override
    {
        Window* main = detail::MainWindow();
        QWidget* parent = QApplication::activeWindow();
        if (!parent && main)
            parent = main->Widget();
        QDialog box(parent);
        const QString title = main ? QString::fromStdString(main->Title()) : QString();
        box.setWindowTitle(title);
        auto* layout = new QVBoxLayout(&box);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        auto* label = new QLabel(&box);
        // Names from a disc end up in the text: never read as markup.
        label->setTextFormat(Qt::PlainText);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
        layout->addWidget(label);
        layout->addWidget(buttons);

        QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
        QSize room = screen ? screen->availableGeometry().size() : QSize(1024, 768);
        // The window manager's frame, as it frames the main window.
        if (main && main->Widget()->isVisible())
            room -= main->Widget()->frameGeometry().size() - main->Widget()->geometry().size();
        const QMargins m = layout->contentsMargins();
        room -= QSize(m.left() + m.right(), m.top() + m.bottom());
        const int textWidth = room.width();
        const int textHeight = room.height() - layout->spacing() - buttons->sizeHint().height();
        label->setText(fitMessage(text, label->fontMetrics(), textWidth, textHeight));
        // Wide enough for its title in a bold face and the window manager's
        // buttons beside it, so that the title need not be cut.
        QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
        titleFont.setBold(true);
        const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(title) + 100;
        label->setMinimumWidth(std::min(titleWidth, textWidth));
        box.exec();
    }
    std::optional<std::string> SelectFolder() override
    {
        // Given its folder, so that it opens in the working directory every
        // time, not where an earlier dialog of the run was left.
        QFileDialog dialog(QApplication::activeWindow(), QString(), QDir::currentPath());
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        if (auto* files = dialog.findChild<QFileSystemModel*>()) {
            dialog.setProxyModel(new GermanDates(&dialog));
            fitColumns(dialog, *files);
        }
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        const QString dir = dialog.selectedFiles().value(0);
        if (dir.isEmpty())
            return std::nullopt;
        return dir.toStdString();
    }
    int ScreenWidth() override
    {
        auto* s = QGuiApplication::primaryScreen();
        return s ? s->geometry().width() : 0;
    }
    int ScreenHeight() override
    {
        auto* s = QGuiApplication::primaryScreen();
        return s ? s->geometry().height() : 0;
    }
    std::vector<VolumeInfo> Volumes() override { return ReadMountTable(); }
};

Platform* current = nullptr;

} // namespace

Platform& CurrentPlatform()
{
    static QtPlatform real;
    return current ? *current : real;
}

void SetPlatform(Platform* platform) { current = platform; }

} // namespace vela

#include "vela/runtime.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFont>
#include <QFontDatabase>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLibraryInfo>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QStyleFactory>
#include <QTranslator>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "internal.h"
#include "vela/dialogs.h"
#include "vela/menu.h"
#include "vela/platform.h"
#include "vela/window.h"

namespace vela {

namespace {

// One screen frame.
constexpr qint64 frameMs = 16;
// How often a long job lets the event loop run: once a frame.
constexpr qint64 eventsMs = 16;

struct State {
    QApplication* ownedApp = nullptr;
    Ref<Application> app;
    int quitCode = 0;
    bool quitRequested = false;
    bool failed = false;
    int actions = 0;  // push button Actions running, one inside the other
    std::vector<std::string> classes;
    // One clock for the run; the times of the last event round and paint on it.
    QElapsedTimer clock;
    qint64 lastEvents = 0;
    qint64 lastPaint = -frameMs;
    std::vector<QPointer<QWidget>> pendingPaint;
    // What the toolkit gets of the command line: the program's name alone,
    // so its own options (-reverse, -style, -platform) have no effect.
    std::string programName;
    int argc = 1;
    char* argv[2] = {};
    QPointer<QTranslator> translator;
};

State& state()
{
    // Never destroyed: when the display goes away the toolkit calls exit(),
    // and the static tear-down must not destroy widgets beneath it.
    static State& s = *new State;
    return s;
}

// The lines of a message as they fit a label of at most that size: each line
// too wide is shortened in the middle, and lines that would make the box
// taller than the screen give way to a last line "…".
QString fitMessage(const std::string& text, const QFontMetrics& fm, int maxWidth, int maxHeight)
{
    // A CR in a text is a line break, as in the windows' texts.
    QString all = QString::fromStdString(text);
    all.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    all.replace(QChar('\r'), QChar('\n'));
    QStringList lines = all.split(QChar('\n'));
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

// Held in front of the application's events for one event round.
class InputGate : public QObject {
public:
    InputGate() { QCoreApplication::instance()->installEventFilter(this); }
    ~InputGate() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        return detail::HeldBack(receiver, event);
    }
};

} // namespace

Platform& CurrentPlatform()
{
    static QtPlatform real;
    return current ? *current : real;
}

void SetPlatform(Platform* platform) { current = platform; }

void detail::ApplySystemFontDefaults()
{
    QFont f = QApplication::font();
    if (QFontDatabase::families().contains(QStringLiteral("Liberation Sans")))
        f.setFamily(QStringLiteral("Liberation Sans"));
    f.setPixelSize(13);
    QApplication::setFont(f);
}

namespace {

// The toolkit's messages while it starts are read, never printed: it warns
// of what the programs do not use (no XDG_RUNTIME_DIR, one of another user),
// and where it cannot start it explains in several lines and aborts. A normal
// start prints nothing; one that fails says in one line what failed.
struct StartupTrouble {
    bool noDisplay = false;
    QString missingPlugin;  // the platform plugin named is not installed
    QString brokenPlugin;   // it is, but cannot be loaded
};
StartupTrouble startupTrouble;

// The name in the first pair of double quotes of a text.
QString quoted(const QString& text)
{
    const qsizetype from = text.indexOf(QChar('"'));
    const qsizetype to = from < 0 ? -1 : text.indexOf(QChar('"'), from + 1);
    return to < 0 ? QString() : text.mid(from + 1, to - from - 1);
}

QString startupFailure()
{
    const auto& t = startupTrouble;
    if (!t.noDisplay && !t.missingPlugin.isEmpty())
        return QStringLiteral("Die Anzeige konnte nicht genutzt werden (Plattform-Modul „%1“ fehlt).")
            .arg(t.missingPlugin);
    if (!t.noDisplay && !t.brokenPlugin.isEmpty())
        return QStringLiteral("Die Anzeige konnte nicht genutzt werden (Plattform-Modul „%1“ lässt sich "
                              "nicht laden).")
            .arg(t.brokenPlugin);
    return QStringLiteral("Es konnte keine Anzeige geöffnet werden.");
}

// Outside a desktop session there is no XDG_RUNTIME_DIR (or one of another
// user's), and the toolkit would make /tmp/runtime-<user> and leave it there:
// the program gets a runtime folder of its own for the run instead, removed
// when it ends.
struct OwnRuntimeFolder {
    std::string path;
    pid_t owner = 0;

    static OwnRuntimeFolder& get()
    {
        static auto* folder = new OwnRuntimeFolder;
        return *folder;
    }
    static void remove()
    {
        auto& f = get();
        if (f.path.empty() || f.owner != ::getpid())
            return;
        std::error_code ec;
        std::filesystem::remove_all(f.path, ec);
        f.path.clear();
    }
    static void make()
    {
        auto& f = get();
        if (!f.path.empty())
            return;
        // The system's own, where it names one the toolkit can use.
        struct stat st;
        const char* named = std::getenv("XDG_RUNTIME_DIR");
        if (named && *named && ::stat(named, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid())
            return;
        const char* tmp = std::getenv("TMPDIR");
        std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessavel-runtime-XXXXXX";
        if (!::mkdtemp(name.data()))
            return;
        f.path = name;
        f.owner = ::getpid();
        ::setenv("XDG_RUNTIME_DIR", f.path.c_str(), 1);
        // The toolkit ends the program with exit() when the display goes.
        std::atexit(remove);
    }
};

void startupMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    auto& t = startupTrouble;
    if (type == QtFatalMsg) {
        const std::string name = std::filesystem::path(state().programName).filename().string();
        std::fprintf(stderr, "%s: %s\n", name.c_str(), qPrintable(startupFailure()));
        std::fflush(stderr);
        OwnRuntimeFolder::remove();
        std::_Exit(1);
    }
    const QLatin1StringView category(context.category ? context.category : "");
    if (text.contains(QLatin1StringView("could not connect to display")) ||
        text.contains(QLatin1StringView("wl_display")))
        t.noDisplay = true;
    else if (category != QLatin1StringView("qt.qpa.plugin"))
        return;
    // Where several are tried, the first is the one asked for.
    else if (text.startsWith(QLatin1StringView("Could not find the Qt platform plugin")) &&
             t.missingPlugin.isEmpty())
        t.missingPlugin = quoted(text);
    else if (text.startsWith(QLatin1StringView("Could not load the Qt platform plugin")) &&
             t.brokenPlugin.isEmpty())
        t.brokenPlugin = quoted(text);
}

void startToolkit(const char* name)
{
    auto& s = state();
    s.programName = name && *name ? name : "tessavel";
    s.argc = 1;
    s.argv[0] = s.programName.data();
    s.argv[1] = nullptr;
    OwnRuntimeFolder::make();
    QtMessageHandler previous = qInstallMessageHandler(startupMessage);
    s.ownedApp = new QApplication(s.argc, s.argv);
    qInstallMessageHandler(previous);
    startupTrouble = {};
}

// Qt's folder dialog keeps its history, last folder, view and column widths
// in the user's QtProject.conf and reads them back in the next run of any Qt
// program. The programs keep nothing: the toolkit's settings are looked for
// where no file can be, so none is read and none can be written.
void keepNoSettings()
{
    for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        for (auto scope : {QSettings::UserScope, QSettings::SystemScope})
            QSettings::setPath(format, scope, QStringLiteral("/dev/null"));
}

// The copy holds the folders open on its way down, on the disc and in the
// target: a disc nested some hundreds of folders deep would run out under the
// soft limit of open files most systems start programs with (1,024), so the
// program takes what the system allows it.
void openFilesAsAllowed()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// Qt's own texts (the folder dialog) in German, whatever the system's language.
void loadGermanTexts()
{
    auto& s = state();
    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(german);
    if (s.translator)
        return;
    auto* t = new QTranslator(QCoreApplication::instance());
    if (t->load(german, QStringLiteral("qtbase"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(t);
        s.translator = t;
    } else {
        delete t;
    }
}

} // namespace

void RuntimeInit(int argc, char** argv)
{
    // A full disk or a file-size limit must fail a write, not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // So must a write to a display that has gone away (the X library writes
    // without MSG_NOSIGNAL): the toolkit then sees the broken connection and
    // ends the program with status 1.
    std::signal(SIGPIPE, SIG_IGN);
    keepNoSettings();
    openFilesAsAllowed();
    auto& s = state();
    if (!QCoreApplication::instance()) {
        // Through shared memory every paint first waits for the X server to
        // finish the one before; these small windows are sent faster as they are.
        if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
            qputenv("QT_XCB_NO_MITSHM", "1");
        startToolkit(argc > 0 && argv ? argv[0] : nullptr);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        detail::ApplySystemFontDefaults();
    }
    loadGermanTexts();
    QApplication::setQuitOnLastWindowClosed(true);
    s.app = {};
    s.quitCode = 0;
    s.quitRequested = false;
    s.failed = false;
    s.actions = 0;
    s.classes.clear();
    s.clock.start();
    s.lastEvents = 0;
    s.lastPaint = -frameMs;
}

int RuntimeExit()
{
    auto& s = state();
    int status = s.failed ? 1 : s.quitCode;
    _ReleaseImplicitWindowList();
    _ReleaseDirtyWindows();
    _ReleaseWindows();
    s.app = {};
    if (s.ownedApp) {
        delete s.ownedApp;
        s.ownedApp = nullptr;
    }
    return status;
}

void _RuntimeRegisterAppObject(Ref<Application> app) { state().app = std::move(app); }
Ref<Application> App() { return state().app; }

void _RuntimeRun()
{
    if (state().quitRequested)
        return;
    int code = QApplication::exec();
    auto& s = state();
    if (!s.quitRequested) {
        // The last window was closed: that quits as Quit(0) does.
        s.quitRequested = true;
        s.quitCode = code;
    }
}

void Quit(int code)
{
    auto& s = state();
    s.quitRequested = true;
    s.quitCode = code;
    QCoreApplication::exit(code);
}

bool QuitRequested() { return state().quitRequested; }

void _UnhandledException(std::exception_ptr error)
{
    std::string what = "unbekannter Fehler";
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    auto& s = state();
    s.failed = true;
    try {
        CurrentPlatform().MsgBox("Unerwarteter Fehler: " + what +
                                 "\rDas Programm wird beendet.");
    } catch (...) {
    }
    s.quitRequested = true;
    s.quitCode = 1;
    QCoreApplication::exit(1);
}

void RuntimeBackgroundTask()
{
    CurrentPlatform().BackgroundTask();
    detail::EventRound();
}

void detail::EventRound()
{
    auto& s = state();
    // Without a running toolkit (a program that only copies) there are no
    // events. Asked of the core application: where only that runs, taking it
    // for a QApplication (qApp) would be undefined.
    if (!QCoreApplication::instance() || !s.clock.isValid())
        return;
    // Names held back to keep to one paint a frame are shown within that frame.
    const qint64 now = s.clock.elapsed();
    if (now - s.lastEvents < eventsMs) {
        if (!s.pendingPaint.empty() && now - s.lastPaint >= frameMs)
            detail::FlushPendingPaints();
        return;
    }
    s.lastEvents = now;
    // Painted first, so the event round finds the label already drawn and
    // does not draw it a second time within the frame.
    if (!s.pendingPaint.empty())
        detail::FlushPendingPaints();
    // Input comes through, but the gate keeps from the windows all of it that
    // does not end the program: a long job can be stopped, not begun again.
    InputGate gate;
    QCoreApplication::processEvents();
}

void RegisterClass(const std::string& name) { state().classes.push_back(name); }
const std::vector<std::string>& RegisteredClasses() { return state().classes; }

Ref<ScreenInfo> Screen(int index)
{
    auto info = New<ScreenInfo>();
    if (index == 0) {
        info->Width = CurrentPlatform().ScreenWidth();
        info->Height = CurrentPlatform().ScreenHeight();
        return info;
    }
    auto screens = QGuiApplication::screens();
    if (index < 0 || index >= screens.size())
        return {};
    QRect g = screens[index]->geometry();
    *info = {g.x(), g.y(), g.width(), g.height()};
    return info;
}

void MsgBox(const std::string& text)
{
    detail::FlushPendingPaints();
    CurrentPlatform().MsgBox(text);
}

Ref<FolderItem> SelectFolder()
{
    auto path = CurrentPlatform().SelectFolder();
    if (!path)
        return {};
    return New<FolderItem>(*path);
}

void detail::RequestRepaint(QWidget* widget)
{
    auto& s = state();
    if (!widget)
        return;
    // A copy asks for the same label after every file.
    if (s.pendingPaint.empty() || s.pendingPaint.back() != widget) {
        bool known = false;
        for (const auto& p : s.pendingPaint)
            known = known || p == widget;
        if (!known)
            s.pendingPaint.emplace_back(widget);
    }
    if (!s.clock.isValid() || s.clock.elapsed() - s.lastPaint >= frameMs)
        FlushPendingPaints();
}

void detail::FlushPendingPaints()
{
    auto& s = state();
    static std::vector<QPointer<QWidget>> pending;
    pending.swap(s.pendingPaint);
    for (const auto& p : pending)
        if (p && p->isVisible())
            p->repaint();
    pending.clear();
    s.lastPaint = s.clock.isValid() ? s.clock.elapsed() : 0;
}

void detail::DropPendingPaints() { state().pendingPaint.clear(); }

bool detail::BeginAction(bool cancel)
{
    auto& s = state();
    if (s.actions > 0 && !cancel)
        return false;
    ++s.actions;
    return true;
}

void detail::EndAction() { --state().actions; }

bool detail::ActionRunning() { return state().actions > 0; }

} // namespace vela

// The toolkit's start: its messages while it starts, a runtime folder where
// the system gives none, its German texts and the programs' font and style;
// and what the process needs whatever started it.
#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QPointer>
#include <QSettings>
#include <QStyleFactory>
#include <QTranslator>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "internal.h"

namespace vela {

namespace {

struct Toolkit {
    // What the toolkit gets of the command line: the program's name alone,
    // so its own options (-reverse, -style, -platform) have no effect.
    std::string programName;
    int argc = 1;
    char* argv[2] = {};
    QPointer<QTranslator> translator;
};

Toolkit& toolkit()
{
    // Never destroyed: when the display goes away the toolkit calls exit(),
    // and the static tear-down must not destroy its objects beneath it.
    static Toolkit& t = *new Toolkit;
    return t;
}

// The font "System" at a pixel size.
void applySystemFontDefaults()
{
    QFont f = QApplication::font();
    if (QFontDatabase::families().contains(QStringLiteral("Liberation Sans")))
        f.setFamily(QStringLiteral("Liberation Sans"));
    f.setPixelSize(13);
    QApplication::setFont(f);
}

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
        // A program ended by a signal (a logout's SIGHUP, kill's SIGTERM,
        // Ctrl+C) ends as before, but without its folder: the toolkit leaves
        // it empty, so one rmdir does, and that may run in a signal handler.
        if (name.size() < sizeof(signalledPath)) {
            std::memcpy(signalledPath, name.c_str(), name.size() + 1);
            signalledOwner = f.owner;
            for (int sig : {SIGHUP, SIGINT, SIGTERM}) {
                struct sigaction old {};
                // What the caller ignores (nohup) stays ignored.
                if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_DFL)
                    std::signal(sig, removeAndEnd);
            }
        }
    }

    static inline char signalledPath[4096] = {};
    static inline pid_t signalledOwner = 0;
    static void removeAndEnd(int sig)
    {
        // Not in a child the program forked: the folder is the parent's.
        if (::getpid() == signalledOwner)
            ::rmdir(signalledPath);
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    }
};

void startupMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    auto& t = startupTrouble;
    if (type == QtFatalMsg) {
        const std::string name = std::filesystem::path(toolkit().programName).filename().string();
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

} // namespace

QApplication* detail::StartToolkit(const char* name)
{
    // Through shared memory every paint first waits for the X server to
    // finish the one before; these small windows are sent faster as they are.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    auto& s = toolkit();
    s.programName = name && *name ? name : "tessavel";
    s.argc = 1;
    s.argv[0] = s.programName.data();
    s.argv[1] = nullptr;
    OwnRuntimeFolder::make();
    QtMessageHandler previous = qInstallMessageHandler(startupMessage);
    auto* app = new QApplication(s.argc, s.argv);
    qInstallMessageHandler(previous);
    startupTrouble = {};
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    applySystemFontDefaults();
    return app;
}

// Qt's folder dialog keeps its history, last folder, view and column widths
// in the user's QtProject.conf and reads them back in the next run of any Qt
// program. The programs keep nothing: the toolkit's settings are looked for
// where no file can be, so none is read and none can be written.
void detail::KeepNoSettings()
{
    for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        for (auto scope : {QSettings::UserScope, QSettings::SystemScope})
            QSettings::setPath(format, scope, QStringLiteral("/dev/null"));
}

// The copy holds the folders open on its way down, on the disc and in the
// target: a disc nested some hundreds of folders deep would run out under the
// soft limit of open files most systems start programs with (1,024), so the
// program takes what the system allows it.
void detail::OpenFilesAsAllowed()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// Qt's own texts (the folder dialog) in German, whatever the system's language.
void detail::LoadGermanTexts()
{
    auto& s = toolkit();
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

} // namespace vela

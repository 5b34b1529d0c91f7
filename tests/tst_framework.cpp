// Small framework pieces: references, text helpers, property lists, file
// types and the menu model; how texts are drawn, dialog-style windows, and
// the toolkit's message box and folder dialog.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QTreeView>
#include <QWindow>
#include <QtTest>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "vela/filetype.h"
#include "vela/menu.h"
#include "vela/properties.h"
#include "vela/ref.h"
#include "vela/runtime.h"
#include "vela/text.h"
#include "vela/dialogs.h"
#include "vela/window.h"
#include "fixture.h"
#include "runtime_guard.h"
#include "window_checks.h"

using vela::New;
using vela::Ref;

namespace {

class PlainWindow : public vela::Window {};

// A window that takes its properties from the list given before it is made.
class LaidOutWindow : public vela::Window {
public:
    static inline vela::PropertyList properties;
    void Layout() override { vela::_SetProperties(*this, properties); }
};

Ref<vela::Window> makeWindow(const std::string& className, int width, int height, int frame,
                             bool visible, const std::string& title = "Hauptfenster")
{
    LaidOutWindow::properties = {{"Width", vela::Value(std::int64_t(width))},
                                 {"Height", vela::Value(std::int64_t(height))},
                                 {"Frame", vela::Value(std::int64_t(frame))},
                                 {"Title", vela::Text(title)},
                                 {"Visible", vela::Value(visible)}};
    return vela::NewWindow<LaidOutWindow>(className);
}

template <class C>
Ref<C> addControl(const Ref<vela::Window>& window, const std::string& name, QRect box,
                  vela::PropertyList more)
{
    auto c = New<C>();
    window->_AddControl(name, c);
    vela::PropertyList list = {{"Name", vela::Text(name)},
                               {"Left", vela::Value(std::int64_t(box.x()))},
                               {"Top", vela::Value(std::int64_t(box.y()))},
                               {"Width", vela::Value(std::int64_t(box.width()))},
                               {"Height", vela::Value(std::int64_t(box.height()))}};
    list.insert(list.end(), more.begin(), more.end());
    vela::_SetProperties(*c, list);
    return c;
}

Ref<vela::StaticText> addText(const Ref<vela::Window>& window, const std::string& name, QRect box,
                              const std::string& text, int align, bool multiline, int size)
{
    return addControl<vela::StaticText>(window, name, box,
                                        {{"Text", vela::Text(text)},
                                         {"TextAlign", vela::Value(std::int64_t(align))},
                                         {"Multiline", vela::Value(multiline)},
                                         {"TextSize", vela::Value(std::int64_t(size))}});
}

// What a modal box showed while it was up.
struct Shown {
    QString title, text;
    Qt::TextFormat format = Qt::AutoText;
    QRect frame, okButton, screen;
    QStringList buttons;
};

// Runs show(), which puts up a modal dialog; looks at the dialog once it is
// up (and hands it to look) and then cancels it.
Shown whileModal(const std::function<void()>& show, const std::function<void(QDialog*)>& look = {})
{
    Shown seen;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll.stop();
        seen.title = dialog->windowTitle();
        seen.frame = dialog->frameGeometry();
        seen.screen = dialog->screen()->availableGeometry();
        for (auto* label : dialog->findChildren<QLabel*>())
            if (!label->text().isEmpty() && seen.text.isEmpty() && !qobject_cast<QFileDialog*>(dialog)) {
                seen.text = label->text();
                seen.format = label->textFormat();
            }
        for (auto* b : dialog->findChildren<QPushButton*>()) {
            if (!b->isVisible())
                continue;
            seen.buttons << b->text().remove('&');
            if (b->text().remove('&') == "OK")
                seen.okButton = QRect(b->mapToGlobal(QPoint(0, 0)), b->size());
        }
        if (look)
            look(dialog);
        dialog->reject();
    });
    poll.start();
    show();
    return seen;
}

vela::Value valueOf(const QString& kind)
{
    if (kind == "text")
        return vela::Text("Bitte warten");
    if (kind == "int")
        return vela::Value(std::int64_t(12));
    if (kind == "bool")
        return vela::Value(true);
    return vela::Value(vela::Color{255, 0, 0});
}

int registered(const std::string& name)
{
    const auto& types = vela::RegisteredFileTypes();
    return int(std::count_if(types.begin(), types.end(),
                             [&](const vela::RegisteredFileType& t) { return t.Name == name; }));
}

const vela::RegisteredFileType* findType(const std::string& name)
{
    for (const auto& t : vela::RegisteredFileTypes())
        if (t.Name == name)
            return &t;
    return nullptr;
}

// Every entry below root with its size, time and content, folders included
// (an entry made and removed again still changes its folder's time).
QStringList snapshot(const QString& root)
{
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo f = it.nextFileInfo();
        out << QString("%1 %2 %3 %4")
                   .arg(QDir(root).relativeFilePath(f.filePath()))
                   .arg(f.size())
                   .arg(f.lastModified().toMSecsSinceEpoch())
                   .arg(f.isFile() ? QString::fromLatin1(fixture::read(f.filePath()).toHex()) : "folder");
    }
    out.sort();
    return out;
}

// Set for the copy of this test program that a test starts as its child:
// "start" makes it start as a program does, anything else runs the test named.
constexpr char childVariable[] = "TST_FRAMEWORK_CHILD";

struct ChildRun {
    bool finished = false;
    int status = -1;
    QString out, err;
};

// This test program run again, with the environment changed by env.
ChildRun runChild(const QStringList& args, const QString& folder,
                  const std::function<void(QProcessEnvironment&)>& env)
{
    QProcess child;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    env(e);
    child.setProcessEnvironment(e);
    child.setWorkingDirectory(folder);
    child.start(QCoreApplication::applicationFilePath(), args);
    ChildRun run;
    run.finished = child.waitForFinished(240000);
    if (!run.finished)
        child.kill();
    run.status = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    run.out = QString::fromUtf8(child.readAllStandardOutput());
    run.err = QString::fromUtf8(child.readAllStandardError());
    return run;
}

// Started as the child "start": the framework starts the toolkit itself, as
// in a program, shows a window and quits.
int startAsProgram()
{
    char name[] = "tst_framework";
    char* argv[] = {name, nullptr};
    vela::RuntimeInit(1, argv);
    {
        auto main = makeWindow("Haupt", 300, 200, 0, true);
        QTimer::singleShot(0, [] { vela::Quit(0); });
        vela::_RuntimeRun();
    }
    vela::ReleaseImplicitWindowList();
    vela::ReleaseWindows();
    return vela::RuntimeExit();
}

Ref<vela::MenuItem> menuItem(const std::string& name, const std::string& text)
{
    auto m = New<vela::MenuItem>();
    m->Name = name;
    m->Text = text;
    return m;
}

} // namespace

class TestFramework : public QObject {
    Q_OBJECT

public:
    // Before the test application exists.
    static void initMain()
    {
        if (qgetenv(childVariable) == "start")
            std::exit(startAsProgram());
    }

private slots:
    void initTestCase();
    void startPrintsOnlyWhatFailed_data();
    void startPrintsOnlyWhatFailed();

    void nilRefThrows();
    void checkCast();

    void inStr_data();
    void inStr();
    void left_data();
    void left();
    void printable_data();
    void printable();
    void stringCompare_data();
    void stringCompare();
    void realToInt_data();
    void realToInt();

    void setProperties_data();
    void setProperties();
    void propertyListStopsAtError();

    void fileTypeRegistersOnToString();
    void fileTypeSetterWithdraws_data();
    void fileTypeSetterWithdraws();
    void fileTypesOfTheSameName();

    void menuLookup_data();
    void menuLookup();
    void menuItems();

    void textAlignment_data();
    void textAlignment();
    void multilineTextRoom_data();
    void multilineTextRoom();
    void fontRefitsOnChange_data();
    void fontRefitsOnChange();
    void dialogWindowsStayInFront_data();
    void dialogWindowsStayInFront();
    void messageBox_data();
    void messageBox();
    void folderDialogInGerman();
    void folderDialogKeepsNoSettings_data();
    void folderDialogKeepsNoSettings();
    void folderDialogDatesAndColumns();
    void mainWindowAfterADialogWindow_data();
    void mainWindowAfterADialogWindow();

    void cleanup();
    void cleanupTestCase();

private:
    std::optional<testsupport::RuntimeGuard> runtime_;
};

void TestFramework::initTestCase() { runtime_.emplace(); }

void TestFramework::cleanupTestCase() { runtime_.reset(); }

// ---- start-up ----

void TestFramework::startPrintsOnlyWhatFailed_data()
{
    QTest::addColumn<QString>("platform");    // QT_QPA_PLATFORM; empty: not set, no display
    QTest::addColumn<QString>("runtimeDir");  // XDG_RUNTIME_DIR: "own", "none", "another user's"
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("status");

    QTest::newRow("a normal start") << "offscreen" << "own" << "" << 0;
    QTest::newRow("a normal start without XDG_RUNTIME_DIR") << "offscreen" << "none" << "" << 0;
    QTest::newRow("a normal start with another user's XDG_RUNTIME_DIR")
        << "offscreen" << "another user's" << "" << 0;
    QTest::newRow("no display") << "" << "none" << "tst_framework: Es konnte keine Anzeige geöffnet werden.\n"
                                << 1;
    QTest::newRow("no such platform plugin")
        << "nosuchplatform" << "own"
        << "tst_framework: Die Anzeige konnte nicht genutzt werden (Plattform-Modul „nosuchplatform“ fehlt).\n"
        << 1;
}

// A normal start prints nothing, whatever the toolkit has to say of the
// system; a start that fails says in one line what failed.
void TestFramework::startPrintsOnlyWhatFailed()
{
    QFETCH(QString, platform);
    QFETCH(QString, runtimeDir);
    QFETCH(QString, said);
    QFETCH(int, status);
    QTemporaryDir tmp;
    fixture::mkdir(tmp.filePath("tmp"));
    fixture::mkdir(tmp.filePath("home"));
    QString runtime;
    if (runtimeDir == "own") {
        runtime = tmp.filePath("run");
        QVERIFY(QDir().mkdir(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    } else if (runtimeDir == "another user's") {
        if (::geteuid() == 0) {
            runtime = tmp.filePath("other");
            fixture::mkdir(runtime);
            if (::chown(qPrintable(runtime), 65534, 65534) != 0)
                QSKIP("root here cannot give a folder to another user");
        } else {
            runtime = "/";  // root's
        }
    }
    const ChildRun run = runChild({}, tmp.path(), [&](QProcessEnvironment& env) {
        env.insert(childVariable, "start");
        for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "QT_QPA_PLATFORM",
                              "XDG_RUNTIME_DIR", "QT_LOGGING_RULES", "QT_DEBUG_PLUGINS"})
            env.remove(v);
        if (!platform.isEmpty())
            env.insert("QT_QPA_PLATFORM", platform);
        if (!runtime.isEmpty())
            env.insert("XDG_RUNTIME_DIR", runtime);
        // Where the toolkit makes its runtime folder when the system names none.
        env.insert("TMPDIR", tmp.filePath("tmp"));
        env.insert("HOME", tmp.filePath("home"));
    });
    QVERIFY(run.finished);
    QCOMPARE(run.err, said);
    QCOMPARE(run.out, QString());
    QCOMPARE(run.status, status);
    // Nor does it leave a runtime folder behind (the toolkit's or its own).
    QCOMPARE(QDir(tmp.filePath("tmp")).entryList({"*runtime*"}, QDir::AllEntries | QDir::Hidden), QStringList());
}

void TestFramework::cleanup()
{
    vela::ReleaseImplicitWindowList();
    vela::ReleaseWindows();
}

// ---- references ----

void TestFramework::nilRefThrows()
{
    Ref<vela::MenuItem> nil;
    QVERIFY(nil.IsNil());
    QVERIFY(!nil);
    QVERIFY(nil == nullptr);
    QVERIFY_THROWS_EXCEPTION(vela::NilObjectException, nil->Count());
    QVERIFY_THROWS_EXCEPTION(vela::NilObjectException, (void)*nil);
    QVERIFY_THROWS_EXCEPTION(vela::NilObjectException, (void)nil->Name);
}

void TestFramework::checkCast()
{
    Ref<vela::RectControl> control = New<vela::StaticText>();
    auto text = vela::RuntimeCheckCast<vela::StaticText>(control);
    QVERIFY(text);
    QVERIFY(text == control);
    QVERIFY_THROWS_EXCEPTION(vela::IllegalCastException,
                             vela::RuntimeCheckCast<vela::PushButton>(control));
    QVERIFY(vela::RuntimeCheckCast<vela::PushButton>(Ref<vela::RectControl>()).IsNil());

    Ref<vela::MenuItem> bar = New<vela::MenuBar>();
    QVERIFY(vela::RuntimeCheckCast<vela::MenuBar>(bar) == bar);
    QVERIFY_THROWS_EXCEPTION(vela::IllegalCastException,
                             vela::RuntimeCheckCast<vela::QuitMenuItem>(bar));
}

// ---- text ----

void TestFramework::inStr_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sought");
    QTest::addColumn<int>("position");

    QTest::newRow("found") << 1 << "Hallo Welt" << "Welt" << 7;
    QTest::newRow("at the beginning") << 1 << "Hallo Welt" << "Hallo" << 1;
    QTest::newRow("start 0 is the beginning") << 0 << "Hallo Welt" << "Hallo" << 1;
    QTest::newRow("at the end") << 1 << "Hallo Welt" << "t" << 10;
    QTest::newRow("whole text") << 1 << "SZENERIE" << "SZENERIE" << 1;
    QTest::newRow("case of sought ignored") << 1 << "default scenery" << "SCENERY" << 9;
    QTest::newRow("case of text ignored") << 0 << "/media/SZENERIE/resources" << "szenerie" << 8;
    QTest::newRow("absent") << 1 << "Hallo Welt" << "Welten" << 0;
    QTest::newRow("longer than the text") << 1 << "ab" << "abc" << 0;
    QTest::newRow("empty text") << 1 << "" << "a" << 0;
    QTest::newRow("first of several") << 1 << "abcabc" << "bc" << 2;
    QTest::newRow("start after the first") << 3 << "abcABC" << "bc" << 5;
    QTest::newRow("start on an occurrence") << 4 << "abcabc" << "abc" << 4;
    QTest::newRow("start after the last") << 5 << "abcabc" << "abc" << 0;
    QTest::newRow("start beyond the end") << 99 << "abc" << "a" << 0;
}

void TestFramework::inStr()
{
    QFETCH(int, start);
    QFETCH(QString, text);
    QFETCH(QString, sought);
    QFETCH(int, position);
    QCOMPARE(vela::InStr(start, text.toStdString(), sought.toStdString()), position);
}

void TestFramework::left_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("result");

    QTest::newRow("ASCII") << "Hallo" << 2 << "Ha";
    QTest::newRow("two-byte character") << "über" << 1 << "ü";
    QTest::newRow("after a two-byte character") << "über" << 2 << "üb";
    QTest::newRow("three-byte character") << "€uro" << 1 << "€";
    QTest::newRow("four-byte character") << "😀x" << 1 << "😀";
    QTest::newRow("all of it") << "Grüße" << 5 << "Grüße";
    QTest::newRow("more than there is") << "Grüße" << 50 << "Grüße";
    QTest::newRow("none") << "Hallo" << 0 << "";
    QTest::newRow("negative") << "Hallo" << -1 << "";
    QTest::newRow("empty text") << "" << 3 << "";
    QTest::newRow("hidden file test") << ".DS_Store" << 1 << ".";
}

void TestFramework::left()
{
    QFETCH(QString, text);
    QFETCH(int, n);
    QFETCH(QString, result);
    QCOMPARE(QString::fromStdString(vela::Left(text.toStdString(), n)), result);
}

void TestFramework::printable_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("shown");

    QTest::newRow("plain") << QByteArray("tile +48+011.dsf") << QByteArray("tile +48+011.dsf");
    QTest::newRow("umlauts and more") << QByteArray("Gebäude €😀") << QByteArray("Gebäude €😀");
    QTest::newRow("line breaks") << QByteArray("a\nb\r\nc") << QByteArray("a?b??c");
    QTest::newRow("tab, NUL, DEL") << QByteArray("a\tb\0c\x7f", 6) << QByteArray("a?b?c?");
    QTest::newRow("C1 control (NEL)") << QByteArray("a\xc2\x85" "b") << QByteArray("a?b");
    QTest::newRow("line and paragraph separators")
        << QByteArray("a\xe2\x80\xa8" "b\xe2\x80\xa9") << QByteArray("a?b?");
    QTest::newRow("a byte that is no UTF-8") << QByteArray("a\xff" "b") << QByteArray("a\xef\xbf\xbd" "b");
    QTest::newRow("cut-off sequence at the end") << QByteArray("a\xc3") << QByteArray("a\xef\xbf\xbd");
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << QByteArray("\xef\xbf\xbd\xef\xbf\xbd");
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80")
                               << QByteArray("\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
    QTest::newRow("beyond Unicode") << QByteArray("\xf4\x90\x80\x80")
                                    << QByteArray("\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
}

void TestFramework::printable()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, shown);
    const std::string in(text.constData(), std::size_t(text.size()));
    QCOMPARE(QByteArray::fromStdString(vela::Printable(in)), shown);
    QCOMPARE(vela::IsPrintable(in), text == shown);
}

void TestFramework::stringCompare_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("sign");

    QTest::newRow("equal") << "abc" << "abc" << 0;
    QTest::newRow("case only") << "DSF 820 Earth" << "dsf 820 earth" << 0;
    QTest::newRow("both empty") << "" << "" << 0;
    QTest::newRow("less") << "a" << "b" << -1;
    QTest::newRow("greater") << "b" << "a" << 1;
    // Ordered as the letters, not as the bytes ('B' < 'a').
    QTest::newRow("upper after lower") << "B" << "a" << 1;
    QTest::newRow("lower before upper") << "a" << "B" << -1;
    QTest::newRow("prefix first") << "abc" << "ABCD" << -1;
    QTest::newRow("longer last") << "abcd" << "ABC" << 1;
    QTest::newRow("empty first") << "" << "." << -1;
    // UTF-8 lead bytes are above ASCII.
    QTest::newRow("umlaut after z") << "ü" << "z" << 1;
}

void TestFramework::stringCompare()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, sign);
    const int r = vela::RuntimeStringCompare(a.toStdString(), b.toStdString());
    QCOMPARE((r > 0) - (r < 0), sign);
}

void TestFramework::realToInt_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("result");

    QTest::newRow("half up") << 243.5 << 244;
    QTest::newRow("below half") << 243.49 << 243;
    QTest::newRow("above half") << 243.51 << 244;
    QTest::newRow("negative half") << -243.5 << -244;
    QTest::newRow("minus one half") << -0.5 << -1;
    QTest::newRow("one half") << 0.5 << 1;
    QTest::newRow("even half") << 2.5 << 3;
    QTest::newRow("negative even half") << -2.5 << -3;
    QTest::newRow("just below one half") << 0.49999999999999994 << 0;
    QTest::newRow("negative below half") << -1.4 << -1;
    QTest::newRow("zero") << 0.0 << 0;
    QTest::newRow("negative zero") << -0.0 << 0;
    QTest::newRow("largest") << 2147483647.0 << std::numeric_limits<int>::max();
    QTest::newRow("smallest") << -2147483648.0 << std::numeric_limits<int>::min();
}

void TestFramework::realToInt()
{
    QFETCH(double, value);
    QFETCH(int, result);
    QCOMPARE(vela::RuntimeCvtReal64ToSInt32(value), result);
}

// ---- property lists ----

void TestFramework::setProperties_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");  // text, int, bool, colour
    QTest::addColumn<bool>("accepted");

    QTest::newRow("label text") << "StaticText" << "Text" << "text" << true;
    QTest::newRow("label alignment") << "StaticText" << "TextAlign" << "int" << true;
    QTest::newRow("label colour") << "StaticText" << "TextColor" << "colour" << true;
    QTest::newRow("label multiline") << "StaticText" << "Multiline" << "bool" << true;
    QTest::newRow("label position") << "StaticText" << "Left" << "int" << true;
    QTest::newRow("label name") << "StaticText" << "Name" << "text" << true;
    QTest::newRow("label bold") << "StaticText" << "Bold" << "bool" << true;
    QTest::newRow("label unknown") << "StaticText" << "Txt" << "text" << false;
    QTest::newRow("label caption") << "StaticText" << "Caption" << "text" << false;
    QTest::newRow("label text as number") << "StaticText" << "Text" << "int" << false;
    QTest::newRow("label text as flag") << "StaticText" << "Text" << "bool" << false;
    QTest::newRow("label alignment as text") << "StaticText" << "TextAlign" << "text" << false;
    QTest::newRow("label multiline as number") << "StaticText" << "Multiline" << "int" << false;
    QTest::newRow("label colour as number") << "StaticText" << "TextColor" << "int" << false;
    QTest::newRow("label position as text") << "StaticText" << "Left" << "text" << false;

    QTest::newRow("button caption") << "PushButton" << "Caption" << "text" << true;
    QTest::newRow("button default") << "PushButton" << "Default" << "bool" << true;
    QTest::newRow("button default as text") << "PushButton" << "Default" << "text" << false;
    QTest::newRow("button text") << "PushButton" << "Text" << "text" << false;

    QTest::newRow("window title") << "Window" << "Title" << "text" << true;
    QTest::newRow("window width") << "Window" << "Width" << "int" << true;
    QTest::newRow("window resizeable") << "Window" << "Resizeable" << "bool" << true;
    QTest::newRow("window back colour") << "Window" << "BackColor" << "colour" << true;
    QTest::newRow("window unknown") << "Window" << "Titel" << "text" << false;
    QTest::newRow("window label text") << "Window" << "Text" << "text" << false;
    QTest::newRow("window width as text") << "Window" << "Width" << "text" << false;
    QTest::newRow("window resizeable as number") << "Window" << "Resizeable" << "int" << false;
    QTest::newRow("window title as colour") << "Window" << "Title" << "colour" << false;
}

void TestFramework::setProperties()
{
    QFETCH(QString, target);
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(bool, accepted);

    Ref<vela::PropertyHolder> holder;
    if (target == "StaticText")
        holder = New<vela::StaticText>();
    else if (target == "PushButton")
        holder = New<vela::PushButton>();
    else
        holder = New<PlainWindow>();

    const std::string n = name.toStdString();
    const vela::Value v = valueOf(kind);
    const vela::PropertyList list{{n, v}};
    if (accepted) {
        vela::_SetProperties(holder, list);
        QVERIFY(holder->HasProperty(n));
        QVERIFY(holder->Property(n) == v);
    } else {
        QVERIFY_THROWS_EXCEPTION(vela::PropertyError, vela::_SetProperties(holder, list));
        QVERIFY(!holder->HasProperty(n));
    }
}

void TestFramework::propertyListStopsAtError()
{
    vela::StaticText label;
    const vela::PropertyList list{{"Name", vela::Text("StaticText2")},
                                  {"Text", vela::Text("Bitte warten")},
                                  {"Text", vela::Value(std::int64_t(3))},
                                  {"Multiline", vela::Value(true)}};
    QVERIFY_THROWS_EXCEPTION(vela::PropertyError, vela::_SetProperties(label, list));
    QCOMPARE(label.Text(), std::string("Bitte warten"));
    QCOMPARE(label.Name(), std::string("StaticText2"));
    QVERIFY(!label.HasProperty("Multiline"));
    QCOMPARE(label.PropertyOrder(), (std::vector<std::string>{"Name", "Text"}));
}

// ---- file types ----

void TestFramework::fileTypeRegistersOnToString()
{
    const auto before = vela::RegisteredFileTypes().size();
    {
        vela::FileType t;
        t.SetName("alles");
        t.SetExtensions(".dsf");
        t.SetMacType("????");
        t.SetMacCreator("XPLN");
        QCOMPARE(vela::RegisteredFileTypes().size(), before);

        QCOMPARE(t.ToString(), std::string("alles"));
        QCOMPARE(registered("alles"), 1);
        const auto* r = findType("alles");
        QVERIFY(r);
        QCOMPARE(r->Extensions, std::string(".dsf"));
        QCOMPARE(r->MacType, std::string("????"));
        QCOMPARE(r->MacCreator, std::string("XPLN"));

        // Asking again registers nothing more.
        QCOMPARE(t.ToString(), std::string("alles"));
        QCOMPARE(registered("alles"), 1);
    }
    QCOMPARE(registered("alles"), 0);
    QCOMPARE(vela::RegisteredFileTypes().size(), before);
}

void TestFramework::fileTypeSetterWithdraws_data()
{
    QTest::addColumn<QString>("field");
    QTest::newRow("name") << "name";
    QTest::newRow("extensions") << "extensions";
    QTest::newRow("mac type") << "mac type";
    QTest::newRow("mac creator") << "mac creator";
}

void TestFramework::fileTypeSetterWithdraws()
{
    QFETCH(QString, field);
    const auto before = vela::RegisteredFileTypes().size();
    vela::FileType t;
    t.SetName("text");
    t.SetExtensions(".txt");
    t.SetMacType("TEXT");
    t.SetMacCreator("ttxt");
    t.ToString();
    QCOMPARE(vela::RegisteredFileTypes().size(), before + 1);

    if (field == "name")
        t.SetName("txt2");
    else if (field == "extensions")
        t.SetExtensions(".text");
    else if (field == "mac type")
        t.SetMacType("ttro");
    else
        t.SetMacCreator("R*ch");
    QCOMPARE(vela::RegisteredFileTypes().size(), before);

    // Registered again with what it is now.
    const std::string name = t.ToString();
    QCOMPARE(vela::RegisteredFileTypes().size(), before + 1);
    const auto* r = findType(name);
    QVERIFY(r);
    QCOMPARE(r->Name, t.Name());
    QCOMPARE(r->Extensions, t.Extensions());
    QCOMPARE(r->MacType, t.MacType());
    QCOMPARE(r->MacCreator, t.MacCreator());
}

void TestFramework::fileTypesOfTheSameName()
{
    const auto before = vela::RegisteredFileTypes().size();
    vela::FileType kept;
    kept.SetName("alles");
    kept.SetMacType("????");
    kept.ToString();
    {
        vela::FileType other;
        other.SetName("alles");
        other.SetMacType("TEXT");
        other.ToString();
        QCOMPARE(registered("alles"), 2);
    }
    // Only the one that went away is withdrawn.
    QCOMPARE(registered("alles"), 1);
    QCOMPARE(findType("alles")->MacType, std::string("????"));
    kept.ToString();
    QCOMPARE(registered("alles"), 1);

    kept.SetMacCreator("XPLN");
    QCOMPARE(vela::RegisteredFileTypes().size(), before);
}

// ---- menus ----

void TestFramework::menuLookup_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("direct");  // a menu on the bar
    QTest::addColumn<bool>("inTree");
    QTest::addColumn<QString>("text");

    QTest::newRow("menu") << "UntitledMenu0" << true << true << "Bearbeiten";
    QTest::newRow("item in a menu") << "EditCut" << false << true << "Ausschneiden";
    QTest::newRow("item in the last menu") << "FileQuit" << false << true << "Beenden";
    QTest::newRow("separator") << "UntitledMenu1" << false << true << "-";
    QTest::newRow("item in a submenu") << "EditSpecialDeep" << false << true << "Tief";
    QTest::newRow("absent") << "EditRedo" << false << false << "";
    QTest::newRow("empty name") << "" << false << false << "";
}

void TestFramework::menuLookup()
{
    QFETCH(QString, name);
    QFETCH(bool, direct);
    QFETCH(bool, inTree);
    QFETCH(QString, text);

    auto bar = New<vela::MenuBar>();
    auto edit = menuItem("UntitledMenu0", "Bearbeiten");
    bar->Append(edit);
    edit->Append(menuItem("EditUndo", "Widerrufen"));
    edit->Append(menuItem("UntitledMenu1", "-"));
    edit->Append(menuItem("EditCut", "Ausschneiden"));
    auto special = menuItem("EditSpecial", "Spezial");
    edit->Append(special);
    special->Append(menuItem("EditSpecialDeep", "Tief"));
    auto file = menuItem("UntitledMenu2", "Ablage");
    bar->Append(file);
    auto quit = New<vela::QuitMenuItem>();
    quit->Name = "FileQuit";
    quit->Text = "Beenden";
    file->Append(quit);

    const std::string n = name.toStdString();
    auto child = bar->Child(n);
    QCOMPARE(!child.IsNil(), direct);
    auto found = bar->_Lookup(n);
    QCOMPARE(!found.IsNil(), inTree);
    if (found)
        QCOMPARE(QString::fromStdString(found->Text), text);
    if (child)
        QVERIFY(child == found);
}

void TestFramework::menuItems()
{
    auto menu = menuItem("UntitledMenu0", "Bearbeiten");
    menu->Append(menuItem("EditUndo", "Widerrufen"));
    menu->Append(menuItem("UntitledMenu1", "-"));
    QCOMPARE(menu->Count(), 2);
    QCOMPARE(menu->Item(0)->Name, std::string("EditUndo"));
    QVERIFY(menu->Item(1)->IsSeparator());
    QVERIFY(menu->Item(2).IsNil());
    QVERIFY(menu->Item(-1).IsNil());
    QVERIFY_THROWS_EXCEPTION(vela::NilObjectException, menu->Append(Ref<vela::MenuItem>()));
    QCOMPARE(menu->Count(), 2);
}

// ---- windows ----

void TestFramework::textAlignment_data()
{
    QTest::addColumn<int>("align");
    QTest::addColumn<bool>("multiline");
    QTest::addColumn<int>("lines");

    QTest::newRow("left") << 0 << false << 1;
    QTest::newRow("centre") << 1 << false << 1;
    QTest::newRow("right") << 2 << false << 1;
    QTest::newRow("left, multi-line") << 0 << true << 2;
    QTest::newRow("centre, multi-line") << 1 << true << 2;
    QTest::newRow("right, multi-line") << 2 << true << 2;
}

void TestFramework::textAlignment()
{
    QFETCH(int, align);
    QFETCH(bool, multiline);
    QFETCH(int, lines);
    auto w = makeWindow("Texte", 400, 100, 0, false);
    // A CR breaks the line of a multi-line text; a single line shows it as a blank.
    auto text = addText(w, "Text", {20, 10, 300, 60}, "Eins\rZwei Zeilen", align, multiline, 0);
    const auto ink = checks::inkOf(*text);
    QCOMPARE(ink.lines.size(), lines);
    checks::textsDrawn(*w);
}

void TestFramework::multilineTextRoom_data()
{
    QTest::addColumn<int>("windowHeight");
    QTest::addColumn<QRect>("button");  // null: none
    QTest::addColumn<bool>("keepsSize");
    QTest::addColumn<bool>("drawsBelowBox");

    // The text's box is (20, 10, 200, 30): too low for its three lines at 10 px.
    QTest::newRow("room down to a control") << 200 << QRect(20, 70, 80, 20) << true << true;
    QTest::newRow("room down to the window's bottom") << 200 << QRect() << true << true;
    QTest::newRow("a control beside it") << 200 << QRect(250, 42, 80, 20) << true << true;
    QTest::newRow("a control reaching into the box") << 200 << QRect(60, 30, 80, 40) << false << false;
    QTest::newRow("too little room below") << 200 << QRect(100, 42, 80, 20) << false << false;
    QTest::newRow("window ends below the box") << 42 << QRect() << false << false;
}

void TestFramework::multilineTextRoom()
{
    QFETCH(int, windowHeight);
    QFETCH(QRect, button);
    QFETCH(bool, keepsSize);
    QFETCH(bool, drawsBelowBox);
    auto w = makeWindow("Texte", 400, windowHeight, 0, false);
    // The same first line, alone and at the same size, for comparison.
    auto alone = addText(w, "Alone", {300, 5, 90, 20}, "Eins", 0, false, 10);
    auto text = addText(w, "Text", {20, 10, 200, 30}, "Eins\rZwei\rDrei", 0, true, 10);
    if (!button.isNull())
        addControl<vela::PushButton>(w, "Button", button, {{"Caption", vela::Text("OK")}});
    const auto ink = checks::inkOf(*text);
    const auto reference = checks::inkOf(*alone);
    QCOMPARE(ink.lines.size(), 3);
    if (keepsSize)
        QCOMPARE(ink.LineHeight(0), reference.LineHeight(0));
    else
        QVERIFY(ink.LineHeight(0) < reference.LineHeight(0));
    QCOMPARE(ink.bounds.bottom() >= 40, drawsBelowBox);
    checks::textsDrawn(*w);
}

void TestFramework::fontRefitsOnChange_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");  // of the value set: text, int, bool, colour
    QTest::addColumn<bool>("refits");

    for (const char* control : {"PushButton", "CheckBox", "StaticText"}) {
        const QString c = control;
        QTest::newRow(qPrintable(c + ", TextSize")) << c << "TextSize" << "int" << true;
        QTest::newRow(qPrintable(c + ", TextFont")) << c << "TextFont" << "text" << true;
        QTest::newRow(qPrintable(c + ", Bold")) << c << "Bold" << "bool" << true;
        QTest::newRow(qPrintable(c + ", Italic")) << c << "Italic" << "bool" << true;
        QTest::newRow(qPrintable(c + ", Underline")) << c << "Underline" << "bool" << true;
        QTest::newRow(qPrintable(c + ", Width")) << c << "Width" << "int" << true;
        QTest::newRow(qPrintable(c + ", HelpTag")) << c << "HelpTag" << "text" << false;
    }
    QTest::newRow("PushButton, Caption") << "PushButton" << "Caption" << "text" << true;
    QTest::newRow("PushButton, Default") << "PushButton" << "Default" << "bool" << false;
    QTest::newRow("CheckBox, Caption") << "CheckBox" << "Caption" << "text" << true;
    QTest::newRow("CheckBox, Value") << "CheckBox" << "Value" << "bool" << false;
    QTest::newRow("StaticText, Multiline") << "StaticText" << "Multiline" << "bool" << true;
    QTest::newRow("StaticText, TextColor") << "StaticText" << "TextColor" << "colour" << false;
}

// A property the font is fitted to fits it anew, as if the control had been
// given it with the others; any other leaves the font alone.
void TestFramework::fontRefitsOnChange()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(bool, refits);
    auto w = makeWindow("Schrift", 400, 200, 0, false);
    const std::string n = name.toStdString();
    const vela::Value v = n == "TextFont" ? vela::Text("System")
                          : n == "Width"  ? vela::Value(std::int64_t(120))
                                          : valueOf(kind);
    const std::string text = control == "StaticText" ? "Text" : "Caption";
    const vela::PropertyList base = {{text, vela::Text("Installieren")},
                                     {"TextSize", vela::Value(std::int64_t(11))}};
    auto add = [&](const std::string& controlName, QRect box,
                   vela::PropertyList more) -> Ref<vela::RectControl> {
        if (control == "PushButton")
            return addControl<vela::PushButton>(w, controlName, box, more);
        if (control == "CheckBox")
            return addControl<vela::CheckBox>(w, controlName, box, more);
        return addControl<vela::StaticText>(w, controlName, box, more);
    };
    const QRect box(20, 20, 150, 24);
    auto changed = add("Changed", box, base);
    // The font it would have, fitted once all is set (Width always fits it).
    vela::PropertyList all = base;
    all.push_back({n, v});
    all.push_back({"Width", n == "Width" ? v : vela::Value(std::int64_t(box.width()))});
    auto fresh = add("Fresh", box.translated(200, 0), all);

    QFont marked = changed->Widget()->font();
    marked.setPixelSize(40);
    changed->Widget()->setFont(marked);
    changed->SetProperty(n, v);
    if (refits) {
        QCOMPARE(changed->Widget()->font(), fresh->Widget()->font());
        QCOMPARE(fresh->Widget()->font().underline(), n == "Underline");
    } else {
        QCOMPARE(changed->Widget()->font(), marked);
    }
}

void TestFramework::dialogWindowsStayInFront_data()
{
    QTest::addColumn<int>("frame");
    QTest::addColumn<bool>("transient");
    QTest::newRow("ordinary window") << 0 << false;
    QTest::newRow("dialog-style window, frame 1") << 1 << true;
    QTest::newRow("dialog-style window, frame 2") << 2 << true;
}

void TestFramework::dialogWindowsStayInFront()
{
    QFETCH(int, frame);
    QFETCH(bool, transient);
    auto main = makeWindow("Haupt", 300, 200, 0, true);
    auto second = makeWindow("Zweites", 200, 100, frame, true, "Kopiervorgang");
    QWindow* handle = second->Widget()->windowHandle();
    QVERIFY(handle);
    QCOMPARE(handle->transientParent(), transient ? main->Widget()->windowHandle() : nullptr);
    // Still so once its frame changed (the toolkit makes a new window for it).
    second->SetProperty("CloseButton", vela::Value(false));
    QCOMPARE(second->Widget()->windowHandle()->transientParent(),
             transient ? main->Widget()->windowHandle() : nullptr);
}

void TestFramework::messageBox_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("shown");  // a line ending in "…" is compared by its start

    const QString report = "Folgende Dateien konnten nicht kopiert werden:";
    QTest::newRow("one line") << "Installation beendet" << QStringList{"Installation beendet"};
    QTest::newRow("CR as line break") << "Unerwarteter Fehler: x\rDas Programm wird beendet."
                                      << QStringList{"Unerwarteter Fehler: x", "Das Programm wird beendet."};
    QTest::newRow("markup shown as it is") << "<b>a.dsf</b> – Schreibfehler"
                                           << QStringList{"<b>a.dsf</b> – Schreibfehler"};
    QString deep = "Resources/default scenery";
    while (deep.size() < 4000)
        deep += "/Unterordner mit einem langen Namen";
    QTest::newRow("a 4 KB line") << report + "\r" + deep + "/b.dsf – Schreibfehler"
                                 << QStringList{report, "Resources/default scenery/…b.dsf – Schreibfehler"};
    QString many = report;
    QStringList first = {report};
    for (int i = 1; i <= 300; ++i) {
        many += QString("\r+50+010/%1.dsf – Schreibfehler").arg(i);
        if (i <= 3)
            first << QString("+50+010/%1.dsf – Schreibfehler").arg(i);
    }
    QTest::newRow("more lines than the screen holds") << many << first;
}

void TestFramework::messageBox()
{
    QFETCH(QString, text);
    QFETCH(QStringList, shown);
    auto main = makeWindow("Haupt", 300, 200, 0, true, "Installation der Tessavel für X-Plane 9");
    const Shown box = whileModal([&] { vela::MsgBox(text.toStdString()); });
    // Never larger than the screen; its button on it.
    QVERIFY2(box.screen.contains(box.frame), qPrintable(QString("box %1x%2 at %3,%4")
                                                            .arg(box.frame.width())
                                                            .arg(box.frame.height())
                                                            .arg(box.frame.x())
                                                            .arg(box.frame.y())));
    QVERIFY(box.screen.contains(box.okButton));
    QCOMPARE(box.title, QString("Installation der Tessavel für X-Plane 9"));
    QCOMPARE(box.format, Qt::PlainText);
    QCOMPARE(box.buttons, QStringList{"OK"});
    const QStringList lines = box.text.split('\n');
    for (int i = 0; i < shown.size(); ++i) {
        const QString& expected = shown[i];
        const int cut = expected.indexOf(QChar(0x2026));
        if (cut < 0) {
            QCOMPARE(lines.value(i), expected);
        } else {
            // Shortened in the middle: its start and its end kept.
            QVERIFY2(lines.value(i).startsWith(expected.left(cut)), qPrintable(lines.value(i)));
            QVERIFY2(lines.value(i).endsWith(expected.mid(cut + 1)), qPrintable(lines.value(i)));
        }
    }
    if (text.count('\r') > 100)
        QCOMPARE(lines.last(), QString(QChar(0x2026)));
    else
        QCOMPARE(lines.size(), int(text.count('\r')) + 1);
}

void TestFramework::folderDialogInGerman()
{
    makeWindow("Haupt", 300, 200, 0, true);
    Ref<vela::FolderItem> chosen;
    const Shown dialog = whileModal([&] { chosen = vela::SelectFolder(); });
    QVERIFY(!chosen);  // cancelled
    QCOMPARE(dialog.title, QString("Verzeichnis suchen"));
    QVERIFY2(dialog.buttons.contains("Auswählen") && dialog.buttons.contains("Abbrechen"),
             qPrintable(dialog.buttons.join(", ")));
}

void TestFramework::folderDialogKeepsNoSettings_data()
{
    QTest::addColumn<bool>("xdgConfigHome");  // else ~/.config
    QTest::newRow("Qt's settings in ~/.config") << false;
    QTest::newRow("Qt's settings in XDG_CONFIG_HOME") << true;
}

// What an earlier run of any Qt program left in Qt's settings is not read,
// and the dialogs of a run write nothing there: the dialog opens in the
// working directory with no history, every time.
void TestFramework::folderDialogKeepsNoSettings()
{
    if (qEnvironmentVariableIsSet(childVariable)) {
        // The child, started with HOME and the settings set up below.
        makeWindow("Haupt", 300, 200, 0, true);
        const QString start = QDir::currentPath();
        for (int round = 0; round < 2; ++round) {
            QString folder;
            bool back = true;
            QStringList history;
            QList<QUrl> sidebar;
            int mode = -1;
            whileModal([] { vela::SelectFolder(); }, [&](QDialog* d) {
                auto* dialog = qobject_cast<QFileDialog*>(d);
                QVERIFY(dialog);
                folder = dialog->directory().absolutePath();
                auto* backButton = dialog->findChild<QToolButton*>("backButton");
                QVERIFY(backButton);
                back = backButton->isEnabled();
                history = dialog->history();
                sidebar = dialog->sidebarUrls();
                mode = dialog->viewMode();
                // Left elsewhere, with a history: the next dialog still starts afresh.
                dialog->setDirectory(start + "/Unterordner");
            });
            QCOMPARE(folder, start);
            QVERIFY2(!back, "Zurück is active");
            for (const QString& h : history)
                QVERIFY2(!h.contains("Früher"), qPrintable(h));
            for (const QUrl& u : sidebar)
                QVERIFY2(!u.toString().contains("Früher"), qPrintable(u.toString()));
            QCOMPARE(mode, int(QFileDialog::Detail));
        }
        return;
    }

    QFETCH(bool, xdgConfigHome);
    QTemporaryDir tmp;
    const QString home = tmp.filePath("home");
    const QString config = xdgConfigHome ? tmp.filePath("xdg-config") : home + "/.config";
    const QString earlier = QUrl::fromLocalFile(tmp.filePath("Früher")).toString();
    fixture::mkdir(tmp.filePath("Früher"));
    fixture::mkdir(tmp.filePath("Arbeitsordner/Unterordner"));
    fixture::mkdir(home);
    fixture::write(config + "/QtProject.conf",
                   ("[FileDialog]\nhistory=" + earlier + ", " + earlier + "/a\nlastVisited=" + earlier +
                    "\nqtVersion=6.4.2\nshortcuts=file:, " + earlier + "\nsidebarWidth=300\nviewMode=List\n")
                       .toUtf8());
    const QStringList homeBefore = snapshot(home), configBefore = snapshot(config);

    const ChildRun run = runChild({QString("folderDialogKeepsNoSettings:") + QTest::currentDataTag()},
                                  tmp.filePath("Arbeitsordner"), [&](QProcessEnvironment& env) {
        env.insert(childVariable, "dialog");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", home);
        for (const char* v : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
            env.remove(v);
        if (xdgConfigHome)
            env.insert("XDG_CONFIG_HOME", config);
        // Where the toolkit makes its runtime folder when the system names none.
        fixture::mkdir(tmp.filePath("tmp"));
        env.insert("TMPDIR", tmp.filePath("tmp"));
    });
    const QString output = run.out + run.err;
    QVERIFY2(run.finished && run.status == 0, qPrintable(output));
    QVERIFY2(output.contains("PASS   : TestFramework::folderDialogKeepsNoSettings"), qPrintable(output));
    QCOMPARE(snapshot(home), homeBefore);
    QCOMPARE(snapshot(config), configBefore);
}

// The dialog's dates are German, also where the system's language is not,
// and at its first size every column shows its heading and its texts whole.
void TestFramework::folderDialogDatesAndColumns()
{
    QTemporaryDir tmp;
    const QString folder = tmp.filePath("Szenerie");
    fixture::mkdir(folder);
    const QDateTime changed(QDate(2026, 12, 10), QTime(10, 18, 47));
    const timespec times[2] = {{changed.toSecsSinceEpoch(), 0}, {changed.toSecsSinceEpoch(), 0}};
    QCOMPARE(::utimensat(AT_FDCWD, qPrintable(folder), times, 0), 0);
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(tmp.path()));
    makeWindow("Haupt", 300, 200, 0, true);

    QString date, type;
    QStringList cut;
    int length = 0, room = 0;
    whileModal([] { vela::SelectFolder(); }, [&](QDialog* dialog) {
        auto* view = dialog->findChild<QTreeView*>("treeView");
        QVERIFY(view);
        QAbstractItemModel* model = view->model();
        // The folder is read in the background.
        QTRY_COMPARE(model->rowCount(view->rootIndex()), 1);
        const QModelIndex row = model->index(0, 0, view->rootIndex());
        QCOMPARE(row.data().toString(), QString("Szenerie"));
        QTRY_VERIFY(!row.siblingAtColumn(3).data().toString().isEmpty());
        date = row.siblingAtColumn(3).data().toString();
        type = row.siblingAtColumn(2).data().toString();
        QHeaderView* header = view->header();
        for (int column = 1; column < header->count(); ++column) {
            const QString heading = model->headerData(column, Qt::Horizontal).toString();
            if (header->sectionSize(column) < header->sectionSizeHint(column))
                cut << heading;
            if (header->sectionSize(column) < view->sizeHintForIndex(row.siblingAtColumn(column)).width())
                cut << row.siblingAtColumn(column).data().toString();
        }
        length = header->length();
        room = view->viewport()->width();
    });
    QDir::setCurrent(before);
    QCOMPARE(date, QString("10.12.2026 10:18"));
    QCOMPARE(type, QString("Verzeichnis"));
    QVERIFY2(cut.isEmpty(), qPrintable("cut: " + cut.join(", ")));
    // No need to scroll sideways to see them.
    QVERIFY2(length <= room, qPrintable(QString("%1 px of columns in %2 px").arg(length).arg(room)));
}

void TestFramework::mainWindowAfterADialogWindow_data()
{
    QTest::addColumn<bool>("closeMain");
    QTest::addColumn<int>("status");  // of the event loop; 42: still running
    QTest::newRow("the main window closed: the program ends") << true << 0;
    QTest::newRow("the dialog-style window closed: it goes on") << false << 42;
}

void TestFramework::mainWindowAfterADialogWindow()
{
    QFETCH(bool, closeMain);
    QFETCH(int, status);
    runtime_->restart();
    // The main window is the first ordinary window, also where a dialog-style
    // window was made before it.
    auto early = makeWindow("Früh", 200, 100, 1, true, "Kopiervorgang");
    auto main = makeWindow("Haupt", 300, 200, 0, true);
    QTimer::singleShot(0, [&] {
        (closeMain ? main : early)->Close();
        // A loop still running once what the close posted (a quit among it)
        // has been handled goes on, and is stopped with 42: posted from the
        // turn of the loop after the close, so it comes after all of that.
        QTimer::singleShot(0, [] { QTimer::singleShot(0, [] { QCoreApplication::exit(42); }); });
    });
    QCOMPARE(QApplication::exec(), status);
    QCOMPARE(vela::QuitRequested(), closeMain);
    runtime_->restart();
}

QTEST_MAIN(TestFramework)
#include "tst_framework.moc"


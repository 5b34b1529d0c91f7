// The disc-2 program as a user meets it: start-up and shut-down, the menu
// bar, the main window and the progress window.
#include <QCheckBox>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QThread>
#include <QWindow>
#include <QtTest>

#include <set>

#include "shell/fenster1.h"
#include "shell/menu.h"
#include "shell/modul1.h"
#include "shell/start.h"
#include "shell/warten.h"
#include "runtime_guard.h"
#include "vela/testplatform.h"
#include "window_checks.h"

using vela::testing::TestPlatform;

namespace {

QWidget* widget(const char* name)
{
    return Fenster1()->ControlByName(name)->Widget();
}

// Runs the whole program in-process; `during` runs once the event loop is up.
int runProgram(std::function<void()> during)
{
    QTimer start;
    start.setSingleShot(true);
    QObject::connect(&start, &QTimer::timeout, [&] {
        // Keys go to the active window, as they do for a user.
        if (auto w = vela::_GetImplicitWindow(Fenster1::ClassName)) {
            w->Widget()->activateWindow();
            if (!QTest::qWaitForWindowActive(w->Widget()))
                qWarning("main window did not become active");
        }
        during();
    });
    start.start(0);
    // A program that does not quit would hang the test run.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(10000);
    return ProgramEntry(0, nullptr);
}

} // namespace

class TestDisc2Windows : public QObject {
    Q_OBJECT

private slots:
    void startupBuildsOneAppWithSharedMenuBar();
    void quitsWithStatus_data();
    void quitsWithStatus();
    void exceptionInHandlerEndsWithStatus1();
    void exceptionDuringStartupSkipsEventLoop();

    void mainWindowFrame();
    void mainWindowControls_data();
    void mainWindowControls();
    void mainWindowTextsAndFocus();
    void notesKeepTheirSize();
    void centring_data();
    void centring();
    void menuBar();

    void progressWindow();
    void progressLabelShowsAtOnce();
    void progressLabelOncePerFrame();
    void busyIndicatorTurns();

    void init();
    void cleanup();

private:
    std::optional<testsupport::RuntimeGuard> runtime_;
};

void TestDisc2Windows::init()
{
    // Window tests build the windows without running the program.
    const QString name = QTest::currentTestFunction();
    if (!name.startsWith("startup") && !name.startsWith("quits") && !name.startsWith("exception"))
        runtime_.emplace(StaticInit, Finalise);
}

void TestDisc2Windows::cleanup()
{
    runtime_.reset();
    QVERIFY(vela::AllWindows().empty());
}

void TestDisc2Windows::startupBuildsOneAppWithSharedMenuBar()
{
    TestPlatform platform;
    int status = runProgram([] {
        QCOMPARE(vela::RegisteredClasses(),
                 (std::vector<std::string>{"Fenster1.Fenster1", "Menü.Menü", "warten.warten", "Globals"}));
        const auto& types = vela::RegisteredFileTypes();
        QCOMPARE(types.size(), std::size_t(1));
        QCOMPARE(types[0].Name, std::string("alles"));
        QCOMPARE(types[0].Extensions, std::string(""));
        QCOMPARE(types[0].MacType, std::string("????"));
        QCOMPARE(types[0].MacCreator, std::string("????"));
        QVERIFY(vela::RuntimeCheckCast<Globals>(vela::App()));
        QVERIFY(vela::App()->MenuBar() == Menü());
        QVERIFY(Fenster1()->MenuBar() == Menü());
        QVERIFY(Fenster1()->IsVisible());
        QCOMPARE(vela::AllWindows().size(), std::size_t(1));  // no progress window yet
        QVERIFY(!Modul1::zielordner);
        vela::Quit(0);
    });
    QCOMPARE(status, 0);
    // Shut-down released what the program held.
    QVERIFY(vela::AllWindows().empty());
    QVERIFY(!vela::_GetImplicitWindow(Fenster1::ClassName));
    QVERIFY(!FileTypes::pAlles);
    QVERIFY(vela::RegisteredFileTypes().empty());
    QVERIFY(!Menü::_implicitInstance);
    QVERIFY(!Modul1::zielordner);
    QVERIFY(platform.Messages().empty());
}

void TestDisc2Windows::quitsWithStatus_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Abbrechen clicked") << "click";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("Ctrl+Q") << "ctrl+q";
    QTest::newRow("Beenden chosen") << "menu";
    QTest::newRow("main window closed") << "close";
}

void TestDisc2Windows::quitsWithStatus()
{
    QFETCH(QString, how);
    TestPlatform platform;
    int status = runProgram([how] {
        QWidget* top = Fenster1()->Widget();
        // Whatever the options, quitting saves and asks nothing.
        QTest::mouseClick(widget("chk_trees"), Qt::LeftButton);
        if (how == "click")
            QTest::mouseClick(widget("btn_abbrechen"), Qt::LeftButton);
        else if (how == "escape")
            QTest::keyClick(top, Qt::Key_Escape);
        else if (how == "ctrl+q")
            QTest::keyClick(top, Qt::Key_Q, Qt::ControlModifier);
        else if (how == "menu")
            top->findChild<QAction*>("FileQuit")->trigger();
        else
            top->close();
    });
    QCOMPARE(status, 0);
    QVERIFY(platform.Messages().empty());
}

void TestDisc2Windows::exceptionInHandlerEndsWithStatus1()
{
    // The folder dialog of the test platform throws when no answer was
    // given: an exception escaping the install handler.
    TestPlatform platform;
    int status = runProgram([] { QTest::keyClick(Fenster1()->Widget(), Qt::Key_Return); });
    QCOMPARE(status, 1);
    QCOMPARE(platform.Messages().size(), std::size_t(1));
    QVERIFY(QString::fromStdString(platform.Messages()[0]).startsWith("Unerwarteter Fehler"));
    QVERIFY(vela::AllWindows().empty());
}

void TestDisc2Windows::exceptionDuringStartupSkipsEventLoop()
{
    TestPlatform platform;
    platform.onScreenQuery = [] { throw std::runtime_error("no screen"); };
    bool loopRan = false;
    int status = runProgram([&] { loopRan = true; });
    QCOMPARE(status, 1);
    QVERIFY(!loopRan);
    QCOMPARE(platform.Messages().size(), std::size_t(1));
    QVERIFY(QString::fromStdString(platform.Messages()[0]).contains("no screen"));
    QVERIFY(!FileTypes::pAlles && !Menü::_implicitInstance);
}

void TestDisc2Windows::mainWindowFrame()
{
    TestPlatform platform;
    auto w = Fenster1();
    QVERIFY(Fenster1() == w);
    auto* top = static_cast<QMainWindow*>(w->Widget());
    QCOMPARE(top->windowTitle(), QString("Installation der Tessavel für X-Plane 9"));
    QCOMPARE(w->ContentArea()->size(), QSize(537, 363));
    QVERIFY(top->isVisible());
    // Fixed size, no maximise button; close box and minimise button.
    QCOMPARE(top->minimumSize(), top->maximumSize());
    const auto flags = top->windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QCOMPARE(w->Controls().size(), std::size_t(9));
}

void TestDisc2Windows::mainWindowControls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<int>("tabIndex");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("textSize");

    QTest::newRow("1") << "btn_installieren" << "QPushButton" << QRect(396, 323, 121, 20) << 0
                       << "Installieren" << 0;
    QTest::newRow("2") << "btn_abbrechen" << "QPushButton" << QRect(24, 323, 97, 20) << 1
                       << "Abbrechen" << 0;
    QTest::newRow("3") << "StaticText1" << "text" << QRect(24, 14, 493, 20) << 2
                       << "Hiermit installieren Sie die Tessavel für X-Plane 9" << 0;
    QTest::newRow("4") << "StaticText3" << "text" << QRect(24, 141, 478, 47) << 3
                       << "1. Klicken Sie auf Installieren\r"
                          "2. Wählen Sie im folgenden Dialog den X-Plane-Ordner auf \r"
                          "    der Festplatte aus"
                       << 0;
    QTest::newRow("5") << "StaticText6" << "text" << QRect(24, 46, 493, 71) << 4
                       << "Wichtige Hinweise\r\r"
                          "Diese Scenery benötigt ein installiertes X-Plane 9 oder neuer.\r\r"
                          "Die Tessavel-DVD 2 muss eingelegt sein.\r\r"
                          "Bitte beenden Sie vor dem Start der Installation alle anderen "
                          "laufenden Programme."
                       << 10;
    QTest::newRow("6") << "StaticText7" << "text" << QRect(24, 212, 58, 12) << 7 << "Optional:" << 10;
    QTest::newRow("7") << "chk_3dobjects" << "QCheckBox" << QRect(24, 236, 406, 20) << 8
                       << "3D-Objekte installieren (Frauenkirche, Olympiastadion, etc.)" << 0;
    QTest::newRow("8") << "chk_trees" << "QCheckBox" << QRect(24, 259, 286, 20) << 9
                       << "Freeware-Scenery Baumbewuchs" << 0;
    QTest::newRow("9") << "chk_villages" << "QCheckBox" << QRect(24, 282, 360, 20) << 10
                       << "Freeware-Scenery Gebäude für Städte und Dörfer" << 0;
}

void TestDisc2Windows::mainWindowControls()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QRect, frame);
    QFETCH(int, tabIndex);
    QFETCH(QString, text);
    QFETCH(int, textSize);
    TestPlatform platform;
    auto w = Fenster1();
    // Created in table order, and reachable by name.
    const int row = QString(QTest::currentDataTag()).toInt() - 1;
    auto control = w->Controls().at(std::size_t(row));
    QVERIFY(w->ControlByName(name.toStdString()) == control);
    QCOMPARE(QString::fromStdString(control->Name()), name);
    QCOMPARE(control->Widget()->objectName(), name);
    QCOMPARE(checks::box(*control), frame);
    // A multi-line text may draw on below its box; everything else covers just its box.
    const QRect drawn = control->Widget()->geometry();
    QCOMPARE(drawn.topLeft(), frame.topLeft());
    QCOMPARE(drawn.width(), frame.width());
    if (control->BoolProperty("Multiline"))
        QVERIFY(drawn.height() >= frame.height());
    else
        QCOMPARE(drawn.height(), frame.height());
    QCOMPARE(control->IntProperty("TabIndex"), tabIndex);
    QCOMPARE(control->IntProperty("TextSize"), textSize);
    QCOMPARE(control->TextProperty("TextFont"), std::string("System"));
    QCOMPARE(control->IntProperty("Index"), std::int64_t(INT_MIN));
    const std::string key = kind == "text" ? "Text" : "Caption";
    QCOMPARE(QString::fromStdString(control->TextProperty(key)), text);
    if (kind != "text")
        QCOMPARE(control->Widget()->metaObject()->className(), kind.toLatin1());
    else
        QVERIFY(std::dynamic_pointer_cast<vela::StaticText>(control.shared()));
}

void TestDisc2Windows::mainWindowTextsAndFocus()
{
    TestPlatform platform;
    auto w = Fenster1();
    checks::textsDrawn(*w);
    QCOMPARE(checks::focusChain(*w), (QStringList{"btn_installieren", "btn_abbrechen", "chk_3dobjects",
                                                  "chk_trees", "chk_villages"}));
    QCOMPARE(w->Widget()->focusWidget(), widget("btn_installieren"));
    auto* install = static_cast<QPushButton*>(widget("btn_installieren"));
    QVERIFY(install->isDefault());
    QVERIFY(w->ControlByName("btn_abbrechen")->BoolProperty("Cancel"));
    QVERIFY(static_cast<QCheckBox*>(widget("chk_3dobjects"))->isChecked());
    QVERIFY(!static_cast<QCheckBox*>(widget("chk_trees"))->isChecked());
    QVERIFY(!static_cast<QCheckBox*>(widget("chk_villages"))->isChecked());
    // Ticking a box runs no code of the program: nothing is read until "Installieren".
    QTest::mouseClick(widget("chk_villages"), Qt::LeftButton);
    QVERIFY(platform.Messages().empty());
    QCOMPARE(platform.PendingFolderAnswers(), 0);
}

void TestDisc2Windows::notesKeepTheirSize()
{
    // The notes need more height than their box: they draw on into the free
    // space down to the instructions, at the size "Optional:" has too.
    TestPlatform platform;
    auto w = Fenster1();
    const auto notes = checks::inkOf(*w->ControlByName("StaticText6"));
    const auto optional = checks::inkOf(*w->ControlByName("StaticText7"));
    QCOMPARE(notes.lines.size(), 4);
    QCOMPARE(notes.LineHeight(0), optional.LineHeight(0));
    QVERIFY(notes.bounds.bottom() > 46 + 71);  // below its own box
    QVERIFY(notes.bounds.bottom() < checks::box(*w->ControlByName("StaticText3")).top());
}

void TestDisc2Windows::centring_data()
{
    QTest::addColumn<int>("screenWidth");
    QTest::addColumn<int>("screenHeight");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    // Half pixels round away from zero; a screen smaller than the window
    // gives negative positions, not clamped ones.
    QTest::newRow("1024x768") << 1024 << 768 << 244 << 203;
    QTest::newRow("1920x1080") << 1920 << 1080 << 692 << 359;
    QTest::newRow("smaller than window") << 500 << 300 << -19 << -32;
}

void TestDisc2Windows::centring()
{
    QFETCH(int, screenWidth);
    QFETCH(int, screenHeight);
    QFETCH(int, left);
    QFETCH(int, top);
    TestPlatform platform;
    platform.screenWidth = screenWidth;
    platform.screenHeight = screenHeight;
    auto w = Fenster1();
    QCOMPARE(w->IntProperty("Left"), left);
    QCOMPARE(w->IntProperty("Top"), top);
    QCOMPARE(w->Left(), left);
    QCOMPARE(w->Top(), top);
}

void TestDisc2Windows::menuBar()
{
    TestPlatform platform;
    auto w = Fenster1();
    QVERIFY(Menü() == Menü());
    auto* bar = w->Widget()->findChild<QMenuBar*>();
    QVERIFY(bar);
    QStringList menus;
    for (QAction* a : bar->actions())
        menus << a->text();
    QCOMPARE(menus, (QStringList{"Ablage", "Bearbeiten"}));

    struct Entry {
        QString text, shortcut;
        bool enabled;
    };
    auto entries = [&](int i) {
        QList<Entry> list;
        for (QAction* a : bar->actions()[i]->menu()->actions())
            list.append({a->isSeparator() ? "-" : a->text(), a->shortcut().toString(), a->isEnabled()});
        return list;
    };
    auto file = entries(0);
    QCOMPARE(file.size(), 1);
    QCOMPARE(file[0].text, QString("Beenden"));
    QCOMPARE(file[0].shortcut, QString("Ctrl+Q"));
    QVERIFY(file[0].enabled);
    auto edit = entries(1);
    QCOMPARE(edit.size(), 6);
    const QStringList texts = {"Undo", "-", "Ausschneiden", "Kopieren", "Einfügen", "Löschen"};
    const QStringList keys = {"Ctrl+Z", "", "Ctrl+X", "Ctrl+C", "Ctrl+V", ""};
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(edit[i].text, texts[i]);
        if (i != 1) {
            QCOMPARE(edit[i].shortcut, keys[i]);
            QVERIFY2(!edit[i].enabled, qPrintable(texts[i]));  // no handler: greyed
        }
    }
    // The window's item accessors reach the same items by name.
    QCOMPARE(w->UntitledMenu2()->Text, std::string("Ablage"));
    QCOMPARE(w->UntitledMenu0()->Text, std::string("Bearbeiten"));
    QCOMPARE(w->FileQuit()->Text, std::string("Beenden"));
    QCOMPARE(w->UntitledMenu1()->Text, std::string("-"));
    QCOMPARE(w->EditClear()->Text, std::string("Löschen"));
    QVERIFY(!w->UntitledMenu3());
}

void TestDisc2Windows::progressWindow()
{
    TestPlatform platform;
    Fenster1();
    auto p = warten();
    QVERIFY(warten() == p);
    QCOMPARE(vela::AllWindows().size(), std::size_t(2));
    QVERIFY(p->IsVisible());
    QCOMPARE(p->Widget()->windowTitle(), QString("Kopiervorgang"));
    QCOMPARE(p->ContentArea()->size(), QSize(252, 107));
    QCOMPARE(p->IntProperty("Frame"), 2);
    QCOMPARE(p->Widget()->windowFlags() & Qt::WindowType_Mask, Qt::Dialog);
    // Transient for the main window, so a window manager keeps it in front of it.
    QVERIFY(p->Widget()->windowHandle());
    QCOMPARE(p->Widget()->windowHandle()->transientParent(), Fenster1()->Widget()->windowHandle());
    QVERIFY(!p->Widget()->findChild<QMenuBar*>());
    QCOMPARE(p->Controls().size(), std::size_t(3));
    QVERIFY(vela::RuntimeCheckCast<vela::ChasingArrows>(p->ControlByName("ChasingArrows1")));
    QCOMPARE(p->ControlByName("ChasingArrows1")->Widget()->geometry(), QRect(196, 36, 21, 16));
    auto label1 = vela::RuntimeCheckCast<vela::StaticText>(p->ControlByName("StaticText1"));
    auto label2 = vela::RuntimeCheckCast<vela::StaticText>(p->ControlByName("StaticText2"));
    QCOMPARE(label1->Text(), std::string("Kopiervorgang läuft ..."));
    QCOMPARE(label1->Widget()->geometry(), QRect(35, 35, 149, 20));
    QCOMPARE(label2->Text(), std::string(""));
    QCOMPARE(label2->Widget()->geometry(), QRect(35, 69, 217, 20));
    checks::textsDrawn(*p);
    // A user closing it runs no program code; the label can still be set.
    p->Widget()->close();
    label2->SetText("a.dsf");
    p->Refresh(true);
    QVERIFY(warten() == p);
}

namespace {
// Counts the paints of one widget while it lives.
struct PaintCounter : QObject {
    explicit PaintCounter(QWidget* w) : widget(w) { widget->installEventFilter(this); }
    ~PaintCounter() override { widget->removeEventFilter(this); }
    QWidget* widget;
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};
} // namespace

void TestDisc2Windows::progressLabelShowsAtOnce()
{
    TestPlatform platform;
    auto p = warten();
    QCoreApplication::processEvents();
    auto label = vela::RuntimeCheckCast<vela::StaticText>(p->ControlByName("StaticText2"));
    PaintCounter counter(label->Widget());

    QThread::msleep(40);
    label->SetText("+48+011.dsf");
    p->Refresh(true);
    QCOMPARE(counter.paints, 1);  // painted before control returns, no event loop needed

    // Many names in one frame paint at most once more, and the latest name
    // is on screen once the frame is over.
    for (int i = 0; i < 100; ++i) {
        label->SetText("file" + std::to_string(i));
        p->Refresh(true);
    }
    QVERIFY(counter.paints <= 2);
    QThread::msleep(40);
    vela::RuntimeBackgroundTask();
    QVERIFY(counter.paints >= 2);
    QCOMPARE(label->Text(), std::string("file99"));
}

void TestDisc2Windows::progressLabelOncePerFrame()
{
    // As a copy does: a name after every file, events after every file. The
    // label follows within a frame but is drawn once a frame, not a second
    // time by the event round.
    TestPlatform platform;
    auto p = warten();
    QCoreApplication::processEvents();
    auto label = vela::RuntimeCheckCast<vela::StaticText>(p->ControlByName("StaticText2"));
    PaintCounter counter(label->Widget());

    QElapsedTimer clock;
    clock.start();
    std::set<qint64> framesWithFiles;  // a paused test process copies nothing
    for (int i = 0; i < 300; ++i) {
        label->SetText("file" + std::to_string(i) + ".dsf");
        p->Refresh(true);
        vela::RuntimeBackgroundTask();
        framesWithFiles.insert(clock.elapsed() / 16);
        QThread::usleep(1000);
    }
    const qint64 frames = clock.elapsed() / 16 + 1;
    const QString seen = QString("%1 paints in %2 frames, %3 with files")
                             .arg(counter.paints)
                             .arg(frames)
                             .arg(framesWithFiles.size());
    QVERIFY2(counter.paints <= frames + 2, qPrintable(seen));
    QVERIFY2(counter.paints >= qint64(framesWithFiles.size()) / 3, qPrintable(seen));
}

void TestDisc2Windows::busyIndicatorTurns()
{
    TestPlatform platform;
    auto arrows = vela::RuntimeCheckCast<vela::ChasingArrows>(warten()->ControlByName("ChasingArrows1"));
    const int before = arrows->Phase();
    QThread::msleep(200);
    QCOMPARE(arrows->Phase(), before);  // nothing moves while the main thread is busy
    vela::RuntimeBackgroundTask();
    QVERIFY(arrows->Phase() != before);
}

QTEST_MAIN(TestDisc2Windows)
#include "tst_disc2_windows.moc"

// Input during an install, as a user gives it: a request to end the program
// stops the copy and ends it with status 0; all other input is held back and
// the install goes on to its end.
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QThread>
#include <QtTest>

#include "disc2/optionen.h"
#include "fixture.h"
#include "input_events.h"
#include "shell/fenster1.h"
#include "shell/modul1.h"
#include "shell/start.h"
#include "shell/warten.h"
#include "vela/testplatform.h"

using vela::testing::TestPlatform;

namespace {

QWidget* control(const char* name) { return Fenster1()->ControlByName(name)->Widget(); }
QWidget* mainWindow() { return Fenster1()->Widget(); }
QWidget* progressWindow() { return warten()->Widget(); }

const QString scenery = "Resources/default scenery/";

// A disc 2 of several folders, an X-Plane folder that holds older versions
// of two of its files, and the whole program run on them.
struct Install {
    QTemporaryDir tmp;
    QString disc, xp;
    TestPlatform platform;

    // The test's input, given at this background-task call of the copy, and
    // what follows it at the next call.
    int at = 6;
    std::function<void()> input, nextInput;
    int calls = 0;
    QStringList treeAtInput;  // the X-Plane folder when the input was given

    // What the user had before them at the closing message.
    struct {
        QString folder;
        bool treesTicked = false, baeume = false, progressShown = false;
    } atMessage;

    Install()
    {
        disc = tmp.filePath("media/VARNOD2");
        xp = tmp.filePath("X-Plane 9");
        QStringList onDisc = {"resources/custom_scenery/tevor2/o.obj=3d",
                              "resources/custom_scenery/CORINE_Europe/c.dsf=trees",
                              "resources/custom_scenery/vilage_overlay/v.dsf=houses"};
        for (const QString& t : QStringList{"t1", "t2", "t3", "t4"})
            for (const QString& f : QStringList{"f01", "f02", "f03", "f04", "f05", "f06"})
                onDisc << "resources/default_scenery/" + t + "/" + f + ".dsf=new " + t + f;
        fixture::make(disc.toStdString(), onDisc);
        fixture::make(xp.toStdString(), {"Airfoils/x.afl=airfoil", scenery + "t1/f05.dsf=old",
                                         scenery + "t3/f02.dsf=old", "Custom Scenery/"});
        platform.volumes = {{"/", "/"}, {"VARNOD2", disc.toStdString()}};

        platform.onBackgroundTask = [this] {
            ++calls;
            if (calls == at && input)
                input();
            else if (calls == at + 1 && nextInput)
                nextInput();
            else
                return;
            // The copy's work folder of the folder being filled goes with it.
            treeAtInput = fixture::tree(xp).filter(QRegularExpression("^(?!.*\\.tessavel-temp/)"));
            // Past the frame of the last event round: this call's round delivers the input.
            QThread::msleep(20);
        };
        platform.onMessage = [this](const std::string&) {
            atMessage.folder = Modul1::zielordner ? QString::fromStdString(Modul1::zielordner->AbsolutePath())
                                                  : QString();
            atMessage.treesTicked =
                vela::RuntimeCheckCast<vela::CheckBox>(Fenster1()->ControlByName("chk_trees"))->Value();
            atMessage.baeume = Modul1::baeume;
            auto progress = vela::_GetImplicitWindow(warten::ClassName);
            atMessage.progressShown = progress && progress->IsVisible();
        };
    }

    // Runs the program, its install started by a click on "Installieren";
    // returns its exit status.
    int run()
    {
        platform.AnswerNextFolder(xp.toStdString());
        QTimer::singleShot(0, [] { input::click(control("btn_installieren")); });
        // A program that does not quit would hang the test run.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        watchdog.start(10000);
        return ProgramEntry(0, nullptr);
    }

    QStringList messages() const
    {
        QStringList m;
        for (const auto& s : platform.Messages())
            m << QString::fromStdString(s);
        return m;
    }
};

// The input a row gives during the install.
using Input = std::function<void(Install&)>;

} // namespace

Q_DECLARE_METATYPE(Input)

class TestInput : public QObject {
    Q_OBJECT

private slots:
    void endRequestStopsTheCopy_data();
    void endRequestStopsTheCopy();
    void otherInputIsHeldBack_data();
    void otherInputIsHeldBack();
    void cleanup();
};

void TestInput::cleanup()
{
    // Nothing of one run's input is left for the next.
    QCoreApplication::processEvents();
    QVERIFY(vela::AllWindows().empty());
}

void TestInput::endRequestStopsTheCopy_data()
{
    QTest::addColumn<Input>("input");
    QTest::newRow("Abbrechen clicked") << Input([](Install&) { input::click(control("btn_abbrechen")); });
    QTest::newRow("Abbrechen clicked, posted to the button")
        << Input([](Install&) { input::postClick(control("btn_abbrechen")); });
    QTest::newRow("Escape in the main window") << Input([](Install&) {
        mainWindow()->activateWindow();
        input::key(mainWindow(), Qt::Key_Escape);
    });
    QTest::newRow("Escape in the progress window") << Input([](Install&) {
        progressWindow()->activateWindow();
        input::key(progressWindow(), Qt::Key_Escape);
    });
    QTest::newRow("Ctrl+Q") << Input([](Install&) {
        // The progress window is in front during a copy.
        progressWindow()->activateWindow();
        input::key(progressWindow(), Qt::Key_Q, Qt::ControlModifier);
    });
    QTest::newRow("Beenden chosen in the menu") << Input([](Install& s) {
        QMenuBar* bar = static_cast<QMainWindow*>(mainWindow())->menuBar();
        QMenu* ablage = bar->findChild<QMenu*>("UntitledMenu2");
        input::click(bar, bar->actionGeometry(ablage->menuAction()).center());
        s.nextInput = [ablage] {
            QVERIFY(ablage->isVisible());
            QAction* quit = ablage->findChild<QAction*>("FileQuit");
            input::click(ablage, ablage->actionGeometry(quit).center());
        };
    });
    QTest::newRow("main window closed") << Input([](Install&) { input::close(mainWindow()); });
}

void TestInput::endRequestStopsTheCopy()
{
    QFETCH(Input, input);
    Install s;
    s.input = [&] { input(s); };

    QCOMPARE(s.run(), 0);
    QVERIFY(s.calls >= s.at);
    // Nothing claims a finished install.
    QCOMPARE(s.messages(), QStringList());
    // No file was begun after the request; the copy had begun and stopped mid-way.
    const QStringList after = fixture::tree(s.xp);
    QCOMPARE(after, s.treeAtInput);
    QVERIFY(after.contains(scenery + "t1/f01.dsf"));
    QVERIFY(!after.contains(scenery + "t4/"));
    QVERIFY(!after.contains("Custom Scenery/tevor2/"));
    // Every file of the disc is in the target as it was, whole, or not at all.
    const QStringList onDisc = fixture::tree(s.disc + "/resources/default_scenery");
    for (const QString& f : onDisc) {
        if (f.endsWith('/'))
            continue;
        const QByteArray there = fixture::read(s.xp + "/" + scenery + f);
        const bool had = f == "t1/f05.dsf" || f == "t3/f02.dsf";
        QVERIFY2(there == "<missing>" || there == fixture::read(s.disc + "/resources/default_scenery/" + f) ||
                     (had && there == "old"),
                 qPrintable(f + ": " + there));
    }
}

void TestInput::otherInputIsHeldBack_data()
{
    QTest::addColumn<Input>("input");
    QTest::newRow("Installieren clicked") << Input([](Install&) { input::click(control("btn_installieren")); });
    QTest::newRow("Installieren clicked, posted to the button")
        << Input([](Install&) { input::postClick(control("btn_installieren")); });
    QTest::newRow("Return in the main window") << Input([](Install&) {
        mainWindow()->activateWindow();
        input::key(mainWindow(), Qt::Key_Return);
    });
    QTest::newRow("check box clicked") << Input([](Install&) { input::click(control("chk_trees")); });
    QTest::newRow("check box clicked, posted to it")
        << Input([](Install&) { input::postClick(control("chk_trees")); });
    QTest::newRow("progress window closed") << Input([](Install&) { input::close(progressWindow()); });
}

void TestInput::otherInputIsHeldBack()
{
    QFETCH(Input, input);
    Install s;
    s.input = [&] {
        // A second install would ask for a folder and find this one.
        s.platform.AnswerNextFolder(s.tmp.filePath("elsewhere").toStdString());
        input(s);
    };

    QCOMPARE(s.run(), 0);
    QVERIFY(s.calls > s.at);
    QCOMPARE(s.messages(), QStringList{"Installation beendet"});
    // No second dialog; the running install and the window are as they were.
    QCOMPARE(s.platform.PendingFolderAnswers(), 1);
    QCOMPARE(s.atMessage.folder, s.xp);
    QVERIFY(!s.atMessage.treesTicked);
    QVERIFY(!s.atMessage.baeume);
    QVERIFY(s.atMessage.progressShown);
    // The install went on to its end.
    QCOMPARE(fixture::read(s.xp + "/" + scenery + "t4/f06.dsf"), QByteArray("new t4f06"));
    QCOMPARE(fixture::read(s.xp + "/" + scenery + "t1/f05.dsf"), QByteArray("new t1f05"));
    QCOMPARE(fixture::read(s.xp + "/Custom Scenery/tevor2/o.obj"), QByteArray("3d"));
    QVERIFY(!QFileInfo::exists(s.xp + "/Custom Scenery/CORINE_Europe"));
}

QTEST_MAIN(TestInput)
#include "tst_input.moc"

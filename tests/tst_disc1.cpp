// The disc-1 program: its shorter window without options and its install.
#include <QMainWindow>
#include <QWindow>
#include <QtTest>
#include <functional>
#include <optional>

#include "copy/copy.h"
#include "fixture.h"
#include "runtime_guard.h"
#include "shell/fenster1.h"
#include "shell/modul1.h"
#include "shell/start.h"
#include "shell/warten.h"
#include "vela/testplatform.h"
#include "window_checks.h"

using fixture::read;
using fixture::write;
using vela::testing::TestPlatform;

namespace {

// A disc 1 and an X-Plane folder that holds older versions of its files.
struct Setup {
    QTemporaryDir tmp;
    QString disc = tmp.filePath("VARNOD1"), xp = tmp.filePath("X-Plane");
    TestPlatform platform;
    std::optional<QString> chosen = xp;  // in the folder dialog; none: cancelled

    Setup()
    {
        fixture::make(disc.toStdString(), {"resources/default_scenery/+50+010/a.dsf=new a",
                                           "resources/default_scenery/+50+010/b.dsf=new b",
                                           "resources/default_scenery/.DS_Store=mac",
                                           "resources/default_scenery/notes.txt=notes"});
        fixture::make(xp.toStdString(), {"Airfoils/x.afl", "Resources/default scenery/+50+010/a.dsf=old a",
                                         "Resources/default scenery/+50+010/own.dsf=own",
                                         "Resources/default scenery/.DS_Store=mine"});
        platform.volumes = {{"/", "/"}, {"VARNOD1", disc.toStdString()}};
    }
};

// What a row changes in the setup before the click.
using Change = std::function<void(Setup&)>;

// What an install leaves below the X-Plane folder.
enum class After {
    Unchanged,        // nothing made or changed
    FirstFileOnly,    // ended by the user after the first file
    Installed,        // every file of the disc in place, the user's own kept
    ConflictRemains,  // so, but for the one file a folder stood in the way of
};

} // namespace

Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(After)

class TestDisc1 : public QObject {
    Q_OBJECT

private slots:
    void init() { runtime_.emplace(StaticInit, Finalise); }
    void cleanup() { runtime_.reset(); }
    void mainWindow();
    void progressWindowFrame();
    void install_data();
    void install();

private:
    std::optional<testsupport::RuntimeGuard> runtime_;
};

void TestDisc1::mainWindow()
{
    TestPlatform platform;
    auto w = Fenster1();
    QCOMPARE(w->ContentArea()->size(), QSize(537, 235));
    QCOMPARE(w->Widget()->windowTitle(), QString("Installation der Tessavel für X-Plane 9"));
    QCOMPARE(w->IntProperty("Top"), (768 - 235 + 1) / 2);  // centred on the main screen
    struct Row {
        const char* name;
        QRect frame;
        const char* text;
    };
    const Row rows[] = {
        {"btn_installieren", {396, 195, 121, 20}, "Installieren"},
        {"btn_abbrechen", {24, 195, 97, 20}, "Abbrechen"},
        {"StaticText1", {24, 14, 493, 20}, "Hiermit installieren Sie die Tessavel für X-Plane 9"},
        {"StaticText3", {24, 121, 478, 47},
         "1. Klicken Sie auf Installieren\r2. Wählen Sie im folgenden Dialog den X-Plane 9-Ordner auf "
         "\r    der Festplatte aus"},
        {"StaticText6", {24, 46, 493, 90},
         "Wichtige Hinweise\r\rDiese Scenery benötigt ein auf der Festplatte installiertes X-Plane 9 "
         "oder neuer.\r\rDie Original-DVD 1 von Tessavel muss sich im DVD-Laufwerk befinden."},
    };
    QCOMPARE(w->Controls().size(), std::size_t(5));
    for (std::size_t i = 0; i < 5; ++i) {
        auto c = w->Controls()[i];
        QCOMPARE(c->Name(), std::string(rows[i].name));
        QCOMPARE(checks::box(*c), rows[i].frame);
        QCOMPARE(c->Widget()->geometry().topLeft(), rows[i].frame.topLeft());
        QCOMPARE(c->IntProperty("TabIndex"), std::int64_t(i));
        QCOMPARE(c->TextProperty(i < 2 ? "Caption" : "Text"), std::string(rows[i].text));
    }
    QVERIFY(!w->ControlByName("chk_3dobjects") && !w->ControlByName("StaticText7"));
    checks::textsDrawn(*w);
    QCOMPARE(checks::focusChain(*w), (QStringList{"btn_installieren", "btn_abbrechen"}));
}

void TestDisc1::progressWindowFrame()
{
    TestPlatform platform;
    Fenster1();
    auto p = warten();
    QCOMPARE(p->IntProperty("Frame"), 1);
    QCOMPARE(p->Widget()->windowHandle()->transientParent(), Fenster1()->Widget()->windowHandle());
    QCOMPARE(p->Widget()->windowTitle(), QString("Kopiervorgang"));
    QCOMPARE(p->ContentArea()->size(), QSize(252, 107));
    QCOMPARE(p->Controls().size(), std::size_t(3));
}

void TestDisc1::install_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("quits");
    QTest::addColumn<After>("after");

    const Change none = [](Setup&) {};
    const auto removed = [](const char* folder) -> Change {
        return [folder](Setup& s) { QDir(s.xp + "/" + folder).removeRecursively(); };
    };
    const auto offTheDisc = [](const char* folder) -> Change {
        return [folder](Setup& s) { QDir(s.disc + "/" + folder).removeRecursively(); };
    };
    const QString done = "Installation beendet";
    QTest::newRow("complete") << none << QStringList{done} << true << After::Installed;
    QTest::newRow("dialog cancelled") << Change([](Setup& s) { s.chosen.reset(); })
        << QStringList{"X-Plane wurde nicht ausgewählt, oder die Aktion wurde abgebrochen."} << false
        << After::Unchanged;
    QTest::newRow("folder missing") << Change([](Setup& s) { s.chosen = s.tmp.filePath("nowhere"); })
                                    << QStringList{"Ordner nicht gefunden."} << false << After::Unchanged;
    QTest::newRow("no Airfoils") << removed("Airfoils")
                                 << QStringList{"Ich glaube, das ist kein X-Plane-Ordner"} << false
                                 << After::Unchanged;
    QTest::newRow("disc 2 instead of 1") << Change([](Setup& s) {
        s.platform.volumes = {{"/", "/"}, {"VARNOD2", s.disc.toStdString()}};
    }) << QStringList{"Bitte Tessavel DVD 1 einlegen!"} << false << After::Unchanged;
    QTest::newRow("disc without resources") << offTheDisc("resources")
                                            << QStringList{"resources existiert nicht"} << false
                                            << After::Unchanged;
    QTest::newRow("no Resources") << removed("Resources")
                                  << QStringList{"Ordner Resources nicht gefunden"} << false << After::Unchanged;
    QTest::newRow("no default scenery") << removed("Resources/default scenery")
                                        << QStringList{"Ordner default scenery nicht gefunden"} << false
                                        << After::Unchanged;
    QTest::newRow("empty default_scenery") << Change([](Setup& s) {
        QDir(s.disc + "/resources/default_scenery").removeRecursively();
        fixture::mkdir(s.disc + "/resources/default_scenery");
    }) << QStringList{done} << true << After::Unchanged;
    // A disc without its scenery must not end in what looks like a success.
    QTest::newRow("no default_scenery on the disc") << offTheDisc("resources/default_scenery")
        << QStringList{"Folgende Dateien konnten nicht kopiert werden:\n"
                       "resources/default_scenery – fehlt auf der DVD",
                       done}
        << true << After::Unchanged;
    QTest::newRow("default_scenery a link out of the disc") << Change([](Setup& s) {
        QDir(s.disc + "/resources/default_scenery").removeRecursively();
        write(s.tmp.filePath("outside/x.dsf"), "outside");
        QVERIFY(QFile::link(s.tmp.filePath("outside"), s.disc + "/resources/default_scenery"));
    }) << QStringList{"Folgende Dateien konnten nicht kopiert werden:\n"
                      "resources/default_scenery – Verknüpfung, nicht kopiert",
                      done}
       << true << After::Unchanged;
    // Ended by the user during the first entry: no later entry is begun.
    QTest::newRow("end requested during the first entry") << Change([](Setup& s) {
        write(s.disc + "/resources/default_scenery/zz/z.dsf", "z");
        // Once the first file is copied and named.
        s.platform.onBackgroundTask = [] {
            auto w = vela::_GetImplicitWindow(warten::ClassName);
            if (w && !w->ControlByName("StaticText2")->TextProperty("Text").empty())
                vela::Quit(0);
        };
    }) << QStringList{} << true << After::FirstFileOnly;
    QTest::newRow("a file cannot be replaced") << Change([](Setup& s) {
        fixture::mkdir(s.xp + "/Resources/default scenery/+50+010/b.dsf");
    }) << QStringList{"Folgende Dateien konnten nicht kopiert werden:\n"
                      "Resources/default scenery/+50+010/b.dsf – Schreibfehler",
                      done}
       << true << After::ConflictRemains;
}

void TestDisc1::install()
{
    QFETCH(Change, change);
    QFETCH(QStringList, expected);
    QFETCH(bool, quits);
    QFETCH(After, after);
    Setup s;
    change(s);
    if (QTest::currentTestFailed())
        return;
    const QString& xp = s.xp;
    const QStringList before = fixture::tree(xp);

    s.platform.AnswerNextFolder(s.chosen ? std::optional(s.chosen->toStdString()) : std::nullopt);
    Fenster1()->btn_installieren_Action();

    QStringList messages;
    for (const auto& m : s.platform.Messages())
        messages << QString::fromStdString(m);
    QCOMPARE(messages, expected);
    QCOMPARE(vela::QuitRequested(), quits);
    // The progress window appears only after every check has passed.
    QCOMPARE(bool(vela::_GetImplicitWindow(warten::ClassName)), quits);
    if (!quits || after == After::Unchanged) {
        QCOMPARE(fixture::tree(xp), before);
        return;
    }
    const QString ds = xp + "/Resources/default scenery/";
    if (after == After::FirstFileOnly) {
        QCOMPARE(read(ds + "+50+010/a.dsf"), QByteArray("new a"));
        QVERIFY(!QFileInfo::exists(ds + "+50+010/b.dsf"));
        // Neither a later file copied nor a later folder made.
        QVERIFY(!QFileInfo::exists(ds + "notes.txt"));
        QVERIFY(!QFileInfo::exists(ds + "zz"));
        return;
    }
    QCOMPARE(read(ds + "+50+010/a.dsf"), QByteArray("new a"));
    QCOMPARE(read(ds + "+50+010/own.dsf"), QByteArray("own"));
    QCOMPARE(read(ds + ".DS_Store"), QByteArray("mine"));
    QCOMPARE(read(ds + "notes.txt"), QByteArray("notes"));
    if (after != After::ConflictRemains)
        QCOMPARE(read(ds + "+50+010/b.dsf"), QByteArray("new b"));
}

QTEST_MAIN(TestDisc1)
#include "tst_disc1.moc"

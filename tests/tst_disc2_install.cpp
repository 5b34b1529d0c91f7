// The disc-2 install from the click on "Installieren" to "Installation
// beendet": the checks and their messages, the copy plan, reported failures.
#include <QThread>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "child.h"
#include "copy/copy.h"
#include "faults.h"
#include "disc2/optionen.h"
#include "fixture.h"
#include "input_events.h"
#include "runtime_guard.h"
#include "shell/fenster1.h"
#include "shell/modul1.h"
#include "shell/start.h"
#include "shell/warten.h"
#include "vela/testplatform.h"

using fixture::read;
using fixture::write;
using vela::testing::TestPlatform;

namespace {

// A disc 2 and an X-Plane folder that already holds files.
struct Setup {
    fixture::TempDir tmp;
    QString disc, xp;
    TestPlatform platform;

    Setup()
    {
        disc = tmp.filePath("media/VARNOD2");
        xp = tmp.filePath("X-Plane 9");
        fixture::make(disc.toStdString(), {"resources/default_scenery/+40+010/a.dsf=new a",
                                           "resources/default_scenery/+40+010/b.dsf=new b",
                                           "resources/default_scenery/DSF 820 Earth/Earth nav data/+40+010/n.dsf=nav",
                                           "resources/default_scenery/DSF 820 Earth/other.txt=not copied",
                                           "resources/default_scenery/readme.txt=readme",
                                           "resources/custom_scenery/tevor2/objects/o.obj=3d",
                                           "resources/custom_scenery/CORINE_Europe/c.dsf=trees",
                                           "resources/custom_scenery/vilage_overlay/v.dsf=houses"});
        fixture::make(xp.toStdString(), {"Airfoils/x.afl=airfoil", "Resources/default scenery/+40+010/a.dsf=old a",
                                         "Resources/default scenery/old/keep.dsf=keep",
                                         "Custom Scenery/mine/m.dsf=mine"});

        platform.volumes = {{"/", "/"}, {"VARNOD2", disc.toStdString()}};
        platform.onMessage = [this](const std::string&) {
            progressShownAtMessage.push_back(bool(vela::_GetImplicitWindow(warten::ClassName)) &&
                                             warten()->IsVisible());
        };
        platform.onBackgroundTask = [this] {
            if (auto w = vela::_GetImplicitWindow(warten::ClassName)) {
                auto name = w->ControlByName("StaticText2")->TextProperty("Text");
                if (labels.empty() || labels.back() != name)
                    labels.push_back(name);
            }
        };
    }

    // One click on "Installieren", answering the folder dialog.
    void click(std::optional<QString> folder)
    {
        platform.AnswerNextFolder(folder ? std::optional<std::string>(folder->toStdString())
                                         : std::nullopt);
        Fenster1()->btn_installieren_Action();
    }

    void tick(const char* box, bool on)
    {
        vela::RuntimeCheckCast<vela::CheckBox>(Fenster1()->ControlByName(box))->SetValue(on);
    }

    QStringList messages() const
    {
        QStringList m;
        for (const auto& s : platform.Messages())
            m << QString::fromStdString(s);
        return m;
    }

    // In a child, where root is to install as an ordinary user: root hands
    // the X-Plane folder to nobody and becomes nobody, an ordinary user stays
    // who it is. Empty, or why it could not be done.
    std::string asOrdinaryUser()
    {
        if (::geteuid() != 0)
            return {};
        const std::string top = tmp.path().toStdString();
        if (::chmod(top.c_str(), 0755) != 0 ||
            std::system(("chown -R 65534:65534 '" + xp.toStdString() + "'").c_str()) != 0 ||
            !child::becomeNobody().empty())
            return "skipped: cannot become an ordinary user";
        return {};
    }

    std::vector<bool> progressShownAtMessage;
    std::vector<std::string> labels;

    // One click in a child process, which first runs prepare (to become
    // another user, or to take something from the system); the messages it
    // showed, or "skipped: ..." when prepare could not be done.
    QStringList clickInChild(const std::function<std::string()>& prepare)
    {
        warten();  // made here, so the child only shows it
        child::Options options;
        options.setUp = prepare;
        const child::Ended end = child::run([&](child::Report& out) {
            click(xp);
            for (const auto& m : platform.Messages())
                out.write(m + '\0');
            return 0;
        }, options);
        if (!end.skipped.empty())
            return {QString::fromStdString(end.skipped)};
        const QByteArray all = QByteArray::fromStdString(end.output);
        QStringList messages;
        for (const QByteArray& m : all.split('\0'))
            if (!m.isEmpty())
                messages << QString::fromUtf8(m);
        if (!end.exitedWith(0))
            messages << "child ended with " + QString::fromStdString(end.describe());
        return messages;
    }
};

// What a row of checks changes in the setup before the click.
using Change = std::function<void(Setup&)>;

} // namespace

Q_DECLARE_METATYPE(Change)

class TestDisc2Install : public QObject {
    Q_OBJECT

private slots:
    void init() { runtime_.emplace(StaticInit, Finalise); }
    void cleanup() { runtime_.reset(); }

    void checks_data();
    void checks();
    void installsCopyPlan();
    void labelNamesEachFileInOrder();
    void flagsAreReadAtEveryClick();
    void secondClickDuringInstallIsHeldBack();
    void laterDiscOfSameNameWins();
    void optionsOffCopyOnlyScenery();
    void navigationFoldersThereAreFilled();
    void emptySceneryStillCopiesOptions();
    void linkedTargetFoldersAreFilled();
    void pipeOnTheDiscIsReportedNotWaitedFor();
    void endRequestStopsBeforeTheNextPart_data();
    void endRequestStopsBeforeTheNextPart();
    void failuresAreListed_data();
    void failuresAreListed();
    void longFailureListIsCut();
    void discLinksAreNeverFollowed_data();
    void discLinksAreNeverFollowed();
    void unreadableSceneryIsReported();
    void lockedNavigationFoldersAreUnlocked_data();
    void lockedNavigationFoldersAreUnlocked();
    void failedFlushIsReported();
    void deepDiscInstallsWhole();

private:
    std::optional<testsupport::RuntimeGuard> runtime_;
};

void TestDisc2Install::checks_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("chosen");  // in the folder dialog, below the temporary folder; empty: cancelled
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("quits");
    QTest::addColumn<bool>("installs");  // else nothing below the X-Plane folder changes

    const Change none = [](Setup&) {};
    const auto removed = [](const char* folder) -> Change {
        return [folder](Setup& s) { QDir(s.xp + "/" + folder).removeRecursively(); };
    };
    // The disc where the system mounts a drive under a name of its own, as
    // a volume of that label, and under a later mount of another name.
    const auto elsewhere = [](const char* label, bool hidden) -> Change {
        return [label, hidden](Setup& s) {
            const QString drive = s.tmp.filePath("media/cdrom0");
            QVERIFY(QDir().rename(s.disc, drive));
            s.platform.volumes = {{"/", "/"}, {label, drive.toStdString()}};
            if (hidden)
                s.platform.volumes.push_back({"DATA", (drive + "/resources").toStdString()});
        };
    };
    const QString xp = "X-Plane 9", done = "Installation beendet";
    QTest::newRow("dialog cancelled") << none << QString()
        << QStringList{"X-Plane wurde nicht ausgewählt, oder die Aktion wurde abgebrochen."} << false << false;
    QTest::newRow("folder missing") << none << "nowhere" << QStringList{"Ordner nicht gefunden."} << false
                                    << false;
    QTest::newRow("no Airfoils") << removed("Airfoils") << xp
                                 << QStringList{"Ich glaube, das ist kein X-Plane-Ordner"} << false << false;
    QTest::newRow("Airfoils is a file") << Change([](Setup& s) {
        QDir(s.xp + "/Airfoils").removeRecursively();
        write(s.xp + "/Airfoils", "");
    }) << xp << QStringList{done} << true << true;
    QTest::newRow("no volume") << Change([](Setup& s) { s.platform.volumes.clear(); }) << xp
                               << QStringList{"Bitte Tessavel DVD 2 einlegen!"} << false << false;
    QTest::newRow("other volume") << Change([](Setup& s) {
        s.platform.volumes = {{"/", "/"}, {"VARNOD1", s.disc.toStdString()}};
    }) << xp << QStringList{"Bitte Tessavel DVD 2 einlegen!"} << false << false;
    QTest::newRow("disc without resources")
        << Change([](Setup& s) { QDir(s.disc + "/resources").removeRecursively(); }) << xp
        << QStringList{"resources existiert nicht"} << false << false;
    QTest::newRow("no Custom Scenery") << removed("Custom Scenery") << xp
                                       << QStringList{"Kein X-Plane-Verzeichnis"} << false << false;
    QTest::newRow("no Resources") << removed("Resources") << xp
        << QStringList{"Zielverzeichnis nicht gefunden: Resources", done} << true << false;
    QTest::newRow("no default scenery") << removed("Resources/default scenery") << xp
        << QStringList{"Zielverzeichnis nicht gefunden: default scenery", done} << true << false;
    // Found by its label where the system mounts a drive under a name of its own.
    QTest::newRow("disc labelled VARNOD2 at /media/cdrom0") << elsewhere("VARNOD2", false) << xp
                                                            << QStringList{done} << true << true;
    QTest::newRow("disc named otherwise at /media/cdrom0") << elsewhere("VARNOD1", false) << xp
        << QStringList{"Bitte Tessavel DVD 2 einlegen!"} << false << false;
    QTest::newRow("disc below a later mount of another name") << elsewhere("VARNOD2", true) << xp
        << QStringList{"Bitte Tessavel DVD 2 einlegen!"} << false << false;
}

// Which checks leave the main window open for another try, and which end the run.
void TestDisc2Install::checks()
{
    QFETCH(Change, change);
    QFETCH(QString, chosen);
    QFETCH(QStringList, expected);
    QFETCH(bool, quits);
    QFETCH(bool, installs);
    Setup s;
    change(s);
    if (QTest::currentTestFailed())
        return;
    const QStringList before = fixture::tree(s.xp);

    if (chosen.isEmpty())
        s.click(std::nullopt);
    else
        s.click(s.tmp.filePath(chosen));

    QCOMPARE(s.messages(), expected);
    QCOMPARE(vela::QuitRequested(), quits);
    // The progress window appears only once the run will end with "Installation beendet".
    QCOMPARE(bool(vela::_GetImplicitWindow(warten::ClassName)), quits);
    if (installs) {
        QCOMPARE(read(s.xp + "/Resources/default scenery/readme.txt"), QByteArray("readme"));
    } else {
        // Refused or stopped early: nothing created or changed.
        QCOMPARE(fixture::tree(s.xp), before);
    }
    QCOMPARE(Modul1::zielordner ? QString::fromStdString(Modul1::zielordner->AbsolutePath()) : QString(),
             chosen.isEmpty() ? QString() : s.tmp.filePath(chosen));
}

void TestDisc2Install::installsCopyPlan()
{
    Setup s;
    s.tick("chk_villages", true);
    s.click(s.xp);

    QCOMPARE(s.messages(), QStringList{"Installation beendet"});
    QVERIFY(vela::QuitRequested());
    QCOMPARE(s.progressShownAtMessage, std::vector<bool>{true});
    QCOMPARE(fixture::tree(s.xp), (QStringList{
        "Airfoils/", "Airfoils/x.afl",
        "Custom Scenery/", "Custom Scenery/mine/", "Custom Scenery/mine/m.dsf",
        "Custom Scenery/tevor2/", "Custom Scenery/tevor2/objects/", "Custom Scenery/tevor2/objects/o.obj",
        "Custom Scenery/vilage_overlay/", "Custom Scenery/vilage_overlay/v.dsf",
        "Custom Scenery/zztevorterrain/", "Custom Scenery/zztevorterrain/Earth Nav Data/",
        "Custom Scenery/zztevorterrain/Earth Nav Data/+40+010/",
        "Custom Scenery/zztevorterrain/Earth Nav Data/+40+010/n.dsf",
        "Resources/", "Resources/default scenery/",
        "Resources/default scenery/+40+010/", "Resources/default scenery/+40+010/a.dsf",
        "Resources/default scenery/+40+010/b.dsf",
        "Resources/default scenery/old/", "Resources/default scenery/old/keep.dsf",
        "Resources/default scenery/readme.txt"}));
    QCOMPARE(read(s.xp + "/Resources/default scenery/+40+010/a.dsf"), QByteArray("new a"));
    QCOMPARE(read(s.xp + "/Resources/default scenery/old/keep.dsf"), QByteArray("keep"));
    QCOMPARE(read(s.xp + "/Custom Scenery/mine/m.dsf"), QByteArray("mine"));
    QCOMPARE(read(s.xp + "/Custom Scenery/zztevorterrain/Earth Nav Data/+40+010/n.dsf"), QByteArray("nav"));
}

void TestDisc2Install::labelNamesEachFileInOrder()
{
    Setup s;
    s.tick("chk_villages", true);
    s.click(s.xp);
    QCOMPARE(s.labels, (std::vector<std::string>{"a.dsf", "b.dsf", "n.dsf", "readme.txt", "o.obj", "v.dsf"}));
}

void TestDisc2Install::flagsAreReadAtEveryClick()
{
    Setup s;
    Fenster1();
    // Ticking changes nothing until the next click, which reads all three even when cancelled.
    s.tick("chk_3dobjects", false);
    s.tick("chk_trees", true);
    QVERIFY(Modul1::objekte3d && !Modul1::baeume);
    s.click(std::nullopt);
    QVERIFY(!Modul1::objekte3d && Modul1::baeume && !Modul1::haeuser);
    // A cancelled dialog forgets an earlier valid choice.
    s.click(s.tmp.filePath("nowhere"));
    QVERIFY(Modul1::zielordner);
    s.click(std::nullopt);
    QVERIFY(!Modul1::zielordner);
    QCOMPARE(s.messages().size(), 3);
}

void TestDisc2Install::secondClickDuringInstallIsHeldBack()
{
    Setup s;
    auto install = vela::RuntimeCheckCast<vela::PushButton>(Fenster1()->ControlByName("btn_installieren"));
    int calls = 0;
    s.platform.onBackgroundTask = [&] {
        if (++calls != 3)
            return;
        s.tick("chk_trees", true);
        s.platform.AnswerNextFolder(s.tmp.filePath("elsewhere").toStdString());
        // A click and Return as the window system hands them over, delivered
        // by this call's event round (past the frame of the last one).
        input::click(install->Widget());
        Fenster1()->Widget()->activateWindow();
        input::key(Fenster1()->Widget(), Qt::Key_Return);
        QThread::msleep(20);
    };
    s.platform.AnswerNextFolder(s.xp.toStdString());
    install->Push();
    // The click and Return reached the event round during the install.
    QCOMPARE(QWindowSystemInterface::windowSystemEventsQueued(), 0);
    // The second click asked nothing and changed nothing of the running install.
    QCOMPARE(s.platform.PendingFolderAnswers(), 1);
    QCOMPARE(QString::fromStdString(Modul1::zielordner->AbsolutePath()), s.xp);
    QVERIFY(!Modul1::baeume);
    QVERIFY(!QDir(s.xp + "/Custom Scenery/CORINE_Europe").exists());
    QCOMPARE(s.messages(), QStringList{"Installation beendet"});
}

void TestDisc2Install::laterDiscOfSameNameWins()
{
    Setup s;
    const QString first = s.tmp.filePath("first/VARNOD2");
    write(first + "/resources/default_scenery/from-first.dsf", "1");
    fixture::mkdir(first + "/resources/custom_scenery");
    s.platform.volumes = {{"/", "/"}, {"VARNOD2", first.toStdString()}, {"VARNOD2", s.disc.toStdString()}};
    s.click(s.xp);
    QVERIFY(QFile::exists(s.xp + "/Resources/default scenery/readme.txt"));
    QVERIFY(!QFile::exists(s.xp + "/Resources/default scenery/from-first.dsf"));
}

void TestDisc2Install::optionsOffCopyOnlyScenery()
{
    Setup s;
    QDir(s.disc + "/resources/default_scenery/DSF 820 Earth").removeRecursively();
    s.tick("chk_3dobjects", false);
    s.click(s.xp);
    QCOMPARE(s.messages(), QStringList{"Installation beendet"});
    QCOMPARE(QDir(s.xp + "/Custom Scenery").entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"mine"});  // without "DSF 820 Earth" no zztevorterrain either
    QVERIFY(QFile::exists(s.xp + "/Resources/default scenery/readme.txt"));
}

void TestDisc2Install::navigationFoldersThereAreFilled()
{
    Setup s;
    // Another letter case, as on a Mac-made X-Plane folder: used, not doubled.
    write(s.xp + "/Custom Scenery/zztevorterrain/Earth nav data/+40+010/own.dsf", "own");
    s.click(s.xp);
    QCOMPARE(s.messages(), QStringList{"Installation beendet"});
    QCOMPARE(QDir(s.xp + "/Custom Scenery/zztevorterrain").entryList(QDir::Dirs | QDir::NoDotAndDotDot),
             QStringList{"Earth nav data"});
    QCOMPARE(read(s.xp + "/Custom Scenery/zztevorterrain/Earth nav data/+40+010/own.dsf"), QByteArray("own"));
    QCOMPARE(read(s.xp + "/Custom Scenery/zztevorterrain/Earth nav data/+40+010/n.dsf"), QByteArray("nav"));
}

void TestDisc2Install::emptySceneryStillCopiesOptions()
{
    Setup s;
    QDir(s.disc + "/resources/default_scenery").removeRecursively();
    fixture::mkdir(s.disc + "/resources/default_scenery");
    const QStringList before = fixture::tree(s.xp + "/Resources");
    s.click(s.xp);
    QCOMPARE(s.messages(), QStringList{"Installation beendet"});
    QCOMPARE(fixture::tree(s.xp + "/Resources"), before);
    QVERIFY(!QDir(s.xp + "/Custom Scenery/zztevorterrain").exists());
    QCOMPARE(read(s.xp + "/Custom Scenery/tevor2/objects/o.obj"), QByteArray("3d"));
}

void TestDisc2Install::linkedTargetFoldersAreFilled()
{
    Setup s;
    // Scenery kept on another drive behind links: filled through them.
    QDir(s.xp + "/Resources/default scenery/+40+010").removeRecursively();
    fixture::mkdir(s.tmp.filePath("elsewhere/tile"));
    fixture::mkdir(s.tmp.filePath("elsewhere/zz"));
    QVERIFY(QFile::link(s.tmp.filePath("elsewhere/tile"), s.xp + "/Resources/default scenery/+40+010"));
    QVERIFY(QFile::link(s.tmp.filePath("elsewhere/zz"), s.xp + "/Custom Scenery/zztevorterrain"));
    s.click(s.xp);
    QCOMPARE(s.messages(), QStringList{"Installation beendet"});
    QCOMPARE(read(s.tmp.filePath("elsewhere/tile/a.dsf")), QByteArray("new a"));
    QCOMPARE(read(s.tmp.filePath("elsewhere/zz/Earth Nav Data/+40+010/n.dsf")), QByteArray("nav"));
    QVERIFY(QFileInfo(s.xp + "/Resources/default scenery/+40+010").isSymLink());
}

void TestDisc2Install::pipeOnTheDiscIsReportedNotWaitedFor()
{
    Setup s;
    QCOMPARE(::mkfifo(qPrintable(s.disc + "/resources/default_scenery/+40+010/pipe"), 0644), 0);
    s.click(s.xp);
    QCOMPARE(s.messages(), (QStringList{"Folgende Dateien konnten nicht kopiert werden:\n"
                                        "resources/default_scenery/+40+010/pipe – Lesefehler",
                                        "Installation beendet"}));
    QVERIFY(!QFileInfo::exists(s.xp + "/Resources/default scenery/+40+010/pipe"));
    QCOMPARE(read(s.xp + "/Resources/default scenery/+40+010/b.dsf"), QByteArray("new b"));
}

void TestDisc2Install::endRequestStopsBeforeTheNextPart_data()
{
    QTest::addColumn<QString>("endAt");           // the file whose name is shown when the user ends
    QTest::addColumn<QStringList>("installed");  // below the X-Plane folder
    QTest::addColumn<QStringList>("untouched");  // not made

    QTest::newRow("in the scenery")
        << "a.dsf" << QStringList{"Resources/default scenery/+40+010/a.dsf"}
        << QStringList{"Resources/default scenery/+40+010/b.dsf", "Resources/default scenery/readme.txt",
                       "Custom Scenery/zztevorterrain", "Custom Scenery/tevor2"};
    QTest::newRow("in the navigation data")
        << "n.dsf" << QStringList{"Custom Scenery/zztevorterrain/Earth Nav Data/+40+010/n.dsf"}
        << QStringList{"Custom Scenery/zztevorterrain/Earth Nav Data/+50+010",
                       "Resources/default scenery/readme.txt", "Custom Scenery/tevor2"};
    QTest::newRow("in the first add-on")
        << "o.obj" << QStringList{"Custom Scenery/tevor2/objects/o.obj", "Resources/default scenery/readme.txt"}
        << QStringList{"Custom Scenery/CORINE_Europe", "Custom Scenery/vilage_overlay"};
}

// Ended by the user: the install goes on to no later part, and makes no
// folder of one, and claims no finished install.
void TestDisc2Install::endRequestStopsBeforeTheNextPart()
{
    QFETCH(QString, endAt);
    QFETCH(QStringList, installed);
    QFETCH(QStringList, untouched);
    Setup s;
    write(s.disc + "/resources/default_scenery/DSF 820 Earth/Earth nav data/+50+010/m.dsf", "nav 2");
    s.tick("chk_trees", true);
    s.tick("chk_villages", true);
    s.platform.onBackgroundTask = [&] {
        auto w = vela::_GetImplicitWindow(warten::ClassName);
        if (w && w->ControlByName("StaticText2")->TextProperty("Text") == endAt.toStdString())
            vela::Quit(0);
    };
    s.click(s.xp);
    QVERIFY(vela::QuitRequested());
    QCOMPARE(s.messages(), QStringList());
    for (const QString& f : installed)
        QVERIFY2(QFileInfo::exists(s.xp + "/" + f), qPrintable(f));
    for (const QString& f : untouched)
        QVERIFY2(!QFileInfo::exists(s.xp + "/" + f), qPrintable(f));
}

void TestDisc2Install::failuresAreListed_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("inTheWay");  // below the X-Plane folder: still there afterwards
    QTest::addColumn<QByteArray>("stays");  // what it holds

    const auto offTheDisc = [](const char* folder) -> Change {
        return [folder](Setup& s) { QDir(s.disc + "/" + folder).removeRecursively(); };
    };
    const auto links = [](Setup& s) {
        for (int i = 0; i < 13; ++i)
            QVERIFY(QFile::link("a.dsf", s.disc + QString("/resources/default_scenery/+40+010/l%1.dsf")
                                                      .arg(i, 2, 10, QChar('0'))));
    };
    QTest::newRow("option folder missing from the disc")
        << offTheDisc("resources/custom_scenery/CORINE_Europe")
        << "resources/custom_scenery/CORINE_Europe – fehlt auf der DVD" << QString() << QByteArray();
    QTest::newRow("folder where the disc has a file") << Change([](Setup& s) {
        write(s.xp + "/Resources/default scenery/readme.txt/inside.txt", "stays");
    }) << "Resources/default scenery/readme.txt – Schreibfehler"
       << "Resources/default scenery/readme.txt/inside.txt" << QByteArray("stays");
    QTest::newRow("file where the disc has a folder") << Change([](Setup& s) {
        QDir(s.xp + "/Resources/default scenery/+40+010").removeRecursively();
        write(s.xp + "/Resources/default scenery/+40+010", "a file");
    }) << "Resources/default scenery/+40+010 – Schreibfehler"
       << "Resources/default scenery/+40+010" << QByteArray("a file");
    QTest::newRow("no scenery on the disc")
        << offTheDisc("resources/default_scenery") << "resources/default_scenery – fehlt auf der DVD" << QString()
        << QByteArray();
    QTest::newRow("no navigation data")
        << offTheDisc("resources/default_scenery/DSF 820 Earth/Earth nav data")
        << "resources/default_scenery/DSF 820 Earth/Earth nav data – fehlt auf der DVD" << QString()
        << QByteArray();
    // A name from the disc can forge no line of the list.
    QTest::newRow("name with line breaks") << Change([](Setup& s) {
        // A file of the disc that cannot be put in place, so that it is listed.
        const QString name = "a.dsf\nb.dsf – Lesefehler";
        write(s.disc + "/resources/default_scenery/" + name, "a");
        write(s.xp + "/Resources/default scenery/" + name + "/in the way", "mine");
    }) << "Resources/default scenery/a.dsf?b.dsf – Lesefehler – Schreibfehler" << QString() << QByteArray();
    // Whole folders first: two add-ons not installed at all must not hide
    // behind the links of a full list.
    QString first = "resources/custom_scenery/CORINE_Europe – fehlt auf der DVD\n"
                    "resources/custom_scenery/vilage_overlay – fehlt auf der DVD";
    for (int i = 0; i < 8; ++i)
        first += QString("\nresources/default_scenery/+40+010/l%1.dsf – Verknüpfung, nicht kopiert")
                     .arg(i, 2, 10, QChar('0'));
    QTest::newRow("13 links, and two ticked add-ons missing") << Change([links](Setup& s) {
        links(s);
        QDir(s.disc + "/resources/custom_scenery/CORINE_Europe").removeRecursively();
        QDir(s.disc + "/resources/custom_scenery/vilage_overlay").removeRecursively();
        s.tick("chk_villages", true);
    }) << first + "\n… und 5 weitere" << QString() << QByteArray();
    QString made = "Resources/default scenery/zz – Schreibfehler";
    for (int i = 0; i < 9; ++i)
        made += QString("\nresources/default_scenery/+40+010/l%1.dsf – Verknüpfung, nicht kopiert")
                    .arg(i, 2, 10, QChar('0'));
    QTest::newRow("13 links, and a later folder that cannot be made") << Change([links](Setup& s) {
        links(s);
        write(s.disc + "/resources/default_scenery/zz/z.dsf", "z");
        write(s.xp + "/Resources/default scenery/zz", "a file");
    }) << made + "\n… und 4 weitere" << QString() << QByteArray();
}

void TestDisc2Install::failuresAreListed()
{
    QFETCH(Change, change);
    QFETCH(QString, report);
    QFETCH(QString, inTheWay);
    QFETCH(QByteArray, stays);
    Setup s;
    change(s);
    if (QTest::currentTestFailed())
        return;
    s.tick("chk_trees", true);
    s.click(s.xp);

    QCOMPARE(s.messages(),
             (QStringList{"Folgende Dateien konnten nicht kopiert werden:\n" + report, "Installation beendet"}));
    QVERIFY(vela::QuitRequested());
    // What stood in the way is still there; the rest of the plan was copied.
    if (!inTheWay.isEmpty())
        QCOMPARE(read(s.xp + "/" + inTheWay), stays);
    QCOMPARE(read(s.xp + "/Custom Scenery/tevor2/objects/o.obj"), QByteArray("3d"));
}

void TestDisc2Install::longFailureListIsCut()
{
    Setup s;
    for (int i = 0; i < 13; ++i) {
        const QString name = QString("t%1.dsf").arg(i, 2, 10, QChar('0'));
        write(s.disc + "/resources/default_scenery/many/" + name, "x");
        fixture::mkdir(s.xp + "/Resources/default scenery/many/" + name);
    }
    s.click(s.xp);
    const QStringList lines = s.messages().value(0).split('\n');
    QCOMPARE(lines.size(), 12);
    QCOMPARE(lines[0], QString("Folgende Dateien konnten nicht kopiert werden:"));
    QCOMPARE(lines[1], QString("Resources/default scenery/many/t00.dsf – Schreibfehler"));
    QCOMPARE(lines[10], QString("Resources/default scenery/many/t09.dsf – Schreibfehler"));
    QCOMPARE(lines[11], QString("… und 3 weitere"));
    QCOMPARE(s.messages().value(1), QString("Installation beendet"));
}

void TestDisc2Install::discLinksAreNeverFollowed_data()
{
    QTest::addColumn<QString>("link");      // on the disc, below its top
    QTest::addColumn<QString>("to");        // "outside", or a relative target
    QTest::addColumn<QString>("listed");    // the report's line for it
    QTest::addColumn<QString>("installed"); // a disc file that is still installed

    const QString scenery = "Resources/default scenery/readme.txt";
    QTest::newRow("beside a folder of its name in another case")
        << "resources/default_scenery/Evil" << "outside" << "resources/default_scenery/Evil" << scenery;
    QTest::newRow("relative, up and out")
        << "resources/default_scenery/+40+010/Evil" << "../../../../../../../outside"
        << "resources/default_scenery/+40+010/Evil" << scenery;
    QTest::newRow("the scenery folder itself")
        << "resources/default_scenery" << "outside" << "resources/default_scenery"
        << "Custom Scenery/tevor2/objects/o.obj";
    QTest::newRow("the disc's resources folder") << "resources" << "outside" << "resources" << QString();
    QTest::newRow("an option folder")
        << "resources/custom_scenery/tevor2" << "outside" << "resources/custom_scenery/tevor2" << scenery;
    QTest::newRow("the folder of the options")
        << "resources/custom_scenery" << "outside" << "resources/custom_scenery" << scenery;
    QTest::newRow("inside an option folder")
        << "resources/custom_scenery/tevor2/Evil" << "outside" << "resources/custom_scenery/tevor2/Evil"
        << "Custom Scenery/tevor2/objects/o.obj";
    QTest::newRow("the navigation data")
        << "resources/default_scenery/DSF 820 Earth/Earth nav data" << "outside"
        << "resources/default_scenery/DSF 820 Earth/Earth nav data" << scenery;
    QTest::newRow("the folder holding the navigation data")
        << "resources/default_scenery/DSF 820 Earth" << "outside"
        << "resources/default_scenery/DSF 820 Earth" << scenery;
}

// A hostile disc's links lead nowhere: not made in the X-Plane folder, not
// followed, listed; nothing outside changes, also at a second install.
void TestDisc2Install::discLinksAreNeverFollowed()
{
    QFETCH(QString, link);
    QFETCH(QString, to);
    QFETCH(QString, listed);
    QFETCH(QString, installed);
    Setup s;
    const QString outside = s.tmp.filePath("outside");
    write(outside + "/x.dsf", "outside");
    write(outside + "/objects/o.obj", "outside");
    write(outside + "/+40+010/n.dsf", "outside");
    const QString at = s.disc + "/" + link;
    if (QFileInfo::exists(at))
        QVERIFY(QDir(at).removeRecursively());
    QVERIFY(QFile::link(to == "outside" ? outside : to, at));
    // Beside "Evil", a folder "evil", which would merge into a target folder
    // of that name in any letter case: the link made there would lead it out.
    if (QFileInfo(link).fileName() == "Evil")
        write(QFileInfo(at).path() + "/evil/y.dsf", "y");
    const QStringList outsideBefore = fixture::tree(outside);

    for (int run = 0; run < 2; ++run) {
        s.platform.ClearMessages();
        s.tick("chk_trees", true);
        s.click(s.xp);
        QCOMPARE(s.messages(), (QStringList{"Folgende Dateien konnten nicht kopiert werden:\n" + listed +
                                                " – Verknüpfung, nicht kopiert",
                                            "Installation beendet"}));
        QCOMPARE(fixture::tree(outside), outsideBefore);
        QCOMPARE(read(outside + "/x.dsf"), QByteArray("outside"));
        QDirIterator it(s.xp, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            QVERIFY2(!it.nextFileInfo().isSymLink(), qPrintable(it.filePath()));
        QVERIFY(!QFileInfo::exists(s.xp + "/Resources/default scenery/x.dsf"));
        if (!installed.isEmpty())
            QVERIFY2(QFileInfo::exists(s.xp + "/" + installed), qPrintable(installed));
        // The next run starts afresh, as a new start of the program would.
        runtime_->restart();
    }
}

// A scenery folder the program may not read is no empty one: it is listed,
// and the rest of the plan is still copied.
void TestDisc2Install::unreadableSceneryIsReported()
{
    Setup s;
    const QString scenery = s.disc + "/resources/default_scenery";
    QVERIFY(QFile::setPermissions(scenery, QFileDevice::Permissions()));
    // Root reads every folder: the child installs as an ordinary user.
    const QStringList messages = s.clickInChild([&] { return s.asOrdinaryUser(); });
    QFile::setPermissions(scenery, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (messages.value(0).startsWith("skipped"))
        QSKIP(qPrintable(messages.value(0)));
    QCOMPARE(messages, (QStringList{"Folgende Dateien konnten nicht kopiert werden:\n"
                                    "resources/default_scenery – Lesefehler",
                                    "Installation beendet"}));
    QCOMPARE(read(s.xp + "/Resources/default scenery/+40+010/a.dsf"), QByteArray("old a"));
    QCOMPARE(read(s.xp + "/Custom Scenery/tevor2/objects/o.obj"), QByteArray("3d"));
}

void TestDisc2Install::lockedNavigationFoldersAreUnlocked_data()
{
    QTest::addColumn<QString>("locked");  // below the X-Plane folder
    QTest::addColumn<QString>("there");   // a folder already there, or empty
    QTest::newRow("Custom Scenery") << "Custom Scenery" << QString();
    QTest::newRow("zztevorterrain") << "Custom Scenery/zztevorterrain" << "Custom Scenery/zztevorterrain";
}

// A locked folder in the way of the navigation data is unlocked before a
// folder is made in it, as for any folder the copy makes something in.
void TestDisc2Install::lockedNavigationFoldersAreUnlocked()
{
    QFETCH(QString, locked);
    QFETCH(QString, there);
    Setup s;
    if (!there.isEmpty())
        fixture::mkdir(s.xp + "/" + there);
    const QStringList messages = s.clickInChild([&]() -> std::string {
        // Root writes into every folder: the child installs as an ordinary user.
        if (std::string no = s.asOrdinaryUser(); !no.empty())
            return no;
        if (::chmod(qPrintable(s.xp + "/" + locked), 0555) != 0)
            return "skipped: cannot lock " + locked.toStdString() + ": " + std::strerror(errno);
        return {};
    });
    if (messages.value(0).startsWith("skipped"))
        QSKIP(qPrintable(messages.value(0)));
    QCOMPARE(messages, QStringList{"Installation beendet"});
    QCOMPARE(read(s.xp + "/Custom Scenery/zztevorterrain/Earth Nav Data/+40+010/n.dsf"), QByteArray("nav"));
    QCOMPARE(read(s.xp + "/Custom Scenery/tevor2/objects/o.obj"), QByteArray("3d"));
}

// "Installation beendet" means the data is on the disk: where the system
// cannot write it back, the user is told.
void TestDisc2Install::failedFlushIsReported()
{
    Setup s;
    const QStringList messages = s.clickInChild([]() -> std::string {
        return faults::withhold(faults::Missing::Flush) ? "" : "skipped: no seccomp filter here";
    });
    if (messages.value(0).startsWith("skipped"))
        QSKIP(qPrintable(messages.value(0)));
    QCOMPARE(messages, (QStringList{"Folgende Dateien konnten nicht kopiert werden:\n" + s.xp +
                                        " – Schreibfehler",
                                    "Installation beendet"}));
    // The copy itself went through.
    QCOMPARE(read(s.xp + "/Resources/default scenery/+40+010/a.dsf"), QByteArray("new a"));
}

// A disc nested far deeper than the usual limit of 1,024 open files, its
// paths still within what the system can name, installs whole.
void TestDisc2Install::deepDiscInstallsWhole()
{
    constexpr int depth = 1100;
    constexpr rlim_t usualLimit = 1024;
    rlimit limit{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max <= usualLimit)
        QSKIP("the system lets this user open no more than 1,024 files");
    Setup s;
    QString path = "tief";
    QStringList files;
    for (int level = 1; level <= depth; ++level) {
        path += "/d";
        if (level == 1 || level == 2 || level == 500 || level == 1000 || level == depth)
            files << path + QString("/f%1.dsf").arg(level);
    }
    for (const QString& f : files)
        write(s.disc + "/resources/default_scenery/" + f, f.toUtf8());
    QVERIFY((s.xp + "/Resources/default scenery/" + files.last()).toUtf8().size() < 4096);

    const QStringList messages = s.clickInChild([]() -> std::string {
        // Started as a program is from a shell with the usual limit.
        rlimit low{};
        ::getrlimit(RLIMIT_NOFILE, &low);
        low.rlim_cur = usualLimit;
        if (::setrlimit(RLIMIT_NOFILE, &low) != 0)
            return "skipped: the limit of open files cannot be set";
        vela::RuntimeInit(0, nullptr);
        return {};
    });
    if (messages.value(0).startsWith("skipped"))
        QSKIP(qPrintable(messages.value(0)));
    QCOMPARE(messages, QStringList{"Installation beendet"});
    for (const QString& f : files)
        QCOMPARE(read(s.xp + "/Resources/default scenery/" + f), f.toUtf8());
}

QTEST_MAIN(TestDisc2Install)
#include "tst_disc2_install.moc"

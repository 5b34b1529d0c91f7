// The merging copy: what it creates, replaces, leaves alone and reports, what
// the progress window shows, and how it copes with a full disk, unreadable
// and vanishing files. Trees are written in the notation of fixture.h.
#include <QtTest>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <map>
#include <thread>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "child.h"
#include "copy/copy.h"
#include "faults.h"
#include "fixture.h"
#include "runtime_guard.h"
#include "shell/start.h"
#include "shell/warten.h"
#include "vela/runtime.h"
#include "vela/testplatform.h"
#include "vela/window.h"

namespace fs = std::filesystem;
using vela::testing::TestPlatform;

namespace {

using fixture::make;
using fixture::parse;
using fixture::snapshot;

std::string readAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

QString why(vela::FileError e)
{
    switch (e) {
    case vela::FileError::None: return "None";
    case vela::FileError::Read: return "Read";
    case vela::FileError::Write: return "Write";
    case vela::FileError::Missing: return "Missing";
    case vela::FileError::Link: return "Link";
    case vela::FileError::Cancelled: return "Cancelled";
    }
    return "?";
}

// The failure list, with paths relative to the target's root; paths on the
// disc (what could not be read, is missing or is a link) as "disc/...".
QStringList failures(const fs::path& root, const fs::path& disc)
{
    QStringList out;
    const QString prefix = QString::fromStdString(root.string()) + '/';
    const QString discPrefix = QString::fromStdString(disc.string()) + '/';
    for (const auto& f : Modul1::kopierfehler) {
        QString p = QString::fromStdString(f.pfad);
        if (p.startsWith(prefix))
            p = p.mid(prefix.size());
        else if (p.startsWith(discPrefix))
            p = "disc/" + p.mid(discPrefix.size());
        out << p + ":" + why(f.grund);
    }
    return out;
}

QString labelText()
{
    return QString::fromStdString(
        vela::RuntimeCheckCast<vela::StaticText>(
            vela::RuntimeWindowControlByName(warten(), "StaticText2"))
            ->Text());
}

struct Job {
    fs::path source, target;
    QString item, dest;
    QStringList targetTree;
};

struct Outcome {
    QStringList tree, failures;
    QString skip, error;
};

fs::path destination(const Job& job)
{
    return job.dest.isEmpty() ? job.target : job.target / job.dest.toStdString();
}

Outcome copy(const Job& job)
{
    Modul1::kopierfehler.clear();
    Modul1::CopyFileOrFolder(vela::New<vela::FolderItem>(job.source / job.item.toStdString()),
                             vela::New<vela::FolderItem>(destination(job)));
    return {snapshot(job.target), failures(job.target, job.source), {}, {}};
}

// A command of the system, its output dropped; false when it fails.
bool system(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1 </dev/null").c_str()) == 0;
}

std::string inQuotes(const fs::path& p) { return "'" + p.string() + "'"; }

// The image of a FUSE file system the child mounts at the target.
fs::path imageFor(const Job& job) { return job.target.string() + ".img"; }

// Mounts a new file system of that kind at the target through its FUSE
// driver, in this child's own mount namespace, as users keep X-Plane on
// external drives; "" when mounted, else why not.
std::string mountFuse(const std::string& kind, const Job& job, std::string& loop)
{
    const fs::path image = imageFor(job);
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        return "FUSE cannot be used here: /dev/fuse: " + std::string(std::strerror(errno));
    if (::geteuid() != 0)
        return "FUSE file systems are mounted in a mount namespace of their own, which needs root";
    if (std::string why = child::ownMounts(); !why.empty())
        return why;
    const std::string mkfs = kind == "exfat" ? "mkfs.exfat" : kind == "vfat" ? "mkfs.vfat" : "mkntfs -F -Q";
    if (!system("truncate -s 64M " + inQuotes(image)) || !system(mkfs + " " + inQuotes(image)))
        return "cannot make a file system with " + mkfs;
    std::string device = image.string();
    if (kind == "exfat") {
        // Its driver takes only a block device from root.
        if (FILE* p = ::popen(("losetup -f --show " + inQuotes(image) + " 2>/dev/null").c_str(), "r")) {
            char line[64] = {};
            if (std::fgets(line, sizeof line, p))
                loop = std::string(line).substr(0, std::strcspn(line, "\n"));
            ::pclose(p);
        }
        if (loop.empty())
            return "no loop device for the exFAT image";
        device = loop;
    }
    const std::string mount = kind == "exfat" ? "mount.exfat-fuse " + inQuotes(device) + " " + inQuotes(job.target)
                              : kind == "vfat" ? "fusefat -o rw+ " + inQuotes(device) + " " + inQuotes(job.target)
                                               : "ntfs-3g " + inQuotes(device) + " " + inQuotes(job.target);
    struct stat before, after;
    if (!system(mount) || ::stat(job.target.c_str(), &after) != 0 || ::stat(image.parent_path().c_str(), &before) != 0 ||
        after.st_dev == before.st_dev)
        return "the " + kind + " driver cannot mount here";
    return {};
}

void unmountFuse(const Job& job, const std::string& loop)
{
    // The driver leaves once its file system is unmounted.
    system("fusermount -u " + inQuotes(job.target));
    if (!loop.empty())
        system("losetup -d " + inQuotes(loop));
    std::error_code ec;
    fs::remove(imageFor(job), ec);
}

// In the child: set up the conditions, copy, and describe the result in lines
// "T entry", "F failure", "S why skipped" or "E error". The mode names the
// conditions, joined by "+": "user", "fsize", "tmpfs", "named" (no unnamed
// files), or "exfat", "vfat", "ntfs" (the target on that drive, through FUSE).
std::string copyUnder(const Job& job, const QString& mode)
{
    const QStringList conditions = mode.split('+');
    std::string loop, fuse;
    for (const char* kind : {"exfat", "vfat", "ntfs"})
        if (conditions.contains(kind))
            fuse = kind;
    if (!fuse.empty()) {
        const std::string why = mountFuse(fuse, job, loop);
        if (!why.empty()) {
            unmountFuse(job, loop);
            return "S " + why + "\n";
        }
    }
    if (conditions.contains("tmpfs")) {
        if (std::string why = child::mount("tmpfs", job.target, "size=64k,mode=0755"); !why.empty())
            return "S " + why + "\n";
    } else if (conditions.contains("user")) {
        // Root passes every permission check: it hands the target to nobody
        // and becomes nobody. An ordinary user already owns the target.
        if (::geteuid() == 0 && ::chown(job.target.c_str(), child::nobody, child::nobody) != 0)
            return "S cannot hand the target to an ordinary user: " + std::string(std::strerror(errno)) + "\n";
        if (std::string why = child::becomeNobody(); !why.empty())
            return "S " + why + "\n";
    }
    // These drives keep no permissions of their own.
    make(job.target, job.targetTree, fuse.empty() ? fixture::Modes::Set : fixture::Modes::Left);
    if (conditions.contains("fsize"))
        if (std::string why = child::limitFileSize(64 * 1024); !why.empty())
            return "E " + why + "\n";
    if (conditions.contains("named") && !faults::withhold(faults::Missing::UnnamedFiles))
        return "S no seccomp filter here\n";
    Outcome out = copy(job);
    if (!fuse.empty()) {
        out.tree.replaceInStrings(QRegularExpression("@[0-7]{3}$"), "");
        out.tree.sort();
    }
    std::string report;
    for (const QString& t : out.tree)
        report += "T " + t.toStdString() + "\n";
    for (const QString& f : out.failures)
        report += "F " + f.toStdString() + "\n";
    if (!fuse.empty())
        unmountFuse(job, loop);
    return report;
}

// Runs body in a child process and returns how it ended (a wait status):
// what the copy learns about the system, and a seccomp filter, last for a
// process. Without unnamed files the child ends with 77, as there is no
// filter here.
template <class Body>
int inChildWithoutUnnamedFiles(Body body)
{
    warten();  // made here, so the child only sets its label
    QCoreApplication::processEvents();
    child::Options without;
    without.setUp = faults::without(faults::Missing::UnnamedFiles);
    return child::run([&](child::Report&) { return body(); }, without).status;
}

// Assertions in a child would not reach the test, so the child only reports.
Outcome copyInChild(const Job& job, const QString& mode)
{
    warten();  // made here, so the child only sets its label
    QCoreApplication::processEvents();
    const child::Ended end = child::run([&](child::Report& out) {
        try {
            out.write(copyUnder(job, mode));
        } catch (const std::exception& e) {
            out.write(std::string("E ") + e.what() + "\n");
        }
        return 0;
    });
    const std::string& text = end.output;
    Outcome out;
    for (const QString& line : QString::fromStdString(text).split('\n', Qt::SkipEmptyParts)) {
        const QString rest = line.mid(2);
        switch (line.at(0).toLatin1()) {
        case 'T': out.tree << rest; break;
        case 'F': out.failures << rest; break;
        case 'S': out.skip = rest; break;
        default: out.error += rest + "; "; break;
        }
    }
    if (!end.exitedWith(0))
        out.error += QString("child ended with %1").arg(QString::fromStdString(end.describe()));
    return out;
}

} // namespace

class TestCopy : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void merge_data();
    void merge();
    void linkListedOncePerList_data();
    void linkListedOncePerList();
    void replacesFileInOneStep_data();
    void replacesFileInOneStep();
    void nilItemThrows_data();
    void nilItemThrows();
    void progressLabel_data();
    void progressLabel();
    void sourceChangesDuringCopy_data();
    void sourceChangesDuringCopy();
    void killedCopyLeavesNoPart_data();
    void killedCopyLeavesNoPart();
    void bigFileLetsEventsThrough_data();
    void bigFileLetsEventsThrough();
    void fileCutShortIsNoCopy();
    void cleanupLeavesWhatAnotherCopyWrites();
    void killedRootRunLeavesNothingTheUserCannotClear();
    void folderGoneKeepsUnnamedFiles();

private:
    std::optional<testsupport::RuntimeGuard> runtime_;
};

void TestCopy::initTestCase()
{
    // Folders the copy makes get 0755, as the trees expect.
    ::umask(022);
}

void TestCopy::init()
{
    runtime_.emplace(StaticInit, Finalise);
    Modul1::kopierfehler.clear();
}

void TestCopy::cleanup() { runtime_.reset(); }

void TestCopy::merge_data()
{
    // "" runs here; "user" in a child as an ordinary user who owns the
    // target (nobody, when the test runs as root); "fsize" in a child whose
    // files may not grow past 64 KiB; "tmpfs" in a child whose target is a
    // 64 KiB file system.
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("dest");
    QTest::addColumn<QStringList>("source");
    QTest::addColumn<QStringList>("target");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("failed");

    QTest::newRow("folder created with everything below it")
        << "" << "A" << "" << QStringList{"A/f=1", "A/S/g=2", "A/S/T/h=3"} << QStringList{}
        << QStringList{"A/", "A/f=1", "A/S/", "A/S/g=2", "A/S/T/", "A/S/T/h=3"} << QStringList{};
    QTest::newRow("empty folder created")
        << "" << "A" << "" << QStringList{"A/"} << QStringList{"other=o"}
        << QStringList{"A/", "other=o"} << QStringList{};
    QTest::newRow("existing folders kept and filled, what only the target holds stays")
        << "" << "A" << "" << QStringList{"A/f=1", "A/S/g=2"}
        << QStringList{"A/mine=m", "A/S/mine=n", "A/Own/x=x", "A/empty/", "other=o"}
        << QStringList{"A/", "A/f=1", "A/mine=m", "A/S/", "A/S/g=2", "A/S/mine=n", "A/Own/",
                       "A/Own/x=x", "A/empty/", "other=o"}
        << QStringList{};
    QTest::newRow("files of the same name replaced, nested too")
        << "" << "A" << "" << QStringList{"A/f=new", "A/S/g=2"}
        << QStringList{"A/f=an older and longer text", "A/S/g=old"}
        << QStringList{"A/", "A/f=new", "A/S/", "A/S/g=2"} << QStringList{};
    QTest::newRow("locked target file replaced by its owner")
        << "user" << "A" << "" << QStringList{"A/f=new"} << QStringList{"A/f=old@444"}
        << QStringList{"A/", "A/f=new"} << QStringList{};
    QTest::newRow("read-only target folders made writable for their files")
        << "user" << "A" << "" << QStringList{"A/f=1", "A/S/g=2"}
        << QStringList{"A/@555", "A/S/@555"} << QStringList{"A/", "A/f=1", "A/S/", "A/S/g=2"}
        << QStringList{};

    QTest::newRow("read-only target folder made writable for a new subfolder")
        << "user" << "A" << "" << QStringList{"A/S/g=2"} << QStringList{"A/@555"}
        << QStringList{"A/", "A/S/", "A/S/g=2"} << QStringList{};
    QTest::newRow("read-only destination made writable for the new folder")
        << "user" << "A" << "D" << QStringList{"A/S/"} << QStringList{"D/@555"}
        << QStringList{"D/", "D/A/", "D/A/S/"} << QStringList{};

    // The discs were made for a file system that ignores letter case.
    QTest::newRow("folder in another letter case merged, nested too")
        << "" << "A" << "" << QStringList{"A/Objects/o=1", "A/Objects/Sub/p=2"}
        << QStringList{"a/objects/mine=m", "a/objects/SUB/q=3"}
        << QStringList{"a/", "a/objects/", "a/objects/mine=m", "a/objects/o=1", "a/objects/SUB/",
                       "a/objects/SUB/p=2", "a/objects/SUB/q=3"}
        << QStringList{};
    QTest::newRow("two folders in another case each: the exact one taken")
        << "" << "A" << "" << QStringList{"A/objects/o=1", "A/Objects/O=2"}
        << QStringList{"A/Objects/", "A/objects/"}
        << QStringList{"A/", "A/Objects/", "A/Objects/O=2", "A/objects/", "A/objects/o=1"}
        << QStringList{};
    QTest::newRow("file in another letter case replaced: one file, the disc's name")
        << "" << "A" << "" << QStringList{"A/readme.txt=new", "A/Tile.DSF=t"}
        << QStringList{"A/README.TXT=old@444", "A/tile.dsf=old", "A/TILE.dsf=older", "A/own=o"}
        << QStringList{"A/", "A/readme.txt=new", "A/Tile.DSF=t", "A/own=o"} << QStringList{};
    QTest::newRow("folder in another case where the disc has a file stays")
        << "" << "A" << "" << QStringList{"A/readme.txt=new"} << QStringList{"A/README.TXT/in=mine"}
        << QStringList{"A/", "A/README.TXT/", "A/README.TXT/in=mine", "A/readme.txt=new"}
        << QStringList{};
    QTest::newRow("file given as the source replaces one in another case")
        << "" << "f" << "D" << QStringList{"f=new"} << QStringList{"D/F=old"}
        << QStringList{"D/", "D/f=new"} << QStringList{};
    // A disc may still hold two names that differ only in case: neither is
    // the other's old spelling, and one old file they share goes once.
    QTest::newRow("two disc files whose names differ only in case, installed again")
        << "" << "A" << "" << QStringList{"A/ReadMe.txt=1", "A/readme.txt=2"}
        << QStringList{"A/ReadMe.txt=old", "A/readme.txt=old"}
        << QStringList{"A/", "A/ReadMe.txt=1", "A/readme.txt=2"} << QStringList{};
    QTest::newRow("two disc files whose names differ only in case, one old spelling")
        << "" << "A" << "" << QStringList{"A/ReadMe.txt=1", "A/readme.txt=2"}
        << QStringList{"A/README.TXT=old"}
        << QStringList{"A/", "A/ReadMe.txt=1", "A/readme.txt=2"} << QStringList{};

    // X-Plane on an external drive: exFAT and FAT ignore letter case
    // themselves, and their drivers give each spelling its own inode number;
    // NTFS keeps case. The disc's file ends up under the disc's name, and
    // nothing else of the user's goes.
    const QString longName = "x" + QString(40, QChar(0xe4)) + ".dds";  // 85 bytes
    for (const char* drive : {"exfat", "vfat", "ntfs"}) {
        const QString on = QString(" (%1)").arg(drive);
        QTest::newRow(qPrintable("file in another letter case replaced" + on))
            << drive << "A" << "" << QStringList{"A/a.png=1", "A/readme.txt=new"}
            << QStringList{"A/README.TXT=old", "A/own=o"}
            << QStringList{"A/", "A/a.png=1", "A/readme.txt=new", "A/own=o"} << QStringList{};
        QTest::newRow(qPrintable("file in a folder in another letter case replaced" + on))
            << drive << "tevor1_textures" << "S" << QStringList{"tevor1_textures/a.png=1", "tevor1_textures/acker.png=new"}
            << QStringList{"S/TEVOR1_TEXTURES/ACKER.PNG=old", "S/TEVOR1_TEXTURES/mine=m"}
            << QStringList{"S/", "S/TEVOR1_TEXTURES/", "S/TEVOR1_TEXTURES/a.png=1",
                           "S/TEVOR1_TEXTURES/acker.png=new", "S/TEVOR1_TEXTURES/mine=m"}
            << QStringList{};
        QTest::newRow(qPrintable("file given as the source replaces one in another case" + on))
            << drive << "f" << "D" << QStringList{"f=new"} << QStringList{"D/F=old", "D/g=mine"}
            << QStringList{"D/", "D/f=new", "D/g=mine"} << QStringList{};
        // FAT's driver here stores no such name.
        if (QString(drive) != "vfat")
            QTest::newRow(qPrintable("a long name of many two-byte characters" + on))
                << drive << "A" << "" << QStringList{"A/" + longName + "=new"}
                << QStringList{"A/" + longName + "=old"} << QStringList{"A/", "A/" + longName + "=new"}
                << QStringList{};
    }
    // Only what the copy provably made is ever removed.
    for (const char* where : {"", "named", "exfat"})
        QTest::newRow(qPrintable(QString("the user's files that look like temporary ones stay%1")
                                     .arg(*where ? QString(" (%1)").arg(where) : QString())))
            << where << "A" << "" << QStringList{"A/f=new", "A/S/g=2"}
            << QStringList{"A/.apt.dat.tessavel-original=mine", "A/.x.tessavel-12345678=mine", "A/f=old",
                           "A/S/.g.tessavel-abcdefgh=mine"}
            << QStringList{"A/", "A/.apt.dat.tessavel-original=mine", "A/.x.tessavel-12345678=mine",
                           "A/f=new", "A/S/", "A/S/.g.tessavel-abcdefgh=mine", "A/S/g=2"}
            << QStringList{};

    // The work folder's name is the program's, but what stands there may
    // not be: a disc folder of that name is filled like any other, and the
    // user's file or link of that name stays, though a file that needs a
    // temporary name there cannot be copied then.
    for (const char* where : {"", "named"}) {
        const QString on = *where ? QString(" (%1)").arg(where) : QString();
        QTest::newRow(qPrintable("a disc folder named like the work folder" + on))
            << where << "A" << "" << QStringList{"A/.tessavel-temp/x=1", "A/f=new"}
            << QStringList{"A/f=old", "A/own=o"}
            << QStringList{"A/", "A/.tessavel-temp/", "A/.tessavel-temp/x=1", "A/f=new", "A/own=o"}
            << QStringList{};
        QTest::newRow(qPrintable("the user's file named like the work folder stays" + on))
            << where << "A" << "" << QStringList{"A/f=new"}
            << QStringList{"A/.tessavel-temp=mine", "A/f=old"}
            << QStringList{"A/", "A/.tessavel-temp=mine", "A/f=old"} << QStringList{"A/f:Write"};
        QTest::newRow(qPrintable("the user's link named like the work folder stays" + on))
            << where << "A" << "" << QStringList{"A/f=new"}
            << QStringList{"A/.tessavel-temp->../mine", "A/f=old", "mine/.part-abcdefghijklmnop=mine"}
            << QStringList{"A/", "A/.tessavel-temp->../mine", "A/f=old", "mine/", "mine/.part-abcdefghijklmnop=mine"}
            << QStringList{"A/f:Write"};
    }

    // Links on the disc are neither made in the target nor followed.
    QTest::newRow("link to an outside folder beside a folder of its name in another case")
        << "" << "A" << "D" << QStringList{"A/Evil->../../outside", "A/evil/x=1", "A/f=1"}
        << QStringList{"D/", "outside/mine=m"}
        << QStringList{"D/", "D/A/", "D/A/evil/", "D/A/evil/x=1", "D/A/f=1", "outside/",
                       "outside/mine=m"}
        << QStringList{"disc/A/Evil:Link"};
    QTest::newRow("relative link up and out, and links to files")
        << "" << "A" << "" << QStringList{"A/up->../../../../..", "A/S/pw->/etc/passwd", "A/S/g=2"}
        << QStringList{} << QStringList{"A/", "A/S/", "A/S/g=2"}
        << QStringList{"disc/A/S/pw:Link", "disc/A/up:Link"};
    QTest::newRow("link given as the source")
        << "" << "L" << "D" << QStringList{"L->A", "A/f=1"} << QStringList{"D/"}
        << QStringList{"D/"} << QStringList{"disc/L:Link"};
    QTest::newRow("the user's link in the target is followed")
        << "" << "A" << "" << QStringList{"A/S/g=2"} << QStringList{"A/S->../elsewhere", "elsewhere/"}
        << QStringList{"A/", "A/S->../elsewhere", "elsewhere/", "elsewhere/g=2"} << QStringList{};
    QTest::newRow("the user's link to a folder where the disc has a file stays, as a folder does")
        << "" << "A" << "" << QStringList{"A/S=file"} << QStringList{"A/S->../elsewhere", "elsewhere/mine=m"}
        << QStringList{"A/", "A/S->../elsewhere", "elsewhere/", "elsewhere/mine=m"} << QStringList{"A/S:Write"};

    QTest::newRow("unreadable source folder listed, nothing made for it, the rest copied")
        << "user" << "A" << "" << QStringList{"A/a1=1", "A/S/g=2", "A/S/@000", "A/c3=3"}
        << QStringList{} << QStringList{"A/", "A/a1=1", "A/c3=3"} << QStringList{"disc/A/S:Read"};

    QTest::newRow("hidden files left out, the target's stay as they are")
        << "" << "A" << "" << QStringList{"A/.h=new", "A/.n=new", "A/f=1"}
        << QStringList{"A/.h=old@444"} << QStringList{"A/", "A/.h=old@444", "A/f=1"}
        << QStringList{};
    QTest::newRow("hidden file alone touches not even a read-only folder")
        << "" << "A" << "" << QStringList{"A/.h=new"} << QStringList{"A/@555", "A/.h=old"}
        << QStringList{"A/@555", "A/.h=old"} << QStringList{};
    QTest::newRow("hidden folder created and walked")
        << "" << "A" << "" << QStringList{"A/.d/g=2", "A/.d/.h=3", "A/.d/E/"} << QStringList{}
        << QStringList{"A/", "A/.d/", "A/.d/g=2", "A/.d/E/"} << QStringList{};
    QTest::newRow("hidden file given as the source")
        << "" << ".h" << "" << QStringList{".h=new"} << QStringList{".h=old@444"}
        << QStringList{".h=old@444"} << QStringList{};

    QTest::newRow("file given as the source goes straight into the folder")
        << "" << "f" << "D" << QStringList{"f=new"} << QStringList{"D/f=old", "f=mine"}
        << QStringList{"D/", "D/f=new", "f=mine"} << QStringList{};
    QTest::newRow("missing source changes nothing and is listed")
        << "" << "nope" << "D" << QStringList{} << QStringList{"D/@555", "D/x=mine"}
        << QStringList{"D/@555", "D/x=mine"} << QStringList{"disc/nope:Missing"};

    QTest::newRow("file in the way of a folder: listed once, nothing below tried")
        << "" << "A" << "" << QStringList{"A/S/g=2", "A/S/T/h=3", "A/f=1"}
        << QStringList{"A/S=mine"} << QStringList{"A/", "A/S=mine", "A/f=1"}
        << QStringList{"A/S:Write"};
    QTest::newRow("file in the way of the source folder itself")
        << "" << "A" << "" << QStringList{"A/f=1"} << QStringList{"A=mine"}
        << QStringList{"A=mine"} << QStringList{"A:Write"};
    QTest::newRow("folder in the way of a file: it stays, the copy goes on")
        << "" << "A" << "" << QStringList{"A/f=1", "A/g=2"} << QStringList{"A/f/in=mine"}
        << QStringList{"A/", "A/f/", "A/f/in=mine", "A/g=2"} << QStringList{"A/f:Write"};

    QTest::newRow("unreadable source file listed, old target file kept, the rest copied")
        << "user" << "A" << "" << QStringList{"A/a1=1", "A/b2=secret@000", "A/c3=3"}
        << QStringList{"A/b2=old"} << QStringList{"A/", "A/a1=1", "A/b2=old", "A/c3=3"}
        << QStringList{"disc/A/b2:Read"};

    // The old file survives, no part of a copy is left, later files still fit,
    // a replaced one too.
    const QStringList big = {"A/a_big=*262144", "A/b_small=small", "A/c_big=*262144",
                             "A/d_small=tiny"};
    const QStringList afterFull = {"A/", "A/a_big=old", "A/b_small=small", "A/d_small=tiny"};
    const QStringList fullFailures = {"A/a_big:Write", "A/c_big:Write"};
    // Without unnamed files a failed copy's temporary file goes too.
    for (const QString named : {"", "+named"}) {
        QTest::newRow(qPrintable("file size limit reached" + named))
            << "fsize" + named << "A" << "" << big << QStringList{"A/a_big=old", "A/b_small=old"}
            << afterFull << fullFailures;
        QTest::newRow(qPrintable("target file system full" + named))
            << "tmpfs" + named << "A" << "" << big << QStringList{"A/a_big=old", "A/b_small=old"}
            << afterFull << fullFailures;
    }
}

void TestCopy::merge()
{
    QFETCH(QString, mode);
    QFETCH(QString, item);
    QFETCH(QString, dest);
    QFETCH(QStringList, source);
    QFETCH(QStringList, target);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, failed);
    TestPlatform platform;
    fixture::TempDir src, tgt;
    QVERIFY(src.isValid() && tgt.isValid());
    const fs::path srcRoot = src.path().toStdString();
    make(srcRoot, source);
    // An ordinary user must reach the source.
    fs::permissions(srcRoot, fs::perms(0755));
    const QStringList sourceBefore = snapshot(srcRoot);

    const Job job{srcRoot, tgt.path().toStdString(), item, dest, target};
    Outcome out;
    if (mode.isEmpty()) {
        make(job.target, target);
        out = copy(job);
    } else {
        out = copyInChild(job, mode);
        std::error_code ec;
        fs::remove(imageFor(job), ec);
    }
    if (!out.skip.isEmpty())
        QSKIP(qPrintable(out.skip));
    QVERIFY2(out.error.isEmpty(), qPrintable(out.error));

    expected.sort();
    QCOMPARE(out.tree, expected);
    QCOMPARE(out.failures, failed);
    QCOMPARE(snapshot(srcRoot), sourceBefore);
}

void TestCopy::linkListedOncePerList_data()
{
    // Each step copies the disc's folder A into the target, or ("clear")
    // clears the list as an install does when it begins.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("failed");
    QTest::newRow("copied twice into one list: the link listed once")
        << QStringList{"copy", "copy"} << QStringList{"A/f:Write", "disc/A/l:Link", "A/f:Write"};
    QTest::newRow("the list cleared between two installs: the link listed again")
        << QStringList{"copy", "clear", "copy"} << QStringList{"A/f:Write", "disc/A/l:Link"};
    QTest::newRow("cleared twice, the second time while empty")
        << QStringList{"copy", "clear", "clear", "copy"} << QStringList{"A/f:Write", "disc/A/l:Link"};
}

// A link is listed once however often it is met, but every install lists it
// anew: clearing the list forgets the links it held.
void TestCopy::linkListedOncePerList()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, failed);
    TestPlatform platform;
    fixture::TempDir src, tgt;
    const fs::path s = src.path().toStdString(), t = tgt.path().toStdString();
    // A folder of the user's where the disc has the file f: listed at every copy.
    make(s, {"A/f=1", "A/l->f"});
    make(t, {"A/f/in=mine"});
    for (const QString& step : steps) {
        if (step == "clear")
            Modul1::kopierfehler.clear();
        else
            Modul1::CopyFileOrFolder(vela::New<vela::FolderItem>(s / "A"), vela::New<vela::FolderItem>(t));
    }
    QCOMPARE(failures(t, s), failed);
}

void TestCopy::replacesFileInOneStep_data()
{
    QTest::addColumn<bool>("unnamed");  // whether the file system offers unnamed files
    QTest::newRow("unnamed files") << true;
    QTest::newRow("temporary names (no unnamed files)") << false;
}

// The new file is written beside the old one and renamed over it: a second
// name for the old file still shows the old data (nothing was written into
// it), and the name never stood without a file (no removal before the new
// file took its place).
void TestCopy::replacesFileInOneStep()
{
    QFETCH(bool, unnamed);
    TestPlatform platform;
    fixture::TempDir src, tgt;
    const fs::path s = src.path().toStdString(), t = tgt.path().toStdString();
    make(s, {"A/f=new data"});
    make(t, {"A/f=old"});
    fs::create_hard_link(t / "A/f", t / "keep");
    warten();  // made here, so the child only sets its label
    QCoreApplication::processEvents();
    child::Options without;
    if (!unnamed)
        without.setUp = faults::without(faults::Missing::UnnamedFiles);
    const child::Ended end = child::run([&](child::Report& out) {
        std::string report;
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (watch < 0 ||
            ::inotify_add_watch(watch, (t / "A").c_str(), IN_CREATE | IN_DELETE | IN_MOVED_TO) < 0)
            report = "E inotify: " + std::string(std::strerror(errno));
        else {
            Modul1::kopierfehler.clear();
            Modul1::CopyFileOrFolder(vela::New<vela::FolderItem>(s / "A"), vela::New<vela::FolderItem>(t));
            for (const auto& f : failures(t, s))
                report += "failed " + f.toStdString() + ";";
            alignas(inotify_event) char buffer[8192];
            for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;)
                for (ssize_t at = 0; at < n;) {
                    const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                    at += ssize_t(sizeof(inotify_event) + e->len);
                    if (e->len && std::string(e->name) == "f")
                        report += e->mask & IN_DELETE ? "f removed;" : e->mask & IN_CREATE ? "f made;"
                                                                                           : "f renamed over;";
                }
        }
        out.write(report);
        return 0;
    }, without);
    if (!end.skipped.empty())
        QSKIP(end.skipped.c_str());
    QVERIFY2(end.exitedWith(0), qPrintable(QString("child %1").arg(QString::fromStdString(end.describe()))));
    const std::string& report = end.output;
    QCOMPARE(QString::fromStdString(report), QString("f renamed over;"));
    QCOMPARE(snapshot(t), (QStringList{"A/", "A/f=new data", "keep=old"}));
}

void TestCopy::nilItemThrows_data()
{
    QTest::addColumn<bool>("nilSource");
    QTest::addColumn<bool>("nilDestination");
    QTest::newRow("source") << true << false;
    QTest::newRow("destination") << false << true;
}

void TestCopy::nilItemThrows()
{
    QFETCH(bool, nilSource);
    QFETCH(bool, nilDestination);
    TestPlatform platform;
    fixture::TempDir src, tgt;
    const fs::path s = src.path().toStdString(), t = tgt.path().toStdString();
    make(s, {"A/f=new"});
    make(t, {"A/f=old"});
    vela::Ref<vela::FolderItem> quelle, ziel;
    if (!nilSource)
        quelle = vela::New<vela::FolderItem>(s / "A");
    if (!nilDestination)
        ziel = vela::New<vela::FolderItem>(t);
    QVERIFY_THROWS_EXCEPTION(vela::NilObjectException, Modul1::CopyFileOrFolder(quelle, ziel));
    QCOMPARE(snapshot(t), (QStringList{"A/", "A/f=old"}));
    QVERIFY(Modul1::kopierfehler.empty());
}

void TestCopy::progressLabel_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QStringList>("source");
    QTest::addColumn<QStringList>("atEachCall");  // the label at each background-task call
    QTest::addColumn<QString>("last");

    // Entries in name order: file, folder with a file, file.
    QTest::newRow("folder") << "A" << QStringList{"A/a1=1", "A/b/b1=2", "A/c1=3"}
                            << QStringList{"a1", "b1", "b1", "c1"} << "c1";
    QTest::newRow("empty folder") << "A" << QStringList{"A/"} << QStringList{} << "vorher";
    QTest::newRow("single file") << "f" << QStringList{"f=1"} << QStringList{} << "f";
    // A name from the disc cannot break the label's line; the file keeps its name.
    QTest::newRow("control characters")
        << "A" << QStringList{"A/a\nb\rc=1", "A/d\x7f\u0085" "e=2", "A/f\u2028g=3"}
        << QStringList{"a?b?c", "d??e", "f?g"} << "f?g";
}

void TestCopy::progressLabel()
{
    QFETCH(QString, item);
    QFETCH(QStringList, source);
    QFETCH(QStringList, atEachCall);
    QFETCH(QString, last);
    TestPlatform platform;
    fixture::TempDir src, tgt;
    const fs::path s = src.path().toStdString(), t = tgt.path().toStdString();
    make(s, source);
    vela::RuntimeCheckCast<vela::StaticText>(vela::RuntimeWindowControlByName(warten(), "StaticText2"))
        ->SetText("vorher");
    QStringList seen;
    platform.onBackgroundTask = [&] { seen << labelText(); };

    Modul1::CopyFileOrFolder(vela::New<vela::FolderItem>(s / item.toStdString()),
                             vela::New<vela::FolderItem>(t));
    QCOMPARE(seen, atEachCall);
    QCOMPARE(platform.BackgroundTaskCalls(), int(atEachCall.size()));
    QCOMPARE(labelText(), last);
    QVERIFY(fs::exists(t / item.toStdString()));
    for (const QString& e : source)
        QVERIFY2(fs::exists(t / QStringView(e).left(e.indexOf('=')).toString().toStdString()), qPrintable(e));
    QVERIFY(Modul1::kopierfehler.empty());
}

void TestCopy::sourceChangesDuringCopy_data()
{
    QTest::addColumn<QString>("removed");  // at the first background-task call, after a1
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("failed");

    QTest::newRow("next file vanishes")
        << "A/b2" << QStringList{"A/", "A/a1=1", "A/b/", "A/b/x=4", "A/c3=3"}
                                        << QStringList{"disc/A/b2:Missing"};
    QTest::newRow("next folder vanishes") << "A/b" << QStringList{"A/", "A/a1=1", "A/b2=2", "A/c3=3"}
                                          << QStringList{"disc/A/b:Missing"};
    QTest::newRow("copied file vanishes")
        << "A/a1" << QStringList{"A/", "A/a1=1", "A/b/", "A/b/x=4", "A/b2=2", "A/c3=3"}
        << QStringList{};
}

void TestCopy::sourceChangesDuringCopy()
{
    QFETCH(QString, removed);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, failed);
    TestPlatform platform;
    fixture::TempDir src, tgt;
    const fs::path s = src.path().toStdString(), t = tgt.path().toStdString();
    make(s, {"A/a1=1", "A/b/x=4", "A/b2=2", "A/c3=3"});
    platform.onBackgroundTask = [&, calls = 0]() mutable {
        if (++calls == 1)
            fs::remove_all(s / removed.toStdString());
    };
    Modul1::CopyFileOrFolder(vela::New<vela::FolderItem>(s / "A"), vela::New<vela::FolderItem>(t));
    expected.sort();
    QCOMPARE(snapshot(t), expected);
    QCOMPARE(failures(t, s), failed);
}

void TestCopy::killedCopyLeavesNoPart_data()
{
    QTest::addColumn<bool>("unnamed");  // whether the file system offers unnamed files
    QTest::newRow("unnamed files") << true;
    QTest::newRow("temporary names (no unnamed files)") << false;
}

// The program is killed at many points of a copy of big files (a crash, a
// logout): every target file is then the old one, the disc's whole file or
// absent, and nothing else is there but what a later run removes.
void TestCopy::killedCopyLeavesNoPart()
{
    QFETCH(bool, unnamed);
    // In memory where it can be, so the kills land all over the copy and not
    // in a disk's write-back.
    fixture::TempDir src, tgt(QFileInfo("/dev/shm").isWritable() ? "/dev/shm/tst_copy-XXXXXX"
                                                                  : QDir::tempPath() + "/tst_copy-XXXXXX");
    QVERIFY(src.isValid() && tgt.isValid());
    const fs::path s = src.path().toStdString(), t = tgt.path().toStdString();
    QStringList disc;
    for (int i = 0; i < 6; ++i)
        disc << QString("A/big%1=*%2").arg(i).arg((8 << 20) + i);
    for (int i = 0; i < 3; ++i)
        disc << QString("A/S/mid%1=*%2").arg(i).arg((2 << 20) + i);
    for (int i = 0; i < 20; ++i)
        disc << QString("A/S/small%1=%1").arg(i, 2, 10, QChar('0'));
    make(s, disc);
    const QStringList old = {"A/big1=old one", "A/big4=old four@444", "A/S/mid2=old mid", "A/own=mine"};

    std::map<std::string, std::string> whole, before;  // path -> content
    for (const QString& line : disc)
        whole[parse(line).path] = parse(line).content;
    for (const QString& line : old)
        before[parse(line).path] = parse(line).content;

    warten();  // made here, so the child only sets its label
    QCoreApplication::processEvents();
    auto run = [&](std::chrono::microseconds killAfter) {
        child::Options options;
        if (!unnamed)
            options.setUp = faults::without(faults::Missing::UnnamedFiles);
        options.during = [&](child::Running& copying) {
            if (killAfter.count() > 0) {
                std::this_thread::sleep_for(killAfter);
                copying.kill(SIGKILL);
            }
        };
        return child::run([&](child::Report&) {
            Modul1::CopyFileOrFolder(vela::New<vela::FolderItem>(s / "A"), vela::New<vela::FolderItem>(t));
            return Modul1::kopierfehler.empty() ? 0 : 1;
        }, options).status;
    };
    auto reset = [&] {
        fs::permissions(t, fs::perms::owner_all, fs::perm_options::add);
        for (const auto& e : fs::directory_iterator(t))
            fs::remove_all(e.path());
        make(t, old);
    };

    // How long a whole copy takes, to spread the kills over it.
    reset();
    auto started = std::chrono::steady_clock::now();
    const int fullStatus = run(std::chrono::microseconds(0));
    QVERIFY2(WIFEXITED(fullStatus) && WEXITSTATUS(fullStatus) == 0, "the copy itself fails");
    const auto full = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);

    // Kills spread over that time; one that comes after the end shortens the
    // rest, as a loaded machine makes single runs vary.
    const int kills = 20;
    int killedMidway = 0;
    double scale = 1.0;
    for (int k = 0; killedMidway < kills && k < 4 * kills; ++k) {
        reset();
        const int status = run(std::chrono::microseconds(
            qint64(double(full.count()) * scale * (2 * (k % kills) + 1) / (2 * kills))));
        if (WIFSIGNALED(status))
            ++killedMidway;
        else
            scale *= 0.8;
        for (auto it = fs::recursive_directory_iterator(t); it != fs::recursive_directory_iterator(); ++it) {
            const std::string path = it->path().lexically_relative(t).string();
            const QString where = QString("kill %1: %2").arg(k).arg(QString::fromStdString(path));
            if (it->is_directory()) {
                QVERIFY2(path == "A" || path == "A/S" || path == "A/.tessavel-temp" ||
                             path == "A/S/.tessavel-temp",
                         qPrintable(where));
                continue;
            }
            const std::string content = readAll(it->path());
            if (it->path().parent_path().filename() == ".tessavel-temp") {
                // Killed with a copy under a temporary name: without unnamed
                // files while it was written; with them only in the moment
                // between its naming and its taking the old file's place,
                // when it is whole. A later run removes it either way.
                const std::string folder = it->path().parent_path().parent_path().lexically_relative(t).string();
                bool ofThatFolder = false;
                for (const auto& [of, data] : whole)
                    if (fs::path(of).parent_path() == folder &&
                        (unnamed ? content == data && before.count(of) : data.compare(0, content.size(), content) == 0))
                        ofThatFolder = true;
                QVERIFY2(ofThatFolder, qPrintable(where));
                continue;
            }
            QVERIFY2(whole.count(path) || before.count(path), qPrintable("left behind: " + where));
            const bool isWhole = whole.count(path) && content == whole[path];
            const bool isOld = before.count(path) && content == before[path];
            QVERIFY2(isWhole || isOld, qPrintable(where + " is neither old nor whole"));
        }
    }
    // The kills must have met the copy under way, or nothing was tested.
    QVERIFY2(killedMidway == kills, qPrintable(QString::number(killedMidway)));

    // A run after the last kill completes the install and leaves nothing of ours.
    const int lastStatus = run(std::chrono::microseconds(0));
    QVERIFY(WIFEXITED(lastStatus) && WEXITSTATUS(lastStatus) == 0);
    QStringList expected = disc;
    expected << "A/" << "A/S/" << "A/own=mine";
    expected.sort();
    QCOMPARE(snapshot(t), expected);
}

void TestCopy::bigFileLetsEventsThrough_data()
{
    QTest::addColumn<bool>("endRequested");
    QTest::newRow("copied whole") << false;
    QTest::newRow("program asked to end") << true;
}

// A big file goes in pieces with event rounds between them: the windows are
// repainted meanwhile, the file is not there before it is whole, and a
// request to end the program stops the copy within the file.
void TestCopy::bigFileLetsEventsThrough()
{
    QFETCH(bool, endRequested);
    TestPlatform platform;
    fixture::TempDir src, tgt(QFileInfo("/dev/shm").isWritable() ? "/dev/shm/tst_copy-XXXXXX"
                                                                  : QDir::tempPath() + "/tst_copy-XXXXXX");
    const fs::path s = src.path().toStdString(), t = tgt.path().toStdString();
    const off_t size = off_t(768) << 20;
    {
        // Sparse, so the source costs no room; holes need not be kept.
        std::ofstream out(s / "big.dsf", std::ios::binary);
        out.seekp(size - 1);
        out.put('x');
    }
    int rounds = 0;
    bool sawFile = false;
    QTimer during;  // fires at every event round
    QObject::connect(&during, &QTimer::timeout, [&] {
        ++rounds;
        sawFile = sawFile || fs::exists(t / "big.dsf");
        if (endRequested) {
            during.stop();
            vela::Quit(0);
        }
    });
    during.start(0);
    Modul1::CopyFileOrFolder(vela::New<vela::FolderItem>(s / "big.dsf"), vela::New<vela::FolderItem>(t));
    QVERIFY(rounds >= 1);
    QVERIFY2(!sawFile, "the file was there before it was whole");
    QVERIFY(Modul1::kopierfehler.empty());
    if (endRequested) {
        QCOMPARE(rounds, 1);
        QCOMPARE(snapshot(t), QStringList{});
    } else {
        QCOMPARE(qint64(fs::file_size(t / "big.dsf")), qint64(size));
    }
}

// A file that ends before the size it had when opened (cut short while it
// was copied, or a damaged disc whose file system learns its end only when
// reading it) is no whole copy: it is listed, and the old file stays.
void TestCopy::fileCutShortIsNoCopy()
{
    TestPlatform platform;
    fixture::TempDir src, tgt;
    const fs::path s = src.path().toStdString(), t = tgt.path().toStdString();
    make(s, {QString("big.dsf=*%1").arg(16 << 20)});
    make(t, {"big.dsf=old"});
    bool cut = false;
    QTimer during;  // fires at the first event round within the file
    QObject::connect(&during, &QTimer::timeout, [&] {
        during.stop();
        cut = ::truncate((s / "big.dsf").c_str(), 3 << 20) == 0;
    });
    during.start(0);
    Modul1::CopyFileOrFolder(vela::New<vela::FolderItem>(s / "big.dsf"), vela::New<vela::FolderItem>(t));
    QVERIFY(cut);
    QCOMPARE(snapshot(t), QStringList{"big.dsf=old"});
    QCOMPARE(failures(t, s), QStringList{"disc/big.dsf:Read"});
}

// A target folder removed while a file is written into it takes that file,
// and only that file: the copies after it still appear only whole, with no
// temporary name on the way.
void TestCopy::folderGoneKeepsUnnamedFiles()
{
    fixture::TempDir src, tgt(QFileInfo("/dev/shm").isWritable() ? "/dev/shm/tst_copy-XXXXXX"
                                                                  : QDir::tempPath() + "/tst_copy-XXXXXX");
    const fs::path s = src.path().toStdString(), t = tgt.path().toStdString();
    make(s, {"A/gone/", "A/later/"});
    const off_t size = off_t(256) << 20;
    for (const char* name : {"A/gone/big1", "A/later/big2"}) {
        // Sparse, so the source costs no room; long enough for event rounds.
        std::ofstream out(s / name, std::ios::binary);
        out.seekp(size - 1);
        out.put('x');
    }
    warten();  // made here, so the child only sets its label
    QCoreApplication::processEvents();
    // In a child: what the copy learns about the system lasts for its process.
    const child::Ended end = child::run([&](child::Report&) {
        bool removed = false, sawTemporary = false;
        QTimer during;  // fires at every event round
        QObject::connect(&during, &QTimer::timeout, [&] {
            std::error_code ec;
            if (!removed && fs::is_directory(t / "A/gone"))
                removed = fs::remove(t / "A/gone", ec);
            for (const auto& e : fs::directory_iterator(t / "A/later", ec))
                sawTemporary = sawTemporary || e.path().filename().string().front() == '.';
        });
        during.start(0);
        Modul1::kopierfehler.clear();
        Modul1::CopyFileOrFolder(vela::New<vela::FolderItem>(s / "A"), vela::New<vela::FolderItem>(t));
        const bool failedThere = failures(t, s) == QStringList{"A/gone/big1:Write"};
        std::error_code ec;
        const bool copiedLater = fs::file_size(t / "A/later/big2", ec) == std::uintmax_t(size);
        return (removed ? 0 : 1) | (failedThere ? 0 : 2) | (copiedLater ? 0 : 4) | (sawTemporary ? 8 : 0);
    });
    QVERIFY2(WIFEXITED(end.status), qPrintable(QString("child ended with %1").arg(QString::fromStdString(end.describe()))));
    const int got = WEXITSTATUS(end.status);
    QVERIFY2(!(got & 1), "the folder was not removed during the copy");
    QVERIFY2(!(got & 2), "the file of the removed folder was not listed as not written");
    QVERIFY2(!(got & 4), "the later file was not copied");
    QVERIFY2(!(got & 8), "the later file was written under a temporary name");
}

// Two installers at once on a drive without unnamed files: the second one's
// clean-up of what killed runs left takes neither the file the first one is
// writing nor one that a third holds, only what nobody holds.
void TestCopy::cleanupLeavesWhatAnotherCopyWrites()
{
    fixture::TempDir src, tgt;
    const fs::path s = src.path().toStdString(), t = tgt.path().toStdString();
    make(s, {QString("first/A/big=*%1").arg(16 << 20), "second/A/small=1"});
    make(t, {"A/.tessavel-temp/.part-leftover00000000=killed", "A/.tessavel-temp/.part-held000000000000=held",
             "A/mine=m"});
    const int held = ::open((t / "A/.tessavel-temp/.part-held000000000000").c_str(), O_RDONLY | O_CLOEXEC);
    QVERIFY(held >= 0 && ::flock(held, LOCK_EX | LOCK_NB) == 0);
    const int status = inChildWithoutUnnamedFiles([&] {
        bool second = false;
        QTimer during;  // fires at the first event round within the big file
        QObject::connect(&during, &QTimer::timeout, [&] {
            during.stop();
            second = true;
            Modul1::CopyFileOrFolder(vela::New<vela::FolderItem>(s / "second/A"),
                                     vela::New<vela::FolderItem>(t));
        });
        during.start(0);
        Modul1::kopierfehler.clear();
        Modul1::CopyFileOrFolder(vela::New<vela::FolderItem>(s / "first/A"), vela::New<vela::FolderItem>(t));
        return second && Modul1::kopierfehler.empty() ? 0 : 1;
    });
    ::close(held);
    QVERIFY2(WIFEXITED(status), qPrintable(QString("child ended with status %1").arg(status)));
    if (WEXITSTATUS(status) == 77)
        QSKIP("no seccomp filter here");
    QVERIFY2(WEXITSTATUS(status) == 0, "a copy failed, or the second one never ran");
    QCOMPARE(snapshot(t), (QStringList{"A/", "A/.tessavel-temp/", "A/.tessavel-temp/.part-held000000000000=held",
                                       QString("A/big=*%1").arg(16 << 20), "A/mine=m", "A/small=1"}));
}

// Installed with sudo into the user's folder and killed: what that run left
// in its work folder is the user's to clear, and the user's own next run
// replaces the files there as it would without it.
void TestCopy::killedRootRunLeavesNothingTheUserCannotClear()
{
    if (::geteuid() != 0)
        QSKIP("only root can install into another user's folder");
    fixture::TempDir src, tgt;
    const fs::path s = src.path().toStdString(), t = tgt.path().toStdString();
    make(s, {QString("A/big=*%1").arg(16 << 20), "A/f=new"});
    make(t, {"A/f=old"});
    for (const fs::path& p : {t, t / "A", t / "A/f"})
        QVERIFY(::chown(p.c_str(), child::nobody, child::nobody) == 0);
    fs::permissions(s, fs::perms(0755));
    // Root's run, killed while it writes the big file under a temporary name.
    const int killed = inChildWithoutUnnamedFiles([&] {
        QTimer during;
        QObject::connect(&during, &QTimer::timeout, [&] {
            struct stat st;
            if (::stat((t / "A/.tessavel-temp").c_str(), &st) == 0 && st.st_uid == child::nobody)
                ::kill(::getpid(), SIGKILL);
            ::_exit(1);
        });
        during.start(0);
        Modul1::CopyFileOrFolder(vela::New<vela::FolderItem>(s / "A"), vela::New<vela::FolderItem>(t));
        return 2;
    });
    if (WIFEXITED(killed) && WEXITSTATUS(killed) == 77)
        QSKIP("no seccomp filter here");
    QVERIFY2(WIFSIGNALED(killed), "the work folder was not handed to the folder's owner");
    QVERIFY(fs::exists(t / "A/.tessavel-temp"));
    // The user's run.
    const int status = inChildWithoutUnnamedFiles([&] {
        if (!child::becomeNobody().empty())
            return 3;
        Modul1::kopierfehler.clear();
        Modul1::CopyFileOrFolder(vela::New<vela::FolderItem>(s / "A"), vela::New<vela::FolderItem>(t));
        return Modul1::kopierfehler.empty() ? 0 : 4;
    });
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, qPrintable(QString("status %1").arg(status)));
    QCOMPARE(snapshot(t), (QStringList{"A/", QString("A/big=*%1").arg(16 << 20), "A/f=new"}));
}

QTEST_MAIN(TestCopy)
#include "tst_copy.moc"

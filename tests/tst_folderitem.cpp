// The file layer: folder items, copying, and the list of mounted volumes.
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "child.h"
#include "faults.h"
#include "fixture.h"
#include "vela/folderitem.h"
#include "vela/platform.h"
#include "vela/testplatform.h"

namespace fs = std::filesystem;
using vela::FileError;
using vela::FolderItem;
using vela::New;
using vela::Ref;

namespace {

fs::path rootOf(const QTemporaryDir& dir) { return fs::path(dir.path().toStdString()); }

QByteArray pattern(int size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator gen(seed);
    for (char& c : data)
        c = char(gen.generate() & 0xff);
    return data;
}

void writeFile(const fs::path& path, const QByteArray& data, mode_t mode = 0644)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.constData(), data.size());
    out.close();
    QVERIFY2(out, path.c_str());
    QCOMPARE(::chmod(path.c_str(), mode), 0);
}

QByteArray readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return QByteArray(s.data(), qsizetype(s.size()));
}

mode_t modeOf(const fs::path& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : mode_t(-1);
}

// Names in a folder, sorted; the place to spot a copy's leftovers.
QStringList entriesOf(const fs::path& dir)
{
    QStringList names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        names << QString::fromStdString(e.path().filename().string());
    names.sort();
    return names;
}

bool tempLeft(const fs::path& dir)
{
    const QStringList names = entriesOf(dir);
    return std::any_of(names.begin(), names.end(),
                       [](const QString& n) { return n.contains(".tessavel-"); });
}

Ref<FolderItem> item(const fs::path& path) { return New<FolderItem>(path); }

// What a child process saw of a copy that ran under a limit the test process
// must not share.
struct ChildReport {
    bool reported = false;
    bool skipped = false;
    bool ok = false;
    FileError error = FileError::None;
    bool targetExists = false;
    bool oldIntact = false;
    bool tempLeft = false;
    int entries = -1;
    char note[256] = {};
};

// The child first runs setUp, if any (child::Options::setUp): when that
// cannot be done, the report is "skipped", with why as its note.
template <class F>
ChildReport runInChild(F&& body, std::function<std::string()> setUp = {})
{
    child::Options options;
    options.setUp = std::move(setUp);
    const child::Ended end = child::run([&](child::Report& out) {
        ChildReport r;
        r.reported = true;
        body(r);
        out.write(&r, sizeof r);
        return 0;
    }, options);
    ChildReport r;
    if (!end.skipped.empty()) {
        r.reported = r.skipped = true;
        std::snprintf(r.note, sizeof r.note, "%s", end.skipped.c_str());
    } else if (end.output.size() == sizeof r) {
        std::memcpy(&r, end.output.data(), sizeof r);
    } else {
        std::snprintf(r.note, sizeof r.note, "child gave no report, %s", end.describe().c_str());
    }
    return r;
}

} // namespace

class TestFolderItem : public QObject {
    Q_OBJECT

private slots:
    void child_data();
    void child();
    void itemsInNameOrder();
    void count_data();
    void count();
    void countFollowsChanges_data();
    void countFollowsChanges();
    void locked_data();
    void locked();
    void lockMissing();
    void deleteItem_data();
    void deleteItem();
    void createAsFolder_data();
    void createAsFolder();
    void emptyItem();

    void copyFile_data();
    void copyFile();
    void copyMissingSource_data();
    void copyMissingSource();
    void copyOntoFolderOfSameName();
    void copyIntoMissingFolder();
    void symlinkIsNeitherCopiedNorFollowed_data();
    void symlinkIsNeitherCopiedNorFollowed();
    void listedLinkToFolderListsNothing();
    void unreadableFolderIsNoEmptyFolder();
    void copyToNilFolderThrows();
    void copyWhereTheSystemLacksSomething_data();
    void copyWhereTheSystemLacksSomething();
    void workFolderRemovedByAnotherCopy_data();
    void workFolderRemovedByAnotherCopy();
    void copyOnFullFileSystem_data();
    void copyOnFullFileSystem();

    void readMountTable();
    void volumesFromPlatform_data();
    void volumesFromPlatform();
};

// ---- naming and listing ----

void TestFolderItem::child_data()
{
    QTest::addColumn<QString>("parent");  // folder, missing, file
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("isNil");
    QTest::addColumn<QString>("entry");  // the name the child ends up with
    QTest::addColumn<bool>("exists");

    QTest::newRow("empty name") << "folder" << QByteArray("") << true << "" << false;
    QTest::newRow("slash inside") << "folder" << QByteArray("Airfoils/x") << true << "" << false;
    QTest::newRow("trailing slash") << "folder" << QByteArray("Airfoils/") << true << "" << false;
    QTest::newRow("slash only") << "folder" << QByteArray("/") << true << "" << false;
    QTest::newRow("dot") << "folder" << QByteArray(".") << true << "" << false;
    QTest::newRow("dot dot") << "folder" << QByteArray("..") << true << "" << false;
    QTest::newRow("NUL inside") << "folder" << QByteArray("Air\0foils", 9) << true << "" << false;

    QTest::newRow("exact folder") << "folder" << QByteArray("Airfoils") << false << "Airfoils" << true;
    QTest::newRow("exact file") << "folder" << QByteArray("readme.txt") << false << "readme.txt" << true;
    QTest::newRow("lower case") << "folder" << QByteArray("airfoils") << false << "Airfoils" << true;
    QTest::newRow("upper case") << "folder" << QByteArray("README.TXT") << false << "readme.txt" << true;
    QTest::newRow("hidden, other case") << "folder" << QByteArray(".Hidden") << false << ".hidden" << true;
    QTest::newRow("blank in name") << "folder" << QByteArray("earth NAV data") << false
                                   << "Earth nav data" << true;
    // Both spellings exist: the exact one wins.
    QTest::newRow("exact among variants 1") << "folder" << QByteArray("Mixed") << false << "Mixed" << true;
    QTest::newRow("exact among variants 2") << "folder" << QByteArray("MIXED") << false << "MIXED" << true;
    QTest::newRow("three dots is a name") << "folder" << QByteArray("...") << false << "..." << false;
    QTest::newRow("missing") << "folder" << QByteArray("Custom Scenery") << false << "Custom Scenery"
                             << false;
    QTest::newRow("prefix is no match") << "folder" << QByteArray("Airfoil") << false << "Airfoil"
                                        << false;
    QTest::newRow("in a missing folder") << "missing" << QByteArray("Airfoils") << false << "Airfoils"
                                         << false;
    QTest::newRow("below a file") << "file" << QByteArray("Airfoils") << false << "Airfoils" << false;
}

void TestFolderItem::child()
{
    QFETCH(QString, parent);
    QFETCH(QByteArray, name);
    QFETCH(bool, isNil);
    QFETCH(QString, entry);
    QFETCH(bool, exists);

    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = rootOf(tmp);
    fixture::make(root, {"Airfoils/", "Earth nav data/", "readme.txt=r", ".hidden=h", "Mixed=m", "MIXED=M"});

    fs::path base = root;
    if (parent == "missing")
        base = root / "nothing here";
    else if (parent == "file")
        base = root / "readme.txt";

    const std::string sought(name.constData(), std::size_t(name.size()));
    Ref<FolderItem> c = FolderItem(base).Child(sought);
    QCOMPARE(c.IsNil(), isNil);
    if (isNil)
        return;
    QCOMPARE(QString::fromStdString(c->Name()), entry);
    QCOMPARE(c->AbsolutePath(), (base / entry.toStdString()).string());
    QCOMPARE(c->Exists(), exists);
}

void TestFolderItem::itemsInNameOrder()
{
    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = rootOf(tmp);
    fixture::make(root, {"b.dat=b", "a2=x", "c dir/", "a=a"});

    FolderItem folder(root);
    QCOMPARE(folder.Count(), 4);
    const QStringList expected{"a", "a2", "b.dat", "c dir"};
    for (int i = 1; i <= 4; ++i) {
        auto e = folder.Item(i);
        QVERIFY(e);
        QCOMPARE(QString::fromStdString(e->Name()), expected[i - 1]);
        QCOMPARE(e->AbsolutePath(), (root / expected[i - 1].toStdString()).string());
    }
    QVERIFY(folder.Item(4)->Directory());
    for (int outside : {0, -1, 5, 1000})
        QVERIFY2(folder.Item(outside).IsNil(), qPrintable(QString::number(outside)));

    // All at once: the same order; each item stands on its own and outlives the list.
    Ref<FolderItem> kept;
    {
        auto entries = folder.Entries();
        QCOMPARE(int(entries.size()), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(QString::fromStdString(entries[i]->Name()), expected[i]);
            QCOMPARE(entries[i]->AbsolutePath(), (root / expected[i].toStdString()).string());
            QCOMPARE(entries[i]->ListedAsFolder(), i == 3);
        }
        QVERIFY(!entries[0]->CopyFileTo(New<FolderItem>((root / "missing").string())));
        QCOMPARE(entries[1]->LastError(), FileError::None);
        kept = entries[2];
    }
    const fs::path into = root / "c dir";
    QVERIFY(kept->CopyFileTo(New<FolderItem>(into.string())));
    QCOMPARE(readFile(into / "b.dat"), QByteArray("b"));
    // One never asked for its path before its list went.
    Ref<FolderItem> untouched = folder.Entries()[1];
    QVERIFY(untouched->CopyFileTo(New<FolderItem>(into.string())));
    QCOMPARE(readFile(into / "a2"), QByteArray("x"));
    QCOMPARE(untouched->AbsolutePath(), (root / "a2").string());
    QVERIFY(FolderItem((root / "missing").string()).Entries().empty());
}

void TestFolderItem::count_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("count");
    QTest::newRow("missing") << "missing" << 0;
    QTest::newRow("file") << "file" << 0;
    QTest::newRow("empty folder") << "empty" << 0;
    QTest::newRow("folder with hidden entries") << "hidden" << 2;
}

void TestFolderItem::count()
{
    QFETCH(QString, kind);
    QFETCH(int, count);
    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = rootOf(tmp);
    const fs::path p = root / "x";
    if (kind == "file") {
        writeFile(p, "data");
    } else if (kind == "empty") {
        fs::create_directory(p);
    } else if (kind == "hidden") {
        fs::create_directory(p);
        writeFile(p / ".DS_Store", "");
        fs::create_directory(p / ".git");
    }
    FolderItem f(p);
    QCOMPARE(f.Count(), count);
    QCOMPARE(f.Item(1).IsNil(), count == 0);
}

// Runs the change sequence on one FolderItem; the first mismatch, or empty.
static QString followChanges(const fs::path& dir)
{
    FolderItem folder(dir);
    auto expect = [&](int count, int index, const std::string& name) -> QString {
        if (folder.Count() != count)
            return QString("Count %1, expected %2").arg(folder.Count()).arg(count);
        if (index == 0)
            return {};
        auto e = folder.Item(index);
        if (!e || e->Name() != name)
            return QString("Item(%1) is %2, expected %3")
                .arg(index)
                .arg(e ? QString::fromStdString(e->Name()) : "nil", QString::fromStdString(name));
        return {};
    };
    QString err;
#define STEP(call) \
    if (!(err = (call)).isEmpty()) \
        return QString("line %1: ").arg(__LINE__) + err;

    STEP(expect(0, 0, ""));
    fs::create_directory(dir);
    STEP(expect(0, 0, ""));
    // Quick changes in a row: each must show at the very next call, even
    // within one tick of the file system's clock.
    for (int i = 0; i < 40; ++i) {
        const std::string name = QString::asprintf("f%02d", i).toStdString();
        std::ofstream(dir / name) << "x";
        STEP(expect(i + 1, i + 1, name));
    }
    fs::create_directory(dir / "sub");
    STEP(expect(41, 41, "sub"));

    // Same count, other entry.
    fs::rename(dir / "f00", dir / "g00");
    STEP(expect(41, 1, "f01"));
    STEP(expect(41, 40, "g00"));

    for (int i = 39; i >= 1; --i) {
        fs::remove(dir / QString::asprintf("f%02d", i).toStdString());
        STEP(expect(i + 1, 1, i > 1 ? "f01" : "g00"));
    }
    STEP(expect(2, 2, "sub"));
    if (folder.Item(3))
        return "Item(3) past the end is not nil";

    // The folder itself replaced by another of the same name.
    fs::remove_all(dir);
    STEP(expect(0, 0, ""));
    fs::create_directory(dir);
    std::ofstream(dir / "neu") << "n";
    STEP(expect(1, 1, "neu"));
#undef STEP
    return {};
}

void TestFolderItem::countFollowsChanges_data()
{
    QTest::addColumn<bool>("coarseClock");
    QTest::newRow("temporary folder") << false;
    // ramfs stamps changes with the kernel's coarse clock, as many file
    // systems and older kernels do: a change in the same tick keeps the stamp.
    QTest::newRow("coarse clock (ramfs)") << true;
}

void TestFolderItem::countFollowsChanges()
{
    QFETCH(bool, coarseClock);
    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = rootOf(tmp);
    if (!coarseClock) {
        const QString err = followChanges(root / "d");
        QVERIFY2(err.isEmpty(), qPrintable(err));
        return;
    }
    fs::create_directory(root / "ram");
    ChildReport r = runInChild([&](ChildReport& rep) {
        const QString err = followChanges(root / "ram" / "d");
        rep.ok = err.isEmpty();
        std::snprintf(rep.note, sizeof rep.note, "%s", qPrintable(err));
    }, [&] { return child::mount("ramfs", root / "ram"); });
    QVERIFY2(r.reported, r.note);
    if (r.skipped)
        QSKIP(qPrintable(QString("no ramfs mount here: ") + r.note));
    QVERIFY2(r.ok, r.note);
}

// ---- locking, deleting, creating ----

void TestFolderItem::locked_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<uint>("mode");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<uint>("modeAfterUnlock");

    QTest::newRow("writable file") << false << 0644u << false << 0644u;
    QTest::newRow("read-only file") << false << 0444u << true << 0644u;
    QTest::newRow("owner read only") << false << 0400u << true << 0600u;
    QTest::newRow("no permissions") << false << 0000u << true << 0200u;
    QTest::newRow("owner write only") << false << 0200u << false << 0200u;
    // Only the owner's bit decides.
    QTest::newRow("group may write") << false << 0464u << true << 0664u;
    QTest::newRow("executable read-only") << false << 0555u << true << 0755u;
    QTest::newRow("read-only folder") << true << 0555u << true << 0755u;
    QTest::newRow("writable folder") << true << 0755u << false << 0755u;
}

void TestFolderItem::locked()
{
    QFETCH(bool, folder);
    QFETCH(uint, mode);
    QFETCH(bool, locked);
    QFETCH(uint, modeAfterUnlock);

    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path p = rootOf(tmp) / "x";
    if (folder)
        fs::create_directory(p);
    else
        writeFile(p, "data");
    QCOMPARE(::chmod(p.c_str(), mode), 0);

    FolderItem f(p);
    QCOMPARE(f.Locked(), locked);
    QVERIFY(f.SetLocked(false));
    QCOMPARE(f.LastError(), FileError::None);
    QVERIFY(!f.Locked());
    QCOMPARE(uint(modeOf(p)), modeAfterUnlock);

    QVERIFY(f.SetLocked(true));
    QVERIFY(f.Locked());
    if (!folder) {
        // Its owner may have no right to read it (0000, 0200), which only
        // root passes over: the read right given back, the content is the same.
        QCOMPARE(::chmod(p.c_str(), modeOf(p) | 0400), 0);
        QCOMPARE(readFile(p), QByteArray("data"));
    }
}

void TestFolderItem::lockMissing()
{
    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    FolderItem f(rootOf(tmp) / "gone");
    QVERIFY(!f.Locked());
    QVERIFY(!f.SetLocked(false));
    QVERIFY(f.LastError() != FileError::None);
    QVERIFY(!f.Exists());
}

void TestFolderItem::deleteItem_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("removed");

    QTest::newRow("file") << "file" << true;
    QTest::newRow("read-only file") << "read-only file" << true;
    QTest::newRow("empty folder") << "empty folder" << true;
    QTest::newRow("link to a full folder") << "link" << true;
    QTest::newRow("folder with a file") << "full folder" << false;
    QTest::newRow("folder with an empty folder") << "nested folder" << false;
    QTest::newRow("missing") << "missing" << false;
}

void TestFolderItem::deleteItem()
{
    QFETCH(QString, kind);
    QFETCH(bool, removed);

    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = rootOf(tmp);
    const fs::path p = root / "x";
    // A full folder elsewhere, for the link to point at.
    fs::create_directory(root / "keep");
    writeFile(root / "keep" / "inside", "keep me");

    if (kind == "file")
        writeFile(p, "data");
    else if (kind == "read-only file")
        writeFile(p, "data", 0444);
    else if (kind == "empty folder")
        fs::create_directory(p);
    else if (kind == "link")
        fs::create_directory_symlink(root / "keep", p);
    else if (kind == "full folder") {
        fs::create_directory(p);
        writeFile(p / "inside", "stays");
    } else if (kind == "nested folder") {
        fs::create_directory(p);
        fs::create_directory(p / "sub");
    }

    FolderItem f(p);
    QCOMPARE(f.Delete(), removed);
    if (removed) {
        QCOMPARE(f.LastError(), FileError::None);
        QVERIFY(!f.Exists());
    } else if (kind != "missing") {
        QCOMPARE(f.LastError(), FileError::Write);
        QVERIFY(f.Directory());
        QCOMPARE(entriesOf(p).size(), 1);
        if (kind == "full folder")
            QCOMPARE(readFile(p / "inside"), QByteArray("stays"));
    } else {
        QVERIFY(f.LastError() != FileError::None);
    }
    QCOMPARE(readFile(root / "keep" / "inside"), QByteArray("keep me"));
}

void TestFolderItem::createAsFolder_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("created");

    QTest::newRow("nothing there") << "nothing" << true;
    QTest::newRow("folder there") << "folder" << true;
    QTest::newRow("file there") << "file" << false;
    QTest::newRow("parent missing") << "no parent" << false;
}

void TestFolderItem::createAsFolder()
{
    QFETCH(QString, before);
    QFETCH(bool, created);

    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = rootOf(tmp);
    fs::path p = root / "Custom Scenery";
    if (before == "folder") {
        fs::create_directory(p);
        writeFile(p / "earlier", "e");
    } else if (before == "file") {
        writeFile(p, "a file");
    } else if (before == "no parent") {
        p = root / "missing" / "Custom Scenery";
    }

    FolderItem f(p);
    QCOMPARE(f.CreateAsFolder(), created);
    if (created) {
        QCOMPARE(f.LastError(), FileError::None);
        QVERIFY(f.Directory());
        if (before == "folder")
            QCOMPARE(readFile(p / "earlier"), QByteArray("e"));
    } else {
        QCOMPARE(f.LastError(), FileError::Write);
        if (before == "file")
            QCOMPARE(readFile(p), QByteArray("a file"));
        else
            QVERIFY(!f.Exists());
    }
}

void TestFolderItem::emptyItem()
{
    FolderItem f;
    QCOMPARE(f.Name(), std::string());
    QCOMPARE(f.AbsolutePath(), std::string());
    QVERIFY(!f.Exists());
    QVERIFY(!f.Directory());
    QCOMPARE(f.Count(), 0);
    QVERIFY(f.Item(1).IsNil());
    QVERIFY(!f.Locked());
}

// ---- copying ----

void TestFolderItem::copyFile_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<uint>("mode");
    QTest::addColumn<QString>("existing");  // none, larger, smaller, read-only

    QTest::newRow("empty file") << 0 << 0644u << "none";
    QTest::newRow("small file") << 5 << 0644u << "none";
    QTest::newRow("large file") << (1 << 20) + 7 << 0644u << "none";
    QTest::newRow("read-only source") << 300 << 0444u << "none";
    QTest::newRow("owner read only") << 300 << 0400u << "none";
    QTest::newRow("executable") << 300 << 0755u << "none";
    QTest::newRow("private") << 300 << 0600u << "none";
    QTest::newRow("group may write") << 300 << 0464u << "none";
    QTest::newRow("anyone may write") << 300 << 0777u << "none";
    QTest::newRow("all but the owner may read") << 300 << 0044u << "none";
    QTest::newRow("over a larger file") << 1000 << 0644u << "larger";
    QTest::newRow("over a smaller file") << 300000 << 0644u << "smaller";
    QTest::newRow("over a read-only file") << 1000 << 0644u << "read-only";
    QTest::newRow("read-only over read-only") << 1000 << 0444u << "read-only";
    QTest::newRow("empty over a file") << 0 << 0644u << "larger";
}

void TestFolderItem::copyFile()
{
    QFETCH(int, size);
    QFETCH(uint, mode);
    QFETCH(QString, existing);

    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = rootOf(tmp);
    fs::create_directory(root / "src");
    fs::create_directory(root / "dst");
    const fs::path source = root / "src" / "apt.dat";
    const fs::path target = root / "dst" / "apt.dat";
    const QByteArray data = pattern(size, 1);
    writeFile(source, data, mode);
    const struct timespec times[2] = {{1200000000, 5}, {1234567890, 123456789}};
    QCOMPARE(::utimensat(AT_FDCWD, source.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);

    if (existing == "larger")
        writeFile(target, pattern(size + 70000, 2));
    else if (existing == "smaller")
        writeFile(target, pattern(size / 3, 2));
    else if (existing == "read-only")
        writeFile(target, pattern(size + 10, 2), 0444);

    FolderItem f(source);
    if (::access(source.c_str(), R_OK) != 0) {
        // A file its owner may not read (0044) only root reads, or someone
        // else, as on a disc whose files are root's: its owner's copy fails
        // as a read and leaves the target as it was.
        const QStringList before = entriesOf(root / "dst");
        QVERIFY(!f.CopyFileTo(item(root / "dst")));
        QCOMPARE(f.LastError(), FileError::Read);
        QCOMPARE(entriesOf(root / "dst"), before);
        QCOMPARE(uint(modeOf(source)), mode);
        QSKIP("only root reads a file its owner may not read: the mode of its copy is checked as root");
    }
    QVERIFY2(f.CopyFileTo(item(root / "dst")), f.LastErrorDetail().c_str());
    QCOMPARE(f.LastError(), FileError::None);

    QCOMPARE(entriesOf(root / "dst"), QStringList{"apt.dat"});
    QVERIFY(!fs::is_symlink(target));
    QCOMPARE(readFile(target), data);
    // As for any file a program creates: the umask (022 here) applies, and
    // the owner may write, so a read-only disc leaves no read-only files.
    QCOMPARE(uint(modeOf(target)), (mode & ~0022u) | 0600u);
    struct stat st;
    QCOMPARE(::stat(target.c_str(), &st), 0);
    QCOMPARE(qint64(st.st_mtim.tv_sec), qint64(1234567890));
    QCOMPARE(qint64(st.st_mtim.tv_nsec), qint64(123456789));
    // The source is left as it was.
    QCOMPARE(readFile(source), data);
    QCOMPARE(uint(modeOf(source)), mode);
}

void TestFolderItem::copyMissingSource_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("file missing") << "src/gone.bin";
    QTest::newRow("folder above missing") << "nofolder/gone.bin";
    QTest::newRow("file where a folder should be") << "plain/gone.bin";
}

void TestFolderItem::copyMissingSource()
{
    QFETCH(QString, where);
    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = rootOf(tmp);
    fs::create_directory(root / "src");
    fs::create_directory(root / "dst");
    writeFile(root / "plain", "p");

    FolderItem f(root / where.toStdString());
    QVERIFY(!f.CopyFileTo(item(root / "dst")));
    QCOMPARE(f.LastError(), FileError::Missing);
    QCOMPARE(entriesOf(root / "dst"), QStringList{});
}

void TestFolderItem::copyOntoFolderOfSameName()
{
    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = rootOf(tmp);
    fixture::make(root, {"src/Resources=a file", "dst/Resources/inside=keep"});

    FolderItem f(root / "src" / "Resources");
    QVERIFY(!f.CopyFileTo(item(root / "dst")));
    QCOMPARE(f.LastError(), FileError::Write);
    QVERIFY(fs::is_directory(root / "dst" / "Resources"));
    QCOMPARE(entriesOf(root / "dst" / "Resources"), QStringList{"inside"});
    QCOMPARE(readFile(root / "dst" / "Resources" / "inside"), QByteArray("keep"));
    QCOMPARE(entriesOf(root / "dst"), QStringList{"Resources"});

    // A later success clears the error.
    fs::create_directory(root / "other");
    QVERIFY(f.CopyFileTo(item(root / "other")));
    QCOMPARE(f.LastError(), FileError::None);
}

void TestFolderItem::copyIntoMissingFolder()
{
    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = rootOf(tmp);
    writeFile(root / "data.bin", "d");
    FolderItem f(root / "data.bin");
    QVERIFY(!f.CopyFileTo(item(root / "not there")));
    QCOMPARE(f.LastError(), FileError::Write);
    QVERIFY(!fs::exists(root / "not there"));
}

void TestFolderItem::symlinkIsNeitherCopiedNorFollowed_data()
{
    QTest::addColumn<QString>("existing");  // none, file, link
    QTest::addColumn<bool>("listed");       // the link as an entry of its folder's listing
    QTest::newRow("new") << "none" << false;
    QTest::newRow("over a file") << "file" << false;
    QTest::newRow("over a link") << "link" << false;
    QTest::newRow("listed, new") << "none" << true;
    QTest::newRow("listed, over a file") << "file" << true;
}

void TestFolderItem::symlinkIsNeitherCopiedNorFollowed()
{
    QFETCH(QString, existing);
    QFETCH(bool, listed);
    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = rootOf(tmp);
    fs::create_directory(root / "src");
    fs::create_directory(root / "dst");
    fs::create_directory(root / "outside");
    writeFile(root / "outside" / "secret", "secret");
    fs::create_symlink("../outside/secret", root / "src" / "link");
    const fs::path target = root / "dst" / "link";
    if (existing == "file")
        writeFile(target, "old");
    else if (existing == "link")
        fs::create_symlink("old-target", target);
    const QStringList before = entriesOf(root / "dst");

    Ref<FolderItem> f = New<FolderItem>(root / "src" / "link");
    if (listed) {
        auto entries = FolderItem(root / "src").Entries();
        QCOMPARE(int(entries.size()), 1);
        f = entries[0];
        QVERIFY(f->ListedAsLink());
        QVERIFY(!f->ListedAsFolder());
    }
    QVERIFY(!f->CopyFileTo(item(root / "dst")));
    QCOMPARE(f->LastError(), FileError::Link);
    QCOMPARE(entriesOf(root / "dst"), before);
    if (existing == "file")
        QCOMPARE(readFile(target), QByteArray("old"));
    if (existing == "link")
        QCOMPARE(fs::read_symlink(target).string(), std::string("old-target"));
    QCOMPARE(readFile(root / "outside" / "secret"), QByteArray("secret"));
}

// A folder of a listing is listed in turn without going through a link in
// its place: the folder a disc's link points to is never read.
void TestFolderItem::listedLinkToFolderListsNothing()
{
    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = rootOf(tmp);
    fixture::make(root, {"disc/", "outside/secret=secret", "disc/Evil->../outside"});
    auto entries = FolderItem(root / "disc").Entries();
    QCOMPARE(int(entries.size()), 1);
    QVERIFY(entries[0]->ListedAsLink());
    QVERIFY(entries[0]->Entries().empty());
    QCOMPARE(entries[0]->LastError(), FileError::Link);
    // Asked by its path, the user's link to a folder is followed.
    QCOMPARE(int(FolderItem(root / "disc" / "Evil").Entries().size()), 1);
}

// A folder that cannot be read lists nothing and says so, where a missing
// folder or a file simply has no entries.
void TestFolderItem::unreadableFolderIsNoEmptyFolder()
{
    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = rootOf(tmp);
    QCOMPARE(::chmod(root.c_str(), 0755), 0);
    fixture::make(root, {"locked/inside.dsf=x", "locked/@000", "plain=p"});

    // Root reads any folder, so the child drops to an ordinary user.
    ChildReport r = runInChild([&](ChildReport& rep) {
        FolderItem locked(root / "locked");
        rep.entries = int(locked.Entries().size());
        rep.error = locked.LastError();
        rep.ok = locked.Count() == 0 && locked.LastError() == FileError::Read;
        FolderItem missing(root / "missing"), file(root / "plain");
        rep.oldIntact = missing.Entries().empty() && missing.LastError() == FileError::None &&
                        file.Entries().empty() && file.LastError() == FileError::None &&
                        missing.Count() == 0 && missing.LastError() == FileError::None;
    }, child::becomeNobody);
    ::chmod((root / "locked").c_str(), 0755);
    QVERIFY2(r.reported, r.note);
    if (r.skipped)
        QSKIP("cannot become an ordinary user here");
    QCOMPARE(r.entries, 0);
    QCOMPARE(r.error, FileError::Read);
    QVERIFY(r.ok);
    QVERIFY(r.oldIntact);
}

void TestFolderItem::copyWhereTheSystemLacksSomething_data()
{
    QTest::addColumn<int>("missing");  // -1 nothing, else a faults::Missing
    QTest::newRow("everything there") << -1;
    QTest::newRow("no unnamed files (FUSE, network shares)") << int(faults::Missing::UnnamedFiles);
    QTest::newRow("no right to link a descriptor") << int(faults::Missing::LinkByDescriptor);
    QTest::newRow("unnamed files cannot be named at all") << int(faults::Missing::AnyLinkOfUnnamed);
}

// Whatever way the file system offers: a new file and a replaced one arrive
// whole under their names, the old file is replaced and not written into,
// what a killed earlier run left is removed, and nothing else is left.
void TestFolderItem::copyWhereTheSystemLacksSomething()
{
    QFETCH(int, missing);
    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = rootOf(tmp);
    fs::create_directory(root / "src");
    fs::create_directory(root / "dst");
    const QByteArray fresh = pattern(300000, 3), newer = pattern(5000, 4);
    writeFile(root / "src" / "new.dat", fresh, 0444);
    writeFile(root / "src" / "old.dat", newer);
    writeFile(root / "dst" / "old.dat", "old");
    fs::create_hard_link(root / "dst" / "old.dat", root / "dst" / "keep");
    fs::create_directory(root / "dst" / ".tessavel-temp");
    writeFile(root / "dst" / ".tessavel-temp" / ".part-abcdefgh12345678", "left by a killed run");
    // The user's, whatever they look like.
    writeFile(root / "dst" / ".old.dat.tessavel-abcd1234", "the user's");
    writeFile(root / "dst" / ".old.dat.tessavel-x", "the user's");
    writeFile(root / "dst" / ".notes", "the user's");
    writeFile(root / "src" / "Linked", "a file");
    fs::create_directory(root / "elsewhere");
    fs::create_directory_symlink("../elsewhere", root / "dst" / "Linked");

    ChildReport r = runInChild([&](ChildReport& rep) {
        auto dst = item(root / "dst");
        FolderItem a(root / "src" / "new.dat"), b(root / "src" / "old.dat"), c(root / "src" / "Linked");
        rep.ok = a.CopyFileTo(dst) && b.CopyFileTo(dst);
        // The user's link to a folder, where the disc has a file, stays.
        rep.oldIntact = !c.CopyFileTo(dst) && c.LastError() == FileError::Write;
        std::snprintf(rep.note, sizeof rep.note, "%s %s", a.LastErrorDetail().c_str(),
                      b.LastErrorDetail().c_str());
    }, missing >= 0 ? faults::without(faults::Missing(missing)) : nullptr);
    QVERIFY2(r.reported, r.note);
    if (r.skipped)
        QSKIP("no seccomp filter here");
    QVERIFY2(r.ok, r.note);
    QVERIFY(r.oldIntact);
    QCOMPARE(entriesOf(root / "dst"),
             (QStringList{".notes", ".old.dat.tessavel-abcd1234", ".old.dat.tessavel-x", "Linked", "keep",
                          "new.dat", "old.dat"}));
    QVERIFY(fs::is_symlink(root / "dst" / "Linked"));
    QCOMPARE(readFile(root / "dst" / "new.dat"), fresh);
    QCOMPARE(readFile(root / "dst" / "old.dat"), newer);
    QCOMPARE(readFile(root / "dst" / "keep"), QByteArray("old"));
    QCOMPARE(uint(modeOf(root / "dst" / "new.dat")), 0644u);
}

void TestFolderItem::workFolderRemovedByAnotherCopy_data()
{
    QTest::addColumn<bool>("found");  // the work folder is there already, another copy's
    QTest::newRow("made by this copy") << false;
    QTest::newRow("another copy's, found") << true;
}

// Another copy removes the work folder whenever it is empty, also between
// this copy's making or finding it and opening it: the copy makes it again.
// The child is stopped right after that mkdirat, when the other copy's
// removal is done for it.
void TestFolderItem::workFolderRemovedByAnotherCopy()
{
    QFETCH(bool, found);
    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = rootOf(tmp), work = root / "dst" / ".tessavel-temp";
    fixture::make(root, {"src/f=new", "dst/f=old"});
    int held = -1;
    if (found) {
        // Still being written by the other copy, so this one's clean-up leaves it.
        fs::create_directory(work);
        writeFile(work / ".part-held000000000000", "");
        held = ::open((work / ".part-held000000000000").c_str(), O_RDONLY | O_CLOEXEC);
        QVERIFY(held >= 0 && ::flock(held, LOCK_EX | LOCK_NB) == 0);
    }
    bool removed = false;
    child::Options stopped;
    stopped.setUp = child::traceMe;
    stopped.during = child::atReturnFrom(SYS_mkdirat, [&] {
        // The other copy finishes its file and clears the folder.
        if (held >= 0) {
            fs::remove(work / ".part-held000000000000");
            ::close(held);
            held = -1;
        }
        removed = ::rmdir(work.c_str()) == 0;
    });
    const child::Ended end = child::run([&](child::Report& out) {
        FolderItem f(root / "src" / "f");
        const bool ok = f.CopyFileTo(item(root / "dst"));
        out.write(f.LastErrorDetail());
        return ok ? 0 : 1;
    }, stopped);
    if (held >= 0)
        ::close(held);
    QVERIFY2(WIFEXITED(end.status), qPrintable(QString("child ended with %1").arg(QString::fromStdString(end.describe()))));
    if (!end.skipped.empty())
        QSKIP("no ptrace here, to stop the copy at the right moment");
    QVERIFY2(removed, "the copy made no work folder");
    QVERIFY2(end.exitedWith(0), end.output.c_str());
    QCOMPARE(readFile(root / "dst" / "f"), QByteArray("new"));
    QCOMPARE(entriesOf(root / "dst"), QStringList{"f"});
}

void TestFolderItem::copyToNilFolderThrows()
{
    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    writeFile(rootOf(tmp) / "a", "a");
    FolderItem f(rootOf(tmp) / "a");
    QVERIFY_THROWS_EXCEPTION(vela::NilObjectException, f.CopyFileTo(Ref<FolderItem>()));
}

// The target file system fills up during a copy: by a file-size limit on the
// process, or by a small tmpfs of its own. Both run in a child process so
// the limit and the mount stay there.
void TestFolderItem::copyOnFullFileSystem_data()
{
    QTest::addColumn<bool>("tmpfs");
    QTest::addColumn<bool>("existing");
    QTest::newRow("size limit, replacing") << false << true;
    QTest::newRow("size limit, new file") << false << false;
    QTest::newRow("full tmpfs, replacing") << true << true;
    QTest::newRow("full tmpfs, new file") << true << false;
}

void TestFolderItem::copyOnFullFileSystem()
{
    QFETCH(bool, tmpfs);
    QFETCH(bool, existing);

    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path root = rootOf(tmp);
    fs::create_directory(root / "src");
    fs::create_directory(root / "dst");
    const QByteArray data = pattern(1 << 20, 1);
    const QByteArray old = pattern(tmpfs ? 100 * 1024 : 200 * 1024, 2);
    writeFile(root / "src" / "big.dsf", data);
    if (existing && !tmpfs)
        writeFile(root / "dst" / "big.dsf", old);

    const fs::path dst = root / "dst";
    ChildReport r = runInChild([&](ChildReport& rep) {
        std::signal(SIGXFSZ, SIG_IGN);
        if (tmpfs && existing) {
            int fd = ::open((dst / "big.dsf").c_str(), O_WRONLY | O_CREAT, 0644);
            if (fd < 0 || ::write(fd, old.constData(), size_t(old.size())) != old.size()) {
                std::snprintf(rep.note, sizeof rep.note, "old file: %s", std::strerror(errno));
                rep.reported = false;
                return;
            }
            ::close(fd);
        }
        FolderItem f(root / "src" / "big.dsf");
        rep.ok = f.CopyFileTo(New<FolderItem>(dst));
        rep.error = f.LastError();
        std::snprintf(rep.note, sizeof rep.note, "%s", f.LastErrorDetail().c_str());
        rep.entries = int(entriesOf(dst).size());
        rep.tempLeft = tempLeft(dst);
        rep.targetExists = fs::exists(dst / "big.dsf");
        rep.oldIntact = readFile(dst / "big.dsf") == old;
    }, [&] {
        if (tmpfs) {
            const std::string why = child::mount("tmpfs", dst, "size=256k");
            return why.empty() ? why : "no tmpfs mount here: " + why;
        }
        // Less than the source, less than the old file.
        return child::limitFileSize(100 * 1024);
    });

    QVERIFY2(r.reported, r.note);
    if (r.skipped)
        QSKIP(r.note);
    QVERIFY2(!r.ok, r.note);
    QCOMPARE(r.error, FileError::Write);
    QVERIFY(!r.tempLeft);
    QCOMPARE(r.entries, existing ? 1 : 0);
    QCOMPARE(r.targetExists, existing);
    if (existing)
        QVERIFY(r.oldIntact);
    QCOMPARE(readFile(root / "src" / "big.dsf"), data);
}

// ---- volumes ----

void TestFolderItem::readMountTable()
{
    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    const fs::path t = fs::canonical(rootOf(tmp));
    const std::string T = t.string();

    // Devices, a mapper link to one of them, and label links as udev makes them.
    fs::create_directories(t / "dev" / "mapper");
    for (const char* d : {"sda1", "sdb1", "sdc1", "sdd1", "sr0"})
        writeFile(t / "dev" / d, "");
    fs::create_symlink("../sdc1", t / "dev" / "mapper" / "stick");
    fs::create_directory(t / "by-label");
    fs::create_symlink("../dev/sda1", t / "by-label" / "System");
    fs::create_symlink("../dev/sdb1", t / "by-label" / "SZENERIE");
    fs::create_symlink("../dev/sdc1", t / "by-label" / "Mein\\x20Stick");
    fs::create_symlink("../dev/sdd1", t / "by-label" / "Fremd");
    fs::create_symlink("../dev/missing", t / "by-label" / "Kaputt");

    // Every mount point exists, so what is left out is left out for its type.
    for (const char* d : {"mnt/usb", "mnt/USB Stick", "mnt/Neues Volume", "mnt/ram", "mnt/remote",
                          "mnt/cdrom", "proc", "sys/fs/cgroup", "cg1", "devpts", "mq"})
        fs::create_directories(t / d);
    writeFile(t / "hosts", "");

    const std::string lines[] = {
        "30 1 8:17 / " + T + "/mnt/usb rw,relatime shared:5 - ext4 " + T + "/dev/sdb1 rw",
        "31 1 0:5 / " + T + "/proc rw,nosuid - proc proc rw",
        "1 0 8:1 / / rw,relatime shared:1 master:2 - ext4 " + T + "/dev/sda1 rw,errors=remount-ro",
        "32 1 0:6 / " + T + "/sys rw - sysfs sysfs rw",
        "33 32 0:7 / " + T + "/sys/fs/cgroup rw - cgroup2 cgroup2 rw",
        "34 1 0:8 / " + T + "/cg1 rw - cgroup cgroup rw,memory",
        "35 1 0:9 / " + T + "/devpts rw - devpts devpts rw,gid=5",
        "36 1 0:10 / " + T + "/mq rw - mqueue mqueue rw",
        "37 1 253:0 / " + T + "/mnt/USB\\040Stick rw - vfat " + T + "/dev/mapper/stick rw",
        "38 1 8:49 / " + T + "/mnt/Neues\\040Volume rw - ext4 /dev/tessavel-no-such-disk rw",
        "39 1 0:40 / " + T + "/mnt/ram rw,nosuid - tmpfs tmpfs rw,size=1024k",
        "40 1 0:41 / " + T + "/mnt/remote rw - fuse.sshfs user@host: rw,user_id=0",
        "41 1 8:1 /etc/hosts " + T + "/hosts rw - ext4 " + T + "/dev/sda1 rw",
        "42 1 11:0 / " + T + "/mnt/cdrom ro - iso9660 " + T + "/dev/sr0 ro",
        // Mounted over the disc: the later file system hides it and names the volume.
        "43 42 8:49 / " + T + "/mnt/cdrom ro - udf " + T + "/dev/sdd1 ro",
    };
    {
        std::ofstream out(t / "mountinfo");
        for (const auto& l : lines)
            out << l << '\n';
    }

    const auto volumes = vela::ReadMountTable((t / "mountinfo").string(), (t / "by-label").string());
    QStringList got;
    for (const auto& v : volumes)
        got << QString::fromStdString(v.name + " = " + v.path);
    const QStringList expected{
        "System = /",
        QString::fromStdString("SZENERIE = " + T + "/mnt/usb"),
        QString::fromStdString("Mein Stick = " + T + "/mnt/USB Stick"),
        QString::fromStdString("Neues Volume = " + T + "/mnt/Neues Volume"),
        QString::fromStdString("ram = " + T + "/mnt/ram"),
        QString::fromStdString("remote = " + T + "/mnt/remote"),
        QString::fromStdString("Fremd = " + T + "/mnt/cdrom"),
    };
    QCOMPARE(got, expected);

    // No labels to be had: names come from the mount points.
    const auto unlabelled = vela::ReadMountTable((t / "mountinfo").string(), (t / "none").string());
    QCOMPARE(unlabelled.size(), volumes.size());
    QCOMPARE(unlabelled[1].name, std::string("usb"));
    QCOMPARE(unlabelled[2].name, std::string("USB Stick"));

    QVERIFY(vela::ReadMountTable((t / "no mountinfo").string(), (t / "by-label").string()).empty());
}

void TestFolderItem::volumesFromPlatform_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("isNil");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");

    QTest::newRow("root") << 0 << false << "System" << "/";
    QTest::newRow("disc") << 1 << false << "SZENERIE" << "<tmp>";
    QTest::newRow("last") << 2 << false << "Neues Volume" << "/media/Neues Volume";
    QTest::newRow("one past the end") << 3 << true << "" << "";
    QTest::newRow("negative") << -1 << true << "" << "";
}

void TestFolderItem::volumesFromPlatform()
{
    QFETCH(int, index);
    QFETCH(bool, isNil);
    QFETCH(QString, name);
    QFETCH(QString, path);

    fixture::TempDir tmp;
    QVERIFY(tmp.isValid());
    writeFile(rootOf(tmp) / "resources", "");
    if (path == "<tmp>")
        path = tmp.path();

    vela::testing::TestPlatform platform;
    platform.volumes = {{"System", "/"},
                        {"SZENERIE", tmp.path().toStdString()},
                        {"Neues Volume", "/media/Neues Volume"}};
    QCOMPARE(vela::VolumeCount(), 3);
    auto v = vela::Volume(index);
    QCOMPARE(v.IsNil(), isNil);
    if (isNil)
        return;
    QCOMPARE(QString::fromStdString(v->Name()), name);
    QCOMPARE(QString::fromStdString(v->AbsolutePath()), path);
    // Items below a volume are named as usual.
    auto c = v->Child("Resources");
    QVERIFY(c);
    if (index == 1) {
        QCOMPARE(c->Name(), std::string("resources"));
        QVERIFY(c->Exists());
    }
}

QTEST_GUILESS_MAIN(TestFolderItem)
#include "tst_folderitem.moc"

// Small file-tree helpers for tests: write a tree, read it back.
//
// Trees are written as lists of entries: "A/" a folder, "A/f=text" a file
// ("A/f" an empty one), "A/f=*300000" a file of that many bytes of a fixed
// pattern, "A/l->where" a symbolic link, and "@555" at the end a mode other
// than 0755 (folders) or 0644 (files). make() makes such a tree, snapshot()
// gives one back, tree() gives its names only.
#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace fixture {

inline void write(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(content);
}

inline QByteArray read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline void mkdir(const QString& path) { QDir().mkpath(path); }

// The content of a file "=*size".
std::string pattern(std::size_t size);

// One entry of a tree.
struct Entry {
    std::string path;
    bool folder = false;
    std::string content;
    std::string link;
    int mode = -1;  // -1: the default
};

Entry parse(QString line);

enum class Modes {
    Set,   // the entries' modes, as written
    Left,  // as the file system gives them: drives that keep none
};

// Makes the entries below root, folders above them as needed; throws
// std::runtime_error on a file it cannot write.
void make(const std::filesystem::path& root, const QStringList& tree, Modes modes = Modes::Set);

// Everything below root, sorted, in the same notation; a file of more than
// 64 bytes as "=*size" when it holds the pattern, else as "=?size". A
// folder this user may not read shows as itself, with its mode, and nothing
// below it; a file it may not read as "=(unreadable)".
QStringList snapshot(const std::filesystem::path& root);

// Every file and folder below root, relative, sorted; folders end in "/".
inline QStringList tree(const QString& root)
{
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QString p = it.next();
        QString rel = QDir(root).relativeFilePath(p);
        out << (QFileInfo(p).isDir() && !QFileInfo(p).isSymLink() ? rel + "/" : rel);
    }
    out.sort();
    return out;
}

// Gives the owner back every folder below dir (and dir itself), so that an
// ordinary user may remove what a test locked or made unreadable. Links are
// not followed.
inline void unlockFolders(const std::filesystem::path& dir)
{
    struct stat st;
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    if ((st.st_mode & 0700) != 0700)
        ::chmod(dir.c_str(), (st.st_mode & 07777) | 0700);
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        unlockFolders(it->path());
}

// A temporary folder that is removed with all in it, also when a test ended
// early with folders it had locked (root removes them anyway, an ordinary
// user only once they are writable again).
class TempDir : public QTemporaryDir {
public:
    using QTemporaryDir::QTemporaryDir;
    ~TempDir()
    {
        if (isValid() && autoRemove())
            unlockFolders(path().toStdString());
    }
};

} // namespace fixture

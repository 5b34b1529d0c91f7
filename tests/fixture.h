// Small file-tree helpers for tests: write a tree, read it back.
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

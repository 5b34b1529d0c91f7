// Small file-tree helpers for tests: write a tree, read it back.
#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringList>
#include <filesystem>
#include <string>

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

} // namespace fixture

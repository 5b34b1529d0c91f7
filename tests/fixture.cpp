#include "fixture.h"

#include <QRegularExpression>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace fixture {

namespace {

std::string readAll(const fs::path& p, bool* ok)
{
    std::ifstream in(p, std::ios::binary);
    *ok = bool(in);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

QString render(const std::string& data)
{
    if (data.size() > 64)
        return data == pattern(data.size()) ? QString("*%1").arg(data.size())
                                             : QString("?%1").arg(data.size());
    return QString::fromStdString(data);
}

} // namespace

std::string pattern(std::size_t size)
{
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = char('a' + (i * 7 + i / 251) % 26);
    return s;
}

Entry parse(QString line)
{
    Entry e;
    static const QRegularExpression modeAtEnd("@([0-7]{3})$");
    if (auto m = modeAtEnd.match(line); m.hasMatch()) {
        e.mode = m.captured(1).toInt(nullptr, 8);
        line.chop(4);
    }
    if (int arrow = line.indexOf("->"); arrow >= 0) {
        e.link = line.mid(arrow + 2).toStdString();
        e.path = line.left(arrow).toStdString();
        return e;
    }
    if (int eq = line.indexOf('='); eq >= 0) {
        const QString c = line.mid(eq + 1);
        e.content = c.startsWith('*') ? pattern(c.mid(1).toULongLong()) : c.toStdString();
        line.truncate(eq);
    }
    e.folder = line.endsWith('/');
    if (e.folder)
        line.chop(1);
    e.path = line.toStdString();
    return e;
}

void make(const fs::path& root, const QStringList& tree, Modes modes)
{
    std::vector<Entry> entries;
    for (const QString& s : tree)
        entries.push_back(parse(s));
    for (const Entry& e : entries) {
        const fs::path p = root / e.path;
        fs::create_directories(e.folder ? p : p.parent_path());
        if (!e.link.empty()) {
            fs::create_symlink(e.link, p);
        } else if (!e.folder) {
            std::ofstream out(p, std::ios::binary);
            out << e.content;
            if (!out.flush())
                throw std::runtime_error("cannot write " + p.string());
        }
    }
    if (modes == Modes::Left)
        return;
    // Children first, so a locked folder does not stop its own fixture.
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.path > b.path; });
    for (const Entry& e : entries)
        if (e.link.empty())
            fs::permissions(root / e.path,
                            fs::perms(e.mode >= 0 ? e.mode : e.folder ? 0755 : 0644));
}

QStringList snapshot(const fs::path& root)
{
    QStringList lines;
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied);
         it != fs::recursive_directory_iterator(); ++it) {
        struct stat st;
        if (::lstat(it->path().c_str(), &st) != 0)
            continue;
        QString line = QString::fromStdString(it->path().lexically_relative(root).string());
        const bool dir = S_ISDIR(st.st_mode);
        if (dir) {
            line += '/';
        } else if (S_ISLNK(st.st_mode)) {
            line += "->" + QString::fromStdString(fs::read_symlink(it->path()).string());
        } else {
            bool ok;
            std::string data = readAll(it->path(), &ok);
            line += ok ? "=" + render(data) : QString("=(unreadable)");
        }
        const int mode = int(st.st_mode & 07777);
        if (!S_ISLNK(st.st_mode) && mode != (dir ? 0755 : 0644))
            line += QString("@%1").arg(mode, 3, 8, QChar('0'));
        lines << line;
    }
    lines.sort();
    return lines;
}

} // namespace fixture

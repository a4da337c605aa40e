#include "world/backuplist.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

const char Header[] = "tessaryn backup 1";

QByteArray numbers(const QList<int> &blocks)
{
    QByteArray line;
    for (int b : blocks)
        line += ' ' + QByteArray::number(b);
    return line;
}

bool readNumbers(const QList<QByteArray> &fields, QList<int> *out)
{
    for (qsizetype i = 1; i < fields.size(); ++i) {
        bool ok = false;
        const int b = fields[i].toInt(&ok);
        if (!ok || b < 0 || (!out->isEmpty() && b <= out->last()))
            return false;
        out->append(b);
    }
    return true;
}

bool plainName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
        && name != QLatin1String("..") && name != QLatin1String(".");
}

} // namespace

QByteArray BackupList::text() const
{
    QByteArray out = QByteArray(Header) + "\nfacet " + QByteArray::number(facet) + "\nby " + QByteArray::number(by) + '\n';
    for (qsizetype i = 0; i < files.size() && i < sizes.size(); ++i)
        out += "file " + files[i].toUtf8() + ' ' + QByteArray::number(sizes[i]) + '\n';
    out += "land" + numbers(land) + "\nstatics" + numbers(statics) + "\nend\n";
    return out;
}

bool BackupList::parse(const QByteArray &bytes)
{
    *this = BackupList();
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.size() < 4 || lines[0] != Header)
        return false;
    bool ended = false, hasFacet = false, hasBy = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (ended) {
            if (!line.isEmpty())
                return false;
            continue;
        }
        const QList<QByteArray> f = line.split(' ');
        bool ok = false;
        if (line == "end") {
            ended = true;
            continue;
        }
        if (f[0] == "facet" && f.size() == 2 && !hasFacet) {
            facet = f[1].toInt(&ok);
            hasFacet = ok;
        } else if (f[0] == "by" && f.size() == 2 && !hasBy) {
            by = f[1].toInt(&ok);
            hasBy = ok;
        } else if (f[0] == "file" && f.size() == 3) {
            const QString name = QString::fromUtf8(f[1]);
            const qint64 size = f[2].toLongLong(&ok);
            ok = ok && size >= 0 && plainName(name);
            files << name;
            sizes << size;
        } else if (f[0] == "land") {
            ok = land.isEmpty() && readNumbers(f, &land);
        } else if (f[0] == "statics") {
            ok = statics.isEmpty() && readNumbers(f, &statics);
        }
        if (!ok)
            return false;
    }
    return ended && hasFacet && hasBy;
}

bool BackupList::read(const QString &dir, const QString &name)
{
    QFile file(dir + QLatin1Char('/') + name);
    // A list is a few kilobytes; anything far larger is not one.
    if (!file.open(QIODevice::ReadOnly) || file.size() > (64 << 20)) {
        *this = BackupList();
        return false;
    }
    return parse(file.readAll());
}

bool BackupList::filesComplete(const QString &dir) const
{
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QFileInfo info(dir + QLatin1Char('/') + files[i]);
        if (!info.isFile() || info.size() != sizes[i])
            return false;
    }
    return true;
}

int BackupList::blockCount() const
{
    QSet<int> all(land.cbegin(), land.cend());
    all.unite(QSet<int>(statics.cbegin(), statics.cend()));
    return int(all.size());
}

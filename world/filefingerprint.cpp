#include "world/filefingerprint.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

FileFingerprint::File FileFingerprint::look(const QString &dir, const QString &name, bool hash)
{
    File f;
    f.name = name;
    const QFileInfo info(dir + QLatin1Char('/') + name);
    if (!info.isFile())
        return f;
    f.size = info.size();
    f.modified = info.lastModified();
    if (hash) {
        QFile file(info.filePath());
        QCryptographicHash h(QCryptographicHash::Sha1);
        if (file.open(QIODevice::ReadOnly) && h.addData(&file))
            f.hash = h.result();
    }
    return f;
}

FileFingerprint FileFingerprint::take(const QString &dir, const QStringList &names, const QStringList &hashed)
{
    FileFingerprint fp;
    fp.m_dir = dir;
    fp.m_hashed = hashed;
    for (const QString &name : names)
        fp.m_files.append(look(dir, name, hashed.contains(name)));
    return fp;
}

QString FileFingerprint::firstChanged() const
{
    // A directory that went away is not another program's save; writing there fails with
    // its own reason.
    if (!QFileInfo(m_dir).isDir())
        return QString();
    for (const File &was : m_files) {
        const File now = look(m_dir, was.name, m_hashed.contains(was.name));
        if (now.size != was.size || now.modified != was.modified || now.hash != was.hash)
            return QDir::toNativeSeparators(m_dir + QLatin1Char('/') + was.name);
    }
    return QString();
}

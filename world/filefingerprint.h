#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// What the client files of a facet were when the facet read them: size and modification
// time of each, and a hash of the difference lists (small, and what another editor's save
// changes first). A save compares it with the disk before it replaces anything, so it never
// writes from lists another program has replaced meanwhile.
class FileFingerprint
{
public:
    // The files named (in dir) as they are now; a missing file is recorded as missing.
    static FileFingerprint take(const QString &dir, const QStringList &names, const QStringList &hashed);

    bool isEmpty() const { return m_files.isEmpty(); }
    // The first file that is not as it was, or empty when all are.
    QString firstChanged() const;

private:
    struct File {
        QString name;
        qint64 size = -1; // -1: missing
        QDateTime modified;
        QByteArray hash;  // of the content, for the lists
    };
    static File look(const QString &dir, const QString &name, bool hash);

    QString m_dir;
    QList<File> m_files;
    QStringList m_hashed;
};

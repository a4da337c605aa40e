#include "world/workingdirectory.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

WorkingDirectory::WorkingDirectory()
{
    make();
}

WorkingDirectory::WorkingDirectory(const QString &root, const QString &dataDir) : m_root(root), m_dataDir(dataDir)
{
    make();
}

bool WorkingDirectory::make()
{
    const QString root = m_root.isEmpty() ? tempRoot() : folderFor(m_root, m_dataDir);
    const auto refuse = [&](const QString &why) {
        m_error = QStringLiteral("Could not create a working directory in ")
            + QDir::toNativeSeparators(m_root.isEmpty() ? root : m_root) + QStringLiteral(": ") + why;
        return false;
    };
    if (!m_root.isEmpty() && !QDir().mkpath(root)) {
        // The nearest part of the path that exists says why.
        QFileInfo up(root);
        while (!up.exists() && up.absoluteFilePath() != up.absolutePath())
            up = QFileInfo(up.absolutePath());
        return refuse(up.isDir() ? QStringLiteral("Permission denied") : QStringLiteral("Not a directory"));
    }
    auto dir = std::make_unique<QTemporaryDir>(
        QDir(root).filePath(m_root.isEmpty() ? QStringLiteral("tessaryn-XXXXXX") : QStringLiteral("run-XXXXXX")));
    if (!dir->isValid())
        return refuse(dir->errorString());
    if (!m_root.isEmpty()) {
        // Which data directory the folder is for, for a person looking into it.
        QFile note(QDir(root).filePath(QStringLiteral("directory.txt")));
        if (!note.exists() && note.open(QIODevice::WriteOnly))
            note.write(QDir::toNativeSeparators(m_dataDir).toUtf8() + '\n');
        auto lock = std::make_unique<QLockFile>(dir->filePath(lockName()));
        lock->setStaleLockTime(0);
        if (!lock->tryLock(0))
            return refuse(QStringLiteral("the lock file could not be written"));
        m_lock = std::move(lock);
    }
    m_dir = std::move(dir);
    m_dir->setAutoRemove(!m_kept);
    m_error.clear();
    return true;
}

void WorkingDirectory::keepForRecovery()
{
    m_kept = true;
    if (m_dir)
        m_dir->setAutoRemove(false);
}

QString WorkingDirectory::stateRoot()
{
    const QString set = qEnvironmentVariable("TESSARYN_WORKING_DIR");
    if (!set.isEmpty())
        return QDir::cleanPath(set);
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
        .filePath(QStringLiteral("working"));
}

QString WorkingDirectory::folderFor(const QString &root, const QString &dataDir)
{
    // A name from the data directory's path: the same directory gets the same folder
    // however its path is written.
    const QString path = QDir::cleanPath(QFileInfo(dataDir).absoluteFilePath());
    const QByteArray hash = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QDir(root).filePath(QString::fromLatin1(hash));
}

bool WorkingDirectory::ensure()
{
    return isValid() || make();
}

QString WorkingDirectory::tempRoot()
{
    const QString temp = qEnvironmentVariable("TEMP");
    if (temp.isEmpty())
        return QDir::tempPath();
    QDir().mkpath(temp);
    return QDir::cleanPath(temp);
}

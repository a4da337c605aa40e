#include "world/directorylock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSysInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

namespace {

QString lockPath(const QString &dir)
{
    return dir + QLatin1Char('/') + DirectoryLock::fileName();
}

bool processRuns(qint64 pid)
{
    if (pid <= 0)
        return false;
#ifdef Q_OS_WIN
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!h)
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(h, &code) && code == STILL_ACTIVE;
    CloseHandle(h);
    return running;
#else
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
#endif
}

QByteArray holderText()
{
    static const QString started = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    return "host " + DirectoryLock::thisHost().toUtf8() + "\npid " + QByteArray::number(QCoreApplication::applicationPid())
        + "\nstarted " + started.toUtf8() + '\n';
}

} // namespace

QString DirectoryLock::thisHost()
{
    return QSysInfo::machineHostName();
}

bool DirectoryLock::readHolder(const QString &dir, Holder *holder)
{
    QFile file(lockPath(dir));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    Holder h;
    bool pidSeen = false;
    for (const QByteArray &line : file.read(4096).split('\n')) {
        if (line.startsWith("host "))
            h.host = QString::fromUtf8(line.mid(5));
        else if (line.startsWith("pid "))
            h.pid = line.mid(4).toLongLong(&pidSeen);
        else if (line.startsWith("started "))
            h.started = QString::fromUtf8(line.mid(8));
    }
    if (!pidSeen)
        return false;
    *holder = h;
    return true;
}

bool DirectoryLock::isGone(const Holder &holder)
{
    return holder.host == thisHost() && holder.pid != QCoreApplication::applicationPid() && !processRuns(holder.pid);
}

bool DirectoryLock::acquire(const QString &dir, QString *error)
{
    if (isHeld() && m_dir == dir)
        return true;
    release();
    m_other = Holder();
    const QString path = lockPath(dir);
    for (int attempt = 0; attempt < 2; ++attempt) {
        QFile file(path);
        // NewOnly: of two instances starting at once, one creates the file.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (file.write(holderText()) < 0 || !file.flush()) {
                if (error)
                    *error = QStringLiteral("Could not write %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
                file.close();
                QFile::remove(path);
                return false;
            }
            m_dir = dir;
            return true;
        }
        if (!file.exists()) {
            if (error)
                *error = QStringLiteral("Could not create %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
            return false;
        }
        Holder h;
        if (!readHolder(dir, &h)) {
            // Half written by a holder that is writing it right now, or damaged.
            if (error)
                *error = QStringLiteral("The lock file %1 cannot be read.").arg(QDir::toNativeSeparators(path));
            m_other.host = QStringLiteral("?");
            return false;
        }
        if (h.host == thisHost() && h.pid == QCoreApplication::applicationPid()) {
            m_dir = dir; // ours, from an earlier open of this run
            return true;
        }
        m_other = h;
        if (!isGone(h))
            return false;
        // The holder is gone: its lock goes, and the next round takes it.
        QFile::remove(path);
    }
    return false;
}

void DirectoryLock::release()
{
    if (m_dir.isEmpty())
        return;
    Holder h;
    if (readHolder(m_dir, &h) && h.host == thisHost() && h.pid == QCoreApplication::applicationPid())
        QFile::remove(lockPath(m_dir));
    m_dir.clear();
}

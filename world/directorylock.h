#pragma once
#include <QString>

// One editor per data directory: a lock file in it names the holder (host, process id,
// start time). A second instance finds it held and opens the directory read-only; it may
// take the lock over only when the holder is gone (a lock of a process of this host that
// no longer runs). The file is removed when the holder lets go.
class DirectoryLock
{
public:
    struct Holder {
        QString host;
        qint64 pid = 0;
        QString started; // ISO date and time, UTC
    };

    static QString fileName() { return QStringLiteral("tessaryn.lock"); }

    DirectoryLock() = default;
    ~DirectoryLock() { release(); }
    DirectoryLock(const DirectoryLock &) = delete;
    DirectoryLock &operator=(const DirectoryLock &) = delete;

    // Takes the lock of dir when it is free or its holder is gone; true then. Otherwise
    // holder() names who has it, and error (when the lock file cannot be read or written)
    // why.
    bool acquire(const QString &dir, QString *error = nullptr);
    void release();
    bool isHeld() const { return !m_dir.isEmpty(); }
    // The other holder the last acquire found.
    const Holder &holder() const { return m_other; }

    // The holder written in dir's lock file; false when there is none or it cannot be read.
    static bool readHolder(const QString &dir, Holder *holder);
    // True when the holder runs on this host and its process no longer exists.
    static bool isGone(const Holder &holder);
    static QString thisHost();

private:
    QString m_dir;
    Holder m_other;
};

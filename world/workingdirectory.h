#pragma once
#include <QLockFile>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// The directory that holds one running editor's working files: a directory of its own
// under TEMP (the platform's temporary directory when TEMP is unset), so two editors that
// share TEMP never list, read or delete each other's files. The four facets of one map view
// share one; it is removed with its contents when the last of them lets go of it.
//
// TEMP may refuse the directory at start (not a directory, no rights, no room). The editor
// then runs without one: edits stay in memory, and every write of a working file tries to
// make the directory again (ensure), so once TEMP is usable the edits can go out and be saved.
//
// The map document's directory outlives a crash instead: it lies in the per-user state
// folder (stateRoot), in a folder of its own per data directory, and holds a lock that names
// the running instance (process id and host), so a later run can tell the folder of a run
// that ended without a save from one that is still running, and offer its edits.
class WorkingDirectory
{
public:
    WorkingDirectory();
    // A directory of one run below root's folder for dataDir (folderFor).
    WorkingDirectory(const QString &root, const QString &dataDir);
    WorkingDirectory(const WorkingDirectory &) = delete;
    WorkingDirectory &operator=(const WorkingDirectory &) = delete;

    static std::shared_ptr<WorkingDirectory> create() { return std::make_shared<WorkingDirectory>(); }
    static std::shared_ptr<WorkingDirectory> forDataDirectory(const QString &dataDir,
                                                              const QString &root = stateRoot())
    {
        return std::make_shared<WorkingDirectory>(root, dataDir);
    }

    // Where the working folders of data directories live: TESSARYN_WORKING_DIR when set
    // (a bigger disk, a test), else "working" in the per-user application data folder.
    static QString stateRoot();
    // The folder of dataDir's runs below root: one name per data directory, the same in
    // every run.
    static QString folderFor(const QString &root, const QString &dataDir);
    // Name of the lock file in a run's directory.
    static QString lockName() { return QStringLiteral("instance.lock"); }

    // The directory and its working files stay when this object goes (the program is being
    // ended by the system): the next run offers them.
    void keepForRecovery();
    bool isKeptForRecovery() const { return m_kept; }
    // The state root and data directory of a directory that outlives a crash; empty for
    // one under TEMP.
    QString root() const { return m_root; }
    QString dataDirectory() const { return m_dataDir; }
    // TEMP, or the platform's temporary directory when TEMP is unset or empty.
    static QString tempRoot();

    // True when the directory exists: made at start, or now if it could not be then. False
    // with the reason otherwise (errorString).
    bool ensure();

    bool isValid() const { return m_dir && m_dir->isValid(); }
    // Empty while there is no directory.
    QString path() const { return isValid() ? m_dir->path() : QString(); }
    QString filePath(const QString &name) const { return isValid() ? m_dir->filePath(name) : QString(); }
    // Why the directory could not be made, when isValid() is false: the place under TEMP and
    // the system's reason.
    QString errorString() const { return m_error; }

private:
    bool make();

    std::unique_ptr<QTemporaryDir> m_dir;
    // After m_dir: the lock goes first, then the directory it lies in.
    std::unique_ptr<QLockFile> m_lock;
    QString m_error;
    QString m_root;    // empty for a directory under TEMP
    QString m_dataDir;
    bool m_kept = false;
};

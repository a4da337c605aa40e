#pragma once
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
class WorkingDirectory
{
public:
    WorkingDirectory();
    WorkingDirectory(const WorkingDirectory &) = delete;
    WorkingDirectory &operator=(const WorkingDirectory &) = delete;

    static std::shared_ptr<WorkingDirectory> create() { return std::make_shared<WorkingDirectory>(); }

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
    QString m_error;
};

#pragma once
#include <QString>
#include <QTemporaryDir>

#include <memory>

// The directory that holds one running editor's working files: a directory of its own
// under TEMP (the platform's temporary directory when TEMP is unset), so two editors that
// share TEMP never list, read or delete each other's files. The four facets of one map view
// share one; it is removed with its contents when the last of them lets go of it.
class WorkingDirectory
{
public:
    WorkingDirectory();
    WorkingDirectory(const WorkingDirectory &) = delete;
    WorkingDirectory &operator=(const WorkingDirectory &) = delete;

    static std::shared_ptr<WorkingDirectory> create() { return std::make_shared<WorkingDirectory>(); }

    // TEMP, or the platform's temporary directory when TEMP is unset or empty.
    static QString tempRoot();

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // Why the directory could not be made, when isValid() is false.
    QString errorString() const { return m_dir.errorString(); }

private:
    QTemporaryDir m_dir;
};

#include "world/workingdirectory.h"

#include <QDir>

WorkingDirectory::WorkingDirectory()
{
    make();
}

bool WorkingDirectory::make()
{
    const QString root = tempRoot();
    auto dir = std::make_unique<QTemporaryDir>(QDir(root).filePath(QStringLiteral("tessaryn-XXXXXX")));
    if (!dir->isValid()) {
        m_error = QStringLiteral("Could not create a working directory in ") + QDir::toNativeSeparators(root)
            + QStringLiteral(": ") + dir->errorString();
        return false;
    }
    m_dir = std::move(dir);
    m_error.clear();
    return true;
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

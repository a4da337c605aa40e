#include "world/workingdirectory.h"

#include <QDir>

WorkingDirectory::WorkingDirectory()
    : m_dir(QDir(tempRoot()).filePath(QStringLiteral("tessaryn-XXXXXX")))
{
}

QString WorkingDirectory::tempRoot()
{
    const QString temp = qEnvironmentVariable("TEMP");
    if (temp.isEmpty())
        return QDir::tempPath();
    QDir().mkpath(temp);
    return QDir::cleanPath(temp);
}

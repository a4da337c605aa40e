#include "output.h"

#include "sampleworld.h"

#include <QDir>

namespace sampleworld {

OutputFile::OutputFile(const QString &dir, const QString &name) : m_name(name), m_file(QDir(dir).filePath(name)) {}

bool OutputFile::open(QString *error)
{
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return true;
    if (error)
        *error = QStringLiteral("cannot write %1: %2").arg(m_file.fileName(), m_file.errorString());
    return false;
}

bool OutputFile::append(const QByteArray &bytes)
{
    if (m_ok && m_file.write(bytes) != bytes.size())
        m_ok = false;
    return m_ok;
}

bool OutputFile::finish(QList<WrittenFile> *written, QString *error)
{
    if (m_ok && !m_file.flush())
        m_ok = false;
    const qint64 size = m_file.size();
    const QString why = m_file.errorString();
    m_file.close();
    if (!m_ok) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(m_file.fileName(), why);
        return false;
    }
    if (written)
        written->append({m_name, size});
    return true;
}

bool writeWholeFile(const QString &dir, const QString &name, const QByteArray &bytes,
                    QList<WrittenFile> *written, QString *error)
{
    OutputFile file(dir, name);
    if (!file.open(error))
        return false;
    file.append(bytes);
    return file.finish(written, error);
}

} // namespace sampleworld

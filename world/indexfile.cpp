#include "world/indexfile.h"
#include "world/datadirectory.h"

#include <QtEndian>

void IndexFile::open(const QString &name)
{
    m_name = name;
    m_file.close();
    m_file.setFileName(dataDirectory() + QLatin1Char('/') + name);
    m_count = m_file.open(QIODevice::ReadOnly) ? int(m_file.size() / 12) : 0;
    m_lastIndex = -1;
    m_last = IndexRecord();
}

void IndexFile::close()
{
    m_file.close();
    m_count = 0;
    m_lastIndex = -1;
    m_last = IndexRecord();
}

IndexRecord IndexFile::record(int i)
{
    if (i < 0 || i >= m_count)
        return IndexRecord();
    if (i != m_lastIndex) {
        uchar bytes[12];
        if (!m_file.seek(qint64(i) * 12) || m_file.read(reinterpret_cast<char *>(bytes), 12) != 12)
            return IndexRecord();
        m_last.offset = qFromLittleEndian<qint32>(bytes);
        m_last.length = qFromLittleEndian<qint32>(bytes + 4);
        m_last.extra = qFromLittleEndian<qint32>(bytes + 8);
        m_lastIndex = i;
    }
    return m_last;
}

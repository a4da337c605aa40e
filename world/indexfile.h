#pragma once
#include <QFile>
#include <QString>

// One 12-byte record of an index file: where an entry's data lies and how long it is.
struct IndexRecord {
    qint32 offset = -1;
    qint32 length = -1;
    qint32 extra = -1;
};

// Reader of a file of 12-byte records (statics index, statics difference index, art index,
// texture index). Remembers the record read last, so repeated lookups cost no file access.
class IndexFile
{
public:
    IndexFile() = default;
    IndexFile(const IndexFile &) = delete;
    IndexFile &operator=(const IndexFile &) = delete;

    // Opens dataDirectory() + "/" + name read-only. A missing file has count 0.
    void open(const QString &name);
    void close();

    // Record i, or (-1, -1, -1) when i is negative or past the last whole record.
    IndexRecord record(int i);
    int offset(int i) { return record(i).offset; }
    int length(int i) { return record(i).length; }
    int extra(int i) { return record(i).extra; }

    int count() const { return m_count; }
    QString fileName() const { return m_name; }

private:
    int m_lastIndex = -1;
    IndexRecord m_last;
    QString m_name;
    QFile m_file;
    int m_count = -1;
};

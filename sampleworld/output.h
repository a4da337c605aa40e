#pragma once
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

namespace sampleworld {

struct WrittenFile;

// A file written in large pieces. Errors are collected and reported by finish().
class OutputFile {
public:
    OutputFile(const QString &dir, const QString &name);
    bool open(QString *error);
    bool append(const QByteArray &bytes);
    // Closes the file, records it in written and returns false (filling error) if any
    // write failed.
    bool finish(QList<WrittenFile> *written, QString *error);

private:
    QString m_name;
    QFile m_file;
    bool m_ok = true;
};

bool writeWholeFile(const QString &dir, const QString &name, const QByteArray &bytes,
                    QList<WrittenFile> *written, QString *error);

} // namespace sampleworld

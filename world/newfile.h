#pragma once
#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <memory>

// A client file written in full before anyone sees it: the bytes go to a hidden temporary
// file beside the target, and only commit() (flush, sync to disk, then one rename) puts it in
// place. Until then the target stays as it was, and a failed or abandoned file leaves
// nothing behind. Writes are gathered in a large buffer, because the savers hand over a few
// bytes per block and a main file has hundreds of thousands of blocks.
//
// Every failure keeps the first reason, worded for the user: the file and what the system
// said ("Could not write /data/map0.mul.tsy0: No space left on device").
class NewFile
{
public:
    explicit NewFile(const QString &path);
    ~NewFile();
    NewFile(const NewFile &) = delete;
    NewFile &operator=(const NewFile &) = delete;

    bool open();
    bool write(const char *data, qint64 size);
    bool write(const QByteArray &bytes) { return write(bytes.constData(), bytes.size()); }
    bool writeInt32(qint32 value);
    // Room for the next size bytes (at most 4 MiB), to be filled in place before the next
    // call: saves a copy where the caller would build the bytes elsewhere first. Null once
    // the file failed.
    char *reserve(qint64 size);
    // Appends size bytes of the open file fd from offset on, copied inside the system where
    // it can (no trip through this program's memory), read and written otherwise.
    bool copyFrom(int fd, qint64 offset, qint64 size);
    // Bytes handed to write so far (the position a reader of the finished file would see).
    qint64 pos() const { return m_pos; }
    // Flushes, syncs to disk and moves the file into place.
    bool commit();
    void cancel();

    QString path() const { return m_path; }
    bool failed() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }

private:
    bool flushBuffer();
    void startWriteback(qint64 written);
    bool fail(const QString &what, const QString &reason);

    QString m_path;
    QSaveFile m_file;
    std::unique_ptr<char[]> m_buffer;
    qsizetype m_used = 0;
    qint64 m_pos = 0;
    qint64 m_written = 0;          // bytes the file holds
    qint64 m_writebackStarted = 0; // of those, the ones the disk was asked to take
    QString m_error;
};

// Makes renames and deletions in dir durable; false (and the reason) when the system refuses.
bool syncDirectory(const QString &dir, QString *error = nullptr);

#include "world/newfile.h"

#include <QDir>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/types.h>
#endif

namespace {
constexpr qsizetype BufferSize = 4 << 20;
}

NewFile::NewFile(const QString &path)
    : m_path(path), m_file(path)
{
    // Never write into the target itself, whatever the directory allows.
    m_file.setDirectWriteFallback(false);
}

NewFile::~NewFile()
{
    if (m_file.isOpen())
        m_file.cancelWriting();
}

namespace {
// Qt words some write failures as "Unknown error"; the system's own reason is better.
QString reasonOf(const QFileDevice &file, int err)
{
    const QString text = file.errorString();
#ifdef Q_OS_UNIX
    if (err != 0 && (text.isEmpty() || text == QLatin1String("Unknown error")))
        return QString::fromLocal8Bit(std::strerror(err));
#else
    Q_UNUSED(err);
#endif
    return text;
}
} // namespace

bool NewFile::fail(const QString &what, const QString &reason)
{
    if (m_error.isEmpty())
        m_error = what + QLatin1Char(' ') + QDir::toNativeSeparators(m_path) + QStringLiteral(": ") + reason;
    return false;
}

bool NewFile::open()
{
    m_pos = 0;
    m_used = 0;
    m_written = m_writebackStarted = 0;
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(QStringLiteral("Could not create"), m_file.errorString());
    m_buffer = std::make_unique<char[]>(BufferSize);
    return true;
}

void NewFile::startWriteback(qint64 written)
{
    m_written += written;
#ifdef Q_OS_LINUX
    // The disk starts on what the file holds so far while the saver puts the rest together,
    // so the sync in commit() waits only for the last part. A hint: it neither waits nor
    // makes anything durable, and a system that refuses it changes nothing.
    const int fd = m_file.handle();
    if (fd >= 0 && m_written > m_writebackStarted)
        ::sync_file_range(fd, m_writebackStarted, m_written - m_writebackStarted, SYNC_FILE_RANGE_WRITE);
#endif
    m_writebackStarted = m_written;
}

bool NewFile::flushBuffer()
{
    if (m_used == 0)
        return true;
    errno = 0;
    const qsizetype used = m_used;
    const bool whole = m_file.write(m_buffer.get(), used) == used;
    const int err = errno;
    m_used = 0;
    if (!whole)
        return fail(QStringLiteral("Could not write"), reasonOf(m_file, err));
    startWriteback(used);
    return true;
}

bool NewFile::write(const char *data, qint64 size)
{
    if (failed())
        return false;
    if (!m_file.isOpen())
        return fail(QStringLiteral("Could not write"), QStringLiteral("the file is not open"));
    m_pos += size;
    if (m_used + size > BufferSize) {
        if (!flushBuffer())
            return false;
        if (size > BufferSize) {
            errno = 0;
            if (m_file.write(data, size) != size)
                return fail(QStringLiteral("Could not write"), reasonOf(m_file, errno));
            startWriteback(size);
            return true;
        }
    }
    std::memcpy(m_buffer.get() + m_used, data, size_t(size));
    m_used += size;
    return true;
}

char *NewFile::reserve(qint64 size)
{
    if (failed())
        return nullptr;
    if (!m_file.isOpen() || size < 0 || size > BufferSize) {
        fail(QStringLiteral("Could not write"), QStringLiteral("the file is not open"));
        return nullptr;
    }
    if (m_used + size > BufferSize && !flushBuffer())
        return nullptr;
    char *at = m_buffer.get() + m_used;
    m_used += size;
    m_pos += size;
    return at;
}

bool NewFile::copyFrom(int fd, qint64 offset, qint64 size)
{
    if (failed())
        return false;
    if (!m_file.isOpen() || fd < 0 || offset < 0 || size < 0)
        return fail(QStringLiteral("Could not write"), QStringLiteral("the file is not open"));
    if (!flushBuffer())
        return false;
    qint64 done = 0;
#ifdef Q_OS_LINUX
    // Between two files of one file system the system copies the pages itself. A system or
    // pair of file systems that cannot says so at once, and the rest goes the plain way.
    const int out = m_file.handle();
    while (done < size) {
        loff_t from = offset + done;
        const ssize_t n = ::copy_file_range(fd, &from, out, nullptr, size_t(size - done), 0);
        if (n <= 0)
            break;
        done += n;
        m_pos += n;
        startWriteback(n);
    }
#endif
#ifdef Q_OS_UNIX
    while (done < size) {
        const qint64 want = std::min<qint64>(size - done, BufferSize);
        errno = 0;
        const ssize_t n = ::pread(fd, m_buffer.get(), size_t(want), offset + done);
        if (n <= 0)
            return fail(QStringLiteral("Could not write"), n == 0 ? QStringLiteral("its source ended early")
                                                                  : QString::fromLocal8Bit(std::strerror(errno)));
        m_used = n;
        m_pos += n;
        done += n;
        if (!flushBuffer())
            return false;
    }
#endif
    if (done < size)
        return fail(QStringLiteral("Could not write"), QStringLiteral("copying is not supported here"));
    return true;
}

bool NewFile::writeInt32(qint32 value)
{
    char bytes[4];
    qToLittleEndian<qint32>(value, bytes);
    return write(bytes, 4);
}

bool NewFile::commit()
{
    if (failed() || !flushBuffer()) {
        cancel();
        return false;
    }
    errno = 0;
    if (!m_file.flush()) {
        fail(QStringLiteral("Could not write"), reasonOf(m_file, errno));
        cancel();
        return false;
    }
    // QSaveFile::commit syncs the data to disk before its rename (a rename that reached the
    // disk first would put an empty file in place after a power loss); a sync of our own
    // before it would only wait for the disk twice.
    if (!m_file.commit())
        return fail(QStringLiteral("Could not finish"), m_file.errorString());
    return true;
}

void NewFile::cancel()
{
    if (m_file.isOpen()) {
        m_file.cancelWriting();
        m_file.commit(); // discards the temporary file
    }
    m_used = 0;
}

bool syncDirectory(const QString &dir, QString *error)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int err = errno;
        if (fd >= 0)
            ::close(fd);
        if (error)
            *error = QStringLiteral("Could not write the directory ") + QDir::toNativeSeparators(dir)
                + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(err));
        return false;
    }
    ::close(fd);
#else
    Q_UNUSED(dir);
    Q_UNUSED(error);
#endif
    return true;
}

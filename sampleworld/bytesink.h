#pragma once
#include <QByteArray>
#include <QtGlobal>

namespace sampleworld {

// Growing little-endian byte buffer. Everything the generator writes goes through
// here so that the byte order is decided in exactly one place.
class ByteSink {
public:
    void reserve(qsizetype bytes) { m_bytes.reserve(bytes); }
    qsizetype size() const { return m_bytes.size(); }
    const QByteArray &bytes() const { return m_bytes; }
    void clear() { m_bytes.clear(); }

    void u8(quint8 v) { m_bytes.append(char(v)); }
    void i8(qint8 v) { m_bytes.append(char(v)); }
    void u16(quint16 v)
    {
        const char b[2] = {char(v & 0xff), char(v >> 8)};
        m_bytes.append(b, 2);
    }
    void i16(qint16 v) { u16(quint16(v)); }
    void u32(quint32 v)
    {
        const char b[4] = {char(v & 0xff), char((v >> 8) & 0xff), char((v >> 16) & 0xff), char(v >> 24)};
        m_bytes.append(b, 4);
    }
    void i32(qint32 v) { u32(quint32(v)); }
    void zeros(qsizetype n) { m_bytes.append(n, '\0'); }
    void raw(const QByteArray &b) { m_bytes.append(b); }

    // A fixed-width text field: truncated to width, padded with NULs. A text of
    // exactly width characters therefore has no terminating NUL.
    void text(const char *s, int width)
    {
        int n = 0;
        for (; n < width && s[n]; ++n)
            m_bytes.append(s[n]);
        zeros(width - n);
    }

    // Overwrites an already written 16-bit value (used for line tables filled in late).
    void put16(qsizetype at, quint16 v)
    {
        m_bytes[at] = char(v & 0xff);
        m_bytes[at + 1] = char(v >> 8);
    }

private:
    QByteArray m_bytes;
};

} // namespace sampleworld

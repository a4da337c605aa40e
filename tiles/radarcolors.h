#pragma once
#include <QString>
#include <QtGlobal>

#include <vector>

// The client's own overview colours (radarcol.mul): one 5-5-5 colour per tile, the land ids
// 0..0x3FFF first, then every static id at StaticBase + id. Files of later clients carry
// more static ids than early ones; an id past the end of the file has no colour here.
class RadarColours
{
public:
    static constexpr int StaticBase = 0x4000;
    static constexpr int MaxEntries = StaticBase + 0x10000;

    // Why a file of this many bytes cannot be a colour table: it must hold whole 16-bit
    // colours, at least one for every land id, and no more than land and static ids need.
    // Empty when the size is possible.
    static QString sizeRefusal(qint64 size);

    // Reads the table from path; false, with the reason in error (the file named), when the
    // file is missing, unreadable or of a size sizeRefusal refuses. A failed load leaves the
    // table empty.
    bool load(const QString &path, QString *error = nullptr);
    void clear() { m_colours.clear(); }

    bool isLoaded() const { return !m_colours.empty(); }
    int count() const { return int(m_colours.size()); }
    // True when the table holds a colour for entry index (land id, or StaticBase + id).
    bool has(int index) const { return index >= 0 && index < count(); }
    // The 5-5-5 colour of entry index (bit 15 cleared); 0 when the table has none.
    quint16 colour(int index) const { return has(index) ? m_colours[size_t(index)] : 0; }
    quint16 landColour(int id) const { return colour(id); }
    quint16 staticColour(int id) const { return colour(StaticBase + id); }

private:
    std::vector<quint16> m_colours;
};
